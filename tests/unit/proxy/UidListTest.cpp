#include "proxy/UidList.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

// Count and longest length, little-endian, then the lines.
std::string listFile(uint32_t count, uint32_t longest, const std::string& lines) {
    std::string out;
    for (uint32_t v : {count, longest})
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out + lines;
}

} // namespace

TEST(AccountFileKey, IsLowerHexCrcOfUserAtServerWithoutLeadingZeros) {
    // Values from Python's zlib.crc32.
    EXPECT_EQ(accountFileKey("jane", "mail.example.org"), "fa6cba92@ab698299");
    EXPECT_EQ(accountFileKey("u172", "mail.example.org"), "dcf1a1@ab698299");
    EXPECT_EQ(accountFileKey("", ""), "0@0");
    EXPECT_EQ(UidList::filePath("/p", "mail.example.org", "jane"), "/p/uid/fa6cba92@ab698299.corvanthelix.uidlist");
}

TEST(UidList, SavesOnlyPresentUidsOnceEachAndReloadsThem) {
    TempFolder tmp;
    UidList list;
    EXPECT_FALSE(list.load(tmp.path(), "pop.example.org", "jane")) << "no file yet";
    struct stat st {};
    ASSERT_EQ(::stat(tmp.file("uid").c_str(), &st), 0) << "the folder is made on load";
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    list.markPresent("uid-1");
    list.markPresent("uid-22");
    list.markPresent("uid-1"); // the server lists it twice
    list.markPresent(nullptr);
    ASSERT_TRUE(list.save(tmp.path(), "pop.example.org", "jane"));
    const std::string path = UidList::filePath(tmp.path(), "pop.example.org", "jane");
    EXPECT_EQ(TempFolder::read(path), listFile(2, 6, "uid-1\nuid-22\n"));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Next check: uid-1 has vanished from the server, uid-3 is new.
    UidList next;
    ASSERT_TRUE(next.load(tmp.path(), "pop.example.org", "jane"));
    EXPECT_TRUE(next.contains("uid-1"));
    EXPECT_TRUE(next.contains("uid-22"));
    EXPECT_FALSE(next.contains("UID-22")) << "case-sensitive";
    EXPECT_FALSE(next.contains(static_cast<const char*>(nullptr)));
    next.markPresent("uid-22");
    next.markPresent("uid-3");
    ASSERT_TRUE(next.save(tmp.path(), "pop.example.org", "jane"));
    EXPECT_EQ(TempFolder::read(path), listFile(2, 6, "uid-22\nuid-3\n")) << "the vanished UID is gone";

    // Another account on the same server has its own file.
    UidList other;
    EXPECT_FALSE(other.load(tmp.path(), "pop.example.org", "Jane"));
    EXPECT_TRUE(other.empty());
}

TEST(UidList, ReadsFilesAsWrittenAndToleratesDamage) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"plain", listFile(2, 3, "abc\nde\n"), {"abc", "de"}},
        {"CR LF line ends", listFile(2, 3, "abc\r\nde\r\n"), {"abc", "de"}},
        {"empty lines do not count", listFile(2, 3, "\nabc\n\n\nde\nextra\n"), {"abc", "de"}},
        {"stops after the stated count", listFile(1, 3, "abc\nde\n"), {"abc"}},
        {"last line without line feed", listFile(2, 3, "abc\nde"), {"abc", "de"}},
        {"count 0 is an empty list", listFile(0, 3, "abc\n"), {}},
        {"length 0 is an empty list", listFile(1, 0, "abc\n"), {}},
        {"too short", std::string("\x01\x00\x00", 3), {}},
        {"duplicate kept once", listFile(3, 3, "abc\nabc\nde\n"), {"abc", "de"}},
        // A line longer than the stated maximum stays one UID.
        {"longer than stated", listFile(1, 2, "abcdef\n"), {"abcdef"}},
    };
    for (const Case& c : cases) {
        UidList list;
        list.parse(c.bytes);
        EXPECT_EQ(list.size(), c.expected.size()) << c.name;
        for (const std::string& uid : c.expected) EXPECT_TRUE(list.contains(uid)) << c.name << ": " << uid;
        EXPECT_EQ(list.presentCount(), 0u) << c.name;
    }
}

TEST(UidList, LeavesOutUidsThatCannotBeStored) {
    UidList list;
    list.markPresent("good");
    list.markPresent("bad\nuid");
    list.markPresent("");
    EXPECT_EQ(list.serialize(), listFile(1, 4, "good\n"));
}

TEST(UidList, SeedsEveryNewAccountFromTheOldGlobalFileOnce) {
    TempFolder tmp;
    tmp.write("uniqueid.xml",
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<uniqueid>\n"
              "<mail uid=\"old-1\"/>\n<mail uid=\"\"/>\n<mail uid=\"old-22\"/>\n</uniqueid>\n");
    for (const char* user : {"jane", "john"}) {
        UidList list;
        ASSERT_TRUE(list.load(tmp.path(), "pop.example.org", user)) << user;
        EXPECT_TRUE(list.contains("old-1")) << user;
        EXPECT_TRUE(list.contains("old-22")) << user;
        EXPECT_EQ(list.size(), 2u) << "the empty uid is left out";
    }

    // jane's first QUIT: the server holds only old-22 and a new one.
    UidList jane;
    ASSERT_TRUE(jane.load(tmp.path(), "pop.example.org", "jane"));
    jane.markPresent("old-22");
    jane.markPresent("new-1");
    ASSERT_TRUE(jane.save(tmp.path(), "pop.example.org", "jane"));
    // The global file is not read again for an account that has its own file.
    UidList again;
    ASSERT_TRUE(again.load(tmp.path(), "pop.example.org", "jane"));
    EXPECT_FALSE(again.contains("old-1"));
    EXPECT_TRUE(again.contains("new-1"));
    EXPECT_TRUE(again.contains("old-22"));
}

TEST(UidList, UnreadableFileIsAnEmptyList) {
    TempFolder tmp;
    UidList list;
    list.markPresent("left-over");
    // A folder where the file should be: cannot be read.
    ASSERT_EQ(::mkdir(tmp.file("uid").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(UidList::filePath(tmp.path(), "s", "u").c_str(), 0700), 0);
    EXPECT_FALSE(list.load(tmp.path(), "s", "u"));
    EXPECT_TRUE(list.empty());
    list.markPresent("x");
    EXPECT_FALSE(list.save(tmp.path(), "s", "u"));
}
