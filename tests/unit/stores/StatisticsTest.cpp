#include "stores/Statistics.h"

#include "base/Settings.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

constexpr int kToday = 2461000;

class StatisticsTest : public ::testing::Test {
protected:
    std::string file() const { return folder_.file("corvanthelix.ini"); }
    TempFolder folder_;
};

TEST_F(StatisticsTest, LoadKeepsOnlyTheLast30DaysAndSaveWritesNonZeroDaysNewestFirst) {
    // Pairs by position: today, 29 days ago (kept), 30 days ago and tomorrow (dropped).
    settings::setStatsDays("2461000,2460971,2460970,2461001,2460990,", file());
    settings::setStatsMails("3,4,9,9,0,", file());
    Statistics stats(file());
    stats.load(kToday);
    EXPECT_EQ(stats.countDaysAgo(0), 3u);
    EXPECT_EQ(stats.countDaysAgo(29), 4u);
    EXPECT_EQ(stats.countDaysAgo(10), 0u);

    stats.count(kToday - 2);
    stats.count(kToday + 1); // a message dated tomorrow changes nothing
    stats.count(kToday - 30);
    ASSERT_TRUE(stats.save());
    EXPECT_EQ(settings::statsDays(file()), "2461000,2460998,2460971,");
    EXPECT_EQ(settings::statsMails(file()), "3,1,4,");

    // The next day, the oldest day leaves the window at the next save.
    stats.load(kToday + 1);
    stats.save();
    EXPECT_EQ(settings::statsDays(file()), "2461000,2460998,");
}

TEST_F(StatisticsTest, DamagedOrMissingListsReadAsEmpty) {
    Statistics fresh(file());
    fresh.load(kToday);
    fresh.save();
    EXPECT_EQ(settings::statsDays(file()), "");
    EXPECT_EQ(settings::statsMails(file()), "");

    // A list that stops being numbers stops there; more days than counts pair what they can.
    settings::setStatsDays("2461000,x,2460999,", file());
    settings::setStatsMails("5,6,7,", file());
    Statistics damaged(file());
    damaged.load(kToday);
    EXPECT_EQ(damaged.countDaysAgo(0), 5u);
    EXPECT_EQ(damaged.countDaysAgo(1), 0u);
}

TEST_F(StatisticsTest, MaximumPrefersTheLatestOfEqualDaysAndAverageDividesByThirty) {
    Statistics stats(file());
    stats.load(kToday);
    int day = 0;
    EXPECT_EQ(stats.maximum(&day), 0u);
    EXPECT_EQ(day, kToday);
    for (int i = 0; i < 3; ++i) stats.count(kToday - 5);
    for (int i = 0; i < 3; ++i) stats.count(kToday - 9);
    stats.count(kToday);
    EXPECT_EQ(stats.maximum(&day), 3u);
    EXPECT_EQ(day, kToday - 5);
    EXPECT_DOUBLE_EQ(stats.average(), 7.0 / 30.0);
}

TEST_F(StatisticsTest, LoadingAgainSavesWhatWasCountedFirst) {
    Statistics stats(file());
    stats.load(kToday);
    stats.count(kToday);
    stats.load(kToday);
    EXPECT_EQ(stats.countDaysAgo(0), 1u);
    Statistics unloaded(file());
    unloaded.count(kToday); // not loaded: nothing to count into, nothing written
    EXPECT_TRUE(unloaded.save());
    EXPECT_EQ(settings::statsMails(file()), "1,");
}

} // namespace
