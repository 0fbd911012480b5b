#include "stores/IndexJournal.h"

#include "stores/XmlDocument.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

// The children of the root in list order: "name=a,x=1;name=b".
std::string Dump(const XmlElement& root) {
    std::string out;
    for (const XmlElement* child = root.firstChild(); child; child = child->Next()) {
        if (!out.empty()) out += ';';
        for (const XmlAttribute* a = child->firstAttribute(); a; a = a->Next()) {
            if (a != child->firstAttribute()) out += ',';
            out += a->name() + "=" + a->value();
        }
    }
    return out;
}

class IndexJournalTest : public ::testing::Test {
protected:
    TempFolder temp;
    std::string path = temp.file("index.journal");
    IndexJournal journal{path, "recyclefile", "name"};

    /// A document holding the given children, each given as its attributes in list order.
    static void Fill(XmlDocument& doc, const std::vector<std::vector<std::pair<std::string, std::string>>>& children) {
        XmlElement* root = doc.createRoot("recyclebin");
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            XmlElement* child = root->addChild("recyclefile");
            for (auto a = it->rbegin(); a != it->rend(); ++a) child->setAttribute(a->first, a->second);
        }
    }
};

TEST_F(IndexJournalTest, ReplayRebuildsTheChangedEntriesExactlyAndTwiceChangesNothing) {
    // The live document and its changes, journalled as they happen.
    XmlDocument live;
    Fill(live, {{{"name", "a"}, {"subject", "x"}}, {{"name", "b"}}, {{"name", "c"}}});
    XmlDocument start;
    Fill(start, {{{"name", "a"}, {"subject", "x"}}, {{"name", "b"}}, {{"name", "c"}}});
    XmlElement* root = live.root();

    XmlElement* added = root->addChild("recyclefile");
    added->setAttribute("seen", "");
    added->setAttribute("odd", " spaces : colons\nline feed=\"quoted\" \xff");
    added->setAttribute("name", "new file.recycle");
    ASSERT_TRUE(journal.append(journal.encodeTransaction({added}, {})));
    XmlElement* a = root->firstChild()->Next();
    a->setAttribute("deleted", "1");
    a->removeAttribute(a->findAttribute("subject"));
    root->removeChild(a->Next());
    ASSERT_TRUE(journal.append(journal.encodeTransaction({a}, {"b", "never there"})));

    ASSERT_EQ(Dump(*start.root()), "name=a,subject=x;name=b;name=c");
    IndexJournal::ReplayResult first = journal.replay(*start.root());
    EXPECT_EQ(first.transactions, 2);
    EXPECT_FALSE(first.damagedTail);
    EXPECT_EQ(Dump(*start.root()), Dump(*root));
    // A crash after the index absorbed the journal but before the journal went: replayed again.
    journal.replay(*start.root());
    EXPECT_EQ(Dump(*start.root()), Dump(*root));
}

TEST_F(IndexJournalTest, ReplayStopsAtTheFirstLineThatIsNotWhole) {
    XmlDocument doc;
    Fill(doc, {{{"name", "a"}}});
    XmlElement* entry = doc.root()->firstChild();
    entry->setAttribute("restored", "1");
    const std::string good = journal.encodeTransaction({entry}, {});
    entry->setAttribute("deleted", "1");
    const std::string later = journal.encodeTransaction({entry}, {});
    std::string flipped = later;
    flipped[flipped.size() - 3] ^= 1;

    struct Case {
        const char* what;
        std::string tail;
    };
    const Case cases[] = {
        {"no line feed", later.substr(0, later.size() - 1)},
        {"cut in the middle", later.substr(0, 20)},
        {"a changed byte", flipped},
        {"a checksum over a put without its key", "f8cda74f P :seen :0\n"},
        {"an unknown operation", "08ac3106 X :a\n"},
        {"an empty line", "\n"},
    };
    for (const Case& c : cases) {
        temp.write("index.journal", good + c.tail + good);
        XmlDocument replayed;
        Fill(replayed, {{{"name", "a"}}});
        IndexJournal::ReplayResult result = journal.replay(*replayed.root());
        EXPECT_EQ(result.transactions, 1) << c.what;
        EXPECT_TRUE(result.damagedTail) << c.what;
        EXPECT_EQ(Dump(*replayed.root()), "restored=1,name=a") << c.what;
    }
}

TEST_F(IndexJournalTest, AppendCreatesAPrivateFileAndDiscardRemovesIt) {
    XmlDocument doc;
    Fill(doc, {{{"name", "a"}}});
    const std::string line = journal.encodeTransaction({doc.root()->firstChild()}, {});
    ASSERT_TRUE(journal.append(line));
    ASSERT_TRUE(journal.append(line));
    EXPECT_EQ(journal.size(), 2 * line.size());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(TempFolder::read(path), line + line);
    EXPECT_TRUE(journal.discard());
    EXPECT_NE(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(journal.size(), 0u);
    EXPECT_TRUE(journal.discard()) << "nothing to remove is not a failure";

    // A journal that cannot be created reports it.
    IndexJournal nowhere(temp.file("missing/folder/index.journal"), "recyclefile", "name");
    EXPECT_FALSE(nowhere.append(line));
}

} // namespace
