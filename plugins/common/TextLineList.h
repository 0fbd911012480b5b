#pragma once
// A list of short texts kept in a text file of one entry per line (the attachment filter's
// blocked extensions, the newsletter plug-in's subject signatures). Entries read from the file and
// entries the user adds go to the head of the list; saving writes the list from its head. Safe to
// use from several threads (the mail check filters while a settings page edits).
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix::plugin {

class TextLineList {
public:
    /// `maxLength`: the longest entry kept when reading the file; longer lines are cut to it.
    explicit TextLineList(size_t maxLength) : maxLength_(maxLength) {}

    /// Reads the file at `path` and puts each non-empty line at the head of the list (so the list
    /// holds the file's lines in reverse order). A missing file adds nothing. Returns whether the
    /// file was read.
    bool Load(const std::string& path);

    /// Replaces the file at `path` with the entries from the head, each followed by a line feed
    /// (crash-safe, mode 0600). False when the file could not be written.
    bool Save(const std::string& path) const;

    enum class AddResult { Added, Empty, Duplicate };
    /// Puts `entry` at the head of the list unless it is empty or already listed (compared
    /// without regard to the case of ASCII letters).
    AddResult Add(std::string_view entry);

    /// Removes the entries equal to `entry` (case ignored). True when one was removed.
    bool Remove(std::string_view entry);

    /// Removes every entry.
    void Clear();

    /// The entries from the head (a copy).
    std::vector<std::string> Entries() const;

    /// True when `test` is true for an entry (tried from the head, stopping at the first).
    bool Any(const std::function<bool(const std::string&)>& test) const;

private:
    const size_t maxLength_;
    mutable std::mutex lock_;
    std::list<std::string> entries_;
};

} // namespace corvanthelix::plugin
