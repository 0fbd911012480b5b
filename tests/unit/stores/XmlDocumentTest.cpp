#include "stores/XmlDocument.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

const std::string kHeader(XmlDocument::kHeader);

// Shows the whole tree in list order: "root[child(a=1,b=2),other()] nextTopLevel[]".
std::string Dump(const XmlDocument& doc) {
    std::string out;
    for (const XmlElement* top = doc.root(); top; top = top->Next()) {
        if (!out.empty()) out += ' ';
        out += top->name() + "[";
        for (const XmlElement* child = top->firstChild(); child; child = child->Next()) {
            if (child != top->firstChild()) out += ',';
            out += child->name() + "(";
            for (const XmlAttribute* a = child->firstAttribute(); a; a = a->Next()) {
                if (a != child->firstAttribute()) out += ',';
                out += a->name() + "=" + a->value();
            }
            out += ")";
        }
        out += "]";
    }
    return out;
}

struct ReadCase {
    const char* what;
    std::string text;
    std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.what; }

class XmlReader : public ::testing::TestWithParam<ReadCase> {};

TEST_P(XmlReader, ReadsTheDialectAndItsQuirks) {
    XmlDocument doc;
    ASSERT_TRUE(doc.parse(GetParam().text));
    EXPECT_TRUE(doc.isLoaded());
    EXPECT_EQ(Dump(doc), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlReader,
    ::testing::Values(
        ReadCase{"written file", kHeader + "<r>\n<c b=\"2\" a=\"1\"/>\n<d/>\n</r>\n", "r[d(),c(a=1,b=2)]"},
        ReadCase{"header only", kHeader, ""},
        ReadCase{"empty root", kHeader + "<r>\n</r>\n", "r[]"},
        ReadCase{"root closing tag missing", kHeader + "<r>\n<c a=\"1\"/>\n", ""},
        ReadCase{"cut inside the last child", kHeader + "<r>\n<c a=\"1\"/>\n<c a=\"", ""},
        ReadCase{"cut inside the closing name", kHeader + "<r>\n<c/>\n</", ""},
        ReadCase{"closing name ends the file", kHeader + "<r>\n<c/>\n</r", "r[c()]"},
        ReadCase{"closing tag with a space", "<r>\n<c/>\n</r >", "r[c()]"},
        ReadCase{"empty value", "<r><c a=\"\" b=\"x\"/></r>", "r[c(b=x,a=)]"},
        ReadCase{"tabs around names and values", "<r>\n<\tc a\t=\t\"x y\"\t b\t=2\t/>\n</r>",
                 "r[c(b=2,a=x y)]"},
        ReadCase{"spaces around the equals sign", "<r><c a = \"1\"  b= 2/></r>", "r[c(b=2,a=1)]"},
        ReadCase{"unquoted values end at a space", "<r><c a=one two=2/></r>", "r[c(two=2,a=one)]"},
        ReadCase{"quoted value keeps its spaces", "<r><c a=\"one two\"/></r>", "r[c(a=one two)]"},
        ReadCase{"every outer quote is stripped", "<r><c a=\"\"\"q\"\"/></r>", "r[c(a=q)]"},
        ReadCase{"the later duplicate wins", "<r><c a=\"1\" a=\"2\"/></r>", "r[c(a=2)]"},
        ReadCase{"equals at the very end reads as empty", "<r><c a=\"1\" z=/></r>", "r[c(z=,a=1)]"},
        ReadCase{"name without a value", "<r><c a=\"1\" flag/></r>", "r[c(flag=,a=1)]"},
        ReadCase{"root attributes are dropped", "<r version=\"2\">\n<c/>\n</r>", "r[c()]"},
        ReadCase{"nested tags are flattened", "<r>\n<g>\n<c a=1/>\n</g>\ntext\n<d/>\n</r>", "r[d(),c(a=1)]"},
        ReadCase{"self-closing top level keeps its whole text as the name",
                 "<solo x=\"1\"/>\n<r>\n<c/>\n</r>\n", "r[c()] solo x=\"1\"[]"},
        ReadCase{"last closing tag names another element", "<a>\n<x/>\n</a>\n<b>\n<y/>\n</b>\n", ""},
        ReadCase{"comment after the root", "<r>\n<c/>\n</r>\n<!-- end -->\n", ""},
        ReadCase{"closing name is case-sensitive", "<r>\n<c/>\n</R>\n", ""},
        ReadCase{"text ends at a NUL byte", std::string("<r>\n<c/>\n</r>\0<x/>", 17), "r[c()]"},
        ReadCase{"unmatched open bracket", "<r>\n<c a=1/>\n<", ""},
        ReadCase{"no tags at all", "plain text > here", "" }),
    [](const ::testing::TestParamInfo<ReadCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST(XmlWriter, EmptyRootIsThreeLines) {
    XmlDocument doc;
    doc.createRoot("recyclebin");
    EXPECT_EQ(XmlDocument::kHeader.size(), 44u);
    EXPECT_EQ(doc.toText(), kHeader + "<recyclebin>\n</recyclebin>\n");
}

TEST(XmlWriter, WritesChildLinesByteForByteWithoutEscaping) {
    XmlDocument doc;
    XmlElement* root = doc.createRoot("training");
    root->setAttribute("ignored", "top-level attributes are never written");
    root->addChild("bare");
    XmlElement* message = root->addChild("message");
    message->setAttribute("subject", "a <b> & c");
    message->setAttribute("size", "");
    message->addChild("deeper")->setAttribute("x", "1");
    EXPECT_EQ(doc.toText(), kHeader + "<training>\n<message size=\"\" subject=\"a <b> & c\"/>\n<bare/>\n</training>\n");
}

TEST(XmlWriter, NewestAttributeFirstAndReversedAfterReload) {
    XmlDocument doc;
    XmlElement* child = doc.createRoot("recyclebin")->addChild("message");
    child->setAttribute("name", "a.recycle");
    child->setAttribute("seen", "1");
    std::string first = doc.toText();
    EXPECT_NE(first.find("<message seen=\"1\" name=\"a.recycle\"/>"), std::string::npos);

    XmlDocument reloaded;
    reloaded.parse(first);
    EXPECT_NE(reloaded.toText().find("<message name=\"a.recycle\" seen=\"1\"/>"), std::string::npos);
}

TEST(XmlWriter, NewestChildFirstAndReversedAfterReload) {
    XmlDocument doc;
    XmlElement* root = doc.createRoot("r");
    for (const char* name : {"first", "second", "third"}) root->addChild(name);
    EXPECT_EQ(doc.toText(), kHeader + "<r>\n<third/>\n<second/>\n<first/>\n</r>\n");

    XmlDocument reloaded;
    reloaded.parse(doc.toText());
    EXPECT_EQ(reloaded.toText(), kHeader + "<r>\n<first/>\n<second/>\n<third/>\n</r>\n");
}

// Found by fuzzing (fuzz/regressions/xml/): a self-closing tag in front of the root is read as a
// second top-level element; writing it after the root made the next read find no root at all, so
// one save lost every entry of the index.
TEST(XmlWriter, RootAndChildrenReadBackAfterAWrite) {
    struct Case {
        const char* what;
        std::string text;
        std::string expected; // root[children] after one write and read, children reversed
    };
    const Case cases[] = {
        {"stray tag before the root", kHeader + "<solo x=\"1\"/>\n<r>\n<c a=\"1\"/>\n<d/>\n</r>\n", "r[c,d]"},
        {"fuzzer input",
         "<?xml version=\"1.0\" encoSpam word: free\"/>\n<mail file=\"ff00.eml\" sizm=12 fla/>ding=\"ISO-8859-1\"?>\n"
         "<recyclebin>\n<maib3c\xc3\x65ml\" subject\xbd\"=\xff\xff?Q?Hello_World?=\" 55000\" reaso flags/>\n</recyclebin>\n",
         "recyclebin[maib3c\xc3\x65ml\"]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XmlDocument read;
        read.parse(c.text);
        XmlDocument again;
        again.parse(read.toText());
        ASSERT_NE(again.root(), nullptr);
        std::string skeleton = again.root()->name() + "[";
        for (const XmlElement* child = again.root()->firstChild(); child; child = child->Next())
            skeleton += (child == again.root()->firstChild() ? "" : ",") + child->name();
        EXPECT_EQ(skeleton + "]", c.expected);
        EXPECT_EQ(again.root()->Next(), nullptr);
    }
}

TEST(XmlElement, SetAttributeReplacesInPlace) {
    XmlElement element("host");
    element.setAttribute("a", "1");
    XmlAttribute* b = element.setAttribute("b", "2");
    element.setAttribute("c", "3");
    EXPECT_EQ(element.setAttribute("b", "two"), b);
    std::string order;
    for (XmlAttribute* a = element.firstAttribute(); a; a = a->Next()) order += a->name() + "=" + a->value() + ";";
    EXPECT_EQ(order, "c=3;b=two;a=1;");
}

TEST(XmlElement, FindCopyAndRemove) {
    XmlElement root("r");
    XmlElement* child = root.addChild("c");
    XmlAttribute* a = child->setAttribute("Name", "x");
    EXPECT_EQ(child->findAttribute("Name"), a);
    EXPECT_EQ(child->findAttribute("name"), nullptr); // case-sensitive
    EXPECT_EQ(child->findAttribute(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(child->copyAttributeValue("Name"), std::optional<std::string>("x"));
    EXPECT_EQ(child->copyAttributeValue("missing"), std::nullopt);
    EXPECT_EQ(child->setAttribute("", "v")->name(), "unknown");

    // Entries of another element are left alone rather than unlinked from the wrong list.
    XmlElement stranger("s");
    XmlAttribute* foreign = stranger.setAttribute("Name", "y");
    XmlElement* foreignChild = stranger.addChild("c");
    child->removeAttribute(foreign);
    root.removeChild(foreignChild);
    EXPECT_EQ(stranger.findAttribute("Name"), foreign);
    EXPECT_EQ(stranger.firstChild(), foreignChild);

    child->removeAttribute(a);
    child->removeAttribute(nullptr);
    EXPECT_EQ(child->findAttribute("Name"), nullptr);
    XmlElement* keep = root.addChild("keep");
    root.removeChild(child);
    root.removeChild(nullptr);
    EXPECT_EQ(root.firstChild(), keep);
    EXPECT_EQ(keep->Next(), nullptr);
    EXPECT_EQ(keep->previous(), nullptr);
}

TEST(XmlDocumentFile, SaveReplacesTheFilePrivatelyAndLoadReadsItBack) {
    TempFolder tmp;
    std::string path = tmp.write("index.xml", "old contents");
    chmod(path.c_str(), 0644);
    XmlDocument doc;
    doc.createRoot("hostlist")->addChild("host")->setAttribute("server", "mail.example.org");
    ASSERT_TRUE(doc.save(path));

    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(TempFolder::read(path), doc.toText());
    int files = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(tmp.path())) ++files;
    EXPECT_EQ(files, 1) << "no temporary file is left behind";

    XmlDocument loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(Dump(loaded), "hostlist[host(server=mail.example.org)]");
    // Loading again starts from scratch instead of adding to what is there.
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(Dump(loaded), "hostlist[host(server=mail.example.org)]");
}

TEST(XmlDocumentFile, FailuresLeaveStateAsDocumented) {
    TempFolder tmp;
    XmlDocument doc;
    EXPECT_FALSE(doc.save(tmp.file("never.xml"))) << "a document that is not loaded writes nothing";
    EXPECT_FALSE(std::filesystem::exists(tmp.file("never.xml")));

    doc.createRoot("r");
    EXPECT_FALSE(doc.save(tmp.file("missing-folder/r.xml")));

    EXPECT_FALSE(doc.load(tmp.file("absent.xml")));
    EXPECT_FALSE(doc.isLoaded());
    EXPECT_EQ(doc.root(), nullptr);
    EXPECT_FALSE(doc.load(tmp.path())) << "a folder cannot be read";
    EXPECT_FALSE(doc.isLoaded());

    doc.createRoot("r");
    doc.clear();
    EXPECT_FALSE(doc.isLoaded());
    EXPECT_EQ(doc.root(), nullptr);
}

// A training index as the store writes it, Q-encoded free text included.
std::string RealDocument() {
    XmlDocument doc;
    XmlElement* root = doc.createRoot("training");
    for (int i = 0; i < 12; ++i) {
        XmlElement* m = root->addChild("message");
        m->setAttribute("filename", std::to_string(0x1a2b3c + i * 977) + ".eml");
        m->setAttribute("sender", "Jane_Doe_=3Cjane@example.org=3E");
        m->setAttribute("subject", "Re=3A_meeting_" + std::to_string(i));
        m->setAttribute("date", "2459000");
        m->setAttribute("size", std::to_string(1000 + i));
        m->setAttribute("block", i % 2 ? "1" : "0");
    }
    return doc.toText();
}

TEST(XmlRobustness, EveryTruncationLoadsAsNothingOrAsTheWholeDocument) {
    const std::string full = RealDocument();
    XmlDocument whole;
    whole.parse(full);
    const std::string expected = Dump(whole);
    ASSERT_EQ(expected.substr(0, 9), "training[");

    int complete = 0;
    for (size_t length = 0; length <= full.size(); ++length) {
        XmlDocument doc;
        ASSERT_TRUE(doc.parse(full.substr(0, length)));
        std::string dump = Dump(doc);
        ASSERT_TRUE(dump.empty() || dump == expected) << "cut at " << length << ": " << dump;
        complete += !dump.empty();
    }
    // Only cuts inside or after the final "</training>" keep the entries.
    EXPECT_EQ(complete, 3);

    TempFolder tmp;
    for (size_t length : {size_t{0}, full.size() / 3, full.size() - 2, full.size()}) {
        XmlDocument doc;
        ASSERT_TRUE(doc.load(tmp.write("cut.xml", full.substr(0, length))));
        EXPECT_EQ(doc.root() != nullptr, length >= full.size() - 2) << length;
    }
}

TEST(XmlRobustness, RandomBytesNeverHangOrCrash) {
    std::mt19937 random(0x5eed2024);
    const std::string dialect = "<>/=\"? \t\nabr";
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 400, '\0');
        for (char& c : text)
            c = round % 2 ? static_cast<char>(random() % 256) : dialect[random() % dialect.size()];
        XmlDocument doc;
        ASSERT_TRUE(doc.parse(text));
        // What was read can be written and read again.
        XmlDocument again;
        ASSERT_TRUE(again.parse(doc.toText()));
    }
}

} // namespace
