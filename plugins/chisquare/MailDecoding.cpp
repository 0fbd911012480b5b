#include "chisquare/MailDecoding.h"

#include <array>
#include <cstdint>

namespace corvanthelix::chisquare {

namespace {

constexpr std::array<int8_t, 256> makeBase64Table() {
    std::array<int8_t, 256> table{};
    for (auto& value : table) value = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return table;
}
constexpr std::array<int8_t, 256> kBase64 = makeBase64Table();

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

std::string decodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        int8_t value = kBase64[static_cast<unsigned char>(c)];
        if (value < 0) continue;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        if (++count == 4) {
            out.push_back(static_cast<char>(bits >> 16));
            out.push_back(static_cast<char>(bits >> 8));
            out.push_back(static_cast<char>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) out.push_back(static_cast<char>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<char>(bits >> 10));
        out.push_back(static_cast<char>(bits >> 2));
    }
    return out;
}

std::string decodeQuotedPrintable(std::string_view text, bool underscoreIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_' && underscoreIsSpace) {
            out.push_back(' ');
        } else if (c != '=') {
            out.push_back(c);
        } else if (i + 1 < text.size() && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
            // A soft line break: the line goes on after the line end.
            i += (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n') ? 2 : 1;
        } else if (i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string decodeEncodedWords(std::string_view value) {
    if (value.find("=?") == std::string_view::npos) return std::string(value);
    std::string out;
    size_t at = 0;
    size_t pendingBlank = std::string_view::npos; // start of blanks after an encoded word
    while (at < value.size()) {
        size_t start = value.find("=?", at);
        if (start == std::string_view::npos) break;
        // =?charset?X?text?=
        size_t q1 = value.find('?', start + 2);
        size_t q2 = q1 == std::string_view::npos ? q1 : value.find('?', q1 + 1);
        size_t end = q2 == std::string_view::npos ? q2 : value.find("?=", q2 + 1);
        if (end == std::string_view::npos || q2 != q1 + 2) {
            out.append(value.substr(at, start + 2 - at));
            at = start + 2;
            pendingBlank = std::string_view::npos;
            continue;
        }
        std::string_view between = value.substr(at, start - at);
        bool onlyBlanks = true;
        for (char c : between) onlyBlanks = onlyBlanks && isBlank(c);
        if (!(onlyBlanks && pendingBlank != std::string_view::npos)) out.append(between);
        char kind = value[q1 + 1];
        std::string_view payload = value.substr(q2 + 1, end - q2 - 1);
        if (kind == 'B' || kind == 'b') out += decodeBase64(payload);
        else if (kind == 'Q' || kind == 'q') out += decodeQuotedPrintable(payload, true);
        else out.append(value.substr(start, end + 2 - start));
        at = end + 2;
        pendingBlank = at;
    }
    if (at < value.size()) out.append(value.substr(at));
    return out;
}

} // namespace corvanthelix::chisquare
