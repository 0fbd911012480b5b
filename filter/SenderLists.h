#pragma once
// The friends and blocked-senders lists. Both live in section SENDERS of the settings file, one
// line per entry: key = a mail address or a wildcard pattern over addresses, value = the display
// name, a comma and the list number. Every operation reads or writes the file at the moment of
// the call; nothing is kept in memory between calls.
#include "upstream/MailMessage.h"

#include <functional>
#include <string>
#include <string_view>

namespace corvanthelix {

/// One sender entry as the lists hand it out.
struct SenderEntry {
    static constexpr int kBlocked = 1;
    static constexpr int kFriend = 2;
    static constexpr int kNotFound = -1;

    std::string name;    // display name
    std::string address; // the key: an address or a pattern
    int list = kNotFound;
    MessageDate date;    // of the message the entry was made from; shown only, never stored
};

class SenderLists {
public:
    /// Lists stored in `settingsFile`; an empty path means the program's settings file as it is at
    /// the time of each call.
    explicit SenderLists(std::string settingsFile = {});

    /// The sender of `message` from its From header: name, address and the message's date (the
    /// current local time when the message has no readable date). `list` is left kNotFound.
    /// False when the message has no From header or it yields no address.
    static bool senderOf(const MailMessage& message, SenderEntry& sender);

    /// Looks the sender of `message` up. Returns true when an entry matches; `result` then holds
    /// the entry's name, key and list and the message's date. When no entry matches (or the file
    /// or section is missing), `result` holds the sender as SenderOf gives it, with list kNotFound.
    bool find(const MailMessage& message, SenderEntry& result) const;
    /// The best matching entry for `address`; true when one was found (result: name, key, list).
    bool findByAddress(std::string_view address, SenderEntry& result) const;

    /// The section as the section reader gives it (see settings::senderSection), for callers that
    /// look up many senders against one reading of the file.
    std::string readSection() const;
    /// Find and FindByAddress against a section text from ReadSection.
    static bool findIn(std::string_view sectionText, const MailMessage& message, SenderEntry& result);
    static bool findByAddressIn(std::string_view sectionText, std::string_view address,
                                SenderEntry& result);

    /// Writes entry.address = entry.name + "," + entry.list, replacing an entry with the same key.
    /// Refused (false, nothing written) when the key or the name is empty, holds a character
    /// outside the allowed set, the key is "*.*", "*" or "*@*", the list is neither kBlocked nor
    /// kFriend, or the file cannot be written.
    bool add(const SenderEntry& entry) const;
    /// Deletes the entry with key `key`. False only when the file could not be written.
    bool remove(std::string_view key) const;

    /// Calls `callback` for every entry in file order (name, key and list filled) until it returns
    /// 0. Nothing when the file or the section is missing.
    void forEach(const std::function<int(const SenderEntry&)>& callback) const;

    /// True when `pattern` matches the whole `address`, ASCII letters compared in upper case:
    /// "*" matches any run of characters including none, "?" exactly one character.
    static bool wildcardMatch(std::string_view pattern, std::string_view address);
    /// True when every byte of `text` may appear in a key or a name: printable ASCII except the
    /// backquote, and the Latin-1 letters and symbols of the allowed set.
    static bool allowedText(std::string_view text);
    /// True for the keys that would match every sender: "*.*", "*" and "*@*".
    static bool refusedKey(std::string_view key);
    /// Splits a stored value "name,list": the name is the text before the last comma, the list the
    /// integer after it (0 when there is no comma or no number).
    static void parseValue(std::string_view value, std::string& name, int& list);

private:
    const std::string& file() const;

    std::string settingsFile_;
};

} // namespace corvanthelix
