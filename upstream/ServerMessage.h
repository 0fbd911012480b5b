#pragma once
#include "upstream/MailMessage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace corvanthelix {

/// One message of the server's mailbox as the Mailbox holds it, in server order. The Mailbox owns
/// every ServerMessage and keeps the links; callers read the fields and walk the links.
struct ServerMessage {
    ServerMessage* next = nullptr;
    ServerMessage* previous = nullptr;
    /// Server message number from LIST.
    std::uint32_t number = 0;
    /// Size from LIST; replaced by the size of a whole downloaded copy; 0 after dropMessage.
    std::uint32_t size = 0;
    /// The downloaded copy, or null: whole (RETR, topLines() == -1) or the header and some body
    /// lines (TOP). Owned here.
    std::unique_ptr<MailMessage> message;
    /// The server's UID from UIDL; nullopt when the server gave none.
    std::optional<std::string> uid;
    /// The mailbox's spool bookkeeping (see MessageSpool): the file holding the whole copy once
    /// it was moved out of memory, its size, the bytes counted against the budget while the copy
    /// is held, and the copy's last use.
    struct SpoolState {
        std::string file;
        std::uint64_t fileSize = 0;
        std::uint64_t counted = 0;
        std::uint64_t lastUse = 0;
    } spool;

    /// True when a copy with only the header and some body lines is held.
    bool holdsHeaderOnly() const { return message && message->topLines() != -1; }
    /// True when the whole message is held in memory.
    bool holdsWhole() const { return message && message->topLines() == -1; }
    /// True when the whole message was moved to a spool file and is not in memory now;
    /// Mailbox::whole() loads it back.
    bool spooled() const { return !message && !spool.file.empty(); }
    /// True when the whole message is at hand, in memory or in a spool file. Its size is `size`.
    bool hasWholeCopy() const { return holdsWhole() || spooled(); }
};

} // namespace corvanthelix
