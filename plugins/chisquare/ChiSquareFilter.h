#pragma once
// The chi-square filter as the plug-in runs it: the tokenizer, the word database and the scorer
// behind one lock, with the database kept in a file that every learned message updates.
//
// Locking: the filter's lock is innermost. Tokenizing happens before it is taken, and nothing
// that could call back into the host or take another lock runs under it, so the host may call
// judge() and learn() from any thread, under whatever locks it holds.
#include "chisquare/ChiSquareScorer.h"
#include "chisquare/TokenDatabase.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace corvanthelix::chisquare {

class ChiSquareFilter {
public:
    /// The longest reason text the host keeps.
    static constexpr size_t kMaxReason = 255;

    explicit ChiSquareFilter(ChiSquareParameters parameters = {},
                             size_t maxTokens = TokenDatabase::kDefaultMaxTokens);

    /// Reads the database from `path` and keeps the path for saving ("" keeps it in memory only).
    /// A damaged file is renamed to `path` + ".damaged" (so the next save does not destroy it)
    /// and the filter starts empty.
    TokenDatabase::LoadResult open(const std::string& path);
    /// Forgets the learned data and the path (the file stays).
    void close();

    struct Judgement {
        ChiSquareVerdict verdict = ChiSquareVerdict::Undecided;
        /// The chi-square indicator I, 0...1.
        double indicator = 0.5;
        /// For spam: "chi-square 0.999: " and the strongest spam tokens; else empty. At most
        /// kMaxReason characters.
        std::string reason;
    };
    /// Judges the message with the whole source `source`. Undecided until both spam and non-spam
    /// have been learned.
    Judgement judge(std::string_view source) const;

    /// Learns the message `source` as spam or non-spam. With `saveNow` (and a path) the database
    /// file is replaced at once. False when saving failed (the learning stays in memory and is
    /// saved with the next one).
    bool learn(std::string_view source, bool spam, bool saveNow = true);

    /// Writes the database to its path. True when it was written or there is no path.
    bool save() const;

    /// Forgets every learned message and token and replaces the file with the empty database, so
    /// that a restart does not bring them back. False when the file could not be replaced (the
    /// filter is empty all the same).
    bool forget();

    /// Judges from now on with `parameters` (the learned data stays).
    void setParameters(const ChiSquareParameters& parameters);
    ChiSquareParameters parameters() const;

    struct Stats {
        size_t tokens = 0;
        uint32_t spamMessages = 0;
        uint32_t hamMessages = 0;
        /// The size of the database file in bytes; 0 while there is none.
        uint64_t fileBytes = 0;
    };
    Stats stats() const;

private:
    mutable std::mutex lock_;
    ChiSquareScorer scorer_;
    TokenDatabase database_;
    std::string path_;
};

} // namespace corvanthelix::chisquare
