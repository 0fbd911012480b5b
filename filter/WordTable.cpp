#include "filter/WordTable.h"

#include "base/AtomicFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

namespace corvanthelix {

namespace {

constexpr size_t kHeaderSize = 16;
constexpr uint32_t kFormatVersion = 1;
// The smallest record: a length byte, one character and the count.
constexpr size_t kSmallestRecord = 1 + 1 + 4;
constexpr int kAllocationAttempts = 100;

uint32_t readLittleEndian32(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

void appendLittleEndian32(std::string& out, uint32_t value) {
    char bytes[4] = {char(value & 0xFF), char(value >> 8 & 0xFF), char(value >> 16 & 0xFF),
                     char(value >> 24 & 0xFF)};
    out.append(bytes, 4);
}

size_t roundUpToPowerOfTwo(size_t wanted) {
    size_t capacity = WordTable::kMinCapacity;
    while (capacity < wanted) capacity <<= 1;
    return capacity;
}

} // namespace

WordTable::WordTable(size_t memoryLimit, size_t initialCapacity) : memoryLimit_(memoryLimit) {
    if (!resetSlots(roundUpToPowerOfTwo(initialCapacity))) resetSlots(kMinCapacity);
}

WordTable::~WordTable() = default;

uint32_t WordTable::hash(std::string_view word) {
    uint32_t h = 0;
    for (unsigned char c : word) h = h * 65599u + c;
    return h;
}

bool WordTable::resetSlots(size_t capacity) {
    std::unique_ptr<Slot[]> slots(new (std::nothrow) Slot[capacity]());
    if (!slots) return false;
    slots_ = std::move(slots);
    capacity_ = capacity;
    return true;
}

WordEntry* WordTable::find(std::string_view word, uint32_t hash) const {
    size_t mask = capacity_ - 1;
    size_t slot = hash & mask;
    size_t step = 0;
    while (slots_[slot].index != 0) {
        if (slots_[slot].hash == hash) {
            WordEntry& entry = entryAt(slots_[slot].index - 1);
            if (entry.length == word.size() && std::memcmp(entry.word, word.data(), word.size()) == 0)
                return &entry;
        }
        // The step costs a division, so it is worked out only when the first slot misses.
        if (step == 0) step = (hash % (capacity_ - 1)) | 1;
        slot = (slot + step) & mask;
    }
    return nullptr;
}

uint32_t WordTable::count(std::string_view word) const { return count(word, hash(word)); }

uint32_t WordTable::count(std::string_view word, uint32_t hash) const {
    const WordEntry* entry = find(word, hash);
    return entry ? entry->count : 0;
}

size_t WordTable::insertionSlot(uint32_t hash) const {
    size_t mask = capacity_ - 1;
    size_t slot = hash & mask;
    if (slots_[slot].index == 0) return slot;
    size_t step = (hash % (capacity_ - 1)) | 1;
    do slot = (slot + step) & mask;
    while (slots_[slot].index != 0);
    return slot;
}

bool WordTable::grow(size_t newCapacity) {
    std::unique_ptr<Slot[]> old(std::move(slots_));
    size_t oldCapacity = capacity_;
    if (!resetSlots(roundUpToPowerOfTwo(newCapacity))) {
        slots_ = std::move(old);
        return false;
    }
    for (size_t i = 0; i < oldCapacity; ++i)
        if (old[i].index != 0) slots_[insertionSlot(old[i].hash)] = old[i];
    return true;
}

WordEntry* WordTable::allocateEntry() {
    if (entries_ == (size_t(1) << 32) - 1) return nullptr;
    if ((entries_ >> kBlockShift) == blocks_.size()) {
        std::unique_ptr<WordEntry[]> block;
        for (int attempt = 0; attempt < kAllocationAttempts; ++attempt) {
            block.reset(new (std::nothrow) WordEntry[kBlockSize]);
            if (block) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!block) return nullptr;
        blocks_.push_back(std::move(block));
    }
    return &entryAt(entries_);
}

WordEntry* WordTable::insert(std::string_view word) { return insert(word, hash(word), 1); }

WordEntry* WordTable::insert(std::string_view word, uint32_t hash) { return insert(word, hash, 1); }

WordEntry* WordTable::insert(std::string_view word, uint32_t hash, uint32_t occurrences) {
    if (WordEntry* known = find(word, hash)) {
        known->count += occurrences;
        return known;
    }
    size_t length = std::min(word.size(), kMaxWordLength);
    if (length < word.size()) {
        word = word.substr(0, length);
        hash = WordTable::hash(word);
        // The shortened word may be known already (a 21-byte word from a file).
        if (WordEntry* known = find(word, hash)) {
            known->count += occurrences;
            return known;
        }
    }
    size_t accounted = length + kEntryOverhead;
    if (memoryLimit_ != 0 && memoryUsed_ + accounted > memoryLimit_) return nullptr;
    if (entries_ >= size_t(double(capacity_) * 0.75) && !grow(capacity_ * 2)) return nullptr;
    WordEntry* entry = allocateEntry();
    if (!entry) return nullptr;
    memoryUsed_ += accounted;

    std::memcpy(entry->word, word.data(), length);
    std::memset(entry->word + length, 0, sizeof entry->word - length);
    entry->length = uint8_t(length);
    entry->removed = false;
    entry->count = occurrences;
    entry->hash = hash;
    slots_[insertionSlot(hash)] = {hash, uint32_t(entries_ + 1)};
    ++entries_;
    return entry;
}

void WordTable::clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    // Without memory for a small array the old one is emptied where it is.
    if (!resetSlots(kMinCapacity)) std::fill(slots_.get(), slots_.get() + capacity_, Slot{0, 0});
    entries_ = 0;
    removedEntries_ = 0;
    memoryUsed_ = 0;
    messages_ = 0;
}

// A word-list file image being read record by record.
class WordListSource {
public:
    explicit WordListSource(std::string_view image) : image_(image) {}
    bool take(void* out, size_t size) {
        if (image_.size() - position_ < size) return false;
        std::memcpy(out, image_.data() + position_, size);
        position_ += size;
        return true;
    }
    uint64_t totalSize() const { return image_.size(); }
    bool atEnd() const { return position_ == image_.size(); }

private:
    std::string_view image_;
    size_t position_ = 0;
};

void WordTable::load(WordListSource& source) {
    damaged_ = false;
    unsigned char header[kHeaderSize];
    if (!source.take(header, kHeaderSize)) {
        damaged_ = source.totalSize() != 0;
        return;
    }
    uint32_t records = readLittleEndian32(header + 4);
    messages_ = readLittleEndian32(header + 8);
    damaged_ = readLittleEndian32(header) != kFormatVersion || readLittleEndian32(header + 12) != 0;

    // A damaged header may announce billions of records; size the table for what the file can
    // actually hold so that a bad file cannot ask for gigabytes of slots.
    uint64_t wanted = std::min<uint64_t>(records, source.totalSize() / kSmallestRecord);
    // Nor can more words load than the memory limit lets in.
    if (memoryLimit_ != 0) wanted = std::min<uint64_t>(wanted, memoryLimit_ / (1 + kEntryOverhead));
    size_t initialCapacity = wanted > (uint64_t(1) << 31) ? 16384 : roundUpToPowerOfTwo(size_t(wanted));
    if (initialCapacity != capacity_ && !resetSlots(initialCapacity)) resetSlots(kMinCapacity);

    char word[kMaxStoredLength];
    unsigned char length = 0;
    unsigned char countBytes[4];
    bool limited = false;
    uint64_t occurrences = 0;
    uint32_t read = 0;
    for (; read < records; ++read) {
        if (!source.take(&length, 1) || length == 0 || length > kMaxStoredLength) break;
        if (!source.take(word, length) || !source.take(countBytes, 4)) break;
        WordEntry* entry = insert(std::string_view(word, length));
        if (!entry) {
            limited = true;
            break;
        }
        entry->count = readLittleEndian32(countBytes);
        occurrences += entry->count;
    }
    if (!limited) {
        // Every learned message brings words: a count of messages above all word occurrences did
        // not come from learning.
        damaged_ = damaged_ || read != records || !source.atEnd() || messages_ > occurrences;
    }
}

bool WordTable::read(const std::string& path) {
    clear();
    damaged_ = false;
    filePath_ = path;
    std::string image;
    if (!readWholeFile(path, image)) return false;
    WordListSource source(image);
    load(source);
    return true;
}

void WordTable::restore(std::string_view image) {
    clear();
    WordListSource source(image);
    load(source);
}

std::string WordTable::serialize() const {
    std::string out;
    out.reserve(kHeaderSize + (entries_ - removedEntries_) * 16);
    appendLittleEndian32(out, kFormatVersion);
    appendLittleEndian32(out, uint32_t(entries_ - removedEntries_));
    appendLittleEndian32(out, messages_);
    appendLittleEndian32(out, 0);
    forEach([&out](const WordEntry& entry) {
        if (entry.removed) return;
        out.push_back(char(entry.length));
        out.append(entry.word, entry.length);
        appendLittleEndian32(out, entry.count);
    });
    return out;
}

bool WordTable::write() const {
    if (filePath_.empty()) return false;
    size_t slash = filePath_.rfind('/');
    // The training folder is made on the first save.
    if (slash != std::string::npos && slash > 0 && !ensureFolder(filePath_.substr(0, slash))) return false;
    return replaceFileAtomically(filePath_, serialize());
}

size_t WordTable::markRare(uint32_t threshold) {
    size_t flagged = 0;
    for (size_t i = 0; i < entries_; ++i) {
        WordEntry& entry = entryAt(i);
        if (!entry.removed && entry.count <= threshold) {
            entry.removed = true;
            ++flagged;
        }
    }
    removedEntries_ += flagged;
    return flagged;
}

} // namespace corvanthelix
