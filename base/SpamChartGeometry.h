#pragma once
// Where the statistics window's bar chart puts its grid, bars and labels, without any drawing:
// 30 columns of spam counts (today rightmost) in a frame of W x H pixels, with a left margin of
// 20 pixels for the scale and 10 pixels above and below the plot.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace corvanthelix {

struct ChartRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const ChartRect&) const = default;
};

struct ChartLine {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const ChartLine&) const = default;
};

/// A text and the point it is written at (its left end; for a vertical label the baseline start).
struct ChartLabel {
    int x = 0, y = 0;
    std::string text;
    bool operator==(const ChartLabel&) const = default;
};

/// Everything the chart draws.
struct SpamChart {
    bool empty = true;                 ///< no spam at all: the frame is light grey, nothing else
    std::vector<ChartLine> gridLines;  ///< vertical column lines first, then the horizontal scale lines
    std::vector<ChartLabel> scaleLabels;
    std::vector<ChartRect> bars;       ///< only for days with spam, oldest first
    std::vector<ChartLabel> dateLabels; ///< every fifth day from today, written upwards
};

class SpamChartGeometry {
public:
    static constexpr int kDays = 30;
    static constexpr int kLeftMargin = 20;
    static constexpr int kVerticalMargin = 10;

    /// The chart of `counts` (slot i: the day i days before today, whose day number is
    /// `today` - i) in a frame `width` x `height` pixels.
    static SpamChart layout(const std::array<std::uint32_t, kDays>& counts, int today, int width, int height);
    /// "dd.mm.yyyy" of a day number.
    static std::string dateText(int dayNumber);
};

} // namespace corvanthelix
