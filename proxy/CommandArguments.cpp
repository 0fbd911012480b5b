#include "proxy/CommandArguments.h"

#include <climits>

namespace corvanthelix {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

std::string CommandArguments::of(std::string_view line) {
    if (line.size() <= 5) return {};
    std::string_view argument = line.substr(5);
    while (!argument.empty() && (argument.front() == '\r' || argument.front() == '\n')) argument.remove_prefix(1);
    while (!argument.empty() && (argument.back() == '\r' || argument.back() == '\n')) argument.remove_suffix(1);
    return std::string(argument);
}

int CommandArguments::number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

std::optional<int> CommandArguments::messageNumber(std::string_view argument) {
    if (argument.empty()) return std::nullopt;
    const int value = number(argument);
    if (value == -1) return std::nullopt;
    return value;
}

void CommandArguments::topNumbers(std::string_view line, int& number, int& lines) {
    std::string_view rest = line.size() > 3 ? line.substr(3) : std::string_view();
    number = -1;
    lines = 0;
    std::size_t i = 0;
    auto readNumber = [&](int& out) {
        while (i < rest.size() && isBlank(rest[i])) ++i;
        const std::size_t start = i;
        if (i < rest.size() && (rest[i] == '-' || rest[i] == '+')) ++i;
        const std::size_t digits = i;
        while (i < rest.size() && isDigit(rest[i])) ++i;
        if (i == digits) return false;
        out = CommandArguments::number(rest.substr(start, i - start));
        return true;
    };
    if (readNumber(number)) readNumber(lines);
    if (lines < 0) lines = 0;
}

} // namespace corvanthelix
