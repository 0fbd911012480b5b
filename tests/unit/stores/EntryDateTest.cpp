#include "stores/EntryDate.h"

#include "upstream/MailMessage.h"
#include "base/TextUtils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

using namespace corvanthelix;

namespace {

// Runs the test in a fixed time zone and gives the process's own back afterwards.
class EntryDateTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) saved_ = zone;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override {
        if (saved_)
            ::setenv("TZ", saved_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

    static MailMessage message(const std::string& header) {
        MailMessage parsed;
        parsed.parse(header + "Subject: s\r\n\r\nbody\r\n");
        return parsed;
    }

private:
    std::optional<std::string> saved_;
};

// The entry date of the local time at `instant`.
std::string localStamp(std::time_t instant) {
    std::tm local {};
    localtime_r(&instant, &local);
    char time[16];
    std::snprintf(time, sizeof time, "%02i:%02i", local.tm_hour, local.tm_min);
    return std::to_string(dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) + " " + time;
}

} // namespace

TEST_F(EntryDateTest, TheMessageDateInLocalTime) {
    EntryDate date = entryDateOf(message("Date: Sat, 31 Dec 2022 23:30:05 -0200\r\n"));
    EXPECT_EQ(date.dayNumber, dayNumber(2023, 1, 1));
    EXPECT_EQ(date.time, "01:30");
}

TEST_F(EntryDateTest, AnUndatedMessageIsDatedNow) {
    for (const char* header : {"", "Date: not a date at all\r\n"}) {
        std::string before = localStamp(std::time(nullptr));
        EntryDate date = entryDateOf(message(header));
        std::string after = localStamp(std::time(nullptr));
        std::string got = std::to_string(date.dayNumber) + " " + date.time;
        // A minute may turn over between the looks.
        EXPECT_TRUE(got == before || got == after) << header << ": " << got << ", now " << before;
    }
}
