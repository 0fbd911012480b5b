#pragma once
// Holds the data of the built-in filters (the spam-word list and the learning filter's tables)
// for everyone who filters or learns, and runs the filter chain over one message. One lock guards
// all of it; it is held across a whole chain run, plug-in calls included.
//
// Lock order: the filter manager's lock, then the chain's, then the plug-in manager's; never the
// reverse. All three are re-entrant on the same thread.
#include "filter/LearningFilter.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace corvanthelix {

struct FilterVerdict;
class MailMessage;
class SpamWordFilter;

class FilterManager {
public:
    /// The process-wide manager, created on first use. Thread-safe.
    static FilterManager& instance();
    /// Destroys the process-wide manager (the program entry at exit; tests between cases): every
    /// acquisition is dropped and the data freed without saving. The next instance() makes a new
    /// one. No other thread may be using the manager.
    static void destroyInstance();

    FilterManager();
    ~FilterManager();
    FilterManager(const FilterManager&) = delete;
    FilterManager& operator=(const FilterManager&) = delete;

    /// Counts one more user. Loads the learning tables when they are not loaded (memory limit
    /// from "TrainingAreaMaxMemory"), the spam-word list when `withWords` is set and the list is
    /// empty, and, when "FilterPluginEnable" is not 0, has the plug-in manager load the plug-ins.
    /// Returns true.
    bool acquire(bool withWords);
    /// Counts one user less; the last one frees the spam-word list and the learning tables
    /// (learning not saved is lost: callers save first). Nothing when there is no user.
    void release();
    /// Frees the data and loads it again, spam-word list included (after a compaction or a change
    /// of the memory limit). Users holding an acquisition keep it; with none, the reload itself
    /// counts as one, as an acquire(true) would.
    void reload();

    /// Learns the message as spam or non-spam (not saved; see Save). Loads the tables first when
    /// nobody has. False when `message` is null.
    bool learn(const MailMessage* message, bool asSpam);
    /// Writes both word-list files. Nothing when the tables are not loaded, so that empty tables
    /// never overwrite the files.
    void save();
    /// Removes rare words from the selected tables, saves both and keeps only what was saved
    /// (see LearningFilter::compact). Loads the tables first when nobody has.
    LearningFilter::CompactResult compact(bool doBad, bool doGood, uint32_t badThreshold,
                                          uint32_t goodThreshold);

    /// Runs the filter chain over message `messageNumber` (the number plug-ins see) and fills
    /// `verdict`. Returns true for spam. With "Enable" 0 nothing runs and the message is not spam.
    /// Every filter starts from a fresh verdict and a filter that decides nothing leaves a fresh
    /// one behind, so the verdict is what the last filter that ran left: its decision, or the
    /// neutral verdict (not spam, probability 0.4, no reason, no filter name) when it decided
    /// nothing. A decision whose behaviour lets the chain go on is thus replaced by whatever the
    /// next filter says. A filter whose data is not loaded (no acquisition) is undecided.
    bool Run(int messageNumber, const MailMessage* message, FilterVerdict& verdict);

    /// Outstanding acquisitions; whether the learning tables / the spam-word list are loaded.
    int acquisitions() const;
    bool learningLoaded() const;
    bool wordsLoaded() const;

private:
    void loadLearning();
    void freeData();

    mutable std::recursive_mutex lock_;
    int acquisitions_ = 0;
    std::unique_ptr<SpamWordFilter> spamWords_;
    std::unique_ptr<LearningFilter> learning_;
};

} // namespace corvanthelix
