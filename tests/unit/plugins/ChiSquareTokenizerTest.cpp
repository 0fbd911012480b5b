#include "chisquare/MailDecoding.h"
#include "chisquare/MessageTokenizer.h"
#include "chisquare/TokenSet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corvanthelix::chisquare;

namespace {

std::vector<std::string> tokensOf(const std::string& source) {
    TokenSet tokens;
    MessageTokenizer::tokenize(source, tokens);
    return tokens.list();
}

struct TokenCase {
    const char* what;
    std::string message;
    std::vector<std::string> present;
    std::vector<std::string> absent;
};

class ChiSquareTokenizerTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(ChiSquareTokenizerTest, FindsTheTokensAReaderWouldSee) {
    const TokenCase& c = GetParam();
    std::vector<std::string> tokens = tokensOf(c.message);
    for (const std::string& token : c.present)
        EXPECT_NE(std::find(tokens.begin(), tokens.end(), token), tokens.end()) << c.what << ": missing " << token;
    for (const std::string& token : c.absent)
        EXPECT_EQ(std::find(tokens.begin(), tokens.end(), token), tokens.end()) << c.what << ": unexpected " << token;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChiSquareTokenizerTest,
    ::testing::Values(
        TokenCase{"subject words keep their case and carry the field name; body words carry none",
                  "Subject: FREE Money now\r\n\r\nSend money now\r\n",
                  {"subject:FREE", "subject:Money", "subject:now", "Send", "money", "now"},
                  {"subject:free", "FREE", "subject:Send", "header:Subject"}},
        TokenCase{"encoded words of the subject are decoded first",
                  "Subject: =?iso-8859-1?Q?Gratis_Angebot?= =?utf-8?B?SGVsbG8=?=\r\n\r\nx\r\n",
                  {"subject:Gratis", "subject:AngebotHello"},
                  {"subject:iso-8859-1"}},
        TokenCase{"address fields give names, addresses and domains",
                  "From: \"Bob Smith\" <Bob@Mail.Example.ORG>\r\nTo: alice@example.net\r\n\r\nhi\r\n",
                  {"from:Bob", "from:Smith", "from:Bob@Mail.Example.ORG", "from:@mail.example.org",
                   "to:alice@example.net", "to:@example.net"},
                  {}},
        TokenCase{"Received gives host names, their domains, network prefixes and plain words, not ids",
                  "Received: from mx1.mail.example.com (mx1.mail.example.com [192.168.10.20])\r\n"
                  "\tby relay.example.org (Postfix) with ESMTP id 4F3A2B1C9\r\n\r\nbody\r\n",
                  {"received:mx1.mail.example.com", "received:example.com", "received:mail.example.com",
                   "received:192.168.10.20", "received:192.168.10", "received:Postfix", "received:ESMTP",
                   "received:example.org"},
                  {"received:4F3A2B1C9", "received:id"}},
        TokenCase{"other fields give their words without long numbers; no field counts by its name alone",
                  "X-Mailer: Microsoft Outlook Express 6.00.2600\r\nDate: Mon, 5 Jan 2026 10:00:00\r\n"
                  "X-Serial: 1234567 abc\r\nX-Keywords: \r\n\r\nx\r\n",
                  {"x-mailer:Microsoft", "x-mailer:Outlook", "x-serial:abc"},
                  {"date:Mon", "date:Jan", "x-serial:1234567", "x-mailer:6.00.2600", "header:X-Mailer", "header:Date",
                   "header:X-Keywords"}},
        TokenCase{"a base64 text part is decoded; its structure counts",
                  "Content-Type: text/plain; charset=\"ISO-8859-1\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                  "Q2hlYXAgcGlsbHMgaGVyZQ==\r\n",
                  {"Cheap", "pills", "here", "content-type:text/plain", "charset:iso-8859-1", "encoding:base64"},
                  {"Q2hlYXAgcGlsbHMgaGVyZQ"}},
        TokenCase{"quoted-printable soft line breaks join a word",
                  "Content-Transfer-Encoding: quoted-printable\r\n\r\nunbeliev=\r\nable offer=21\r\n",
                  {"unbelievable", "offer!"},
                  {"unbeliev"}},
        TokenCase{"HTML loses tags and comments; tag names and URL hosts and paths count",
                  "Content-Type: text/html\r\n\r\n<html><body><font color=red>V<!-- x -->iagra</font>"
                  " <a href=\"http://www.Cheap-Meds.example.com/buy/now.html\">click&nbsp;here</a></body></html>\r\n",
                  {"html:font", "html:a", "Viagra", "click", "here", "url:www.cheap-meds.example.com",
                   "url:example.com", "url:cheap-meds.example.com", "url:buy", "url:now.html"},
                  {"font", "color=red", "href"}},
        TokenCase{"a multipart message reads its text parts and only the file type of an attachment",
                  "Content-Type: multipart/mixed; boundary=\"XYZ\"\r\n\r\npreamble\r\n--XYZ\r\n"
                  "Content-Type: text/plain\r\n\r\nplease see the invoice\r\n--XYZ\r\n"
                  "Content-Type: application/octet-stream; name=\"Invoice.EXE\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n\r\nTVqQAAMAAAAEAAAA\r\n--XYZ--\r\nepilogue\r\n",
                  {"invoice", "please", "content-type:multipart/mixed", "content-type:application/octet-stream",
                   "filename:.exe"},
                  {"TVqQAAMAAAAEAAAA", "epilogue", "preamble"}},
        TokenCase{"of alternatives with a plain-text one, the HTML alternative is not read, header or body",
                  "Content-Type: multipart/alternative; boundary=\"ALT\"\r\n\r\n--ALT\r\n"
                  "Content-Type: text/plain\r\n\r\nmeeting moved to Tuesday\r\n--ALT\r\n"
                  "Content-Type: text/html; charset=\"windows-1252\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                  "<html><body><font>meeting moved to Wednesday</font></body></html>\r\n--ALT--\r\n",
                  {"meeting", "Tuesday", "content-type:multipart/alternative", "content-type:text/plain"},
                  {"Wednesday", "html:font", "content-type:text/html", "charset:windows-1252",
                   "encoding:quoted-printable"}},
        TokenCase{"alternatives without a plain-text one: the HTML alternative is read",
                  "Content-Type: multipart/alternative; boundary=\"ALT\"\r\n\r\n--ALT\r\n"
                  "Content-Type: text/html\r\n\r\n<html><body><font>meeting moved to Wednesday</font></body></html>\r\n"
                  "--ALT\r\nContent-Type: application/pdf; name=\"agenda.pdf\"\r\n\r\nJVBERi0x\r\n--ALT--\r\n",
                  {"Wednesday", "html:font", "content-type:text/html", "filename:.pdf"},
                  {"JVBERi0x"}},
        TokenCase{"plain-text URLs count; words shorter than 3 do not; a run over 40 bytes counts by start and size",
                  "\r\nGo to https://secure.bank.example.net/login?id=7 now or "
                  "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz ok\r\n",
                  {"url:secure.bank.example.net", "url:example.net", "url:login", "skip:a5"},
                  {"Go", "or", "ok"}}));

TEST(ChiSquareDecodingTest, DecodersSkipWhatDoesNotBelong) {
    EXPECT_EQ(decodeBase64("SGVs\r\nbG8h"), "Hello!");
    EXPECT_EQ(decodeBase64("SGVsbG8=junk"), "Hello");
    EXPECT_EQ(decodeQuotedPrintable("a=3Db=\nc =zz"), "a=bc =zz");
    EXPECT_EQ(decodeQuotedPrintable("a_b", true), "a b");
    EXPECT_EQ(decodeEncodedWords("Re: =?x?q?caf=E9?= ok"), "Re: caf\xE9 ok");
    EXPECT_EQ(decodeEncodedWords("=?broken"), "=?broken");
}

TEST(ChiSquareTokenSetTest, EachTokenOnceInOrderOfFinding) {
    TokenSet tokens;
    for (int round = 0; round < 2; ++round) {
        tokens.clear();
        for (int i = 0; i < 3000; ++i) tokens.add("w:", std::to_string(i % 1500));
        ASSERT_EQ(tokens.size(), 1500u);
        EXPECT_EQ(tokens.at(0), "w:0");
        EXPECT_EQ(tokens.at(1499), "w:1499");
        EXPECT_TRUE(tokens.contains("w:777"));
        EXPECT_FALSE(tokens.contains("w:1500"));
    }
}

} // namespace
