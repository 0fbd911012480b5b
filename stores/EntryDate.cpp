#include "stores/EntryDate.h"

#include "upstream/MailMessage.h"
#include "base/TextUtils.h"

#include <cstdio>
#include <ctime>
#include <optional>

namespace corvanthelix {

EntryDate entryDateOf(const MailMessage& message) {
    int hour, minute;
    EntryDate result;
    if (std::optional<MessageDate> date = message.date()) {
        result.dayNumber = dayNumber(date->year, date->month, date->day);
        hour = date->hour;
        minute = date->minute;
    } else {
        std::time_t now = std::time(nullptr);
        std::tm local {};
        localtime_r(&now, &local);
        result.dayNumber = dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        hour = local.tm_hour;
        minute = local.tm_min;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%02i:%02i", hour, minute);
    result.time = text;
    return result;
}

} // namespace corvanthelix
