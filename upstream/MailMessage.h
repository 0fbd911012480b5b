#pragma once
// A mail message held as a tree of MIME parts with header lists, as the filters and plug-ins see
// it. The part and header records are the plain C records of the plug-in interface.
#include "filter/plugin_api/corvanthelix_plugin.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace corvanthelix {

/// A calendar date and time of day (month 1-12, day 1-31, hour 0-23).
struct MessageDate {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const MessageDate&) const = default;
};

/// A message parsed into MIME parts. The message keeps the text exactly as it was given (NUL
/// bytes included) beside its parse buffer, so what it passes on is what it received; the parsed
/// parts and headers see a NUL byte as a space.
/// Movable, not copyable (use Copy). Const members may be called from several threads at once.
class MailMessage {
public:
    MailMessage();
    ~MailMessage();
    MailMessage(MailMessage&&) noexcept;
    MailMessage& operator=(MailMessage&&) noexcept;
    MailMessage(const MailMessage&) = delete;
    MailMessage& operator=(const MailMessage&) = delete;

    /// Parses a complete message; any earlier content is freed first. topLines() becomes -1.
    /// An empty text gives an empty message (no root).
    void parse(std::string_view source);

    /// Reads the whole file and parses it. Returns 0 on success, 1 when the file cannot be opened
    /// or read (the message is then empty).
    int loadFile(const std::string& path);

    /// Parses the start of a message as a TOP download gives it: the header lines up to the empty
    /// line that ends the header, then at most maxLines + 1 further lines (the empty line and
    /// maxLines body lines), each kept with its own line end. topLines() becomes the number of
    /// lines kept after the header.
    void parseTop(std::string_view text, int maxLines);

    /// Replaces this message by a parse of other's source and takes over its topLines().
    void copy(const MailMessage& other);

    /// Frees everything; the message becomes empty.
    void clear();

    /// The root part, or null for an empty message. Owned by the message; valid until the next
    /// Parse/LoadFile/ParseTop/Copy/Clear or destruction.
    MessagePart* root() const;
    /// Length in bytes of the text that was parsed.
    size_t size() const { return source_.size(); }
    /// -1 for a complete message; for a partial download the number of lines kept after the header.
    int topLines() const { return topLines_; }

    /// Value of the first header of `part` whose name equals `name` case-insensitively, or null.
    /// The pointer belongs to the message. Null part or name gives null.
    static const char* headerByName(const MessagePart* part, const char* name);
    /// Value of the first header of `part` whose kind flags hold all bits of `flags`
    /// (CVX_HEADER_*), or null.
    static const char* headerByKind(const MessagePart* part, unsigned flags);
    /// The same for the root part's headers.
    const char* headerByName(const char* name) const { return headerByName(root(), name); }
    const char* headerByKind(unsigned flags) const { return headerByKind(root(), flags); }

    /// The decoded text of every part that is text (a part without Content-Type, or whose
    /// Content-Type contains "text/"), in document order. Quoted-printable and base64 bodies are
    /// decoded; decoded NUL bytes become spaces. With stripHtml, tags are removed from text/html
    /// parts ("<br>" becomes CR LF) and "&nbsp;" becomes a space. Never longer than size().
    /// Empty when no part qualifies; nullopt when the message is empty.
    std::optional<std::string> bodyText(bool stripHtml) const;

    /// The message text exactly as it was parsed, NUL bytes included; for a TOP
    /// download, the kept lines. Empty for an empty message. Valid until the next parse.
    const std::string& source() const { return source_; }

    /// Writes source() to `path`, replacing any file there atomically (mode 0600).
    /// Returns 0, or -1 when the message is empty or the file cannot be written.
    int saveFile(const std::string& path) const;

    /// Date of the message in local time: from the first Received header that has a ";" (the
    /// text after it), else from the Date header; the zone offset is applied and the instant
    /// converted with the system's zone rules for that instant. nullopt when neither header holds
    /// a readable date.
    std::optional<MessageDate> date() const;
    /// The same date in UTC.
    std::optional<MessageDate> dateUtc() const;

private:
    struct Model;
    void parseBuffer();

    std::string source_;
    int topLines_ = -1;
    std::unique_ptr<Model> model_;
};

/// Reads a mail date such as "Tue, 7 Jan 2003 13:05:00 -0800" (weekday optional, zone by offset
/// or name, anything else taken as UTC) and returns it in UTC, or nullopt when it is not a date.
std::optional<MessageDate> parseMailDateUtc(std::string_view text);

/// Converts a UTC date and time to local time with the zone rules in force at that instant.
MessageDate utcToLocal(const MessageDate& utc);

} // namespace corvanthelix
