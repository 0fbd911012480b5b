#include "base/SpamChartGeometry.h"

#include "base/TextUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace corvanthelix {

namespace {
constexpr int kScaleLabelX = 5;
constexpr int kScaleLabelRise = 6;
constexpr int kDateLabelLift = 4;
constexpr int kDateLabelEvery = 5;
constexpr int kMostScaleLines = 10;
} // namespace

std::string SpamChartGeometry::dateText(int dayNumber) {
    int year = 0, month = 0, day = 0;
    dateFromDayNumber(dayNumber, year, month, day);
    char text[32];
    std::snprintf(text, sizeof text, "%02i.%02i.%04i", day, month, year);
    return text;
}

SpamChart SpamChartGeometry::layout(const std::array<std::uint32_t, kDays>& counts, int today, int width, int height) {
    SpamChart chart;
    const std::uint32_t maximum = *std::max_element(counts.begin(), counts.end());
    const int bottom = height - kVerticalMargin;
    const int plotHeight = height - 2 * kVerticalMargin;
    const int column = (width - kLeftMargin) / kDays;
    if (maximum == 0 || column <= 0 || plotHeight <= 0) return chart;
    chart.empty = false;

    for (int x = kLeftMargin; x < width; x += column) chart.gridLines.push_back({x, 0, x, bottom});

    const double perMessage = static_cast<double>(plotHeight) / maximum;
    const double step = static_cast<double>(plotHeight) / std::min<std::uint32_t>(maximum, kMostScaleLines);
    for (double y = bottom; std::lround(y) >= kVerticalMargin; y -= step) {
        const int lineY = static_cast<int>(std::lround(y));
        chart.gridLines.push_back({kLeftMargin, lineY, width, lineY});
        const long messages = static_cast<long>(std::floor((bottom - y) / perMessage + 0.5));
        chart.scaleLabels.push_back({kScaleLabelX, lineY - kScaleLabelRise, std::to_string(messages)});
    }

    for (int slot = kDays - 1; slot >= 0; --slot) {
        if (counts[slot] == 0) continue;
        const int left = kLeftMargin + (kDays - 1 - slot) * column;
        // A day with spam never looks like a day without: at least one pixel high.
        const int barHeight = std::max(1, static_cast<int>(std::lround(counts[slot] * perMessage)));
        const int top = bottom - barHeight;
        chart.bars.push_back({left, top, left + column, bottom});
    }
    for (int slot = 0; slot < kDays; slot += kDateLabelEvery)
        chart.dateLabels.push_back({kLeftMargin + (kDays - 1 - slot) * column, bottom - kDateLabelLift, dateText(today - slot)});
    return chart;
}

} // namespace corvanthelix
