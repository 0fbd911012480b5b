#pragma once
// The chi-square filter's word database: for every token, in how many learned spam and non-spam
// messages it occurred, and when it was last learned; and how many messages of each kind were
// learned. Bounded: when learning would take it past its bound, the rarest tokens go first, and
// among equally rare ones those learned longest ago.
//
// File: "CVXCHISQ" and a format version (4 bytes), the spam and non-spam message counts and the
// learning clock (varints), the token count (varint), then per token its spam and non-spam counts,
// its age (the clock minus the clock when it was last learned) and its length (varints) and its
// bytes; last a 64-bit FNV-1a checksum of everything before it. Written atomically.
//
// Not thread-safe: the filter that owns it locks.
#include "chisquare/TokenSet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvanthelix::chisquare {

struct TokenCounts {
    uint32_t spam = 0;
    uint32_t ham = 0;
    /// The learning clock when a message holding the token was last learned.
    uint32_t lastLearned = 0;
};

class TokenDatabase {
public:
    /// The default bound: tokens kept at most (about 16 bytes each on disk, 80 in memory).
    static constexpr size_t kDefaultMaxTokens = 400000;
    /// Pruning takes the database down to this share of its bound, so that it does not prune at
    /// every message once it is full.
    static constexpr double kPruneTo = 0.9;

    /// An empty database keeping at most `maxTokens` tokens (at least 1).
    explicit TokenDatabase(size_t maxTokens = kDefaultMaxTokens);

    /// Counts one more spam (or non-spam) message and each of its tokens once; advances the
    /// learning clock. Prunes when the database is then past its bound. Counters stop at their
    /// maximum instead of wrapping.
    void learn(const TokenSet& tokens, bool spam);

    /// The token's counts, or null when it is not known. Valid until the next change.
    const TokenCounts* find(std::string_view token) const;

    uint32_t spamMessages() const { return spamMessages_; }
    uint32_t hamMessages() const { return hamMessages_; }
    /// The number of messages learned so far, which also dates the tokens.
    uint32_t clock() const { return clock_; }
    size_t size() const { return tokens_.size(); }
    size_t maxTokens() const { return maxTokens_; }

    /// Removes tokens, rarest (fewest messages) first and among equally rare ones the least recently
    /// learned first, until at most `target` are left. Returns how many were removed.
    size_t prune(size_t target);

    /// The file's bytes (see the header comment).
    std::string serialize() const;
    /// Replaces the contents with those of `bytes`. False, with the database left empty, when the
    /// bytes are not a complete database of this format (wrong magic or version, cut short,
    /// checksum mismatch). Tokens past the bound are pruned.
    bool deserialize(std::string_view bytes);

    enum class LoadResult { Loaded, Missing, Damaged };
    /// Reads the file at `path`. Missing leaves the database empty; Damaged too (the file is left
    /// as it is, so that nothing is lost before someone looks at it).
    LoadResult load(const std::string& path);
    /// Replaces the file at `path` atomically (temporary file, flush, rename; mode 0600). False
    /// when it could not be written; the old file is then unchanged.
    bool save(const std::string& path) const;

    /// Empties the database (the bound stays).
    void clear();

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return static_cast<size_t>(tokenHash(text)); }
    };
    struct Equal {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const { return a == b; }
    };

    size_t maxTokens_;
    uint32_t spamMessages_ = 0;
    uint32_t hamMessages_ = 0;
    uint32_t clock_ = 0;
    std::unordered_map<std::string, TokenCounts, Hash, Equal> tokens_;
};

} // namespace corvanthelix::chisquare
