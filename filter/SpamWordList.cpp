#include "filter/SpamWordList.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "filter/SpamWordFilter.h"

#include <strings.h>

#include <cctype>

namespace corvanthelix {

namespace {
bool sameWord(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }
} // namespace

SpamWordList::SpamWordList(std::string userFile, std::string predefinedFile)
    : userFile_(std::move(userFile)), predefinedFile_(std::move(predefinedFile)) {}

SpamWordList::SpamWordList()
    : SpamWordList(Application::instance().paths().userSpamWordsFile(),
                   Application::instance().paths().spamWordsFile()) {}

std::vector<SpamWordRow> SpamWordList::read(const std::string& file, bool predefined) const {
    std::vector<SpamWordRow> rows;
    for (const std::string& line : IniFile::readSectionLines(settings::section::kProbabilities, file)) {
        SpamWordRow row;
        int32_t percent = 0;
        SpamWordFilter::splitLine(line, row.word, percent);
        if (row.word.empty()) continue;
        row.percent = percent;
        row.predefined = predefined;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<SpamWordRow> SpamWordList::rows(bool withPredefined) const {
    std::vector<SpamWordRow> user = read(userFile_, false);
    std::vector<SpamWordRow> predefined = read(predefinedFile_, true);
    std::vector<SpamWordRow> rows;
    for (const SpamWordRow& u : user) {
        bool repeats = false;
        for (SpamWordRow& p : predefined)
            if (sameWord(p.word, u.word)) {
                p.percent = u.percent;
                repeats = true;
            }
        if (!repeats) rows.push_back(u);
    }
    if (withPredefined) rows.insert(rows.end(), predefined.begin(), predefined.end());
    return rows;
}

SpamWordCheck SpamWordList::check(const std::string& word, const std::string& percentText, bool adding) const {
    if (word.empty()) return SpamWordCheck::MissingWord;
    if (percentText.empty() || percentText.size() > 3) return SpamWordCheck::PercentInvalid;
    for (char c : percentText)
        if (!std::isdigit(static_cast<unsigned char>(c))) return SpamWordCheck::PercentInvalid;
    if (std::stoi(percentText) > kMaxPercent) return SpamWordCheck::PercentInvalid;
    if (adding)
        for (const SpamWordRow& row : rows(true))
            if (sameWord(row.word, word)) return SpamWordCheck::AlreadyListed;
    return SpamWordCheck::Valid;
}

bool SpamWordList::write(const std::string& word, int percent) const {
    return IniFile::writeString(settings::section::kProbabilities, word, std::to_string(percent), userFile_);
}

bool SpamWordList::isPredefined(const std::string& word) const {
    for (const SpamWordRow& row : read(predefinedFile_, true))
        if (sameWord(row.word, word)) return true;
    return false;
}

SpamWordDelete SpamWordList::remove(const std::string& word) const {
    if (isPredefined(word)) return SpamWordDelete::Predefined;
    return IniFile::writeString(settings::section::kProbabilities, word, nullptr, userFile_) ? SpamWordDelete::Deleted
                                                                                            : SpamWordDelete::Failed;
}

} // namespace corvanthelix
