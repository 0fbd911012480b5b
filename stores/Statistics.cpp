#include "stores/Statistics.h"

#include "base/Settings.h"
#include "base/TextUtils.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <vector>

namespace corvanthelix {

namespace {

// The numbers of a "%u,%u,..." list; an entry that is not a number stops the list there, so a
// damaged value never pairs a count with the wrong day.
std::vector<long long> parseList(const std::string& text) {
    std::vector<long long> numbers;
    const char* at = text.c_str();
    while (*at != '\0') {
        char* end = nullptr;
        errno = 0;
        long long value = std::strtoll(at, &end, 10);
        if (end == at || errno == ERANGE) break;
        numbers.push_back(value);
        at = end;
        while (*at == ',' || *at == ' ') ++at;
    }
    return numbers;
}

} // namespace

Statistics::Statistics(std::string settingsFile) : settingsFile_(std::move(settingsFile)) {}

const std::string& Statistics::file() const {
    return settingsFile_.empty() ? settings::settingsFile() : settingsFile_;
}

int Statistics::todayUtc() {
    std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    return dayNumber(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
}

void Statistics::load() { load(todayUtc()); }

void Statistics::load(int today) {
    if (loaded_) save();
    today_ = today;
    counts_.fill(0);
    const std::vector<long long> days = parseList(settings::statsDays(file()));
    const std::vector<long long> mails = parseList(settings::statsMails(file()));
    for (std::size_t i = 0; i < days.size() && i < mails.size(); ++i) {
        long long age = static_cast<long long>(today_) - days[i];
        if (age < 0 || age >= kDays || mails[i] < 0 || mails[i] > UINT32_MAX) continue;
        counts_[static_cast<std::size_t>(age)] = static_cast<std::uint32_t>(mails[i]);
    }
    loaded_ = true;
}

bool Statistics::save() const {
    if (!loaded_) return true;
    std::string days;
    std::string mails;
    for (int i = 0; i < kDays; ++i) {
        if (counts_[static_cast<std::size_t>(i)] == 0) continue;
        days += std::to_string(today_ - i) + ",";
        mails += std::to_string(counts_[static_cast<std::size_t>(i)]) + ",";
    }
    settings::setStatsDays(days, file());
    settings::setStatsMails(mails, file());
    return settings::statsDays(file()) == days && settings::statsMails(file()) == mails;
}

void Statistics::count(int dayNumber) {
    long long age = static_cast<long long>(today_) - dayNumber;
    if (!loaded_ || age < 0 || age >= kDays) return;
    ++counts_[static_cast<std::size_t>(age)];
}

std::uint32_t Statistics::maximum(int* dayNumber) const {
    std::uint32_t maximum = 0;
    int day = today_;
    // From today backwards, and only a strictly larger count moves the mark: the latest day of
    // equal counts is named.
    for (int i = 0; i < kDays; ++i) {
        if (counts_[static_cast<std::size_t>(i)] > maximum) {
            maximum = counts_[static_cast<std::size_t>(i)];
            day = today_ - i;
        }
    }
    if (dayNumber) *dayNumber = day;
    return maximum;
}

double Statistics::average() const {
    double sum = 0;
    for (std::uint32_t count : counts_) sum += count;
    return sum / kDays;
}

std::uint32_t Statistics::countDaysAgo(int daysAgo) const {
    if (daysAgo < 0 || daysAgo >= kDays) return 0;
    return counts_[static_cast<std::size_t>(daysAgo)];
}

} // namespace corvanthelix
