#pragma once
#include "filter/FilterVerdict.h"

#include <cstdint>
#include <string>

namespace corvanthelix {

/// A client session's view of one message: a message of the server's mailbox, or a message the
/// user restored from the recycle bin. The mail check builds the session's list of entries and
/// sets the flags; the session's commands read them and the commit at QUIT turns them into
/// lasting effects.
struct MessageEntry {
    /// The number the mail client sees (1..n); -1 for an entry the client does not see.
    std::int32_t clientNumber = -1;
    /// The message's number on the server; 0 for a restored message.
    std::int32_t serverNumber = 0;
    /// The filters' reason, probability, deciding filter and spam flag. The spam flag is the
    /// hidden flag: use hidden() / setHidden().
    FilterVerdict verdict;
    /// The message comes from a file of the recycle bin, not from the server.
    bool restored = false;
    /// At QUIT: delete the message on the server; for a restored message, remove it from the bin.
    bool toDelete = false;
    /// Its UID was in the UID list: it was seen at an earlier check.
    bool known = false;
    /// A known message that the recycle bin already holds; neither shown nor counted.
    bool inBin = false;
    /// Needs no learning or plug-in post-filtering at QUIT.
    bool handled = false;
    /// The client deleted this server message: DELE went upstream at once, and the commit sends
    /// it again should it have to connect anew (a lost connection commits no deletion).
    bool deletedByClient = false;
    /// The server refused to send this message during the check: the client does not see it, the
    /// commit leaves it alone and does not store its UID, so the next check tries it again.
    bool leftOnServer = false;
    /// Size in bytes: the LIST size, or the file size of a restored message.
    std::uint32_t size = 0;
    /// Full path of a restored message's file in the recycle folder; empty otherwise.
    std::string filePath;

    /// The message is spam and is not shown to the client.
    bool hidden() const { return verdict.spam != 0; }
    void setHidden(bool on) { verdict.spam = on ? 1 : 0; }
    /// The client sees the entry: it has a client number, is not hidden and not in the bin. Only
    /// visible entries are counted, listed or addressed by number.
    bool visible() const { return clientNumber != -1 && !hidden() && !inBin; }
};

} // namespace corvanthelix
