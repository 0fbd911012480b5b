#include "base/TranslatedFormat.h"

#include "base/StringTable.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace corvanthelix {

namespace {

enum class Length { none, hh, h, l, ll };

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of digits at `i`; false when it is larger than the allowed width.
bool readBoundedNumber(std::string_view pattern, std::size_t& i) {
    int value = 0;
    while (i < pattern.size() && isDigit(pattern[i])) {
        value = value * 10 + (pattern[i] - '0');
        if (value > TranslatedFormat::kMaxWidth) return false;
        ++i;
    }
    return true;
}

Length readLength(std::string_view pattern, std::size_t& i) {
    auto at = [&](std::size_t k) { return k < pattern.size() ? pattern[k] : '\0'; };
    if (at(i) == 'h') {
        if (at(i + 1) == 'h') { i += 2; return Length::hh; }
        ++i;
        return Length::h;
    }
    if (at(i) == 'l') {
        if (at(i + 1) == 'l') { i += 2; return Length::ll; }
        ++i;
        return Length::l;
    }
    return Length::none;
}

std::optional<FormatArgument> kindOf(char conversion, Length length) {
    if (conversion == '\0') return std::nullopt;
    if (std::strchr("diuxXo", conversion)) {
        switch (length) {
        case Length::none:
        case Length::hh:
        case Length::h: return FormatArgument::integer;
        case Length::l: return FormatArgument::longInteger;
        case Length::ll: return FormatArgument::longLongInteger;
        }
    }
    if (conversion == 'c' && length == Length::none) return FormatArgument::integer;
    if (std::strchr("fFeEgGaA", conversion) && (length == Length::none || length == Length::l))
        return FormatArgument::floating;
    if (conversion == 's' && length == Length::none) return FormatArgument::text;
    return std::nullopt; // %n, %p, %ls, %Lf, %zu, '*', '$' and anything unknown
}

} // namespace

std::optional<std::vector<FormatArgument>> TranslatedFormat::conversions(std::string_view pattern) {
    std::vector<FormatArgument> kinds;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        ++i;
        if (i < pattern.size() && pattern[i] == '%') continue;
        while (i < pattern.size() && pattern[i] != '\0' && std::strchr("-+ #0", pattern[i])) ++i;
        if (!readBoundedNumber(pattern, i)) return std::nullopt;
        if (i < pattern.size() && pattern[i] == '.') {
            ++i;
            if (!readBoundedNumber(pattern, i)) return std::nullopt;
        }
        Length length = readLength(pattern, i);
        if (i >= pattern.size()) return std::nullopt; // a lone '%' at the end
        std::optional<FormatArgument> kind = kindOf(pattern[i], length);
        if (!kind) return std::nullopt;
        kinds.push_back(*kind);
    }
    return kinds;
}

const std::string* TranslatedFormat::choosePattern(const std::string& english, const std::string& translated,
                                                   const std::vector<FormatArgument>& arguments) {
    // A string with an embedded NUL would be cut by printf and checked differently from how it
    // is printed.
    auto fits = [&](const std::string& pattern) {
        if (pattern.find('\0') != std::string::npos) return false;
        std::optional<std::vector<FormatArgument>> kinds = conversions(pattern);
        return kinds && *kinds == arguments;
    };
    if (!fits(english)) return nullptr;
    if (&translated != &english && fits(translated)) return &translated;
    return &english;
}

std::string TranslatedFormat::englishText(int id) {
    const char* english = englishString(id);
    return english ? std::string(english) : std::string();
}

std::string TranslatedFormat::translatedText(int id) { return loadString(id); }

std::string TranslatedFormat::print(const char* pattern, ...) {
    std::va_list arguments;
    va_start(arguments, pattern);
    std::va_list again;
    va_copy(again, arguments);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int length = std::vsnprintf(nullptr, 0, pattern, arguments);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(out.data(), out.size(), pattern, again);
        out.resize(static_cast<std::size_t>(length));
    }
#pragma GCC diagnostic pop
    va_end(again);
    va_end(arguments);
    return out;
}

} // namespace corvanthelix
