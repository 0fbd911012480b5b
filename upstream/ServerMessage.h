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

    /// True when a copy with only the header and some body lines is held.
    bool holdsHeaderOnly() const { return message && message->topLines() != -1; }
    /// True when the whole message is held.
    bool holdsWhole() const { return message && message->topLines() == -1; }
};

} // namespace corvanthelix
