#pragma once
// Finds which words of a fixed set occur in a text, in one pass over the text.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanthelix {

/// A set of words compiled into one automaton (Aho-Corasick, as a complete transition table), so
/// that finding every word of the set in a text costs one pass over the text instead of one
/// search per word. Matching is what FindText does without case sensitivity: plain substring
/// containment with only the ASCII letters folded; every other byte, NUL and bytes above 127
/// included, compares as it is. An empty word never matches.
///
/// The table holds one row per trie node and one column per distinct (folded) byte of the words,
/// 4 bytes a cell: about 200 words of a dozen letters take some 200 KB.
///
/// Immutable once built; FindWords may run on many threads at once.
class WordSetMatcher {
public:
    /// A matcher for no words: FindWords finds nothing.
    WordSetMatcher();
    /// Compiles `words`; the views are read, not kept. Word i of the list is reported as i.
    explicit WordSetMatcher(const std::vector<std::string_view>& words);

    /// The number of words the matcher was built for.
    size_t wordCount() const { return wordCount_; }

    /// Resizes `found` to wordCount() and sets found[i] to 1 when word i occurs in `text`, else 0.
    void findWords(std::string_view text, std::vector<uint8_t>& found) const;

private:
    static constexpr int32_t kNone = -1;

    uint32_t& Next(uint32_t state, uint8_t column) { return next_[size_t(state) * columns_ + column]; }

    size_t wordCount_ = 0;
    // Column of each byte; column 0 stands for every byte that no word holds.
    uint8_t columnOf_[256] = {};
    size_t columns_ = 1;
    // next_[state * columns_ + column]: the complete transition table; state 0 is the root.
    std::vector<uint32_t> next_;
    // The word that ends exactly at a state, or kNone.
    std::vector<int32_t> wordAt_;
    // The first state on the suffix chain of a state (itself included) at which a word ends, or
    // kNone: every word found on reaching the state is on the chain that starts there.
    std::vector<int32_t> firstOutput_;
    // The next state after this one on such a chain, or kNone.
    std::vector<int32_t> nextOutput_;
    // (word, earlier word with the same folded text): reported as that one is.
    std::vector<std::pair<size_t, size_t>> repeats_;
};

} // namespace corvanthelix
