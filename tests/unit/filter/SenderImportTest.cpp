// Importing senders: the field rules of comma-separated files, vCard files of the three versions,
// plain blocked-senders lists, and one run offering addresses to the lists.
#include "filter/BlockedListFile.h"
#include "filter/CsvSenderFile.h"
#include "filter/SenderImport.h"
#include "filter/VCardReader.h"

#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

using Fields = std::vector<std::string>;

std::vector<std::string> addressesOf(const std::vector<ImportedSender>& senders) {
    std::vector<std::string> out;
    for (const ImportedSender& s : senders) out.push_back(s.name + " <" + s.address + ">");
    return out;
}

std::string settingsIn(const TempFolder& folder) { return folder.path() + "/corvanthelix.ini"; }

} // namespace

TEST(CsvSenderFile, SplitsOnCommasOrSemicolonsOutsideQuotes) {
    struct Case {
        std::string line;
        Fields fields;
    } cases[] = {
        {"Jane Doe,jane@example.org", {"Jane Doe", "jane@example.org"}},
        {"\"Doe, Jane\",jane@example.org", {"Doe, Jane", "jane@example.org"}},
        // Semicolons separate only where the rest of the line has no comma outside quotes.
        {"Jane;jane@example.org", {"Jane", "jane@example.org"}},
        {"\"a;b\";x@y.org", {"a;b", "x@y.org"}},
        {"Jane;Doe,jane@example.org", {"Jane;Doe", "jane@example.org"}},
        // Doubled quotes inside a quoted field keep the field quoted and become one quote.
        {"\"x \"\"a,b\"\" y\",m@x.org", {"x \"a,b\" y", "m@x.org"}},
        {"\"\",x@y.org", {"", "x@y.org"}},
        {"  Jane \t, jane@example.org\r", {"Jane", "jane@example.org"}},
        {"", {""}},
        {"a,,b,", {"a", "", "b", ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(CsvSenderFile::splitFields(c.line), c.fields) << c.line;
}

TEST(CsvSenderFile, ProposesTheLastFieldWithAnAtSignForTheAddress) {
    EXPECT_EQ(CsvSenderFile::proposedMailColumn({"Name", "E-mail", "Home", "work@x.org", "home@x.org", "Notes"}), 4);
    EXPECT_EQ(CsvSenderFile::proposedMailColumn({"Name", "Mail"}), 0);
    EXPECT_EQ(CsvSenderFile::proposedNameColumn({"Name", "a@b"}), 0);
}

TEST(CsvSenderFile, ARecordOffersASenderOnlyWithAnAddress) {
    const Fields record = {"Jane Doe", "", "jane@example.org"};
    struct Case {
        Fields fields;
        int mail, name;
        std::string offered; // "" for none
    } cases[] = {
        {record, 2, 0, "Jane Doe <jane@example.org>"},
        {record, 1, 0, ""},                          // empty address field
        {{"", "x@y.org"}, 1, 0, ""},                 // empty name field
        {record, 3, 0, ""},                          // the record is shorter than the column
        {{"Name", "E-mail Address"}, 1, 0, ""},      // a heading line
        {record, -1, 0, ""},
    };
    for (const Case& c : cases) {
        std::optional<ImportedSender> s = CsvSenderFile::senderOf(c.fields, c.mail, c.name);
        EXPECT_EQ(s ? s->name + " <" + s->address + ">" : std::string(), c.offered) << c.mail;
    }
}

TEST(VCardReader, UnfoldsDecodesAndNamesEveryAddress) {
    const std::string text =
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1:M\xfcller;J\xfcrgen\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen =\r\nM=C3=BCller\r\n"
        "EMAIL;PREF;INTERNET:juergen@example.de\r\nEMAIL;INTERNET:j.mueller@work.example\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\nVERSION:3.0\nFN:Doe\\, Jane\nEMAIL;TYPE=INTERNET:jane@exam\n ple.org\nEND:VCARD\n"
        "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Smith;Ann;;;\r\nitem1.EMAIL;TYPE=\"work,voice\":mailto:ann@example.com\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:No Address\r\nTEL:123\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=WINDOWS-1252:Caf\xe9 \x80uro\r\nEMAIL:cafe@example.fr\r\nEND:VCARD\r\n";
    EXPECT_EQ(addressesOf(VCardReader::parse(text)),
              (std::vector<std::string>{"J\xc3\xbcrgen M\xc3\xbcller <juergen@example.de>",
                                        "J\xc3\xbcrgen M\xc3\xbcller <j.mueller@work.example>",
                                        "Doe, Jane <jane@example.org>", "Ann Smith <ann@example.com>",
                                        "Caf\xc3\xa9 \xe2\x82\xac" "uro <cafe@example.fr>"}));
}

TEST(VCardReader, CharsetsAndQuotedPrintable) {
    EXPECT_EQ(VCardReader::decodeQuotedPrintable("a=3Db=C3=A4=\x7a=zz="), "a=b\xc3\xa4=\x7a=zz");
    struct Case {
        std::string bytes, charset, utf8;
    } cases[] = {
        {"Gr\xfc\xdf", "iso-8859-1", "Gr\xc3\xbc\xc3\x9f"},
        {"\xa4", "ISO-8859-15", "\xe2\x82\xac"},
        {"\x93q\x94", "windows-1252", "\xe2\x80\x9cq\xe2\x80\x9d"},
        {"\xc3\xa4", "", "\xc3\xa4"},           // valid UTF-8 stays
        {"\xe4", "", "\xc3\xa4"},               // stray bytes are read as Windows-1252
        {"\xc3\xa4", "UTF-8", "\xc3\xa4"},
    };
    for (const Case& c : cases) EXPECT_EQ(VCardReader::toUtf8(c.bytes, c.charset), c.utf8) << c.charset;
}

TEST(BlockedListFile, DomainsAndAddressesBecomePatterns) {
    EXPECT_EQ(addressesOf(BlockedListFile::parse("spam.example\r\n@junk.example\n\n# comment\n  bob@x.org  \nlast.example")),
              (std::vector<std::string>{"spam.example <*@spam.example>", "@junk.example <*@junk.example>",
                                        "bob@x.org <bob@x.org>", "last.example <*@last.example>"}));
}

TEST(SenderImport, AnswersSkipsAndTheCount) {
    TempFolder folder;
    SenderLists lists(settingsIn(folder));
    SenderEntry existing{"Known", "known@example.org", SenderEntry::kBlocked, {}};
    ASSERT_TRUE(lists.add(existing));

    std::vector<ImportAnswer> answers = {ImportAnswer::No, ImportAnswer::Yes, ImportAnswer::YesToAll};
    std::vector<std::string> asked;
    SenderImport run(lists, SenderEntry::kFriend, [&](const ImportedSender& s) {
        asked.push_back(s.address);
        ImportAnswer a = answers.front();
        answers.erase(answers.begin());
        return a;
    });
    const std::string tooLong(SenderImport::kMaxFieldLength + 1, 'a');
    struct Case {
        ImportedSender sender;
        ImportOffer outcome;
    } cases[] = {
        {{"", "noname@example.org"}, ImportOffer::Skipped},
        {{tooLong, "long@example.org"}, ImportOffer::Skipped},
        {{"Known", "KNOWN@example.org"}, ImportOffer::Skipped}, // silently, in any case
        {{"Skip", "skip@example.org"}, ImportOffer::Skipped},   // answered No
        {{"One", "one@example.org"}, ImportOffer::Imported},
        {{"Two", "two@example.org"}, ImportOffer::Imported},    // Yes to all
        {{"Three", "three@example.org"}, ImportOffer::Imported},
        {{"Again", "one@example.org"}, ImportOffer::Skipped},   // known after Yes to all too
        {{"Bad`", "bad@example.org"}, ImportOffer::Skipped},    // refused by the lists
    };
    for (const Case& c : cases) EXPECT_EQ(run.offer(c.sender), c.outcome) << c.sender.address;
    EXPECT_EQ(asked, (std::vector<std::string>{"skip@example.org", "one@example.org", "two@example.org"}));
    EXPECT_EQ(run.count(), 3);
    SenderEntry found;
    ASSERT_TRUE(lists.findByAddress("three@example.org", found));
    EXPECT_EQ(found.list, SenderEntry::kFriend);
    EXPECT_EQ(found.name, "Three");
}

TEST(SenderImport, CancelStopsTheRun) {
    TempFolder folder;
    SenderLists lists(settingsIn(folder));
    int asked = 0;
    SenderImport run(lists, SenderEntry::kBlocked, [&](const ImportedSender&) { return ++asked == 1 ? ImportAnswer::Yes : ImportAnswer::Cancel; });
    EXPECT_EQ(run.offer({"a", "*@a.example"}), ImportOffer::Imported);
    EXPECT_EQ(run.offer({"b", "*@b.example"}), ImportOffer::Cancelled);
    EXPECT_EQ(run.offer({"c", "*@c.example"}), ImportOffer::Cancelled);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(run.count(), 1);
    EXPECT_TRUE(run.cancelled());
}

TEST(SenderImport, TwoHundredContactsOfAnAddressBookExport) {
    TempFolder folder;
    std::string vcf;
    for (int i = 0; i < 200; ++i) {
        const std::string n = std::to_string(i);
        vcf += "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Address Book Export//EN\r\nN:Contact" + n + ";Person;;;\r\n"
               "FN:Person Contact" + n + "\r\nORG:Example Ltd.;Sales\r\nTEL;TYPE=CELL:+49 170 " + n + "\r\n"
               "ADR;TYPE=HOME:;;Hauptstra\xc3\x9f" "e " + n + ";Berlin;;10115;Germany\r\n"
               "EMAIL;TYPE=INTERNET;TYPE=HOME:person" + n + "@home.example\r\n";
        if (i % 10 == 0) vcf += "EMAIL;TYPE=INTERNET;TYPE=WORK:p" + n + "@work.example\r\n";
        if (i % 50 == 0) vcf += "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQEASABIAAD\r\n AAAA\r\n";
        vcf += "REV:2026-11-30T10:00:00Z\r\nEND:VCARD\r\n";
    }
    const std::string path = folder.path() + "/contacts.vcf";
    std::ofstream(path, std::ios::binary) << vcf;
    std::vector<ImportedSender> senders;
    ASSERT_TRUE(VCardReader::read(path, senders));
    ASSERT_EQ(senders.size(), 220u);
    EXPECT_EQ(senders[1].name, "Person Contact0");
    EXPECT_EQ(senders[1].address, "p0@work.example");

    SenderLists lists(settingsIn(folder));
    SenderImport run(lists, SenderEntry::kFriend, [](const ImportedSender&) { return ImportAnswer::YesToAll; });
    for (const ImportedSender& s : senders) run.offer(s);
    EXPECT_EQ(run.count(), 220);
    int friends = 0;
    lists.forEach([&](const SenderEntry& e) { friends += e.list == SenderEntry::kFriend; return 1; });
    EXPECT_EQ(friends, 220);
    // A second import of the same file finds every address known.
    SenderImport again(lists, SenderEntry::kFriend, [](const ImportedSender&) { return ImportAnswer::Yes; });
    for (const ImportedSender& s : senders) again.offer(s);
    EXPECT_EQ(again.count(), 0);
}

TEST(SenderImport, TheSenderOfADroppedMessage) {
    SenderEntry sender;
    ASSERT_TRUE(SenderImport::senderOfSource("From: \"Jane Doe\" <jane@example.org>\r\nSubject: hi\r\n\r\nbody\r\n",
                                             SenderEntry::kBlocked, sender));
    EXPECT_EQ(sender.name, "Jane Doe");
    EXPECT_EQ(sender.address, "jane@example.org");
    EXPECT_EQ(sender.list, SenderEntry::kBlocked);
    ASSERT_TRUE(SenderImport::senderOfSource("From: Dave <dave@example.net>\r\n\r\nbody\r\n", SenderEntry::kFriend, sender));
    EXPECT_EQ(sender.address, "dave@example.net");
    EXPECT_FALSE(SenderImport::senderOfSource("Subject: no sender\r\n\r\n", SenderEntry::kBlocked, sender));
}
