#include "base/StringTable.h"

#include <atomic>
#include <unordered_map>

namespace corvanthelix {

namespace {

struct Entry {
    int id;
    const char* text;
};

// The program's string table, by number.
const Entry kStrings[] = {
#include "resources/strings.inc"
};

const std::unordered_map<int, const char*>& table() {
    static const std::unordered_map<int, const char*> byId = [] {
        std::unordered_map<int, const char*> m;
        for (const Entry& e : kStrings) m.emplace(e.id, e.text);
        return m;
    }();
    return byId;
}

std::atomic<StringTranslator> translator{nullptr};

} // namespace

const char* englishString(int id) {
    auto it = table().find(id);
    return it == table().end() ? nullptr : it->second;
}

std::string loadString(int id) {
    const char* english = englishString(id);
    if (!english) return std::string();
    StringTranslator t = translator.load();
    return t ? t(id, english) : std::string(english);
}

void setStringTranslator(StringTranslator t) { translator.store(t); }

} // namespace corvanthelix
