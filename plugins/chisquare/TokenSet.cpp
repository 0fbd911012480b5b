#include "chisquare/TokenSet.h"

#include <algorithm>

namespace corvanthelix::chisquare {

void TokenSet::clear() {
    arena_.clear();
    entries_.clear();
    std::fill(table_.begin(), table_.end(), 0u);
}

size_t TokenSet::slotOf(std::string_view token, uint64_t hash) const {
    size_t mask = table_.size() - 1;
    for (size_t slot = static_cast<size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        uint32_t index = table_[slot];
        if (index == 0) return slot;
        const Entry& entry = entries_[index - 1];
        if (entry.hash == hash && at(index - 1) == token) return slot;
    }
}

void TokenSet::grow() {
    size_t size = table_.empty() ? 1024 : table_.size() * 2;
    table_.assign(size, 0u);
    size_t mask = size - 1;
    for (size_t i = 0; i < entries_.size(); ++i) {
        size_t slot = static_cast<size_t>(entries_[i].hash) & mask;
        while (table_[slot] != 0) slot = (slot + 1) & mask;
        table_[slot] = static_cast<uint32_t>(i + 1);
    }
}

bool TokenSet::add(std::string_view prefix, std::string_view word) {
    std::string_view token = word;
    if (!prefix.empty()) {
        scratch_.assign(prefix);
        scratch_.append(word);
        token = scratch_;
    }
    // Kept at most half full, so that probing stays short.
    if ((entries_.size() + 1) * 2 > table_.size()) grow();
    uint64_t hash = tokenHash(token);
    size_t slot = slotOf(token, hash);
    if (table_[slot] != 0) return false;
    entries_.push_back({static_cast<uint32_t>(arena_.size()), static_cast<uint32_t>(token.size()), hash});
    arena_.append(token);
    table_[slot] = static_cast<uint32_t>(entries_.size());
    return true;
}

bool TokenSet::contains(std::string_view token) const {
    if (table_.empty()) return false;
    return table_[slotOf(token, tokenHash(token))] != 0;
}

std::vector<std::string> TokenSet::list() const {
    std::vector<std::string> tokens;
    tokens.reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) tokens.emplace_back(at(i));
    return tokens;
}

} // namespace corvanthelix::chisquare
