#pragma once
// The order in which the filters judge a message: up to 255 entries (the learning filter, the
// spam-word filter and filter plug-ins) in slots 1...255, each with what to do after a spam or a
// non-spam answer. Built from the settings on the first request and kept until discard().
#include "filter/ChainPluginHost.h"

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvanthelix {

/// One filter of the chain.
struct ChainEntry {
    static constexpr int kPlugin = 0;
    static constexpr int kLearning = 1;
    static constexpr int kSpamWords = 2;

    /// The plug-in manager's record; null for the built-in filters.
    PluginRecord* plugin = nullptr;
    /// Slot number, 1...255.
    int position = 0;
    int kind = kPlugin;
    /// 0: a spam answer ends the chain; any other value lets the next filter run.
    int continueOnSpam = 0;
    /// The same for a non-spam answer.
    int continueOnNonSpam = 0;
    /// Key of the filter in the FILTERPRIORITY and FILTERBEHAVIOR* sections: "1", "2" or the
    /// plug-in's library file name.
    std::string key;
};

class FilterChain {
public:
    static constexpr int kSlots = 256;
    static constexpr int kLastSlot = kSlots - 1;

    /// The process-wide chain, created on first use. Thread-safe.
    static FilterChain& instance();
    /// Destroys the process-wide chain (the program entry at exit; tests between cases). The next
    /// instance() makes a new one. No other thread may be using the chain.
    static void destroyInstance();

    FilterChain();
    ~FilterChain();
    FilterChain(const FilterChain&) = delete;
    FilterChain& operator=(const FilterChain&) = delete;

    /// The entry in the next occupied slot after `entry` (the first entry when `entry` is null);
    /// null at the end. Builds the chain when it is not built. The entry is owned by the chain and
    /// valid until discard().
    ChainEntry* Next(const ChainEntry* entry);
    /// Copies of the entries in slot order, building the chain when needed. A run of the chain
    /// works on such a copy, so that a discard() from the options dialog cannot pull entries away
    /// from under it.
    std::vector<ChainEntry> entries();

    /// Swaps `entry` with the entry in the slot before / after it when that slot is occupied.
    /// Returns true when it moved.
    bool moveUp(ChainEntry* entry);
    bool moveDown(ChainEntry* entry);

    /// The filter's name: the plug-in's name from its info record, else string 203 "Learning
    /// Filter" or 204 "Spam Word Filter" by kind. False when there is none. The buffer form copies
    /// at most size - 1 characters and a NUL.
    static bool filterName(const ChainEntry& entry, std::string& name);
    static bool filterName(const ChainEntry* entry, char* buffer, size_t size);

    /// Writes every entry's position and both behaviours under its key. Nothing when the chain
    /// is not built.
    void save();
    /// Frees all entries; the chain is built again at the next request.
    void discard();

    /// The slot an entry that wants `priority` takes among the occupied slots, or 0 when none is
    /// left: 255 takes the highest free slot; below 255 the wanted slot or the next free one above
    /// it up to 254; above 255 nothing. Priorities below 1 count as 1.
    static int slotFor(const std::array<bool, kSlots>& occupied, int priority);

private:
    void buildIfNeeded();
    void place(std::unique_ptr<ChainEntry> entry, int priority);
    void closeGaps();
    void moveToTop(int slot);
    void swapSlots(int a, int b);
    bool occupiedAt(int slot) const;

    std::recursive_mutex lock_;
    bool built_ = false;
    std::array<std::unique_ptr<ChainEntry>, kSlots> slots_;
};

} // namespace corvanthelix
