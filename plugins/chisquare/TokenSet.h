#pragma once
// The distinct tokens of one message, in the order they were first found. A message counts once
// for each token it holds, however often the token occurs, so the set keeps each token once.
// Reused from message to message (clear() keeps the memory), it allocates little once warm.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix::chisquare {

/// The 64-bit FNV-1a hash of `text`; the word database hashes its tokens the same way.
inline uint64_t tokenHash(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

class TokenSet {
public:
    /// Empties the set; the memory stays for the next message.
    void clear();

    /// Adds the token `prefix` + `word` unless the set holds it already. True when it was added.
    bool add(std::string_view prefix, std::string_view word);
    /// add("", token).
    bool add(std::string_view token) { return add({}, token); }

    /// True when the set holds `token`.
    bool contains(std::string_view token) const;

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    /// The token at `index` (0 <= index < size()), in the order of adding. The view is valid until
    /// the next add or clear.
    std::string_view at(size_t index) const {
        return std::string_view(arena_).substr(entries_[index].offset, entries_[index].length);
    }
    /// All tokens as strings, in the order of adding (for tests and reports).
    std::vector<std::string> list() const;

private:
    struct Entry {
        uint32_t offset;
        uint32_t length;
        uint64_t hash;
    };
    /// The slot of `token` in the table: the one holding it, or the empty one where it belongs.
    size_t slotOf(std::string_view token, uint64_t hash) const;
    void grow();

    std::string arena_;
    std::string scratch_;
    std::vector<Entry> entries_;
    /// Open addressing over entries_: 0 is an empty slot, else the entry's index + 1.
    std::vector<uint32_t> table_;
};

} // namespace corvanthelix::chisquare
