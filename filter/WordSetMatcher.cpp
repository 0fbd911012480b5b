#include "filter/WordSetMatcher.h"

#include <deque>

namespace corvanthelix {

namespace {

uint8_t foldAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? uint8_t(c + ('a' - 'A')) : c; }

} // namespace

WordSetMatcher::WordSetMatcher() : WordSetMatcher(std::vector<std::string_view>{}) {}

WordSetMatcher::WordSetMatcher(const std::vector<std::string_view>& words) : wordCount_(words.size()) {
    // Columns for the folded bytes the words hold; an upper-case letter shares the column of its
    // lower-case letter, so the scan needs no folding of its own.
    bool used[256] = {};
    for (std::string_view word : words)
        for (char c : word) used[foldAscii(uint8_t(c))] = true;
    for (int c = 0; c < 256; ++c)
        if (used[c]) columnOf_[c] = uint8_t(columns_++);
    for (int c = 'A'; c <= 'Z'; ++c) columnOf_[c] = columnOf_[c + ('a' - 'A')];

    // The trie. A missing edge is 0 for now: no edge of the trie leads back to the root, so 0 can
    // mark "none" until the failure transitions fill the table in.
    next_.assign(columns_, 0);
    wordAt_.assign(1, kNone);
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i].empty()) continue;
        uint32_t state = 0;
        for (char c : words[i]) {
            const uint8_t column = columnOf_[uint8_t(c)];
            if (Next(state, column) == 0) {
                const auto added = uint32_t(wordAt_.size());
                wordAt_.push_back(kNone);
                next_.resize(next_.size() + columns_, 0);
                Next(state, column) = added;
            }
            state = Next(state, column);
        }
        // The same word twice (letter case aside): the later one is found wherever the first is.
        if (wordAt_[state] == kNone) wordAt_[state] = int32_t(i);
        else repeats_.emplace_back(i, size_t(wordAt_[state]));
    }

    // Breadth first, so a state's failure state (a shorter suffix) is complete before the state.
    const size_t states = wordAt_.size();
    std::vector<uint32_t> failure(states, 0);
    firstOutput_.assign(states, kNone);
    nextOutput_.assign(states, kNone);
    std::deque<uint32_t> queue;
    for (uint8_t column = 0; column < columns_; ++column)
        if (uint32_t child = Next(0, column)) queue.push_back(child);
    while (!queue.empty()) {
        const uint32_t state = queue.front();
        queue.pop_front();
        const uint32_t fail = failure[state];
        nextOutput_[state] = firstOutput_[fail];
        firstOutput_[state] = wordAt_[state] != kNone ? int32_t(state) : firstOutput_[fail];
        for (uint8_t column = 0; column < columns_; ++column) {
            uint32_t& child = Next(state, column);
            if (child == 0) {
                child = Next(fail, column);
            } else {
                failure[child] = Next(fail, column);
                queue.push_back(child);
            }
        }
    }
}

void WordSetMatcher::findWords(std::string_view text, std::vector<uint8_t>& found) const {
    found.assign(wordCount_, 0);
    if (wordCount_ == 0) return;
    const uint32_t* next = next_.data();
    const size_t columns = columns_;
    uint32_t state = 0;
    for (char c : text) {
        state = next[size_t(state) * columns + columnOf_[uint8_t(c)]];
        // A word already found means every shorter word on the rest of its chain was found at the
        // same place, so the walk stops there: each word is marked once in the whole text.
        for (int32_t out = firstOutput_[state]; out != kNone; out = nextOutput_[size_t(out)]) {
            uint8_t& mark = found[size_t(wordAt_[size_t(out)])];
            if (mark) break;
            mark = 1;
        }
    }
    for (const auto& [repeat, first] : repeats_) found[repeat] = found[first];
}

} // namespace corvanthelix
