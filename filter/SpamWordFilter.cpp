#include "filter/SpamWordFilter.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "upstream/MailMessage.h"
#include "filter/ReasonText.h"
#include "base/TextUtils.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace corvanthelix {

namespace {

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return lower;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The leading decimal integer of `text` (blanks and a sign allowed before it), clamped to 32 bits;
// 0 when there is no digit.
int32_t leadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > (long long)std::numeric_limits<int32_t>::max() + 1) break;
    }
    if (negative) value = -value;
    return int32_t(std::clamp<long long>(value, std::numeric_limits<int32_t>::min(),
                                         std::numeric_limits<int32_t>::max()));
}

} // namespace

SpamWordFilter::SpamWordFilter(std::string programFolder) : SpamWordFilter(programFolder, programFolder) {}

SpamWordFilter::SpamWordFilter(std::string dataFolder, std::string resourceFolder)
    : programFolder_(std::move(dataFolder)), resourceFolder_(std::move(resourceFolder)) {}

SpamWordFilter::SpamWordFilter()
    : SpamWordFilter(Application::instance().programFolder(), Application::instance().resourceFolder()) {}

std::string SpamWordFilter::filePath(const char* fileName) const {
    // The predefined words ship with the program; only the user's own file is written.
    const bool predefined = std::string_view(fileName) == settings::fileName::kSpamPoints;
    return (predefined ? resourceFolder_ : programFolder_) + "/" + fileName;
}

void SpamWordFilter::splitLine(std::string_view line, std::string& word, int32_t& percent) {
    size_t equals = line.rfind('=');
    std::string_view name = equals == std::string_view::npos ? line : line.substr(0, equals);
    percent = equals == std::string_view::npos ? 0 : leadingInteger(line.substr(equals + 1));
    // The settings reader ignores blanks around key names, so "word = 50" names "word" there too.
    while (!name.empty() && isBlank(name.front())) name.remove_prefix(1);
    while (!name.empty() && isBlank(name.back())) name.remove_suffix(1);
    word.assign(name.substr(0, kMaxWordLength));
}

void SpamWordFilter::addWords(const std::vector<std::string>& lines, bool predefined) {
    std::string word;
    int32_t percent = 0;
    for (const std::string& line : lines) {
        splitLine(line, word, percent);
        auto [found, isNew] = index_.try_emplace(lowerAscii(word), pushed_.size());
        if (isNew) pushed_.push_back({word, 0, predefined});
        pushed_[found->second].percent = percent;
    }
    std::vector<std::string_view> words;
    words.reserve(pushed_.size());
    for (const SpamWord& entry : pushed_) words.push_back(entry.word);
    matcher_ = WordSetMatcher(words);
}

void SpamWordFilter::loadWords() {
    addWords(IniFile::readSectionLines(settings::section::kProbabilities,
                                       filePath(settings::fileName::kSpamPoints)), true);
    addWords(IniFile::readSectionLines(settings::section::kProbabilities,
                                       filePath(settings::fileName::kSpamPointsUser)), false);
}

void SpamWordFilter::freeWords() {
    pushed_.clear();
    pushed_.shrink_to_fit();
    index_.clear();
    matcher_ = WordSetMatcher();
}

std::vector<SpamWord> SpamWordFilter::words() const { return {pushed_.rbegin(), pushed_.rend()}; }

double SpamWordFilter::scoreText(std::string_view subject, std::string_view body, char* reason) const {
    size_t reasonLength = 0;
    if (reason) reason[0] = '\0';
    std::vector<uint8_t> inSubject, inBody;
    matcher_.findWords(subject, inSubject);
    matcher_.findWords(body, inBody);
    long long sum = 0;
    for (size_t i = pushed_.size(); i-- > 0;) {
        const SpamWord& entry = pushed_[i];
        bool listed = false;
        if (inSubject[i]) {
            // Room left greater than length + 2 keeps the reason below 255 characters.
            if (reason) listed = appendReasonWord(reason, kReasonCapacity, reasonLength, entry.word);
            sum += entry.percent;
        }
        if (inBody[i]) {
            if (reason && !listed) appendReasonWord(reason, kReasonCapacity, reasonLength, entry.word);
            sum += entry.percent;
        }
    }
    return double(sum) * 0.01;
}

double SpamWordFilter::score(const MailMessage* message, char* reason) const {
    if (reason) reason[0] = '\0';
    if (!message || !message->root() || message->size() == 0) return 0.0;
    std::optional<std::string> body = message->bodyText(settings::filterWordHtml() == 1);
    if (!body) return 0.0;
    std::string subject;
    if (const char* value = message->headerByKind(CVX_HEADER_SUBJECT)) subject = decodeEncodedWords(value);
    return scoreText(subject, *body, reason);
}

int SpamWordFilter::threshold(int level) const {
    std::optional<int> threshold = settings::threshold(level, filePath(settings::fileName::kSpamPointsUser));
    if (!threshold) threshold = settings::threshold(level, filePath(settings::fileName::kSpamPoints));
    return threshold && *threshold > 0 ? *threshold : kDefaultThreshold;
}

int SpamWordFilter::verdictFor(double score, int threshold) {
    return score >= threshold * 0.01 ? FilterVerdict::kSpam : FilterVerdict::kUndecided;
}

int SpamWordFilter::verdict(const MailMessage* message, double& probability, char* reason) const {
    probability = score(message, reason);
    return verdictFor(probability, threshold(settings::aggressiveness()));
}

int SpamWordFilter::convertOldWordFiles(const std::string& programFolder, const std::string& settingsFile) {
    int converted = 0;
    bool hadPoints = false;
    for (const char* fileName : {settings::fileName::kSpamPoints, settings::fileName::kSpamPointsUser}) {
        std::string path = programFolder + "/" + fileName;
        std::string word;
        int32_t points = 0;
        for (const std::string& line : IniFile::readSectionLines(settings::section::kPoints, path)) {
            hadPoints = true;
            splitLine(line, word, points);
            double percent = std::min(100.0, std::trunc(double(points) * 1.5));
            // Written before the old key goes, so a failure keeps the word in one section or both.
            if (!IniFile::writeSettingInt(settings::section::kProbabilities, word, int(percent), path))
                continue;
            IniFile::writeString(settings::section::kPoints, word, nullptr, path);
            ++converted;
        }
    }
    if (hadPoints && settings::convertedSpamPoints096(settingsFile) == 0) {
        Application::instance().showMessage(169, mb::kOk | mb::kIconInformation);
        settings::setConvertedSpamPoints096(1, settingsFile);
    }
    return converted;
}

} // namespace corvanthelix
