#include "common/PluginText.h"

namespace corvanthelix::plugin {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

size_t FindNoCase(std::string_view text, std::string_view word, size_t from) {
    if (from > text.size() || word.size() > text.size() - from) return std::string_view::npos;
    for (size_t at = from; at + word.size() <= text.size(); ++at)
        if (EqualsNoCase(text.substr(at, word.size()), word)) return at;
    return std::string_view::npos;
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

} // namespace corvanthelix::plugin
