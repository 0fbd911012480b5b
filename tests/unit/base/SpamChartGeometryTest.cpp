// The statistics chart's geometry: grid, bars and labels for a table of counters in one frame.
#include "base/SpamChartGeometry.h"

#include "base/TextUtils.h"

#include <gtest/gtest.h>

using namespace corvanthelix;

namespace {

using Counts = std::array<std::uint32_t, SpamChartGeometry::kDays>;
constexpr int kWidth = 320; // columns of (320 - 20) / 30 = 10 pixels
constexpr int kHeight = 220; // plot from y = 10 to y = 210

Counts countsOf(std::initializer_list<std::pair<int, std::uint32_t>> days) {
    Counts counts {};
    for (auto [slot, count] : days) counts[slot] = count;
    return counts;
}

} // namespace

TEST(SpamChartGeometryTest, NoSpamDrawsNothingButTheGreyFrame) {
    const SpamChart chart = SpamChartGeometry::layout(Counts {}, dayNumber(2026, 12, 11), kWidth, kHeight);
    EXPECT_TRUE(chart.empty);
    EXPECT_TRUE(chart.gridLines.empty() && chart.bars.empty() && chart.scaleLabels.empty() && chart.dateLabels.empty());
}

TEST(SpamChartGeometryTest, BarsStandInTheirDaysColumnWithTodayRightmost) {
    const int today = dayNumber(2026, 12, 11);
    struct Case {
        const char* what;
        Counts counts;
        std::vector<ChartRect> bars;
        std::vector<std::string> scale; // labels from the bottom up
    };
    const Case cases[] = {
        {"one message today", countsOf({{0, 1}}), {{310, 10, 320, 210}}, {"0", "1"}},
        {"today 4, 29 days ago 2", countsOf({{0, 4}, {29, 2}}), {{20, 110, 30, 210}, {310, 10, 320, 210}},
         {"0", "1", "2", "3", "4"}},
        {"one large day: ten scale lines, a small day stays one pixel high", countsOf({{3, 1000}, {10, 1}}),
         {{210, 209, 220, 210}, {280, 10, 290, 210}},
         {"0", "100", "200", "300", "400", "500", "600", "700", "800", "900", "1000"}},
    };
    for (const Case& c : cases) {
        const SpamChart chart = SpamChartGeometry::layout(c.counts, today, kWidth, kHeight);
        EXPECT_FALSE(chart.empty) << c.what;
        EXPECT_EQ(chart.bars, c.bars) << c.what;
        std::vector<std::string> scale;
        for (const ChartLabel& label : chart.scaleLabels) scale.push_back(label.text);
        EXPECT_EQ(scale, c.scale) << c.what;
        // Every scale label sits at x = 5, six pixels above its line, and the top line is at the margin.
        ASSERT_FALSE(chart.scaleLabels.empty());
        EXPECT_EQ(chart.scaleLabels.front().y, 210 - 6) << c.what;
        EXPECT_EQ(chart.scaleLabels.back().y, 10 - 6) << c.what;
        for (const ChartLabel& label : chart.scaleLabels) EXPECT_EQ(label.x, 5);
    }
}

TEST(SpamChartGeometryTest, GridAndDateLabelsEveryFifthDayFromToday) {
    const int today = dayNumber(2026, 12, 11);
    const SpamChart chart = SpamChartGeometry::layout(countsOf({{0, 2}}), today, kWidth, kHeight);
    // Vertical lines at 20, 30, ... 310 down to the bottom margin, then the scale lines.
    ASSERT_GE(chart.gridLines.size(), 30u);
    for (int i = 0; i < 30; ++i) EXPECT_EQ(chart.gridLines[i], (ChartLine{20 + 10 * i, 0, 20 + 10 * i, 210}));
    EXPECT_EQ(chart.gridLines[30], (ChartLine{20, 210, kWidth, 210}));
    const std::vector<ChartLabel> dates = {
        {310, 206, "11.12.2026"}, {260, 206, "06.12.2026"}, {210, 206, "01.12.2026"},
        {160, 206, "26.11.2026"}, {110, 206, "21.11.2026"}, {60, 206, "16.11.2026"},
    };
    EXPECT_EQ(chart.dateLabels, dates);
}

TEST(SpamChartGeometryTest, AFrameTooSmallForColumnsDrawsNothing) {
    EXPECT_TRUE(SpamChartGeometry::layout(countsOf({{0, 3}}), 0, 40, kHeight).empty);
    EXPECT_TRUE(SpamChartGeometry::layout(countsOf({{0, 3}}), 0, kWidth, 20).empty);
}
