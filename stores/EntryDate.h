#pragma once
#include <string>

namespace corvanthelix {

class MailMessage;

/// The date a store entry (recycle bin, training area) shows for its message.
struct EntryDate {
    int dayNumber = 0; ///< as dayNumber() counts days
    std::string time;  ///< "hh:mm"
};

/// The message's own local date (MailMessage::date()); the local time now when it has none, so
/// that an undated message is not taken for an old one.
EntryDate entryDateOf(const MailMessage& message);

} // namespace corvanthelix
