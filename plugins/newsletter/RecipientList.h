#pragma once
// The newsletter plug-in's newsgroups: list addresses that a newsletter or mailing list always
// sends to, each with a display name. Kept in the binary file "recipients.dat": per entry the
// name and then the address, each a NUL-terminated string. Entries read from the file and entries
// the user adds go to the head of the list; saving writes the list from its head. Safe to use from
// several threads.
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix::newsletter {

struct Recipient {
    std::string name;
    std::string address;
};

class RecipientList {
public:
    /// The longest name or address kept when reading the file.
    static constexpr size_t kMaxText = 255;

    /// Reads the file at `path` and puts each entry at the head of the list. Entries with an empty
    /// name or address are skipped; longer texts are cut to kMaxText characters. A missing file
    /// adds nothing. Returns whether the file was read.
    bool Load(const std::string& path);

    /// Replaces the file at `path` with the entries from the head (crash-safe, mode 0600). False
    /// when it could not be written.
    bool Save(const std::string& path) const;

    enum class AddResult { Added, Empty, Duplicate };
    /// Puts the entry at the head of the list unless the name or the address is empty or the
    /// address is listed already (case of ASCII letters ignored).
    AddResult Add(std::string_view name, std::string_view address);

    /// Removes the entries with the address `address` (case ignored). True when one was removed.
    bool Remove(std::string_view address);

    /// Removes every entry.
    void Clear();

    /// True when `address` is listed (case ignored).
    bool Contains(std::string_view address) const;

    /// The entries from the head (a copy).
    std::vector<Recipient> Entries() const;

private:
    mutable std::mutex lock_;
    std::list<Recipient> entries_;
};

} // namespace corvanthelix::newsletter
