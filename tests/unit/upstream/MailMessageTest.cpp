#include "upstream/MailMessage.h"

#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/stat.h>

namespace corvanthelix {
namespace {

using testing::TempFolder;

std::string fixturePath(const std::string& name) { return std::string(CORVANTHELIX_FIXTURES) + "/mail/" + name; }

std::string readFixture(const std::string& name) { return TempFolder::read(fixturePath(name)); }

const char* const kFixtures[] = {"plain.eml",  "alternative.eml", "nested.eml",
                                 "encoded_subject.eml", "folded.eml", "signed.eml",
                                 "preamble_epilogue.eml", "top_headers.eml", "bare_lf.eml"};

/// The part tree as text: each part's Content-Type up to its ";" ("-" when it has none), the
/// children in parentheses.
std::string shape(const MessagePart* part) {
    const char* type = MailMessage::headerByKind(part, CVX_HEADER_CONTENT_TYPE);
    std::string text = type ? std::string(type).substr(0, std::string(type).find(';')) : "-";
    if (part->firstChild) {
        text += "(";
        for (const MessagePart* child = part->firstChild; child; child = child->next)
            text += shape(child) + (child->next ? "," : "");
        text += ")";
    }
    return text;
}

/// The structural promises every parse keeps, checked over the whole tree.
void expectSoundTree(const MailMessage& message, const MessagePart* part) {
    const MessagePart* root = message.root();
    const char* begin = root->text;
    const char* end = begin + message.size();
    ASSERT_EQ(part->root, root);
    ASSERT_NE(part->text, nullptr);
    ASSERT_NE(part->body, nullptr);
    // Texts lie inside the parse buffer (an empty part may use an empty string of its own).
    for (const char* text : {part->text, part->body})
        EXPECT_TRUE((text >= begin && text <= end) || *text == '\0');
    EXPECT_LE(part->textLength, message.size());
    for (const MessagePart* child = part->firstChild; child; child = child->next)
        expectSoundTree(message, child);
}

// --- the plug-in records ---------------------------------------------------------------------

TEST(MailMessageRecords, KeepTheirFieldOrderWithNaturalSizes) {
    constexpr size_t p = sizeof(void*);
    EXPECT_EQ(offsetof(MessagePart, headers), 0 * p);
    EXPECT_EQ(offsetof(MessagePart, text), 1 * p);
    EXPECT_EQ(offsetof(MessagePart, boundary), 2 * p);
    EXPECT_EQ(offsetof(MessagePart, body), 3 * p);
    EXPECT_EQ(offsetof(MessagePart, textLength), 4 * p);
    EXPECT_EQ(offsetof(MessagePart, root), 5 * p);
    EXPECT_EQ(offsetof(MessagePart, firstChild), 6 * p);
    EXPECT_EQ(offsetof(MessagePart, next), 7 * p);
    EXPECT_EQ(sizeof(MessagePart), 8 * p);

    EXPECT_EQ(offsetof(HeaderField, name), 0 * p);
    EXPECT_EQ(offsetof(HeaderField, value), 1 * p);
    EXPECT_EQ(offsetof(HeaderField, kind), 2 * p);
    EXPECT_EQ(offsetof(HeaderField, next), 3 * p);
    EXPECT_EQ(offsetof(HeaderField, folding), 4 * p);
    EXPECT_EQ(sizeof(HeaderField), 4 * p + CVX_FOLDING_LINES * sizeof(uint32_t));
}

// --- delivery without alteration ---------------------------------------------------------------

TEST(MailMessageRoundTrip, EveryFixtureComesBackByteForByte) {
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        std::string text = readFixture(name);
        ASSERT_FALSE(text.empty());
        MailMessage message;
        message.parse(text);
        EXPECT_EQ(message.source(), text);
        EXPECT_EQ(message.size(), text.size());
        EXPECT_EQ(message.topLines(), -1);
        expectSoundTree(message, message.root());

        MailMessage copy;
        copy.copy(message);
        EXPECT_EQ(copy.source(), text);
        EXPECT_EQ(shape(copy.root()), shape(message.root()));
    }
}

// Random messages built from the pieces real mail is made of: folded headers, nested boundaries
// (some never closed, some shared or prefixes of others), line ends of every kind, "--" lines that
// are not boundaries, NUL bytes and stray bytes.
std::string randomMessage(std::mt19937& random) {
    auto pick = [&](int n) { return static_cast<int>(random() % n); };
    const char* const ends[] = {"\r\n", "\r\n", "\r\n", "\n", "\r", ""};
    const char* const boundaries[] = {"b1", "b1x", "=_Part_1", "B1", "outer \"q\""};
    std::string text;
    auto end = [&] { return std::string(ends[pick(5)]); };
    auto headers = [&](bool multipart) {
        int count = pick(5);
        for (int i = 0; i < count; ++i) {
            const char* const names[] = {"Subject", "To", "X-Thing", "From", "no colon here", "Date"};
            text += std::string(names[pick(6)]) + ":" + (pick(2) ? " " : "") + "value " + std::to_string(pick(100));
            while (pick(3) == 0) text += end() + (pick(2) ? "\t" : "  ") + "more";
            text += end();
        }
        if (multipart) text += "Content-Type: multipart/mixed; boundary=\"" + std::string(boundaries[pick(5)]) + "\"" + end();
        else if (pick(2)) text += "Content-Type: text/" + std::string(pick(2) ? "html" : "plain") + end();
        if (pick(4)) text += end();
    };
    std::function<void(int)> part = [&](int depth) {
        bool multipart = depth < 4 && pick(3) == 0;
        headers(multipart);
        int lines = pick(4);
        for (int i = 0; i < lines; ++i) {
            const char* const bodies[] = {"plain words", "<b>bold</b>&nbsp;x", "--", "-- ", "=41=", "a\0b", "\xff\xfe"};
            int k = pick(7);
            text.append(bodies[k], k == 5 ? 3 : std::strlen(bodies[k]));
            text += end();
        }
        if (!multipart) return;
        int children = pick(4);
        for (int i = 0; i < children; ++i) {
            text += "--" + std::string(boundaries[pick(5)]) + (pick(4) ? "" : "  ") + end();
            part(depth + 1);
        }
        if (pick(3)) text += "--" + std::string(boundaries[pick(5)]) + "--" + end() + "epilogue" + end();
    };
    part(0);
    return text;
}

TEST(MailMessageRoundTrip, GeneratedMessagesComeBackExactlyAndParseSoundly) {
    std::mt19937 random(20030107);
    for (int round = 0; round < 3000; ++round) {
        std::string text = randomMessage(random);
        SCOPED_TRACE(::testing::Message() << "round " << round);
        MailMessage message;
        message.parse(text);
        ASSERT_EQ(message.source(), text);
        if (text.empty()) {
            EXPECT_EQ(message.root(), nullptr);
            continue;
        }
        expectSoundTree(message, message.root());
        std::optional<std::string> body = message.bodyText(true);
        ASSERT_TRUE(body);
        EXPECT_LE(body->size(), message.size());
        EXPECT_LE(message.bodyText(false)->size(), message.size());

        // A partial download keeps a prefix of the text, exactly.
        MailMessage top;
        top.parseTop(text, static_cast<int>(random() % 4));
        EXPECT_EQ(text.compare(0, top.size(), top.source()), 0);
        if (top.root()) expectSoundTree(top, top.root());
    }
}

TEST(MailMessageRoundTrip, NulBytesStayInTheSourceAndAreSpacesToTheParts) {
    MailMessage message;
    const char raw[] = "Subject: one\0two\r\n\r\nbody\0tail\r\n";
    message.parse(std::string(raw, sizeof raw - 1));
    EXPECT_EQ(message.source(), std::string(raw, sizeof raw - 1)) << "passed on and stored as it came";
    EXPECT_STREQ(message.headerByName("subject"), "one two");
    EXPECT_EQ(*message.bodyText(false), "\r\nbody tail\r\n");
}

// --- headers ------------------------------------------------------------------------------------

TEST(MailMessageHeaders, FoldedHeadersUnfoldAndRecordTheirLineLengths) {
    MailMessage message;
    message.parse(readFixture("folded.eml"));
    const MessagePart* root = message.root();
    ASSERT_NE(root, nullptr);

    struct Case {
        const char* name;
        std::string value;
        uint16_t kind;
        std::vector<uint32_t> folding;
    };
    const Case cases[] = {
        // The third line starts with eight spaces: the first goes, the other seven stay.
        {"Received",
         "from smtp.example.org (smtp.example.org [198.51.100.7]) by mx.example.net with ESMTP;" + std::string(8, ' ') +
             "Sat, 11 Jan 2003 22:15:09 -0500",
         CVX_HEADER_OTHER,
         {65, 29, 38}},
        {"To", "anna@example.net, bert@example.net, carla@example.net", CVX_HEADER_TO, {21, 17, 17}},
        // A continuation line with two leading blanks keeps the second one.
        {"Subject", "A subject that is long enough to be folded  over three lines by the sender's mail program",
         CVX_HEADER_SUBJECT,
         {51, 17, 28}},
        {"X-Empty", "", CVX_HEADER_OTHER, {8}},
        // Blanks only: kept as they were, less a leading space (here there is none to drop).
        {"X-Blank", "\t \t", CVX_HEADER_OTHER, {11}},
        {"Content-Type", "text/plain", CVX_HEADER_CONTENT_TYPE, {24}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HeaderField* header = root->headers;
        while (header && std::strcmp(header->name, c.name) != 0) header = header->next;
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->value, c.value);
        EXPECT_EQ(header->kind, c.kind);
        std::vector<uint32_t> folding(std::begin(header->folding), std::end(header->folding));
        std::vector<uint32_t> expected = c.folding;
        expected.resize(CVX_FOLDING_LINES, 0);
        EXPECT_EQ(folding, expected);
    }
    // The message passed on keeps every line break, blank and TAB as it came.
    EXPECT_EQ(message.source(), readFixture("folded.eml"));
}

TEST(MailMessageHeaders, LinesSplitAtTheFirstColonWithLimitsAndKinds) {
    struct Case {
        std::string line;
        const char* name; // null: the line is dropped
        std::string value;
        uint16_t kind;
    };
    const Case cases[] = {
        {"To: a@example.net", "To", "a@example.net", CVX_HEADER_TO},
        {"FROM:b@example.net", "FROM", "b@example.net", CVX_HEADER_FROM},
        {"content-type: text/plain", "content-type", "text/plain", CVX_HEADER_CONTENT_TYPE},
        {"Bcc: x", "Bcc", "x", CVX_HEADER_BCC},
        {"cc: y", "cc", "y", CVX_HEADER_CC},
        {"SUBJECT: Re: a: b", "SUBJECT", "Re: a: b", CVX_HEADER_SUBJECT},
        {"date: 1 Jan 2003", "date", "1 Jan 2003", CVX_HEADER_DATE},
        {"Toy: z", "Toy", "z", CVX_HEADER_OTHER},
        {"X-Padded \t:\t v \t", "X-Padded", "v", CVX_HEADER_OTHER},
        {"a line without a colon", nullptr, "", 0},
        {std::string(300, 'N') + ": v", nullptr, "v", CVX_HEADER_OTHER}, // name cut to 254
        {"X-Long: " + std::string(2000, 'v'), "X-Long", std::string(1022, 'v'), CVX_HEADER_OTHER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 40));
        MailMessage message;
        message.parse("X-First: 1\r\n" + c.line + "\r\n\r\nbody\r\n");
        const HeaderField* header = message.root()->headers;
        ASSERT_NE(header, nullptr);
        EXPECT_STREQ(header->name, "X-First");
        header = header->next;
        if (!c.name && c.value.empty()) {
            EXPECT_EQ(header, nullptr);
            continue;
        }
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->next, nullptr);
        if (c.name) EXPECT_STREQ(header->name, c.name);
        else EXPECT_EQ(std::strlen(header->name), 254u);
        EXPECT_EQ(header->value, c.value);
        EXPECT_EQ(header->kind, c.kind);
    }
}

TEST(MailMessageHeaders, LookupByNameAndKindFindsTheFirstInSourceOrder) {
    MailMessage message;
    message.parse("Received: first\r\nreceived: second\r\nSubject: s\r\nFrom: f\r\n\r\n");
    EXPECT_STREQ(message.headerByName("RECEIVED"), "first");
    EXPECT_STREQ(message.headerByKind(CVX_HEADER_SUBJECT), "s");
    EXPECT_STREQ(message.headerByKind(CVX_HEADER_FROM), "f");
    EXPECT_STREQ(message.headerByKind(CVX_HEADER_OTHER), "first");
    EXPECT_EQ(message.headerByKind(CVX_HEADER_FROM | CVX_HEADER_SUBJECT), nullptr);
    EXPECT_EQ(message.headerByName("Date"), nullptr);
    EXPECT_EQ(MailMessage::headerByName(nullptr, "Subject"), nullptr);
    EXPECT_EQ(message.headerByName(nullptr), nullptr);

    MailMessage empty;
    EXPECT_EQ(empty.headerByName("Subject"), nullptr);
}

// --- MIME structure ------------------------------------------------------------------------------

TEST(MailMessageMime, FixturesSplitIntoTheirParts) {
    struct Case {
        const char* fixture;
        const char* shape;
        const char* boundary;
    };
    const Case cases[] = {
        {"plain.eml", "text/plain", nullptr},
        {"alternative.eml", "multipart/alternative(text/plain,text/html)", "----=_Part_7781_1042013560"},
        // The inner multipart is the second child: it is split all the same.
        {"nested.eml",
         "multipart/mixed(text/plain,multipart/alternative(text/plain,text/html),application/octet-stream,TEXT/PLAIN)",
         "outer-boundary-1"},
        {"signed.eml", "multipart/signed(text/plain,application/pgp-signature)", "=-sig-B0undary-42"},
        // After the closing boundary a line that looks like one is epilogue, not a new part.
        {"preamble_epilogue.eml", "multipart/mixed(-,text/plain)", "digest99"},
        {"bare_lf.eml", "multipart/mixed(text/plain,text/plain)", "lf-bound"},
        {"top_headers.eml", "text/html", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        MailMessage message;
        ASSERT_EQ(message.loadFile(fixturePath(c.fixture)), 0);
        EXPECT_EQ(shape(message.root()), c.shape);
        if (c.boundary) EXPECT_STREQ(message.root()->boundary, c.boundary);
        else EXPECT_EQ(message.root()->boundary, nullptr);
    }
}

TEST(MailMessageMime, PartsEndWhereTheNextBoundaryLineBegins) {
    std::string text = readFixture("preamble_epilogue.eml");
    MailMessage message;
    message.parse(text);
    const MessagePart* root = message.root();
    EXPECT_EQ(root->textLength, text.size());
    // The root's body is the preamble, starting with the line end of the empty line.
    EXPECT_STREQ(root->body, "\r\nPreamble: this text is for readers without MIME.");

    const MessagePart* first = root->firstChild;
    EXPECT_EQ(first->headers, nullptr);
    EXPECT_STREQ(first->text, "\r\nFirst article without its own header.\r\n");
    EXPECT_STREQ(first->body, first->text);
    EXPECT_EQ(std::string(first->text, first->textLength), "\r\nFirst article without its own header.\r\n");

    const MessagePart* second = first->next;
    EXPECT_STREQ(second->text, "Content-Type: text/plain\r\n\r\nSecond article.");
    EXPECT_STREQ(second->body, "\r\nSecond article.");
    // The second part ends at the closing line; the epilogue is part of the root only.
    EXPECT_EQ(std::string(second->text, second->textLength),
              "Content-Type: text/plain\r\n\r\nSecond article.");
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(*message.bodyText(false),
              "\r\nFirst article without its own header.\r\n\r\nSecond article.");
}

TEST(MailMessageMime, BoundaryParameterForms) {
    struct Case {
        const char* contentType;
        const char* boundary; // null: none
    };
    const Case cases[] = {
        {"multipart/mixed; boundary=\"abc\"", "abc"},
        {"Multipart/Mixed; BOUNDARY=abc; charset=x", "abc"},
        {"multipart/related; type=\"text/html\"; boundary = \" a b \" ", " a b "},
        {"multipart/mixed; boundary=\"x=y\"", "x=y"},
        {"multipart/mixed; boundary=\t'q'\t", "'q'"},
        {"multipart/mixed; boundary=\"\"", nullptr}, // empty: would split at every "--" line
        {"multipart/mixed; boundary", nullptr},
        {"multipart/mixed", nullptr},
        {"text/plain; boundary=abc", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType);
        MailMessage message;
        message.parse(std::string("Content-Type: ") + c.contentType + "\r\n\r\nbody\r\n");
        if (c.boundary) EXPECT_STREQ(message.root()->boundary, c.boundary);
        else EXPECT_EQ(message.root()->boundary, nullptr);
    }
}

TEST(MailMessageMime, SplittingEdgeCases) {
    struct Case {
        const char* what;
        std::string text;
        const char* shape;
        const char* body; // bodyText(false)
    };
    const std::string mixed = "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n";
    const Case cases[] = {
        {"boundary never appears: one part", mixed + "just text\r\n--other\r\n", "multipart/mixed", ""},
        {"boundary lines compare case-insensitively", mixed + "--B\r\n\r\none\r\n--B--\r\n", "multipart/mixed(-)",
         "\r\none"},
        {"an inner boundary that extends the outer one nests",
         mixed + "--b\r\nContent-Type: multipart/alternative; boundary=\"b-inner\"\r\n\r\n--b-inner\r\n\r\nin1\r\n"
                 "--b-inner\r\n\r\nin2\r\n--b-inner--\r\n--b\r\n\r\nout2\r\n--b--\r\n",
         "multipart/mixed(multipart/alternative(-,-),-)", "\r\nin1\r\nin2\r\nout2"},
        {"the outer closing ends an inner part that never closed",
         mixed + "--b\r\nContent-Type: multipart/alternative; boundary=i\r\n\r\n--i\r\n\r\ninner\r\n--b--\r\nafter\r\n",
         "multipart/mixed(multipart/alternative(-))", "\r\ninner"},
        {"an empty part between two boundary lines", mixed + "--b\r\n--b\r\n\r\nsecond\r\n--b--\r\n",
         "multipart/mixed(-,-)", "\r\nsecond"},
        {"a part whose header runs into the next boundary has no body",
         mixed + "--b\r\nContent-Type: text/plain\r\n--b\r\n\r\nsecond\r\n--b--\r\n", "multipart/mixed(text/plain,-)",
         "\r\nsecond"},
        {"a boundary with trailing blanks still opens a part", mixed + "--b \t\r\n\r\nx\r\n--b--", "multipart/mixed(-)",
         "\r\nx"},
        {"a boundary as the very last line", mixed + "--b", "multipart/mixed(-)", ""},
        {"lines starting with -- inside a part are text", mixed + "--b\r\n\r\n-- \r\n---\r\n--c\r\n--b--\r\n",
         "multipart/mixed(-)", "\r\n-- \r\n---\r\n--c"},
        // Without an exact boundary line, one that only starts with the boundary still counts.
        {"a boundary followed by other text opens a part", mixed + "--b\r\n\r\none\r\n--b_x\r\n\r\ntwo\r\n--b--",
         "multipart/mixed(-,-)", "\r\none\r\ntwo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MailMessage message;
        message.parse(c.text);
        EXPECT_EQ(shape(message.root()), c.shape);
        EXPECT_EQ(*message.bodyText(false), c.body);
        EXPECT_EQ(message.source(), c.text);
        expectSoundTree(message, message.root());
    }
}

TEST(MailMessageMime, HostileNestingStaysBounded) {
    // Thousands of nested multiparts: parsing stays linear and the depth is capped.
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "Content-Type: multipart/mixed; boundary=n" + std::to_string(i) + "\r\n\r\n--n" + std::to_string(i) + "\r\n";
    text += "\r\ninnermost\r\n";
    MailMessage message;
    message.parse(text);
    int depth = 0;
    for (const MessagePart* part = message.root(); part; part = part->firstChild) ++depth;
    EXPECT_GT(depth, 10);
    EXPECT_LT(depth, 100);
    EXPECT_EQ(message.source(), text);
}

// --- body text ------------------------------------------------------------------------------------

TEST(MailMessageBodyText, AlternativeMessageWithAndWithoutHtml) {
    MailMessage message;
    message.parse(readFixture("alternative.eml"));
    const std::string plain = "\r\nYour order 10442 has shipped.\r\nTrack it online.\r\n";
    const std::string html =
        "\r\n<html><head><title>Order</title></head><body>\r\n<p>Your order <b>10442</b> has&nbsp;shipped.<BR>Track it "
        "<a href=\"http://shop.example.com/t?o=10442\">online</a>.</p>\r\n</body></html>\r\n";
    EXPECT_EQ(*message.bodyText(false), plain + html);
    EXPECT_EQ(*message.bodyText(true), plain + "\r\nOrder\r\nYour order 10442 has shipped.\r\nTrack it online.\r\n\r\n");
}

TEST(MailMessageBodyText, DecodesTransferEncodingsAndSkipsNonText) {
    MailMessage message;
    message.parse(readFixture("nested.eml"));
    EXPECT_EQ(*message.bodyText(false),
              // quoted-printable: soft line break joined, escapes decoded
              "\r\nThe delivery arrived on time. Price per unit: 12,50 \xA4\r\r\nTotal: 100 units.\r\n"
              // the nested alternative
              "\r\nSummary in plain text.\r\n"
              "\r\n<p>Summary in <i>HTML</i>.</p>\r\n"
              // the binary attachment contributes nothing; "TEXT/PLAIN" in "BASE64" is decoded
              // across its line breaks
              "Packing list:\r\n- 3 boxes\r\n- 1 crate\r\nAll items were checked twice.\r\n");
}

TEST(MailMessageBodyText, WhichPartsCountAsText) {
    struct Case {
        const char* headers;
        const char* body;
        const char* text; // bodyText(true)
    };
    const Case cases[] = {
        {"", "no content type\r\n", "\r\nno content type\r\n"},
        {"Content-Type: text/plain\r\n", "plain\r\n", "\r\nplain\r\n"},
        {"Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n", "R0lGODlh\r\n", ""},
        {"Content-Type: application/octet-stream\r\n", "binary\r\n", ""},
        {"Content-Type: text/plain\r\nContent-Transfer-Encoding: Quoted-Printable\r\n", "a=3Db=\r\nc\r\n",
         "\r\na=bc\r\n"},
        {"Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n", "YQBi\r\n", "a b"}, // NUL byte
        {"Content-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n", "=41\r\n", "\r\n=41\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        MailMessage message;
        message.parse(std::string(c.headers) + "\r\n" + c.body);
        EXPECT_EQ(*message.bodyText(true), c.text);
    }
    MailMessage empty;
    EXPECT_FALSE(empty.bodyText(true).has_value());
}

TEST(MailMessageBodyText, HtmlStripping) {
    struct Case {
        const char* html;
        const char* text;
    };
    const Case cases[] = {
        {"a<br>b<BR>c<Br>d", "a\r\nb\r\nc\r\nd"},
        {"a<br/>b<br >c", "abc"}, // only the exact four characters become a line break
        {"<p class=\"x\">para</p>", "para"},
        {"<a\r\nhref=\"x\">multi-line tag</a>", "multi-line tag"},
        {"x&nbsp;y&NBSP;z&amp;", "x y z&amp;"},
        {"1 < 2 and <b>bold</b>", "1 bold"},
        {"kept <unclosed tag", "kept <unclosed tag"},
        {"&nbsp", "&nbsp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.html);
        MailMessage message;
        message.parse(std::string("Content-Type: text/html\r\n\r\n") + c.html);
        EXPECT_EQ(*message.bodyText(true), std::string("\r\n") + c.text);
        EXPECT_EQ(*message.bodyText(false), std::string("\r\n") + c.html);
    }
}

// --- partial downloads, files, copies ----------------------------------------------------------------

TEST(MailMessageTop, KeepsTheHeaderAndTheRequestedLines) {
    const std::string full = readFixture("plain.eml");
    const size_t headerEnd = full.find("\r\n\r\n") + 2;
    struct Case {
        int maxLines;
        int keptLines;
        size_t length;
    };
    const Case cases[] = {
        {0, 1, headerEnd + 2},
        {2, 3, full.find("attached") - 0},
        {-5, 1, headerEnd + 2},
        {1000, 11, full.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxLines);
        MailMessage message;
        message.parseTop(full, c.maxLines);
        EXPECT_EQ(message.topLines(), c.keptLines);
        EXPECT_EQ(message.source(), full.substr(0, c.length));
        EXPECT_STREQ(message.headerByName("Subject"), "Minutes of Monday's meeting");
    }
    // A header-only TOP result is kept as it is.
    const std::string top = readFixture("top_headers.eml");
    MailMessage message;
    message.parseTop(top, 0);
    EXPECT_EQ(message.source(), top);
    EXPECT_EQ(message.topLines(), 1);
    EXPECT_EQ(*message.bodyText(true), "\r\n");

    MailMessage copy;
    copy.copy(message);
    EXPECT_EQ(copy.topLines(), 1);
    EXPECT_EQ(copy.source(), top);
}

TEST(MailMessageFiles, LoadAndSaveKeepTheBytes) {
    TempFolder folder;
    MailMessage message;
    EXPECT_EQ(message.loadFile(folder.file("missing.eml")), 1);
    EXPECT_EQ(message.root(), nullptr);
    EXPECT_EQ(message.size(), 0u);
    EXPECT_EQ(message.saveFile(folder.file("empty.eml")), -1);
    EXPECT_FALSE(std::filesystem::exists(folder.file("empty.eml")));

    ASSERT_EQ(message.loadFile(fixturePath("signed.eml")), 0);
    EXPECT_EQ(message.size(), std::filesystem::file_size(fixturePath("signed.eml")));
    const std::string saved = folder.write("saved.eml", "old content that is longer than nothing");
    ASSERT_EQ(message.saveFile(saved), 0);
    EXPECT_EQ(TempFolder::read(saved), readFixture("signed.eml"));
    struct stat info {};
    ASSERT_EQ(::stat(saved.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Only the target is left in the folder: no temporary file remains.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);

    EXPECT_EQ(message.saveFile(folder.file("no/such/folder/x.eml")), -1);
    // A failed load empties the message.
    EXPECT_EQ(message.loadFile(folder.path()), 1);
    EXPECT_EQ(message.root(), nullptr);
}

TEST(MailMessageFiles, CopyOutlivesItsOriginal) {
    MailMessage copy;
    {
        MailMessage original;
        original.parse(readFixture("nested.eml"));
        copy.copy(original);
        copy.copy(copy);
    }
    EXPECT_EQ(copy.source(), readFixture("nested.eml"));
    EXPECT_EQ(copy.topLines(), -1);
    EXPECT_STREQ(copy.headerByName("Subject"), "Delivery report with attachment");
    MailMessage moved(std::move(copy));
    EXPECT_STREQ(moved.headerByName("Subject"), "Delivery report with attachment");
}

// --- dates ---------------------------------------------------------------------------------------

/// Sets TZ for the lifetime of the object.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (old_) ::setenv("TZ", old_->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST(MailMessageDate, TheReceivedExampleIsSevenJanuary2105Utc) {
    MailMessage message;
    message.parse(readFixture("plain.eml"));
    // The first Received header wins over the later one and the Date header.
    EXPECT_EQ(message.dateUtc(), (MessageDate{2003, 1, 7, 21, 5, 0}));
    ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(message.date(), (MessageDate{2003, 1, 7, 22, 5, 0}));
}

TEST(MailMessageDate, LocalTimeUsesTheRulesOfThatInstant) {
    ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    // Winter and summer dates converted on the same day get different offsets.
    EXPECT_EQ(utcToLocal({2003, 1, 15, 12, 0, 0}), (MessageDate{2003, 1, 15, 13, 0, 0}));
    EXPECT_EQ(utcToLocal({2003, 7, 15, 12, 0, 0}), (MessageDate{2003, 7, 15, 14, 0, 0}));
    // Across the change on 30 March 2003 at 01:00 UTC.
    EXPECT_EQ(utcToLocal({2003, 3, 30, 0, 59, 0}), (MessageDate{2003, 3, 30, 1, 59, 0}));
    EXPECT_EQ(utcToLocal({2003, 3, 30, 1, 0, 0}), (MessageDate{2003, 3, 30, 3, 0, 0}));
}

TEST(MailMessageDate, ReadsTheFormsMailUses) {
    struct Case {
        const char* text;
        std::optional<MessageDate> utc;
    };
    const Case cases[] = {
        {"Tue, 7 Jan 2003 13:05:00 -0800", MessageDate{2003, 1, 7, 21, 5, 0}},
        {"7 Jan 2003 13:05:00 -0800 (PST)", MessageDate{2003, 1, 7, 21, 5, 0}},
        {"  tue,7 jan 2003 13:05:00 +0000", MessageDate{2003, 1, 7, 13, 5, 0}},
        {"Mon, 31 Dec 2001 23:30:00 -0100", MessageDate{2002, 1, 1, 0, 30, 0}},
        {"Sat, 1 Mar 2003 00:10 +0100", MessageDate{2003, 2, 28, 23, 10, 0}},
        {"1 Mar 2004 00:10:00 +0100", MessageDate{2004, 2, 29, 23, 10, 0}},
        {"Wed, 8 Jan 03 09:12:40 EST", MessageDate{2003, 1, 8, 14, 12, 40}},
        {"8 jan 2003 9:12:40 pdt", MessageDate{2003, 1, 8, 16, 12, 40}},
        {"14 Jan 2003 03:04:05 GMT", MessageDate{2003, 1, 14, 3, 4, 5}},
        {"14 Jan 2003 03:04:05 CET", MessageDate{2003, 1, 14, 3, 4, 5}}, // unknown names count as UTC
        {"14 Jan 2003 03:04:05 A", MessageDate{2003, 1, 14, 4, 4, 5}},
        {"14 Jan 2003 03:04:05 Y", MessageDate{2003, 1, 13, 15, 4, 5}},
        {"14 Jan 99 03:04:05 +0000", MessageDate{1999, 1, 14, 3, 4, 5}},
        {"14 Jan 100 03:04:05 +0000", MessageDate{2000, 1, 14, 3, 4, 5}},
        {"14 Sept 2003 03:04:05 +0000", MessageDate{2003, 9, 14, 3, 4, 5}},
        {"14 January 2003 03:04:05 +0000", std::nullopt}, // fields are at most five characters
        {"2 Feb 2003 1:30:00 PM +0000", MessageDate{2003, 2, 2, 13, 30, 0}},
        {"2 Feb 2003 12:30:00 PM +0000", MessageDate{2003, 2, 2, 12, 30, 0}},
        {"2 Feb 2003 12:30:00 am +0000", MessageDate{2003, 2, 2, 0, 30, 0}},
        {"", std::nullopt},
        {"Tue, 7 Foo 2003 13:05:00 -0800", std::nullopt},
        {"123456 Jan 2003 13:05:00", std::nullopt},
        {"x Jan 2003 13:05:00", std::nullopt},
        {"7 Jan 2003", std::nullopt},
        {"7 Jan 2003 25:00:00 +0000", std::nullopt},
        {"7 Jan 2003 13:75:00 +0000", std::nullopt},
        {"0 Jan 2003 13:05:00 +0000", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseMailDateUtc(c.text), c.utc);
    }
}

TEST(MailMessageDate, FallsBackFromReceivedToTheDateHeader) {
    struct Case {
        const char* headers;
        std::optional<MessageDate> utc;
    };
    const Case cases[] = {
        {"Received: from a by b;\t; Tue, 7 Jan 2003 13:05:00 -0800\r\nDate: 1 Feb 2003 10:00:00 +0000\r\n",
         MessageDate{2003, 1, 7, 21, 5, 0}},
        {"Received: from a by b\r\nReceived: from c; 2 Feb 2003 10:00:00 +0000\r\nDate: 1 Feb 2003 10:00:00 +0000\r\n",
         MessageDate{2003, 2, 2, 10, 0, 0}},
        {"Received: from a by b\r\nDate: 1 Feb 2003 10:00:00 +0000\r\n", MessageDate{2003, 2, 1, 10, 0, 0}},
        {"Received: from a; garbled\r\nDate: 1 Feb 2003 10:00:00 +0000\r\n", MessageDate{2003, 2, 1, 10, 0, 0}},
        {"Subject: no dates\r\n", std::nullopt},
        {"Received: from a by b\r\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        MailMessage message;
        message.parse(std::string(c.headers) + "\r\nbody\r\n");
        EXPECT_EQ(message.dateUtc(), c.utc);
    }
    EXPECT_FALSE(MailMessage().date().has_value());
}

} // namespace
} // namespace corvanthelix
