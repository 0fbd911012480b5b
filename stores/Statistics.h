#pragma once
// The spam day counter: spam messages per day over the last 30 days, kept in section STATS of the
// settings file. A counter is a short-lived value: the commit at QUIT loads one, counts the spam
// it moves into the recycle bin and saves it; the statistics window loads one to draw the chart.
#include <array>
#include <cstdint>
#include <string>

namespace corvanthelix {

class Statistics {
public:
    /// Days the counter covers: slot 0 is today, slot 29 twenty-nine days ago.
    static constexpr int kDays = 30;

    /// A counter stored in `settingsFile`; empty means the program's settings file at the time of
    /// each Load/Save. Nothing is read yet.
    explicit Statistics(std::string settingsFile = {});

    /// load(today) with today's day number of the current UTC date.
    void load();
    /// Saves first when loaded; then sets today to `today`, zeroes the counts and reads `Days`
    /// and `Mails`, pairing them by position. A pair whose day lies 0..29 days before today fills
    /// that slot; older and future days are dropped, and so is anything that is not a number.
    void load(int today);
    /// Writes `Days` and `Mails` from the slots with a non-zero count, today first, each number
    /// followed by ",". Nothing when not loaded. False when the file could not be written.
    bool save() const;
    /// Adds one to the slot of `dayNumber` when it lies in the 30-day window; otherwise nothing.
    void count(int dayNumber);
    /// The largest count, and in `dayNumber` (may be null) its day. Of equal counts the most
    /// recent day wins; with all counts 0 the result is 0 and today.
    std::uint32_t maximum(int* dayNumber) const;
    /// The sum of the 30 counts divided by 30.
    double average() const;

    bool loaded() const { return loaded_; }
    /// Today's day number as the counter took it at Load.
    int today() const { return today_; }
    /// The count of the day `daysAgo` (0..29) days before today; 0 outside the window.
    std::uint32_t countDaysAgo(int daysAgo) const;

    /// The day number of today's date in UTC, the counter's notion of today.
    static int todayUtc();

private:
    const std::string& file() const;

    std::string settingsFile_;
    std::array<std::uint32_t, kDays> counts_ {};
    int today_ = 0;
    bool loaded_ = false;
};

} // namespace corvanthelix
