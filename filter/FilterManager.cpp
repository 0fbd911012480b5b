#include "filter/FilterManager.h"

#include "base/Settings.h"
#include "filter/ChainPluginHost.h"
#include "filter/FilterChain.h"
#include "filter/FilterVerdict.h"
#include "filter/SpamWordFilter.h"
#include "base/StringTable.h"

#include <algorithm>

namespace corvanthelix {

namespace {

constexpr int kStringLearningFilter = 203;
constexpr int kStringSpamWordFilter = 204;

std::mutex gInstanceLock;
std::unique_ptr<FilterManager> gInstance;

using Guard = std::lock_guard<std::recursive_mutex>;

// The plug-in's answer; a plug-in host must not throw, and if one does anyway the message is
// simply undecided for it.
int pluginAnswer(const ChainEntry& entry, int messageNumber, const MailMessage* message, FilterVerdict& verdict) {
    ChainPluginHost* host = chainPluginHost();
    if (!host || !entry.plugin) return FilterVerdict::kUndecided;
    try {
        return host->pluginVerdict(entry.plugin, messageNumber, message, verdict);
    } catch (...) {
        return FilterVerdict::kUndecided;
    }
}

std::string pluginName(const ChainEntry& entry) {
    std::string name;
    FilterChain::filterName(entry, name);
    return name;
}

} // namespace

FilterManager& FilterManager::instance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    if (!gInstance) gInstance = std::make_unique<FilterManager>();
    return *gInstance;
}

void FilterManager::destroyInstance() {
    std::unique_ptr<FilterManager> old;
    {
        std::lock_guard<std::mutex> guard(gInstanceLock);
        old = std::move(gInstance);
    }
}

FilterManager::FilterManager() = default;
FilterManager::~FilterManager() = default;

void FilterManager::loadLearning() {
    if (learning_) return;
    auto learning = std::make_unique<LearningFilter>();
    learning->load();
    learning_ = std::move(learning);
}

void FilterManager::freeData() {
    spamWords_.reset();
    learning_.reset();
}

bool FilterManager::acquire(bool withWords) {
    Guard guard(lock_);
    ++acquisitions_;
    loadLearning();
    if (withWords && (!spamWords_ || spamWords_->empty())) {
        auto words = std::make_unique<SpamWordFilter>();
        words->loadWords();
        spamWords_ = std::move(words);
    }
    if (settings::filterPluginEnable() != 0)
        if (ChainPluginHost* host = chainPluginHost()) host->loadPlugins();
    return true;
}

void FilterManager::release() {
    Guard guard(lock_);
    if (acquisitions_ == 0) return;
    if (--acquisitions_ == 0) freeData();
}

void FilterManager::reload() {
    Guard guard(lock_);
    int holders = acquisitions_;
    freeData();
    acquisitions_ = 0;
    acquire(true);
    acquisitions_ = std::max(holders, 1);
}

bool FilterManager::learn(const MailMessage* message, bool asSpam) {
    Guard guard(lock_);
    if (!message) return false;
    loadLearning();
    return learning_->learn(message, asSpam);
}

void FilterManager::save() {
    Guard guard(lock_);
    if (learning_) learning_->save();
}

LearningFilter::CompactResult FilterManager::compact(bool doBad, bool doGood, uint32_t badThreshold,
                                                     uint32_t goodThreshold) {
    Guard guard(lock_);
    loadLearning();
    return learning_->compact(doBad, doGood, badThreshold, goodThreshold);
}

bool FilterManager::Run(int messageNumber, const MailMessage* message, FilterVerdict& verdict) {
    Guard guard(lock_);
    // Also the result of an empty chain: nothing decided.
    verdict.reset();
    if (settings::enable() == 0) return false;

    for (const ChainEntry& entry : FilterChain::instance().entries()) {
        verdict.reset();
        int answer = FilterVerdict::kUndecided;
        switch (entry.kind) {
        case ChainEntry::kLearning:
            if (learning_) answer = learning_->verdict(message, verdict.probability, verdict.reason);
            if (answer != FilterVerdict::kUndecided) verdict.setFilterName(loadString(kStringLearningFilter));
            break;
        case ChainEntry::kSpamWords:
            if (spamWords_) answer = spamWords_->verdict(message, verdict.probability, verdict.reason);
            if (answer != FilterVerdict::kUndecided) verdict.setFilterName(loadString(kStringSpamWordFilter));
            break;
        case ChainEntry::kPlugin:
            answer = pluginAnswer(entry, messageNumber, message, verdict);
            if (answer != FilterVerdict::kUndecided) verdict.setFilterName(pluginName(entry));
            break;
        }
        if (answer == FilterVerdict::kSpam) {
            verdict.spam = 1;
            if (entry.continueOnSpam == 0) break;
        } else if (answer == FilterVerdict::kNonSpam) {
            verdict.spam = 0;
            if (entry.continueOnNonSpam == 0) break;
        } else {
            // An undecided filter (or an answer outside -1/0/+1) leaves no trace: the verdict
            // holds the deciding filter's values, or the neutral ones when nothing decided,
            // rather than the score of a filter that decided nothing.
            verdict.reset();
        }
    }
    return verdict.spam != 0;
}

int FilterManager::acquisitions() const {
    Guard guard(lock_);
    return acquisitions_;
}

bool FilterManager::learningLoaded() const {
    Guard guard(lock_);
    return learning_ != nullptr;
}

bool FilterManager::wordsLoaded() const {
    Guard guard(lock_);
    return spamWords_ != nullptr;
}

} // namespace corvanthelix
