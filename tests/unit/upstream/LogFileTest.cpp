#include "upstream/LogFile.h"

#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

// Writes numbered lines of varying length until the file holds at least `bytes`; returns what
// the file holds.
std::string fill(LogFile& log, std::size_t bytes) {
    std::string written;
    for (int i = 0; written.size() < bytes; ++i) {
        std::string line = "line " + std::to_string(i) + " " + std::string(static_cast<std::size_t>(i % 97), 'x');
        log.writeLine(line);
        written += line + "\r\n";
    }
    return written;
}

struct TrimCase {
    const char* name;
    std::size_t written;
    std::uint32_t limit;
};

class LogFileTrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(LogFileTrimTest, KeepsTheEndFromAWholeLineWithinTheLimit) {
    const TrimCase& c = GetParam();
    TempFolder folder;
    std::string path = folder.file("server.log");
    LogFile log;
    ASSERT_TRUE(log.open(path, c.limit));
    std::string original = fill(log, c.written);
    log.close();

    std::string kept = TempFolder::read(path);
    if (original.size() <= c.limit) {
        EXPECT_EQ(kept, original);
        return;
    }
    ASSERT_LE(kept.size(), c.limit);
    ASSERT_FALSE(kept.empty());
    // What is left is the end of the log, and the byte before it ended a line.
    std::size_t cut = original.size() - kept.size();
    EXPECT_EQ(original.substr(cut), kept);
    EXPECT_EQ(original[cut - 1], '\n');
    EXPECT_EQ(kept.rfind("line ", 0), 0u);
    // The cut is at the first line start at or after (size - limit): nothing more was dropped.
    EXPECT_EQ(original.find('\n', original.size() - c.limit), cut - 1);

    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LogFileTrimTest,
                         ::testing::Values(TrimCase{"defaultLimit", 150000, LogFile::kDefaultMaxSize},
                                           TrimCase{"underLimit", 90000, LogFile::kDefaultMaxSize},
                                           TrimCase{"tinyLimit", 5000, 120},
                                           TrimCase{"manyTimesTheLimit", 3000000, 4096}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LogFileTest, WritesLinesAppendsAndCreatesPrivateFiles) {
    TempFolder folder;
    std::string path = folder.file("client.log");
    {
        LogFile log;
        ASSERT_TRUE(log.open(path));
        EXPECT_TRUE(log.isEnabled());
        log.writeLine("first");
        log.writeFormatted("%s %i", "second", 2);
        log.pause();
        log.writeLine("hidden while paused");
        log.writeTimed("S", "hidden too");
        log.resume();
        log.writeTimed("C", "PASS ********");
    }
    {
        LogFile again;
        ASSERT_TRUE(again.open(path));
        again.writeLine("appended");
    }
    std::string content = TempFolder::read(path);
    ASSERT_EQ(content.rfind("first\r\nsecond 2\r\n", 0), 0u) << content;
    EXPECT_EQ(content.find("hidden"), std::string::npos);
    // "hh:mm:ss C: PASS ********"
    ASSERT_GE(content.size(), 17u + 25u + 10u);
    std::string timed = content.substr(17, 25);
    EXPECT_EQ(timed.substr(2, 1) + timed.substr(5, 1), "::");
    EXPECT_EQ(timed.substr(8), " C: PASS ********") << timed;
    EXPECT_EQ(content.substr(content.size() - 10), "appended\r\n");

    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(LogFileTest, LinesReachTheFileInBatches) {
    TempFolder folder;
    std::string path = folder.file("server.log");
    LogFile log;
    ASSERT_TRUE(log.open(path));
    log.writeLine("one");
    log.writeTimed("C", "two");
    EXPECT_EQ(TempFolder::read(path), "") << "written before a flush";
    log.flush();
    std::string flushed = TempFolder::read(path);
    EXPECT_EQ(flushed.rfind("one\r\n", 0), 0u) << flushed;
    EXPECT_TRUE(flushed.ends_with(" C: two\r\n")) << flushed;

    // A long command's lines do not pile up in memory.
    const std::string line(100, 'x');
    std::size_t lines = LogFile::kBatchSize / line.size() + 1;
    for (std::size_t i = 0; i < lines; ++i) log.writeLine(line);
    EXPECT_GE(TempFolder::read(path).size(), flushed.size() + LogFile::kBatchSize);
    log.close();
    EXPECT_EQ(TempFolder::read(path).size(), flushed.size() + lines * (line.size() + 2));
}

TEST(LogFileTest, FileHeldByAnotherLogIsRefused) {
    TempFolder folder;
    std::string path = folder.file("server.log");
    LogFile first;
    ASSERT_TRUE(first.open(path));
    LogFile second;
    EXPECT_FALSE(second.open(path));
    EXPECT_FALSE(second.isOpen());
    second.writeLine("nothing happens");
    first.close();
    EXPECT_TRUE(second.open(path));
}

TEST(LogFileTest, UnopenableLogIsSilentlyAbsent) {
    TempFolder folder;
    LogFile log;
    EXPECT_FALSE(log.open(folder.file("missing/folder/server.log")));
    EXPECT_FALSE(log.isOpen());
    log.resume();
    EXPECT_FALSE(log.isEnabled());
    log.writeLine("nowhere");
    log.writeFormatted("%d", 1);
    log.close();
}

TEST(LogFileTest, FormattedOutputIsCutAtTheBuffer) {
    TempFolder folder;
    std::string path = folder.file("filter.log");
    LogFile log;
    ASSERT_TRUE(log.open(path));
    std::string longText(5000, 'q');
    log.writeFormatted("%s", longText.c_str());
    log.writeFormatted("%s @ %s (%02i.%02i.%04i)", "jane", "mailhost", 3, 4, 2024);
    log.close();
    std::string content = TempFolder::read(path);
    EXPECT_EQ(content, std::string(LogFile::kFormatBufferSize - 1, 'q') + "\r\njane @ mailhost (03.04.2024)\r\n");
}

TEST(LogFileTest, NullPathWritesToStandardOutput) {
    LogFile log;
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(log.open(nullptr));
    EXPECT_TRUE(log.isEnabled());
    log.writeLine("to the console");
    log.close();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "to the console\r\n");
}

} // namespace
