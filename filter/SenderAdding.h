#pragma once
// Adding senders from the windows, without any window: the checks of the sender dialog, the
// duplicate check before an entry is written, and the senders of stored message files.
#include "filter/SenderLists.h"

#include <string>
#include <vector>

namespace corvanthelix {

/// What the sender dialog says about its two fields.
enum class SenderFieldCheck {
    Valid,
    Missing, ///< a field is empty: "Enter a value!"
    TooLong, ///< a field holds more than kMaxFieldLength characters
};

/// What became of an entry handed to the lists.
enum class SenderAddOutcome {
    Added,
    AlreadyListed, ///< its address is in a list already (any case); nothing written
    Refused,       ///< the lists refused it (invalid characters, a key matching everyone)
};

class SenderAdding {
public:
    static constexpr size_t kMaxFieldLength = 254;
    /// From this many senders on, the windows ask once instead of showing a dialog per sender.
    static constexpr size_t kMultipleThreshold = 5;

    static constexpr int kStringEnterValue = 112;
    static constexpr int kStringEditSender = 124;
    static constexpr int kStringNotAdded = 197;
    static constexpr int kStringManyBlocked = 237;
    static constexpr int kStringManyFriends = 238;
    static constexpr int kStringAlreadyListed = 239;
    static constexpr int kStringAddedCount = 240;

    /// The check of the dialog's name and address fields.
    static SenderFieldCheck checkFields(const std::string& name, const std::string& address);
    /// The address as stored: one beginning with "@" gets a "*" in front (a whole domain).
    static std::string normalizedAddress(const std::string& address);
    /// Adds `entry` to `lists` unless an entry with the same address (any case) exists.
    static SenderAddOutcome add(const SenderLists& lists, const SenderEntry& entry);

    /// The senders of the message files `paths` with list `list`; a file that cannot be read or
    /// has no sender is skipped.
    static std::vector<SenderEntry> sendersOfFiles(const std::vector<std::string>& paths, int list);
    /// The question for adding `list`'s many senders at once (string 237 or 238).
    static int manySendersQuestion(int list);
};

} // namespace corvanthelix
