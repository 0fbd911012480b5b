#include "chisquare/ChiSquareFilter.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvanthelix::chisquare;
using corvanthelix::testing::TempFolder;

namespace {

// Forgetting must reach the file, or the next start would bring the learned words back.
TEST(ChiSquareFilterTest, ForgettingEmptiesTheFilterAndItsFile) {
    TempFolder folder;
    const std::string path = folder.file("words.db");
    ChiSquareFilter filter;
    filter.open(path);
    ASSERT_TRUE(filter.learn("Subject: cheap pills\r\n\r\nbuy cheap pills online now\r\n", true));
    ASSERT_TRUE(filter.learn("Subject: agenda\r\n\r\nthe meeting agenda for monday\r\n", false));
    ChiSquareFilter::Stats before = filter.stats();
    ASSERT_GT(before.tokens, 0u);
    ASSERT_GT(before.fileBytes, 0u);

    EXPECT_TRUE(filter.forget());
    ChiSquareFilter::Stats after = filter.stats();
    EXPECT_EQ(after.tokens, 0u);
    EXPECT_EQ(after.spamMessages + after.hamMessages, 0u);
    EXPECT_LT(after.fileBytes, before.fileBytes);

    ChiSquareFilter reopened;
    EXPECT_EQ(reopened.open(path), TokenDatabase::LoadResult::Loaded);
    EXPECT_EQ(reopened.stats().tokens, 0u);
    EXPECT_EQ(reopened.judge("Subject: cheap pills\r\n\r\nbuy cheap pills\r\n").verdict, ChiSquareVerdict::Undecided);
}

} // namespace
