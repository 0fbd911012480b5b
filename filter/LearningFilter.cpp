#include "filter/LearningFilter.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "upstream/MailMessage.h"
#include "filter/ReasonText.h"
#include "base/TextUtils.h"
#include "filter/Tokenizer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace corvanthelix {

namespace {

// Room for the distinct words of a typical message, so that scoring rarely grows its table.
constexpr size_t kMessageTableCapacity = 1024;
// How many words ahead the look-ups into the large tables fetch their memory.
constexpr size_t kPrefetchDistance = 8;
constexpr int kStringWordListSetAside = 1404;

// Calls `visit` for each word of `words` in order, fetching the slots and then the entries the
// look-ups into `first` and `second` will need a few words ahead: the large tables do not fit in
// the caches, and waiting for one look-up at a time would dominate scoring and learning.
template <class Visit>
void visitPrefetched(const std::vector<const WordEntry*>& words, const WordTable& first,
                     const WordTable* second, Visit&& visit) {
    auto prefetch = [&](size_t i, bool entry) {
        first.prefetch(words[i]->hash, entry);
        if (second) second->prefetch(words[i]->hash, entry);
    };
    size_t n = words.size();
    for (size_t i = 0; i < std::min(n, 2 * kPrefetchDistance); ++i) prefetch(i, false);
    for (size_t i = 0; i < std::min(n, kPrefetchDistance); ++i) prefetch(i, true);
    for (size_t i = 0; i < n; ++i) {
        if (i + 2 * kPrefetchDistance < n) prefetch(i + 2 * kPrefetchDistance, false);
        if (i + kPrefetchDistance < n) prefetch(i + kPrefetchDistance, true);
        visit(*words[i]);
    }
}

std::vector<const WordEntry*> wordsOf(const WordTable& table) {
    std::vector<const WordEntry*> words;
    words.reserve(table.entries());
    table.forEachInInsertionOrder([&words](const WordEntry& entry) { words.push_back(&entry); });
    return words;
}

struct JudgedWord {
    const WordEntry* entry;
    double probability;
    double distance;  // |probability - 0.5|: how much the word tells
};

} // namespace

size_t LearningFilter::memoryLimitForSetting(int kilobytes) {
    return kilobytes > 0 ? size_t(kilobytes) * 512 : 0;
}

void LearningFilter::load(const std::string& trainingFolder, size_t memoryLimit) {
    if (memoryLimit != 0) {
        good_.setMemoryLimit(memoryLimit);
        bad_.setMemoryLimit(memoryLimit);
    }
    setAside_.clear();
    good_.read(trainingFolder + "/" + kGoodFileName);
    setAsideIfDamaged(good_);
    bad_.read(trainingFolder + "/" + kBadFileName);
    setAsideIfDamaged(bad_);
}

// A damaged list would misjudge every message (a good list that knows no words makes all mail
// look like spam): it is kept under another name for the person, and the filter starts it anew.
void LearningFilter::setAsideIfDamaged(WordTable& table) {
    if (!table.damaged()) return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".damaged-%04i%02i%02i-%02i%02i%02i", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string kept = table.filePath() + suffix;
    if (std::rename(table.filePath().c_str(), kept.c_str()) == 0) setAside_.push_back(kept);
    table.clear();
}

void LearningFilter::load() {
    load(Application::instance().paths().trainingFolder(),
         memoryLimitForSetting(settings::trainingAreaMaxMemory()));
    if (setAside_.empty()) return;
    std::string names;
    for (const std::string& path : setAside_) names += "\n" + path.substr(path.rfind('/') + 1);
    const std::string format = loadString(kStringWordListSetAside);
    const std::size_t at = format.find("%s");
    const std::string text = at == std::string::npos ? format : format.substr(0, at) + names + format.substr(at + 2);
    Application::instance().showMessageText(text, mb::kOk | mb::kIconExclamation);
}

void LearningFilter::messageText(const MailMessage& message, std::string& body, std::string& subject) {
    body.clear();
    subject.clear();
    if (std::optional<std::string> text = message.bodyText(true)) body = std::move(*text);
    if (const char* value = message.headerByKind(CVX_HEADER_SUBJECT)) subject = decodeEncodedWords(value);
}

void LearningFilter::countWords(std::string_view body, std::string_view subject, WordTable& table) {
    // Fed one after the other, so the body's last word does not run into the subject.
    Tokenizer::Run(body, table);
    Tokenizer::Run(subject, table);
}

void LearningFilter::learnText(std::string_view body, std::string_view subject, bool asSpam) {
    WordTable& table = asSpam ? bad_ : good_;
    table.addMessage();
    // The message's words are counted first and then added with their counts, in the order they
    // first occurred: the table ends up exactly as if every occurrence had been inserted in text
    // order (new words enter in the same order and meet the memory limit at the same word, and a
    // word refused once stays refused because the memory used only grows), but each distinct word
    // costs one look-up into the large table instead of one per occurrence.
    WordTable words(0, kMessageTableCapacity);
    countWords(body, subject, words);
    visitPrefetched(wordsOf(words), table, nullptr, [&table](const WordEntry& word) {
        table.insert(word.text(), word.hash, word.count);
    });
}

bool LearningFilter::learn(const MailMessage* message, bool asSpam) {
    if (!message) return false;
    std::string body, subject;
    messageText(*message, body, subject);
    learnText(body, subject, asSpam);
    return true;
}

void LearningFilter::save() const {
    bad_.write();
    good_.write();
}

bool LearningFilter::canJudge() const {
    // A list without a word tells nothing about any word: with an empty good list every word
    // would count as spam.
    return bad_.messages() != 0 && good_.messages() != 0 && good_.liveEntries() != 0;
}

double LearningFilter::score(const MailMessage* message, char* reason, size_t reasonCapacity) const {
    if (!canJudge()) {
        // Untrained: the message's text is not even taken apart.
        if (reason && reasonCapacity >= 1) reason[0] = '\0';
        return kNeutral;
    }
    std::string body, subject;
    if (message) messageText(*message, body, subject);
    return scoreText(body, subject, reason, reasonCapacity);
}

double LearningFilter::scoreText(std::string_view body, std::string_view subject, char* reason,
                                 size_t reasonCapacity) const {
    WordTable words(0, kMessageTableCapacity);
    countWords(body, subject, words);
    return scoreWords(words, reason, reasonCapacity);
}

double LearningFilter::scoreWords(const WordTable& words, char* reason, size_t reasonCapacity) const {
    bool withReason = reason && reasonCapacity >= 1;
    if (withReason) reason[0] = '\0';
    if (words.entries() == 0 || !canJudge()) return kNeutral;

    double badMessages = bad_.messages();
    double goodMessages = good_.messages();
    std::vector<JudgedWord> judged;
    judged.reserve(words.entries());
    visitPrefetched(wordsOf(words), good_, &bad_, [&](const WordEntry& word) {
        // Both tables hash alike, so the word's hash serves both look-ups.
        double g = 2.0 * good_.count(word.text(), word.hash);
        double b = bad_.count(word.text(), word.hash);
        double p = kNeutral;
        if (g + b > kMinimumEvidence) {
            double bp = std::min(1.0, b / badMessages);
            double gp = std::min(1.0, g / goodMessages);
            p = std::clamp(bp / (bp + gp), 0.01, 0.99);
        }
        judged.push_back({&word, p, std::fabs(p - 0.5)});
    });

    size_t taken = std::min(kTellingWords, judged.size());
    std::partial_sort(judged.begin(), judged.begin() + std::ptrdiff_t(taken), judged.end(),
                      [](const JudgedWord& a, const JudgedWord& b) { return a.distance > b.distance; });

    double spamProduct = 1.0;
    double hamProduct = 1.0;
    size_t reasonLength = 0;
    for (size_t i = 0; i < taken; ++i) {
        const JudgedWord& word = judged[i];
        if (withReason && word.probability > kNeutral)
            appendReasonWord(reason, reasonCapacity, reasonLength, word.entry->text());
        spamProduct *= word.probability;
        hamProduct *= 1.0 - word.probability;
    }
    return spamProduct / (spamProduct + hamProduct);
}

int LearningFilter::verdictFor(double probability) {
    if (probability >= kSpamAtLeast) return FilterVerdict::kSpam;
    if (probability <= kNonSpamAtMost) return FilterVerdict::kNonSpam;
    return FilterVerdict::kUndecided;
}

int LearningFilter::verdict(const MailMessage* message, double& probability, char* reason) const {
    probability = score(message, reason, kVerdictReasonCapacity);
    return verdictFor(probability);
}

LearningFilter::CompactResult LearningFilter::compact(bool doBad, bool doGood, uint32_t badThreshold,
                                                      uint32_t goodThreshold) {
    CompactResult result;
    long long memoryBefore = 0;
    if (doBad) {
        memoryBefore += (long long)bad_.memoryUsed();
        result.wordsDeleted += bad_.markRare(badThreshold);
    }
    if (doGood) {
        memoryBefore += (long long)good_.memoryUsed();
        result.wordsDeleted += good_.markRare(goodThreshold);
    }
    // Both tables are saved and taken back from what was saved: the removed words are not
    // written, so they leave memory. Taking the image rather than the file keeps the words in
    // memory even when the disk refused the write.
    std::string badImage = bad_.serialize();
    std::string goodImage = good_.serialize();
    bad_.write();
    good_.write();
    bad_.restore(badImage);
    good_.restore(goodImage);
    long long memoryAfter = 0;
    if (doBad) memoryAfter += (long long)bad_.memoryUsed();
    if (doGood) memoryAfter += (long long)good_.memoryUsed();
    result.bytesReleased = memoryBefore - memoryAfter;
    return result;
}

} // namespace corvanthelix
