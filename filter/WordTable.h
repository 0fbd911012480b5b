#pragma once
// The learning filter's word-count table: an open-addressing hash table of word entries with a
// memory limit, and its binary word-list file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

class WordListSource;

/// One distinct word of a table. Entries are owned by their table and stay at the same address
/// until the table is cleared or destroyed. 32 bytes, so that one never straddles two cache lines.
/// (The per-word probability of a message being scored is kept by the scorer, not here.)
struct alignas(32) WordEntry {
    char word[21];          // up to 20 bytes and a NUL
    uint8_t length;         // bytes in `word`
    bool removed;           // flagged by compaction: still answers look-ups, not saved
    uint32_t count;         // occurrences in all messages learned into the table
    uint32_t hash;          // WordTable::hash of `word`, kept so growth needs no rehashing

    std::string_view text() const { return {word, length}; }
};

/// Open-addressing hash table of words. The capacity is a power of two (at least 16); the probe
/// sequence starts at hash mod capacity and steps by (hash mod (capacity - 1)) | 1. Not
/// thread-safe: the filter manager serialises every use.
class WordTable {
public:
    static constexpr size_t kMaxWordLength = 20;
    static constexpr size_t kMinCapacity = 16;
    /// Bytes a word is accounted for beyond its characters.
    static constexpr size_t kEntryOverhead = 5;
    /// Longest word length a word-list file may give before loading stops there.
    static constexpr unsigned kMaxStoredLength = 21;

    /// An empty table. `memoryLimit` 0 means unlimited; `initialCapacity` is rounded up to a power
    /// of two and to at least 16.
    explicit WordTable(size_t memoryLimit = 0, size_t initialCapacity = kMinCapacity);
    ~WordTable();
    WordTable(const WordTable&) = delete;
    WordTable& operator=(const WordTable&) = delete;

    /// h = h * 65599 + byte over the word's bytes as unsigned characters, 32-bit wrap-around.
    static uint32_t hash(std::string_view word);

    /// The entry whose word equals `word` byte for byte (removed entries included), or null.
    /// The two-argument form takes a hash already computed with hash(word).
    WordEntry* find(std::string_view word) const { return find(word, hash(word)); }
    WordEntry* find(std::string_view word, uint32_t hash) const;
    /// The word's count, 0 when absent.
    uint32_t count(std::string_view word) const;
    uint32_t count(std::string_view word, uint32_t hash) const;

    /// Counts one occurrence: a known word's count goes up by one and its entry is returned; a new
    /// word (its first 20 bytes) enters with count 1. Returns null when the word is refused: the
    /// memory limit would be passed, or memory for the table could not be had.
    WordEntry* insert(std::string_view word);
    WordEntry* insert(std::string_view word, uint32_t hash);
    /// Counts `occurrences` (at least 1) occurrences at once; the same as that many Insert calls.
    WordEntry* insert(std::string_view word, uint32_t hash, uint32_t occurrences);

    /// Hints that `hash` will be looked up soon: fetches its first slot, and with `entryToo` also the
    /// entry that slot names when the hash matches (call once without, later once with). Lets a
    /// caller overlap the memory waits of many look-ups.
    void prefetch(uint32_t hash, bool entryToo) const {
        const Slot& slot = slots_[hash & (capacity_ - 1)];
        if (!entryToo) __builtin_prefetch(&slot);
        else if (slot.index != 0 && slot.hash == hash) __builtin_prefetch(&entryAt(slot.index - 1));
    }

    /// Removes every entry and the learned-message count; keeps the memory limit and the path.
    void clear();

    /// Replaces the contents with the word-list file at `path` and remembers the path for Write.
    /// A missing file leaves the table empty. Loading stops at the first truncated or malformed
    /// record (a length of 0 or above 21) and when the memory limit refuses a word. Returns false
    /// (the table empty) only when the file could not be opened or read.
    bool read(const std::string& path);
    /// True when the last read() or restore() found a file whose header and contents disagree:
    /// an unknown format number or a reserved field that is not 0, fewer or more records than the
    /// header announces, a record cut short or malformed, or more learned messages than word
    /// occurrences. A load stopped by the memory limit is not damage. False for a missing file.
    bool damaged() const { return damaged_; }
    /// Replaces the contents with a word-list file image (as Serialize gives it), by the same
    /// rules as Read; the remembered path stays.
    void restore(std::string_view image);

    /// Writes the table to the remembered path, replacing the file atomically (0600), creating
    /// the parent folder (0700) when missing. Removed entries are skipped. Returns false when
    /// nothing could be written (callers treat that as silent).
    bool write() const;
    /// The word-list file image: 16-byte header and the records in slot order.
    std::string serialize() const;

    /// Flags every live entry whose count is at most `threshold` as removed. Returns how many.
    size_t markRare(uint32_t threshold);

    /// Calls `visit(const WordEntry&)` for every entry (removed ones included) in slot order.
    template <class Visit>
    void forEach(Visit&& visit) const {
        for (size_t i = 0; i < capacity_; ++i)
            if (slots_[i].index != 0) visit(entryAt(slots_[i].index - 1));
    }
    /// The same in the order the words entered the table.
    template <class Visit>
    void forEachInInsertionOrder(Visit&& visit) const {
        for (size_t i = 0; i < entries_; ++i) visit(entryAt(i));
    }

    uint32_t messages() const { return messages_; }
    void setMessages(uint32_t messages) { messages_ = messages; }
    void addMessage() { ++messages_; }
    size_t entries() const { return entries_; }
    size_t removedEntries() const { return removedEntries_; }
    size_t liveEntries() const { return entries_ - removedEntries_; }
    size_t memoryUsed() const { return memoryUsed_; }
    size_t memoryLimit() const { return memoryLimit_; }
    void setMemoryLimit(size_t limit) { memoryLimit_ = limit; }
    size_t capacity() const { return capacity_; }
    const std::string& filePath() const { return filePath_; }
    void setFilePath(std::string path) { filePath_ = std::move(path); }

private:
    // A slot carries the word's hash beside the entry's number, so that probing past other words
    // does not touch their entries.
    struct Slot {
        uint32_t hash;
        uint32_t index;  // entry number + 1; 0 marks an empty slot
    };
    static constexpr size_t kBlockShift = 8;
    static constexpr size_t kBlockSize = size_t(1) << kBlockShift;

    WordEntry& entryAt(size_t index) const { return blocks_[index >> kBlockShift][index & (kBlockSize - 1)]; }
    void load(WordListSource& source);
    size_t insertionSlot(uint32_t hash) const;
    bool resetSlots(size_t capacity);
    bool grow(size_t newCapacity);
    WordEntry* allocateEntry();

    std::unique_ptr<Slot[]> slots_;
    size_t capacity_ = 0;
    size_t entries_ = 0;
    size_t removedEntries_ = 0;
    size_t memoryUsed_ = 0;
    bool damaged_ = false;
    size_t memoryLimit_ = 0;
    uint32_t messages_ = 0;
    std::string filePath_;

    // Entries come from blocks owned by the table, numbered in the order the words entered: a
    // message's thousands of words cost a handful of allocations rather than one each.
    std::vector<std::unique_ptr<WordEntry[]>> blocks_;
};

} // namespace corvanthelix
