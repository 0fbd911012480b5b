#include "base/AtomicFile.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

TEST(AtomicFile, ReplacesWholeFilePrivatelyAndLeavesNoTemporary) {
    TempFolder tmp;
    std::string path = tmp.write("index.xml", "old content that is longer");
    ASSERT_TRUE(replaceFileAtomically(path, std::string("new\0bytes", 9)));
    std::string back;
    ASSERT_TRUE(readWholeFile(path, back));
    EXPECT_EQ(back, std::string("new\0bytes", 9));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing but the file itself is left in the folder.
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(tmp.path())) { (void)e; ++entries; }
    EXPECT_EQ(entries, 1);
}

TEST(AtomicFile, FailureKeepsTheOldFile) {
    TempFolder tmp;
    std::string path = tmp.write("keep.txt", "precious");
    EXPECT_FALSE(replaceFileAtomically(tmp.file("missing-folder/x.txt"), "data"));
    ASSERT_EQ(mkdir(tmp.file("dir-in-the-way").c_str(), 0700), 0);
    EXPECT_FALSE(replaceFileAtomically(tmp.file("dir-in-the-way"), "data"));
    std::string back;
    ASSERT_TRUE(readWholeFile(path, back));
    EXPECT_EQ(back, "precious");
    EXPECT_FALSE(readWholeFile(tmp.file("nope"), back));
}

TEST(AtomicFile, EnsureFolderMakesParents) {
    TempFolder tmp;
    EXPECT_TRUE(ensureFolder(tmp.file("a/b/c")));
    struct stat st {};
    ASSERT_EQ(stat(tmp.file("a/b/c").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(ensureFolder(tmp.write("file", "x") + "/sub"));
}
