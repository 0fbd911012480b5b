#include "filter/SenderLists.h"

#include "base/Settings.h"
#include "base/TextUtils.h"

#include <array>
#include <cstring>
#include <ctime>

namespace corvanthelix {

namespace {

constexpr std::string_view kTrimmed = " \t\"";

// Plain loops rather than find_first_of and friends, which look every character up in the set
// with a library call: the lookup walks thousands of lines per message.
bool inSet(char c, std::string_view set) {
    for (char s : set)
        if (c == s) return true;
    return false;
}

std::string_view trimmed(std::string_view text, std::string_view set) {
    while (!text.empty() && inSet(text.front(), set)) text.remove_prefix(1);
    while (!text.empty() && inSet(text.back(), set)) text.remove_suffix(1);
    return text;
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// The text after the last `open` up to the next `close` (or the end).
std::string_view lastEnclosed(std::string_view value, char open, char close) {
    size_t start = value.rfind(open);
    std::string_view rest = value.substr(start + 1);
    size_t end = rest.find(close);
    return end == std::string_view::npos ? rest : rest.substr(0, end);
}

constexpr std::array<bool, 256> allowedBytes() {
    std::array<bool, 256> allowed{};
    for (int c = 0x20; c <= 0x7E; ++c) allowed[c] = c != '`';
    for (int c : {0xA0, 0xA1, 0xA2, 0xA3, 0xA7, 0xB2, 0xB3, 0xB4, 0xB5, 0xB9, 0xBF, 0xDF, 0xFF})
        allowed[c] = true;
    auto range = [&](int from, int to) {
        for (int c = from; c <= to; ++c) allowed[c] = true;
    };
    range(0xC0, 0xD6); // Latin-1 capitals up to O with diaeresis (0xD7, the sign of multiplication, is not)
    range(0xD8, 0xDD);
    range(0xE0, 0xE2); // 0xE3 is not in the set
    range(0xE4, 0xEF);
    range(0xF0, 0xF6); // 0xF7, the sign of division, is not
    range(0xF8, 0xFD);
    return allowed;
}

constexpr std::array<bool, 256> kAllowed = allowedBytes();

MessageDate localNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

// Splits one section line "key=value" (the reader keeps only lines with "=").
bool splitLine(std::string_view line, std::string_view& key, std::string_view& value) {
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    key = trimmed(line.substr(0, equals), " \t");
    value = trimmed(line.substr(equals + 1), " \t");
    return true;
}

// Calls visit(line) for every NUL-terminated line of a section text until it returns false.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    size_t at = 0;
    while (at < text.size() && text[at] != '\0') {
        const char* start = text.data() + at;
        const void* nul = std::memchr(start, '\0', text.size() - at);
        size_t length = nul ? size_t(static_cast<const char*>(nul) - start) : text.size() - at;
        if (!visit(std::string_view(start, length))) return;
        at += length + 1;
    }
}

bool hasWildcard(std::string_view key) {
    for (char c : key)
        if (c == '*' || c == '?') return true;
    return false;
}

} // namespace

SenderLists::SenderLists(std::string settingsFile) : settingsFile_(std::move(settingsFile)) {}

const std::string& SenderLists::file() const {
    return settingsFile_.empty() ? settings::settingsFile() : settingsFile_;
}

bool SenderLists::senderOf(const MailMessage& message, SenderEntry& sender) {
    const char* from = message.headerByKind(CVX_HEADER_FROM);
    if (!from) return false;
    std::string_view value(from);

    std::string_view name, address;
    if (value.find('<') != std::string_view::npos) {
        // The display name may itself hold "<", ">" or parentheses, and text may follow the
        // address: the address is what the last angle brackets enclose, the name what precedes them.
        name = value.substr(0, value.rfind('<'));
        address = lastEnclosed(value, '<', '>');
    } else if (value.find('(') != std::string_view::npos) {
        address = value.substr(0, value.find('('));
        name = lastEnclosed(value, '(', ')');
    }
    name = trimmed(name, kTrimmed);
    address = trimmed(address, kTrimmed);
    if (name.empty()) name = address.empty() ? trimmed(value, kTrimmed) : address;
    if (address.empty()) address = name;
    if (address.empty()) return false;

    sender.name = decodeEncodedWords(name);
    sender.address = std::string(address);
    sender.list = SenderEntry::kNotFound;
    sender.date = message.date().value_or(localNow());
    return true;
}

std::string SenderLists::readSection() const { return settings::senderSection(file()); }

bool SenderLists::find(const MailMessage& message, SenderEntry& result) const {
    return findIn(readSection(), message, result);
}

bool SenderLists::findByAddress(std::string_view address, SenderEntry& result) const {
    return findByAddressIn(readSection(), address, result);
}

bool SenderLists::findIn(std::string_view sectionText, const MailMessage& message, SenderEntry& result) {
    SenderEntry sender;
    if (!senderOf(message, sender)) {
        result = SenderEntry{};
        return false;
    }
    SenderEntry found;
    if (!findByAddressIn(sectionText, sender.address, found)) {
        result = std::move(sender);
        return false;
    }
    found.date = sender.date;
    result = std::move(found);
    return true;
}

bool SenderLists::findByAddressIn(std::string_view sectionText, std::string_view address, SenderEntry& result) {
    std::string_view bestKey, bestValue;
    int bestList = SenderEntry::kNotFound;
    bool bestExact = false;

    forEachLine(sectionText, [&](std::string_view line) {
        std::string_view key, value;
        if (!splitLine(line, key, value) || key.empty()) return true;
        // Most keys are plain addresses: they match only as the same address, and the length
        // tells most of them apart without looking at a character.
        bool exact = equalNoCase(key, address);
        if (!exact && !(hasWildcard(key) && wildcardMatch(key, address))) return true;

        std::string name;
        int list = 0;
        parseValue(value, name, list);
        // A line with another list number (not written by the program) cannot decide anything.
        if (list != SenderEntry::kBlocked && list != SenderEntry::kFriend) return true;

        bool take;
        if (exact)
            take = true; // a later copy of the same key replaces an earlier one
        else if (bestExact)
            take = false; // the entry made for this very address wins over every pattern
        else
            take = bestList == SenderEntry::kNotFound ||
                   (bestList == SenderEntry::kBlocked && list == SenderEntry::kFriend);
        if (take) {
            bestKey = key;
            bestValue = value;
            bestList = list;
            bestExact = exact;
        }
        return true;
    });

    if (bestList == SenderEntry::kNotFound) return false;
    result = SenderEntry{};
    parseValue(bestValue, result.name, result.list);
    result.address = std::string(bestKey);
    return true;
}

bool SenderLists::add(const SenderEntry& entry) const {
    if (entry.address.empty() || entry.name.empty()) return false;
    if (!allowedText(entry.address) || !allowedText(entry.name)) return false;
    if (refusedKey(entry.address)) return false;
    if (entry.list != SenderEntry::kBlocked && entry.list != SenderEntry::kFriend) return false;
    return settings::setSenderEntry(entry.address, entry.name + "," + std::to_string(entry.list), file());
}

bool SenderLists::remove(std::string_view key) const { return settings::removeSender(key, file()); }

void SenderLists::forEach(const std::function<int(const SenderEntry&)>& callback) const {
    std::string text = readSection();
    forEachLine(text, [&](std::string_view line) {
        std::string_view key, value;
        if (!splitLine(line, key, value)) return true;
        SenderEntry entry;
        entry.address = std::string(key);
        parseValue(value, entry.name, entry.list);
        return callback(entry) != 0;
    });
}

bool SenderLists::wildcardMatch(std::string_view pattern, std::string_view address) {
    size_t p = 0, a = 0;
    // Where the last "*" was seen, and the address position it has been tried against so far.
    size_t starPattern = std::string_view::npos, starAddress = 0;
    while (a < address.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starAddress = a;
        } else if (p < pattern.size() && (pattern[p] == '?' || upper(pattern[p]) == upper(address[a]))) {
            ++p;
            ++a;
        } else if (starPattern != std::string_view::npos) {
            // Let the last "*" swallow one more character and try the rest again.
            p = starPattern + 1;
            a = ++starAddress;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool SenderLists::allowedText(std::string_view text) {
    for (char c : text)
        if (!kAllowed[static_cast<unsigned char>(c)]) return false;
    return true;
}

bool SenderLists::refusedKey(std::string_view key) { return key == "*.*" || key == "*" || key == "*@*"; }

void SenderLists::parseValue(std::string_view value, std::string& name, int& list) {
    // The list number follows the last comma, so a display name may hold commas ("Doe, John").
    size_t comma = value.rfind(',');
    name = std::string(value.substr(0, comma));
    list = 0;
    if (comma == std::string_view::npos) return;
    std::string_view number = trimmed(value.substr(comma + 1), " \t");
    bool negative = !number.empty() && number[0] == '-';
    if (!number.empty() && (number[0] == '-' || number[0] == '+')) number.remove_prefix(1);
    long parsed = 0;
    for (char c : number) {
        if (c < '0' || c > '9' || parsed > 1000000) break;
        parsed = parsed * 10 + (c - '0');
    }
    list = int(negative ? -parsed : parsed);
}

} // namespace corvanthelix
