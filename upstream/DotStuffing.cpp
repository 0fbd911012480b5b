#include "upstream/DotStuffing.h"

#include <cstring>

namespace corvanthelix {

namespace {

// Offset of the first "." at or after `from` that begins a line; npos when there is none.
std::size_t nextLineDot(std::string_view text, std::size_t from) {
    if (from == 0 && !text.empty() && text[0] == '.') return 0;
    // A match of "\r\n." at m puts the dot at m + 2, which is at or after `from` from m = from - 2 on.
    std::size_t found = text.find("\r\n.", from >= 2 ? from - 2 : 0);
    return found == std::string_view::npos ? found : found + 2;
}

} // namespace

void undoDotStuffing(std::string& text) {
    std::size_t write = 0;
    std::size_t read = 0;
    for (std::size_t dot = nextLineDot(text, 0); dot != std::string::npos; dot = nextLineDot(text, dot + 1)) {
        if (text.compare(dot, 3, ".\r\n") == 0) continue;
        // Texts without stuffed lines, the common case, are not moved at all.
        if (write != read) std::memmove(&text[write], &text[read], dot - read);
        write += dot - read;
        read = dot + 1;
    }
    if (read == write) return;
    std::memmove(&text[write], &text[read], text.size() - read);
    text.resize(write + (text.size() - read));
}

bool needsDotStuffing(std::string_view text) { return nextLineDot(text, 0) != std::string_view::npos; }

std::string dotStuffed(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 64);
    std::size_t copied = 0;
    for (std::size_t dot = nextLineDot(text, 0); dot != std::string_view::npos; dot = nextLineDot(text, dot + 1)) {
        out.append(text.substr(copied, dot - copied));
        out += '.';
        copied = dot;
    }
    out.append(text.substr(copied));
    return out;
}

std::string_view multiLineEnd(std::string_view text) {
    const bool ended = text.empty() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
    return ended ? std::string_view(".\r\n") : std::string_view("\r\n.\r\n");
}

} // namespace corvanthelix
