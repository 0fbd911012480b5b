#include "stores/TrainingAreaRules.h"

#include "base/Settings.h"
#include "base/TextUtils.h"
#include "base/TranslatedFormat.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

namespace corvanthelix {

namespace {

constexpr int kHeaderStrings[TrainingAreaRules::kColumnCount] = {0, 116, 117, 118, 165};

std::string file(const std::string& settingsFile) {
    return settingsFile.empty() ? settings::settingsFile() : settingsFile;
}

// Spam first, then non-spam, then unmarked.
int markRank(TrainingMark mark) {
    switch (mark) {
    case TrainingMark::Spam: return 0;
    case TrainingMark::NonSpam: return 1;
    case TrainingMark::None: break;
    }
    return 2;
}

bool textLess(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

} // namespace

int TrainingAreaRules::columnHeaderString(int column) {
    return column >= 0 && column < kColumnCount ? kHeaderStrings[column] : 0;
}

TrainingRow TrainingAreaRules::rowFor(const TrainingEntry& entry) {
    TrainingRow row;
    row.fileName = entry.fileName;
    row.senderName = entry.senderName;
    row.subject = entry.subject;
    row.senderAddress = entry.senderAddress;
    row.recycleFileName = entry.recycleFileName;
    row.size = entry.size;
    row.verdict = entry.verdict;
    row.day = entry.dayNumber;
    row.minutes = entry.hour * 60 + entry.minute;
    return row;
}

std::vector<TrainingRow> TrainingAreaRules::rowsFor(const std::vector<TrainingEntry>& entries) {
    std::vector<TrainingRow> rows;
    rows.reserve(entries.size());
    for (const TrainingEntry& entry : entries) rows.push_back(rowFor(entry));
    return rows;
}

std::string TrainingAreaRules::columnText(const TrainingRow& row, int column) {
    char text[64];
    switch (column) {
    case kColumnSender: return row.senderName;
    case kColumnSubject: return row.subject;
    case kColumnDate: {
        int year = 0, month = 0, day = 0;
        dateFromDayNumber(row.day, year, month, day);
        std::snprintf(text, sizeof text, "%02i.%02i.%04i, %02i:%02i", day, month, year, row.minutes / 60,
                      row.minutes % 60);
        return text;
    }
    case kColumnSize:
        std::snprintf(text, sizeof text, "%.02f KB", row.size / 1024.0);
        return text;
    default: return {};
    }
}

void TrainingAreaRules::toggleMark(std::vector<TrainingRow>& rows, const std::vector<int>& selected,
                                   TrainingMark mark) {
    std::vector<TrainingRow*> chosen;
    for (int index : selected)
        if (index >= 0 && index < static_cast<int>(rows.size())) chosen.push_back(&rows[index]);
    if (chosen.empty()) return;
    const bool allCarryIt = std::all_of(chosen.begin(), chosen.end(), [mark](const TrainingRow* row) { return row->mark == mark; });
    for (TrainingRow* row : chosen) row->mark = allCarryIt ? TrainingMark::None : mark;
}

void TrainingAreaRules::premark(std::vector<TrainingRow>& rows, const std::vector<TrainingEntry>& entries,
                                TrainingMark mark) {
    const int verdict = static_cast<int>(mark);
    for (TrainingRow& row : rows) {
        auto entry = std::find_if(entries.begin(), entries.end(),
                                  [&row](const TrainingEntry& e) { return e.fileName == row.fileName; });
        if (entry != entries.end() && entry->verdict == verdict) row.mark = mark;
    }
}

std::vector<TrainingMark> TrainingAreaRules::premarksBySettings(const std::string& settingsFile) {
    std::vector<TrainingMark> marks;
    if (settings::trainingAreaPremarkSpam(file(settingsFile)) == 1) marks.push_back(TrainingMark::Spam);
    if (settings::trainingAreaPremarkNonSpam(file(settingsFile)) == 1) marks.push_back(TrainingMark::NonSpam);
    return marks;
}

bool TrainingAreaRules::premarkOnOpening(const std::string& settingsFile) {
    return settings::trainingAreaPremarkAuto(file(settingsFile)) == 1;
}

bool TrainingAreaRules::lessThan(const TrainingRow& a, const TrainingRow& b, int column) {
    switch (column) {
    case kColumnMark: return markRank(a.mark) < markRank(b.mark);
    case kColumnSender: return textLess(a.senderName, b.senderName);
    case kColumnSubject: return textLess(a.subject, b.subject);
    case kColumnDate: return a.day != b.day ? a.day > b.day : a.minutes > b.minutes;
    case kColumnSize: return a.size > b.size;
    default: return false;
    }
}

TrainingToolbarState TrainingAreaRules::toolbarState(int selected, const std::vector<TrainingRow>& rows) {
    TrainingToolbarState state;
    state.view = selected > 0 && !rows.empty();
    state.premark = !rows.empty();
    state.learn = std::any_of(rows.begin(), rows.end(), [](const TrainingRow& row) { return row.mark != TrainingMark::None; });
    return state;
}

int TrainingAreaRules::learnableCount(const std::vector<TrainingRow>& rows) {
    return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const TrainingRow& row) {
        return row.mark != TrainingMark::None && !row.fileName.empty();
    }));
}

std::string TrainingAreaRules::statusTotals(int rows, long long totalBytes) {
    return TranslatedFormat::byId(kStringStatusTotals, rows, totalBytes / 1024.0);
}

} // namespace corvanthelix
