#include "base/IniFile.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

const char* const kReadFixture =
    "; settings written by hand\n"
    "[Corvanthelix]\n"
    "Enable=1\n"
    "  Aggressiveness = 75  \n"
    "Number=-12abc\n"
    "Flag=yes\n"
    "Empty=\n"
    "Huge=99999999999\n"
    "Dup=first\n"
    "Dup=second\n"
    "Language=english.corvanthelix.language\n"
    ";Commented=5\n"
    "NoEquals\n"
    "[server]\n"
    "Port=1110\n";

struct ReadCase {
    const char* section;
    const char* key;
    int expectedInt;     // with default 7
    const char* expectedString; // with default "dflt"
};

std::string withCrlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string sectionBytes(const char* buffer, size_t used) { return std::string(buffer, used); }

} // namespace

TEST(IniFile, ReadsFollowTheProfileRulesInLfAndCrlfFiles) {
    const ReadCase cases[] = {
        {"CORVANTHELIX", "enable", 1, "1"},
        {"corvanthelix", "AGGRESSIVENESS", 75, "75"},
        {"Corvanthelix", "Number", -12, "-12abc"},
        {"Corvanthelix", "Flag", 0, "yes"},
        {"Corvanthelix", "Empty", 7, ""},
        {"Corvanthelix", "Huge", INT_MAX, "99999999999"},
        {"Corvanthelix", "Dup", 0, "first"},
        {"Corvanthelix", "Commented", 7, "dflt"},
        {"Corvanthelix", ";Commented", 7, "dflt"},
        {"Corvanthelix", "NoEquals", 7, "dflt"},
        {"Corvanthelix", "Port", 7, "dflt"},
        {"SERVER", "port", 1110, "1110"},
        {"Missing", "Enable", 7, "dflt"},
    };
    TempFolder tmp;
    for (const std::string& text : {std::string(kReadFixture), withCrlf(kReadFixture)}) {
        std::string path = tmp.write("settings.ini", text);
        IniFile::clearCache();
        for (const ReadCase& c : cases) {
            SCOPED_TRACE(std::string(c.section) + "/" + c.key);
            EXPECT_EQ(IniFile::readInt(c.section, c.key, 7, path), c.expectedInt);
            EXPECT_EQ(IniFile::readString(c.section, c.key, "dflt", path), c.expectedString);
        }
        EXPECT_TRUE(IniFile::hasKey("corvanthelix", "EMPTY", path));
        EXPECT_FALSE(IniFile::hasKey("corvanthelix", "NoEquals", path));
    }
    EXPECT_EQ(IniFile::readInt("Corvanthelix", "Enable", 7, tmp.file("absent.ini")), 7);
    EXPECT_EQ(IniFile::readString("Corvanthelix", "Enable", "dflt", tmp.file("absent.ini")), "dflt");
}

TEST(IniFile, StringReadsAreCutToTheBufferSize) {
    TempFolder tmp;
    std::string path = tmp.write("settings.ini", kReadFixture);
    EXPECT_EQ(IniFile::readString("Corvanthelix", "Language", "", path, 8), "english");
    EXPECT_EQ(IniFile::readString("Corvanthelix", "Missing", "defaultvalue", path, 4), "def");
    EXPECT_EQ(IniFile::readString("Corvanthelix", "Language", "", path, 0), "");

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(IniFile::readString("Corvanthelix", "Language", "", buffer, sizeof buffer, path), 7u);
    EXPECT_STREQ(buffer, "english");
    EXPECT_EQ(IniFile::readString("Corvanthelix", "Language", "", buffer, 1, path), 0u);
    EXPECT_STREQ(buffer, "");
}

TEST(IniFile, WritesCreateFileSectionAndKeyAndDeleteKeysButNotSections) {
    TempFolder tmp;
    std::string path = tmp.file("new.ini");
    ASSERT_TRUE(IniFile::writeString("SENDERS", "a@example.com", "Alice,1", path));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_TRUE(IniFile::writeString("senders", "b@example.com", std::string("Bob,2"), path));
    ASSERT_TRUE(IniFile::writeSettingInt("CORVANTHELIX", "Aggressiveness", -25, path));
    EXPECT_EQ(TempFolder::read(path),
              "[SENDERS]\na@example.com=Alice,1\nb@example.com=Bob,2\n[CORVANTHELIX]\nAggressiveness=-25\n");

    ASSERT_TRUE(IniFile::writeString("Senders", "A@EXAMPLE.COM", nullptr, path));
    ASSERT_TRUE(IniFile::writeString("Senders", "b@example.com", nullptr, path));
    ASSERT_TRUE(IniFile::writeString("Senders", "never@there", nullptr, path));
    EXPECT_EQ(TempFolder::read(path), "[SENDERS]\n[CORVANTHELIX]\nAggressiveness=-25\n");
    EXPECT_TRUE(IniFile::hasSection("SENDERS", path));
    EXPECT_EQ(IniFile::readString("SENDERS", "a@example.com", "gone", path), "gone");

    // Deleting from a missing file does not create it.
    EXPECT_TRUE(IniFile::writeString("S", "k", nullptr, tmp.file("still-missing.ini")));
    EXPECT_NE(stat(tmp.file("still-missing.ini").c_str(), &st), 0);
}

TEST(IniFile, RewritesKeepCommentsOrderSpacingAndLineEnds) {
    const std::string before =
        "; Corvanthelix settings\n"
        "\n"
        "[CORVANTHELIX]\n"
        "Enable = 1\n"
        "; the level\n"
        "Aggressiveness=50\n"
        "\n"
        "; ports below\n"
        "[SERVER]\n"
        "Port=110";
    const std::string after =
        "; Corvanthelix settings\n"
        "\n"
        "[CORVANTHELIX]\n"
        "Enable = 0\n"
        "; the level\n"
        "Aggressiveness=50\n"
        "TrySSL=1\n"
        "\n"
        "; ports below\n"
        "[SERVER]\n"
        "Port=110\n";
    TempFolder tmp;
    for (bool crlf : {false, true}) {
        SCOPED_TRACE(crlf ? "CR LF" : "LF");
        std::string path = tmp.write("settings.ini", crlf ? withCrlf(before) : before);
        ASSERT_TRUE(IniFile::writeSettingInt("corvanthelix", "enable", 0, path));
        ASSERT_TRUE(IniFile::writeSettingInt("CORVANTHELIX", "TrySSL", 1, path));
        struct stat first {};
        stat(path.c_str(), &first);
        // Writing the value a key already has leaves the file alone.
        ASSERT_TRUE(IniFile::writeString("SERVER", "Port", "110", path));
        struct stat second {};
        stat(path.c_str(), &second);
        EXPECT_EQ(first.st_ino, second.st_ino);
        EXPECT_EQ(TempFolder::read(path), crlf ? withCrlf(after) : after);
        EXPECT_EQ(IniFile::readInt("CORVANTHELIX", "Enable", 7, path), 0);
    }
}

TEST(IniFile, WritesThatWouldBreakTheFileAreRefused) {
    TempFolder tmp;
    const std::string original = "[S]\nk=v\n";
    std::string path = tmp.write("settings.ini", original);
    EXPECT_FALSE(IniFile::writeString("S", "k", "v\n[CORVANTHELIX]\nEnable=0", path));
    EXPECT_FALSE(IniFile::writeString("S", "k", "v\r", path));
    EXPECT_FALSE(IniFile::writeString("S", "a\nb", "v", path));
    EXPECT_FALSE(IniFile::writeString("S", "a=b", "v", path));
    EXPECT_FALSE(IniFile::writeString("S", ";k", "v", path));
    EXPECT_FALSE(IniFile::writeString("S", "[k", "v]", path));
    EXPECT_FALSE(IniFile::writeString("S", " ", "v", path));
    EXPECT_FALSE(IniFile::writeString("S]x", "k", "v", path));
    EXPECT_FALSE(IniFile::writeString("", "k", "v", path));
    EXPECT_EQ(TempFolder::read(path), original);

    // A path that cannot be read is never replaced; a missing folder cannot be written.
    std::string folder = tmp.file("folder.ini");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    EXPECT_FALSE(IniFile::writeString("S", "k", "v", folder));
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_FALSE(IniFile::writeString("S", "k", "v", tmp.file("no/such/folder.ini")));
}

TEST(IniFile, ReadsSeeOutsideEditsAndOwnWritesAtOnce) {
    TempFolder tmp;
    std::string path = tmp.write("settings.ini", "[S]\nk=1\n");
    EXPECT_EQ(IniFile::readInt("S", "k", 0, path), 1);

    // An edit in place that keeps the size, within the same second.
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    tmp.write("settings.ini", "[S]\nk=2\n");
    timespec times[2] = {before.st_atim, before.st_mtim};
    times[1].tv_nsec = before.st_mtim.tv_nsec == 0 ? 1 : before.st_mtim.tv_nsec - 1;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(IniFile::readInt("S", "k", 0, path), 2);

    // A replacement by rename with equal size and equal time stamps.
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    std::string other = tmp.write("other.ini", "[S]\nk=3\n");
    timespec same[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), same, 0), 0);
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    EXPECT_EQ(IniFile::readInt("S", "k", 0, path), 3);

    // An edit that changes the size, and removal of the file.
    tmp.write("settings.ini", "[S]\nk=44\n");
    EXPECT_EQ(IniFile::readInt("S", "k", 0, path), 44);
    std::remove(path.c_str());
    EXPECT_EQ(IniFile::readInt("S", "k", 0, path), 0);

    // The program's own writes follow each other faster than the file system's clock ticks.
    for (int value = 1; value <= 9; ++value) {
        ASSERT_TRUE(IniFile::writeSettingInt("S", "k", value, path));
        ASSERT_EQ(IniFile::readInt("S", "k", 0, path), value);
    }
}

TEST(IniFile, ASnapshotHoldsOutsideEditsBackUntilItEndsButSeesOwnWrites) {
    TempFolder tmp;
    std::string path = tmp.write("settings.ini", "[S]\nk=1\nj=5\n");
    std::string missing = tmp.file("missing.ini");
    {
        IniFile::Snapshot snapshot;
        EXPECT_EQ(IniFile::readInt("S", "k", 0, path), 1);
        EXPECT_EQ(IniFile::readInt("S", "k", 7, missing), 7);
        tmp.write("settings.ini", "[S]\nk=22\nj=66\n");
        tmp.write("missing.ini", "[S]\nk=3\n");
        {
            IniFile::Snapshot nested;
            EXPECT_EQ(IniFile::readInt("S", "k", 0, path), 1);
        }
        // The nested snapshot's end is not the end of the outer one.
        EXPECT_EQ(IniFile::readInt("S", "j", 0, path), 5);
        EXPECT_EQ(IniFile::readInt("S", "k", 7, missing), 7);

        // A write starts from the file as it is on disk, so the outside edit is kept too.
        ASSERT_TRUE(IniFile::writeSettingInt("S", "k", 9, path));
        EXPECT_EQ(IniFile::readInt("S", "k", 0, path), 9);
        EXPECT_EQ(IniFile::readInt("S", "j", 0, path), 66);

        // Other threads are not held back.
        int seenElsewhere = 0;
        std::thread other([&] { seenElsewhere = IniFile::readInt("S", "k", 7, missing); });
        other.join();
        EXPECT_EQ(seenElsewhere, 3);
    }
    EXPECT_EQ(IniFile::readInt("S", "k", 7, missing), 3);
}

TEST(IniFile, ConcurrentWritersLoseNoKey) {
    TempFolder tmp;
    std::string path = tmp.file("settings.ini");
    constexpr int kThreads = 8;
    constexpr int kKeysPerThread = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&path, t] {
            for (int k = 0; k < kKeysPerThread; ++k)
                IniFile::writeSettingInt(t % 2 ? "SENDERS" : "CORVANTHELIX", "key" + std::to_string(t) + "_" + std::to_string(k),
                                         t * 1000 + k, path);
        });
    }
    std::thread reader([&path] {
        for (int i = 0; i < 2000; ++i) IniFile::readInt("CORVANTHELIX", "key0_0", 0, path);
    });
    for (std::thread& writer : writers) writer.join();
    reader.join();

    IniFile::clearCache(); // check what is on disk, not what the writers remembered
    int missing = 0;
    for (int t = 0; t < kThreads; ++t)
        for (int k = 0; k < kKeysPerThread; ++k)
            if (IniFile::readInt(t % 2 ? "SENDERS" : "CORVANTHELIX", "key" + std::to_string(t) + "_" + std::to_string(k),
                                 -1, path) != t * 1000 + k)
                ++missing;
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(IniFile::readSectionLines("SENDERS", path).size(), size_t(kThreads / 2 * kKeysPerThread));
    size_t filesInFolder = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(tmp.path())) ++filesInFolder;
    EXPECT_EQ(filesInFolder, 1u) << "no temporary file may stay behind";
}

namespace {

const char* const kSectionFixture =
    "[Other]\n"
    "x=1\n"
    "[Words]   \n"
    " viagra=90 \n"
    "\tcasino = 80\t\n"
    " \t mixed=1\n"
    "; comment=3\n"
    "no equals here\n"
    "\n"
    "=empty key\n"
    "[not an end=1]\n"
    "last=5\n"
    "[Empty]\n"
    " [Tail] \n"
    "after=1\n"
    "[Indented] x\n"
    "y=2\n";

// The literal's own closing NUL is the list's second NUL.
const char kWordsBytes[] = "viagra=90\0casino = 80\0 mixed=1\0=empty key\0[not an end=1]\0last=5\0";
const std::string kWords(kWordsBytes, sizeof kWordsBytes);

struct SectionCase {
    const char* section;
    size_t bufferSize;
    std::string expected; // the bytes used
    size_t expectedReturn;
};

} // namespace

TEST(IniFile, ReadSectionKeepsKeyLinesAndCutsAtTheBufferEnd) {
    const SectionCase cases[] = {
        {"words", 200, kWords, kWords.size()},
        {"WORDS", kWords.size(), kWords, kWords.size()},
        {"Words", 15, std::string("viagra=90\0cas\0\0", 15), 15},
        {"Words", 12, std::string("viagra=90\0\0", 11), 11},
        {"Words", 2, std::string("\0\0", 2), 2},
        {"Other", 200, std::string("x=1\0\0", 5), 5},
        {"Empty", 200, std::string("\0\0", 2), 2},          // " [Tail] " ends it
        {"Indented", 200, std::string("\0\0", 2), 0},       // text after "]" is no header
        {"Tail", 200, std::string("\0\0", 2), 0},           // neither is a leading blank
        {"Missing", 200, std::string("\0\0", 2), 0},
    };
    TempFolder tmp;
    for (const std::string& text : {std::string(kSectionFixture), withCrlf(kSectionFixture)}) {
        std::string path = tmp.write("spampoints.ini", text);
        for (const SectionCase& c : cases) {
            SCOPED_TRACE(std::string(c.section) + " in " + std::to_string(c.bufferSize));
            std::vector<char> buffer(c.bufferSize, 'x');
            size_t used = IniFile::readSection(c.section, buffer.data(), buffer.size(), path);
            EXPECT_EQ(used, c.expectedReturn);
            EXPECT_EQ(sectionBytes(buffer.data(), c.expected.size()), c.expected);
        }
        std::vector<std::string> lines = IniFile::readSectionLines("Words", path);
        EXPECT_EQ(lines, (std::vector<std::string>{"viagra=90", "casino = 80", " mixed=1", "=empty key",
                                                   "[not an end=1]", "last=5"}));
    }
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(IniFile::readSection("Words", buffer, sizeof buffer, tmp.file("absent.ini")), 0u);
    EXPECT_EQ(sectionBytes(buffer, 2), std::string("\0\0", 2));
    EXPECT_TRUE(IniFile::readSectionLines("Words", tmp.file("absent.ini")).empty());
}

// Found by fuzzing (fuzz/regressions/settings/): a NUL byte inside a line of a section ended
// readSection's NUL-separated list there, so every later line, a sender entry say, was lost.
namespace {

// The bytes of a literal, NUL bytes inside included.
template <size_t N>
std::string withNul(const char (&text)[N]) {
    return std::string(text, N - 1);
}

} // namespace

TEST(IniFile, NulByteInsideASectionLineEndsOnlyThatLine) {
    struct Case {
        const char* what;
        const char* section;
        std::string text;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"fuzzer input", "", withNul("[]\n\0="), {}},
        {"NUL after a value", "Senders", withNul("[Senders]\nann@example.org=1\0junk\nbob@example.org=2\n"),
         {"ann@example.org=1", "bob@example.org=2"}},
        {"NUL before the equals sign", "Senders", withNul("[Senders]\nx\0=1\nbob@example.org=2\n"),
         {"bob@example.org=2"}},
        {"line of a NUL only", "Senders", withNul("[Senders]\n\0\nbob@example.org=2\n"), {"bob@example.org=2"}},
    };
    TempFolder tmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = tmp.write("corvanthelix.ini", c.text);
        EXPECT_EQ(IniFile::readSectionLines(c.section, path), c.expected);
        std::vector<char> buffer(c.text.size(), 'x');
        const size_t used = IniFile::readSection(c.section, buffer.data(), buffer.size(), path);
        std::vector<std::string> listed;
        for (size_t at = 0; at < used && buffer[at] != '\0'; at += listed.back().size() + 1)
            listed.emplace_back(buffer.data() + at);
        EXPECT_EQ(listed, c.expected);
    }
}

TEST(IniFile, DeleteSectionRemovesEveryCopyAndKeepsTheRest) {
    TempFolder tmp;
    std::string path = tmp.write("settings.ini", "; top\n[A]\na=1\n[B]\nb=1\n[a]\na=2\n[C]\nc=1\n");
    ASSERT_TRUE(IniFile::deleteSection("a", path));
    EXPECT_EQ(TempFolder::read(path), "; top\n[B]\nb=1\n[C]\nc=1\n");
    EXPECT_FALSE(IniFile::hasSection("A", path));
    EXPECT_TRUE(IniFile::deleteSection("Missing", path));
}
