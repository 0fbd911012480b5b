#include "base/TextUtils.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace corvanthelix {

namespace {

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Quick search (Sunday): after a mismatch the byte just behind the window decides the shift.
template <bool CaseSensitive>
long quickSearchWith(const unsigned char* text, size_t textLength, const unsigned char* pattern,
                     size_t patternLength) {
    auto key = [](unsigned char c) { return CaseSensitive ? c : foldAscii(c); };

    // Local on purpose: searches run on many threads at once and must not share a table.
    size_t shift[256];
    std::fill(std::begin(shift), std::end(shift), patternLength + 1);
    for (size_t k = 0; k < patternLength; ++k) shift[key(pattern[k])] = patternLength - k;

    const size_t lastStart = textLength - patternLength;
    size_t i = 0;
    for (;;) {
        size_t k = 0;
        while (k < patternLength && key(text[i + k]) == key(pattern[k])) ++k;
        if (k == patternLength) return static_cast<long>(i);
        if (i == lastStart) return -1; // no byte follows the window
        i += shift[key(text[i + patternLength])];
        if (i > lastStart) return -1;
    }
}

long quickSearch(const unsigned char* text, size_t textLength, const unsigned char* pattern,
                 size_t patternLength, bool caseSensitive) {
    if (patternLength == 0 || patternLength > textLength) return -1;
    return caseSensitive ? quickSearchWith<true>(text, textLength, pattern, patternLength)
                         : quickSearchWith<false>(text, textLength, pattern, patternLength);
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kBase64Pad = 64;
constexpr int kBase64End = -1;

constexpr std::array<signed char, 256> makeBase64Values() {
    std::array<signed char, 256> v{};
    for (auto& x : v) x = -1;
    for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<signed char>(i);
    return v;
}
constexpr std::array<signed char, 256> kBase64Values = makeBase64Values();

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

size_t encodeBase64(const unsigned char* in, size_t length, char* out, size_t outSize) {
    if (!out || outSize == 0) return 0;
    size_t written = 0;
    size_t i = 0;
    // A group is written only when its four characters and the closing NUL still fit.
    while (i < length && written + 4 < outSize) {
        const size_t left = length - i;
        const uint32_t b0 = in[i];
        const uint32_t b1 = left > 1 ? in[i + 1] : 0;
        const uint32_t b2 = left > 2 ? in[i + 2] : 0;
        const uint32_t bits = b0 << 16 | b1 << 8 | b2;
        out[written++] = kBase64Alphabet[(bits >> 18) & 63];
        out[written++] = kBase64Alphabet[(bits >> 12) & 63];
        out[written++] = left > 1 ? kBase64Alphabet[(bits >> 6) & 63] : '=';
        out[written++] = left > 2 ? kBase64Alphabet[bits & 63] : '=';
        i += std::min<size_t>(left, 3);
    }
    out[written] = '\0';
    return written;
}

bool isQCopied(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c == '!' || c == '*' || c == '+' || c == '-' || c == '/';
}

size_t encodeQ(const unsigned char* in, size_t length, char* out, size_t outSize) {
    if (!out || outSize == 0) return 0;
    const size_t limit = outSize - 1;
    size_t written = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = in[i];
        if (c == ' ' || isQCopied(c)) {
            if (written + 1 > limit) break;
            out[written++] = c == ' ' ? '_' : static_cast<char>(c);
        } else {
            if (written + 3 > limit) break;
            out[written++] = '=';
            out[written++] = kHexDigits[c >> 4];
            out[written++] = kHexDigits[c & 15];
        }
    }
    out[written] = '\0';
    return written;
}

// The longest character-set name an encoded word may carry before its "?".
constexpr size_t kCharsetScanLimit = 79;

template <class IsTrimmed>
void trimInPlace(char* text, IsTrimmed isTrimmed) {
    if (!text) return;
    const size_t length = std::strlen(text);
    size_t begin = 0;
    while (begin < length && isTrimmed(static_cast<unsigned char>(text[begin]))) ++begin;
    size_t end = length;
    while (end > begin && isTrimmed(static_cast<unsigned char>(text[end - 1]))) --end;
    std::memmove(text, text + begin, end - begin);
    text[end - begin] = '\0';
}

bool isBlank(unsigned char c) { return c == ' ' || c == '\t'; }

const unsigned char* bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

// Runs a buffer codec on a string of `capacity` bytes and cuts the string to what it wrote.
template <class Codec>
std::string intoString(size_t capacity, Codec codec) {
    std::string out(capacity, '\0');
    out.resize(codec(out.data(), out.size()));
    return out;
}

} // namespace

long findText(const char* text, const char* pattern, bool caseSensitive) {
    if (!text || !pattern) return -1;
    return quickSearch(reinterpret_cast<const unsigned char*>(text), std::strlen(text),
                       reinterpret_cast<const unsigned char*>(pattern), std::strlen(pattern), caseSensitive);
}

long findText(std::string_view text, std::string_view pattern, bool caseSensitive) {
    return quickSearch(bytes(text), text.size(), bytes(pattern), pattern.size(), caseSensitive);
}

size_t base64Decode(const char* text, size_t length, char* out, size_t outSize) {
    if (!out || outSize == 0) return 0;
    if (!text) length = 0;
    const size_t limit = outSize - 1;
    size_t written = 0;
    size_t pos = 0;
    // Next alphabet value, kBase64Pad for "=", kBase64End when the input is used up.
    auto next = [&]() -> int {
        while (pos < length) {
            const unsigned char c = static_cast<unsigned char>(text[pos++]);
            if (c == '=') return kBase64Pad;
            if (kBase64Values[c] >= 0) return kBase64Values[c];
        }
        return kBase64End;
    };
    auto put = [&](int byte) {
        if (written < limit) out[written++] = static_cast<char>(byte);
    };
    while (written < limit) {
        int g[4];
        g[0] = next();
        if (g[0] == kBase64End) break;
        // An input that ends inside a group is padded with "=".
        for (int k = 1; k < 4; ++k) {
            g[k] = next();
            if (g[k] == kBase64End) g[k] = kBase64Pad;
        }
        if (g[0] == kBase64Pad || g[1] == kBase64Pad) break;
        put((g[0] << 2 | g[1] >> 4) & 0xFF);
        if (g[2] == kBase64Pad) break;
        put((g[1] << 4 | g[2] >> 2) & 0xFF);
        if (g[3] == kBase64Pad) break;
        put((g[2] << 6 | g[3]) & 0xFF);
    }
    out[written] = '\0';
    return written;
}

std::string base64Decode(std::string_view text) {
    return intoString(text.size() / 4 * 3 + 4,
                      [&](char* out, size_t size) { return base64Decode(text.data(), text.size(), out, size); });
}

size_t base64Encode(const char* text, size_t length, char* out, size_t outSize) {
    // The input is text: it ends at its first NUL.
    const size_t used = text ? strnlen(text, length) : 0;
    return encodeBase64(reinterpret_cast<const unsigned char*>(text), used, out, outSize);
}

std::string base64Encode(std::string_view text) {
    return intoString((text.size() + 2) / 3 * 4 + 1,
                      [&](char* out, size_t size) { return encodeBase64(bytes(text), text.size(), out, size); });
}

size_t QuotedPrintableDecode(const char* text, size_t length, char* out, size_t outSize) {
    if (!out || outSize == 0) return 0;
    if (!text) length = 0;
    const size_t limit = outSize - 1;
    size_t read = 0;
    size_t written = 0;
    // Every step writes no more bytes than it reads, which keeps in-place decoding safe.
    while (read < length && written < limit) {
        const char c = text[read];
        if (c == '_') {
            out[written++] = ' ';
            ++read;
            continue;
        }
        if (c != '=') {
            out[written++] = c;
            ++read;
            continue;
        }
        const size_t left = length - read - 1;
        if (left >= 2 && text[read + 1] == '\r' && text[read + 2] == '\n') {
            read += 3; // soft line break
            continue;
        }
        if (left >= 1 && text[read + 1] == '\n') {
            read += 2; // soft line break of a text whose line ends lost their CR
            continue;
        }
        const int high = left >= 2 ? hexValue(static_cast<unsigned char>(text[read + 1])) : -1;
        const int low = left >= 2 ? hexValue(static_cast<unsigned char>(text[read + 2])) : -1;
        if (high >= 0 && low >= 0) {
            const int byte = high << 4 | low;
            // "=00" would cut a NUL-terminated result short; a space keeps the text whole.
            out[written++] = byte == 0 ? ' ' : static_cast<char>(byte);
            read += 3;
            continue;
        }
        // Not an escape: "=" and up to two following characters are kept exactly as they are.
        const size_t copy = std::min<size_t>(left, 2) + 1;
        for (size_t k = 0; k < copy && written < limit; ++k) out[written++] = text[read + k];
        read += copy;
    }
    out[written] = '\0';
    return written;
}

std::string QuotedPrintableDecode(std::string_view text) {
    return intoString(text.size() + 1, [&](char* out, size_t size) {
        return QuotedPrintableDecode(text.data(), text.size(), out, size);
    });
}

size_t QEncode(const char* text, size_t length, char* out, size_t outSize) {
    const size_t used = text ? strnlen(text, length) : 0;
    return encodeQ(reinterpret_cast<const unsigned char*>(text), used, out, outSize);
}

std::string QEncode(std::string_view text) {
    return intoString(text.size() * 3 + 1,
                      [&](char* out, size_t size) { return encodeQ(bytes(text), text.size(), out, size); });
}

std::string decodeEncodedWords(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        if (text[i] != '=' || i + 1 >= n || text[i + 1] != '?') {
            result += text[i++];
            continue;
        }
        // "=?charset?X?encoded?=": the charset name is skipped; a malformed start ends decoding
        // and leaves the rest of the value as it is.
        size_t p = i + 2;
        const size_t scanEnd = std::min(n, p + kCharsetScanLimit);
        while (p < scanEnd && text[p] != '?') ++p;
        if (p >= scanEnd || p + 2 >= n || text[p + 2] != '?') break;
        const char letter = text[p + 1];
        const bool base64 = letter == 'B' || letter == 'b';
        const bool quoted = letter == 'Q' || letter == 'q';
        if (!base64 && !quoted) break;

        const size_t start = p + 3;
        const size_t close = text.find("?=", start);
        const size_t end = close == std::string_view::npos ? n : close;
        const std::string_view encoded = text.substr(start, end - start);
        std::string decoded = base64 ? base64Decode(encoded) : QuotedPrintableDecode(encoded);
        std::replace(decoded.begin(), decoded.end(), '\0', ' ');
        result += decoded;
        i = close == std::string_view::npos ? n : close + 2;
    }
    result.append(text.substr(std::min(i, n)));
    return result;
}

void decodeEncodedWords(char* text) {
    if (!text) return;
    const std::string decoded = decodeEncodedWords(std::string_view(text));
    // Decoded bytes never outnumber their encoded form, so the result fits where the text was.
    std::memcpy(text, decoded.c_str(), decoded.size() + 1);
}

void trim(char* text, char character) {
    const auto c = static_cast<unsigned char>(character);
    trimInPlace(text, [c](unsigned char x) { return x == c; });
}

void trimBlanks(char* text) { trimInPlace(text, isBlank); }

void trimSet(char* text, const char* set) {
    if (!set) return;
    trimInPlace(text, [set](unsigned char x) { return std::strchr(set, x) != nullptr; });
}

std::string trimBlanks(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && isBlank(static_cast<unsigned char>(text[begin]))) ++begin;
    size_t end = text.size();
    while (end > begin && isBlank(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

int dayNumber(int year, int month, int day) {
    long long m = month;
    long long y = year;
    if (month < 3) {
        m += 12;
        y -= 1;
    }
    return static_cast<int>((153 * m - 457) / 5 + day + 365 * y + y / 4 - y / 100 + y / 400 + 1721119);
}

void dateFromDayNumber(int dayNumber, int& year, int& month, int& day) {
    long long n = static_cast<long long>(dayNumber) + 68569;
    const long long c = 4 * n / 146097;
    n -= (146097 * c + 3) / 4;
    const long long yy = 4000 * (n + 1) / 1461001;
    n -= 1461 * yy / 4 - 31;
    const long long mm = 80 * n / 2447;
    day = static_cast<int>(n - 2447 * mm / 80);
    n = mm / 11;
    month = static_cast<int>(mm + 2 - 12 * n);
    year = static_cast<int>(100 * (c - 49) + yy + n);
}

int todayDayNumber() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

} // namespace corvanthelix
