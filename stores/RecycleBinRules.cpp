#include "stores/RecycleBinRules.h"

#include "base/TranslatedFormat.h"
#include "base/StringTable.h"
#include "base/TextUtils.h"

#include <cctype>
#include <cstdio>
#include <strings.h>

namespace corvanthelix {

namespace {

constexpr int kHeaderStrings[RecycleBinRules::kColumnCount] = {116, 117, 118, 218, 180, 182, 165};
// "] : " stands between the filter's name and the words.
constexpr size_t kWordsOffset = 4;

// "hh:mm" as minutes since midnight; anything else counts as midnight.
int minutesOf(const std::string& time) {
    if (time.size() != 5 || time[2] != ':') return 0;
    for (size_t i : {0u, 1u, 3u, 4u})
        if (!std::isdigit(static_cast<unsigned char>(time[i]))) return 0;
    return ((time[0] - '0') * 10 + (time[1] - '0')) * 60 + (time[3] - '0') * 10 + (time[4] - '0');
}

// "12.34 %" and "1.50 KB": two decimals and a unit.
std::string withTwoDecimals(double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %s", value, unit);
    return text;
}

std::string probabilityText(double probability) {
    return probability > 0 ? withTwoDecimals(probability * 100, "%") : std::string();
}

std::string sizeText(long long size) { return size != 0 ? withTwoDecimals(size / 1024.0, "KB") : std::string(); }

std::string dateText(const RecycleRow& row) {
    int year = 0, month = 0, day = 0;
    dateFromDayNumber(row.day, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%02i.%02i.%04i, %02i:%02i", day, month, year, row.minutes / 60, row.minutes % 60);
    return text;
}

// Ascending, case-insensitive; an empty text first.
bool textLess(const std::string& a, const std::string& b) {
    if (a.empty() != b.empty()) return a.empty();
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

} // namespace

int RecycleBinRules::columnHeaderString(int column) {
    return column >= 0 && column < kColumnCount ? kHeaderStrings[column] : 0;
}

std::optional<RecycleRow> RecycleBinRules::rowFor(const RecycleEntry& entry) {
    if (entry.deleted) return std::nullopt;
    RecycleRow row;
    row.name = entry.name;
    row.senderName = entry.senderName;
    row.subject = entry.subject;
    row.reason = entry.reason;
    row.account = entry.hideAccount ? std::string() : entry.account;
    row.probability = entry.probability;
    row.restored = entry.restored;
    row.seen = entry.seen;
    row.day = entry.date;
    row.minutes = minutesOf(entry.time);
    row.size = entry.complete ? entry.size : 0;
    return row;
}

std::vector<RecycleRow> RecycleBinRules::rowsFor(const std::vector<RecycleEntry>& entries) {
    std::vector<RecycleRow> rows;
    rows.reserve(entries.size());
    for (const RecycleEntry& entry : entries)
        if (std::optional<RecycleRow> row = rowFor(entry)) rows.push_back(std::move(*row));
    return rows;
}

std::string RecycleBinRules::columnText(const RecycleRow& row, int column) {
    switch (column) {
    case kColumnSender: return row.senderName;
    case kColumnSubject: return row.subject;
    case kColumnDate: return dateText(row);
    case kColumnFilter: return filterName(row.reason);
    case kColumnProbability: return probabilityText(row.probability);
    case kColumnAccount: return row.account;
    case kColumnSize: return sizeText(row.size);
    default: return {};
    }
}

std::string RecycleBinRules::filterName(const std::string& reason) {
    if (reason.empty()) return loadString(kStringBlockedSender);
    const size_t open = reason.find('[');
    const size_t close = open == std::string::npos ? std::string::npos : reason.find(']', open + 1);
    if (close == std::string::npos) return reason;
    return reason.substr(open + 1, close - open - 1);
}

std::string RecycleBinRules::spamWords(const std::string& reason) {
    if (reason.empty()) return {};
    const size_t open = reason.find('[');
    const size_t close = open == std::string::npos ? std::string::npos : reason.find(']', open + 1);
    if (close == std::string::npos) return reason;
    // A reason cut short after the bracket has no words (and must not be read past its end).
    if (close + kWordsOffset > reason.size()) return {};
    return reason.substr(close + kWordsOffset);
}

bool RecycleBinRules::lessThan(const RecycleRow& a, const RecycleRow& b, int column) {
    switch (column) {
    case kColumnSender: return textLess(a.senderName, b.senderName);
    case kColumnSubject: return textLess(a.subject, b.subject);
    case kColumnFilter: return textLess(a.reason, b.reason);
    case kColumnAccount: return textLess(a.account, b.account);
    case kColumnDate: return a.day != b.day ? a.day > b.day : a.minutes > b.minutes;
    case kColumnProbability: return a.probability > b.probability;
    case kColumnSize: return a.size > b.size;
    default: return false;
    }
}

RecycleToolbarState RecycleBinRules::toolbarState(int selected, int rows) {
    RecycleToolbarState state;
    const bool anySelected = selected > 0 && rows > 0;
    state.view = state.restore = state.remove = anySelected;
    state.emptyBin = rows > 0;
    return state;
}

std::string RecycleBinRules::statusTotals(int rows, long long totalBytes) {
    return TranslatedFormat::byId(kStringStatusTotals, rows, totalBytes / 1024.0);
}

RecyclePaneTexts RecycleBinRules::paneTexts(const std::vector<const RecycleRow*>& selected) {
    RecyclePaneTexts texts;
    if (selected.size() != 1 || !selected.front()) return texts;
    const RecycleRow& row = *selected.front();
    texts.sender = row.senderName;
    texts.subject = row.subject;
    texts.filterName = filterName(row.reason);
    texts.spamWords = spamWords(row.reason);
    // The pane shows the figures even where the list leaves the column empty.
    texts.probability = withTwoDecimals(row.probability * 100, "%");
    texts.size = withTwoDecimals(row.size / 1024.0, "KB");
    texts.account = row.account;
    return texts;
}

} // namespace corvanthelix
