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
        return host->PluginVerdict(entry.plugin, messageNumber, message, verdict);
    } catch (...) {
        return FilterVerdict::kUndecided;
    }
}

std::string pluginName(const ChainEntry& entry) {
    std::string name;
    FilterChain::FilterName(entry, name);
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
    learning->Load();
    learning_ = std::move(learning);
}

void FilterManager::freeData() {
    spamWords_.reset();
    learning_.reset();
}

bool FilterManager::Acquire(bool withWords) {
    Guard guard(lock_);
    ++acquisitions_;
    loadLearning();
    if (withWords && (!spamWords_ || spamWords_->Empty())) {
        auto words = std::make_unique<SpamWordFilter>();
        words->LoadWords();
        spamWords_ = std::move(words);
    }
    if (settings::filterPluginEnable() != 0)
        if (ChainPluginHost* host = chainPluginHost()) host->LoadPlugins();
    return true;
}

void FilterManager::Release() {
    Guard guard(lock_);
    if (acquisitions_ == 0) return;
    if (--acquisitions_ == 0) freeData();
}

void FilterManager::Reload() {
    Guard guard(lock_);
    int holders = acquisitions_;
    freeData();
    acquisitions_ = 0;
    Acquire(true);
    acquisitions_ = std::max(holders, 1);
}

bool FilterManager::Learn(const MailMessage* message, bool asSpam) {
    Guard guard(lock_);
    if (!message) return false;
    loadLearning();
    return learning_->Learn(message, asSpam);
}

void FilterManager::Save() {
    Guard guard(lock_);
    if (learning_) learning_->Save();
}

LearningFilter::CompactResult FilterManager::Compact(bool doBad, bool doGood, uint32_t badThreshold,
                                                     uint32_t goodThreshold) {
    Guard guard(lock_);
    loadLearning();
    return learning_->Compact(doBad, doGood, badThreshold, goodThreshold);
}

bool FilterManager::Run(int messageNumber, const MailMessage* message, FilterVerdict& verdict) {
    Guard guard(lock_);
    // Also the result of an empty chain: nothing decided.
    verdict.Reset();
    if (settings::enable() == 0) return false;

    for (const ChainEntry& entry : FilterChain::instance().Entries()) {
        verdict.Reset();
        int answer = FilterVerdict::kUndecided;
        switch (entry.kind) {
        case ChainEntry::kLearning:
            if (learning_) answer = learning_->Verdict(message, verdict.probability, verdict.reason);
            if (answer != FilterVerdict::kUndecided) verdict.SetFilterName(loadString(kStringLearningFilter));
            break;
        case ChainEntry::kSpamWords:
            if (spamWords_) answer = spamWords_->Verdict(message, verdict.probability, verdict.reason);
            if (answer != FilterVerdict::kUndecided) verdict.SetFilterName(loadString(kStringSpamWordFilter));
            break;
        case ChainEntry::kPlugin:
            answer = pluginAnswer(entry, messageNumber, message, verdict);
            if (answer != FilterVerdict::kUndecided) verdict.SetFilterName(pluginName(entry));
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
            verdict.Reset();
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
