#include "filter/FilterChain.h"

#include "base/Settings.h"
#include "base/StringTable.h"

#include <algorithm>
#include <cstring>

namespace corvanthelix {

namespace {

constexpr int kStringLearningFilter = 203;
constexpr int kStringSpamWordFilter = 204;

std::mutex gInstanceLock;
std::unique_ptr<FilterChain> gInstance;

std::unique_ptr<ChainEntry> makeEntry(int kind, std::string key, PluginRecord* plugin) {
    auto entry = std::make_unique<ChainEntry>();
    entry->kind = kind;
    entry->plugin = plugin;
    entry->continueOnSpam = settings::filterBehaviorSpam(key);
    entry->continueOnNonSpam = settings::filterBehaviorNonSpam(key);
    entry->key = std::move(key);
    return entry;
}

} // namespace

FilterChain& FilterChain::instance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    if (!gInstance) gInstance = std::make_unique<FilterChain>();
    return *gInstance;
}

void FilterChain::destroyInstance() {
    std::unique_ptr<FilterChain> old;
    {
        std::lock_guard<std::mutex> guard(gInstanceLock);
        old = std::move(gInstance);
    }
}

FilterChain::FilterChain() = default;
FilterChain::~FilterChain() = default;

int FilterChain::slotFor(const std::array<bool, kSlots>& occupied, int priority) {
    if (priority > kLastSlot) return 0;
    if (priority == kLastSlot) {
        for (int slot = kLastSlot; slot >= 1; --slot)
            if (!occupied[slot]) return slot;
        return 0;
    }
    // Slot 255 is left to the entries that ask for the bottom.
    for (int slot = std::max(priority, 1); slot < kLastSlot; ++slot)
        if (!occupied[slot]) return slot;
    return 0;
}

bool FilterChain::occupiedAt(int slot) const { return slot >= 1 && slot <= kLastSlot && slots_[slot]; }

void FilterChain::place(std::unique_ptr<ChainEntry> entry, int priority) {
    std::array<bool, kSlots> occupied{};
    for (int slot = 1; slot <= kLastSlot; ++slot) occupied[slot] = bool(slots_[slot]);
    int slot = slotFor(occupied, priority);
    if (slot == 0) return; // every slot taken: the filter is left out
    entry->position = slot;
    slots_[slot] = std::move(entry);
}

void FilterChain::closeGaps() {
    int next = 1;
    for (int slot = 1; slot <= kLastSlot; ++slot) {
        if (!slots_[slot]) continue;
        if (slot != next) {
            slots_[next] = std::move(slots_[slot]);
            slots_[next]->position = next;
        }
        ++next;
    }
}

void FilterChain::swapSlots(int a, int b) {
    std::swap(slots_[a], slots_[b]);
    if (slots_[a]) slots_[a]->position = a;
    if (slots_[b]) slots_[b]->position = b;
}

void FilterChain::moveToTop(int slot) {
    for (; slot > 1; --slot) swapSlots(slot - 1, slot);
}

void FilterChain::buildIfNeeded() {
    if (built_) return;
    built_ = true;
    for (auto& slot : slots_) slot.reset();

    if (settings::filterLearningEnable() != 0)
        place(makeEntry(ChainEntry::kLearning, settings::filterName::kLearning, nullptr),
              settings::filterPriority(settings::filterName::kLearning));
    if (settings::filterWordEnable() != 0)
        place(makeEntry(ChainEntry::kSpamWords, settings::filterName::kSpamWords, nullptr),
              settings::filterPriority(settings::filterName::kSpamWords));

    ChainPluginHost* host = settings::filterPluginEnable() != 0 ? chainPluginHost() : nullptr;
    if (host) {
        host->loadPlugins();
        for (PluginRecord* plugin : host->filterPlugins()) {
            std::string key = host->pluginFileName(plugin);
            int priority = settings::filterPriority(key);
            place(makeEntry(ChainEntry::kPlugin, std::move(key), plugin), priority);
        }
    }
    closeGaps();
    if (!host) return;

    // A newly installed plug-in may ask to run first; once the user has saved an order, its
    // stored position counts instead.
    for (int slot = 1; slot <= kLastSlot && slots_[slot]; ++slot) {
        ChainEntry& entry = *slots_[slot];
        if (entry.kind != ChainEntry::kPlugin || !entry.plugin) continue;
        if (host->asksToRunFirst(entry.plugin) && !settings::filterPriorityConfigured(entry.key))
            moveToTop(slot);
    }
}

ChainEntry* FilterChain::Next(const ChainEntry* entry) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    buildIfNeeded();
    for (int slot = entry ? entry->position + 1 : 1; slot >= 1 && slot <= kLastSlot; ++slot)
        if (slots_[slot]) return slots_[slot].get();
    return nullptr;
}

std::vector<ChainEntry> FilterChain::entries() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    buildIfNeeded();
    std::vector<ChainEntry> entries;
    for (int slot = 1; slot <= kLastSlot; ++slot)
        if (slots_[slot]) entries.push_back(*slots_[slot]);
    return entries;
}

bool FilterChain::moveUp(ChainEntry* entry) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!entry || !occupiedAt(entry->position) || slots_[entry->position].get() != entry) return false;
    int slot = entry->position;
    if (!occupiedAt(slot - 1)) return false;
    swapSlots(slot - 1, slot);
    return true;
}

bool FilterChain::moveDown(ChainEntry* entry) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!entry || !occupiedAt(entry->position) || slots_[entry->position].get() != entry) return false;
    int slot = entry->position;
    if (!occupiedAt(slot + 1)) return false;
    swapSlots(slot, slot + 1);
    return true;
}

bool FilterChain::filterName(const ChainEntry& entry, std::string& name) {
    if (entry.plugin) {
        ChainPluginHost* host = chainPluginHost();
        if (host && host->pluginName(entry.plugin, name)) return true;
    }
    if (entry.kind == ChainEntry::kLearning) {
        name = loadString(kStringLearningFilter);
        return true;
    }
    if (entry.kind == ChainEntry::kSpamWords) {
        name = loadString(kStringSpamWordFilter);
        return true;
    }
    return false;
}

bool FilterChain::filterName(const ChainEntry* entry, char* buffer, size_t size) {
    std::string name;
    if (!entry || !buffer || size == 0 || !filterName(*entry, name)) return false;
    size_t length = std::min(name.size(), size - 1);
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return true;
}

void FilterChain::save() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (int slot = 1; slot <= kLastSlot; ++slot) {
        if (!slots_[slot]) continue;
        const ChainEntry& entry = *slots_[slot];
        settings::setFilterPriority(entry.key, entry.position);
        settings::setFilterBehaviorSpam(entry.key, entry.continueOnSpam);
        settings::setFilterBehaviorNonSpam(entry.key, entry.continueOnNonSpam);
    }
}

void FilterChain::discard() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (auto& slot : slots_) slot.reset();
    built_ = false;
}

} // namespace corvanthelix
