// Fuzz target: the text codecs that decode header values and bodies of mail from any sender
// (base64, quoted-printable, Q-encoding, encoded words), and the text search and trimming they sit
// beside. Checks the round trips that hold (base64 encode then decode gives the bytes back;
// Q-encode then decode gives them back with NUL bytes as spaces), that the buffer forms never
// write past the room they are given and agree with the string forms, that decoding in place
// works, and that the search agrees with a plain one.
#include "base/TextUtils.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <vector>

using namespace corvanthelix;

namespace {

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

long plainSearch(std::string_view text, std::string_view pattern, bool caseSensitive) {
    if (pattern.empty() || pattern.size() > text.size()) return -1;
    for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < pattern.size() && (caseSensitive ? text[i + k] == pattern[k]
                                                    : folded(text[i + k]) == folded(pattern[k])))
            ++k;
        if (k == pattern.size()) return static_cast<long>(i);
    }
    return -1;
}

// A heap buffer of exactly `size` bytes, so that ASan sees a write one byte too far.
std::unique_ptr<char[]> exactBuffer(size_t size) { return std::make_unique<char[]>(size == 0 ? 1 : size); }

void checkBase64(const std::string& bytes, size_t room) {
    const std::string encoded = base64Encode(bytes);
    FUZZ_CHECK(encoded.size() == (bytes.size() + 2) / 3 * 4);
    FUZZ_CHECK(base64Decode(encoded) == bytes);

    // The buffer forms: output cut to the room given, always NUL-terminated inside it.
    auto out = exactBuffer(room);
    const size_t decoded = base64Decode(bytes.data(), bytes.size(), out.get(), room);
    if (room > 0) {
        FUZZ_CHECK(decoded < room && out[decoded] == '\0');
        const std::string whole = base64Decode(bytes);
        FUZZ_CHECK(decoded <= whole.size() && std::memcmp(out.get(), whole.data(), decoded) == 0);
    }
    const size_t written = base64Encode(bytes.data(), bytes.size(), out.get(), room);
    if (room > 0) {
        FUZZ_CHECK(written < room && out[written] == '\0' && written % 4 == 0);
        const std::string upToNul = base64Encode(std::string_view(bytes.c_str()));
        FUZZ_CHECK(upToNul.compare(0, written, out.get(), written) == 0);
    }
}

void checkQuotedPrintable(const std::string& bytes, size_t room) {
    const std::string encoded = QEncode(bytes);
    FUZZ_CHECK(encoded.size() <= bytes.size() * 3);
    FUZZ_CHECK(QuotedPrintableDecode(encoded) == fuzz::spacedOutZeros(bytes));

    const std::string decoded = QuotedPrintableDecode(bytes);
    FUZZ_CHECK(decoded.size() <= bytes.size());
    auto out = exactBuffer(room);
    const size_t length = QuotedPrintableDecode(bytes.data(), bytes.size(), out.get(), room);
    if (room > 0) {
        FUZZ_CHECK(length < room && out[length] == '\0');
        FUZZ_CHECK(decoded.compare(0, length, out.get(), length) == 0);
    }
    // In place, as the message model decodes bodies.
    std::vector<char> inPlace(bytes.begin(), bytes.end());
    inPlace.push_back('\0');
    const size_t inPlaceLength = QuotedPrintableDecode(inPlace.data(), bytes.size(), inPlace.data(), inPlace.size());
    FUZZ_CHECK(std::string_view(inPlace.data(), inPlaceLength) == decoded);

    const size_t qLength = QEncode(bytes.data(), bytes.size(), out.get(), room);
    if (room > 0) {
        FUZZ_CHECK(qLength < room && out[qLength] == '\0');
        FUZZ_CHECK(encoded.compare(0, qLength, out.get(), qLength) == 0);
    }
}

void checkEncodedWords(const std::string& bytes) {
    const std::string decoded = decodeEncodedWords(bytes);
    FUZZ_CHECK(decoded.size() <= bytes.size());
    // The in-place form works on a NUL-terminated text.
    std::vector<char> text(bytes.begin(), bytes.end());
    text.push_back('\0');
    decodeEncodedWords(text.data());
    FUZZ_CHECK(std::string_view(text.data()) == decodeEncodedWords(std::string_view(bytes.c_str())));
}

void checkTrim(const std::string& bytes, char character) {
    std::vector<char> text(bytes.begin(), bytes.end());
    text.push_back('\0');
    std::vector<char> blanks = text;
    trimBlanks(blanks.data());
    FUZZ_CHECK(std::string_view(blanks.data()) == trimBlanks(std::string_view(bytes.c_str())));
    trim(text.data(), character);
    const char set[] = {' ', character, '\0'}; // a NUL character leaves just the space
    trimSet(text.data(), set);
    const size_t length = std::strlen(text.data());
    if (length > 0) FUZZ_CHECK(text[0] != ' ' && text[length - 1] != ' ');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const size_t room = input.ConsumeIntegralInRange<size_t>(0, 64);
    const bool caseSensitive = input.ConsumeBool();
    const char character = input.ConsumeIntegral<char>();
    const std::string pattern = input.ConsumeRandomLengthString(16);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    checkBase64(bytes, room);
    checkQuotedPrintable(bytes, room);
    checkEncodedWords(bytes);
    checkTrim(bytes, character);

    FUZZ_CHECK(findText(bytes, pattern, caseSensitive) == plainSearch(bytes, pattern, caseSensitive));
    const std::string cBytes(bytes.c_str());
    const std::string cPattern(pattern.c_str());
    FUZZ_CHECK(findText(cBytes.c_str(), cPattern.c_str(), caseSensitive) == plainSearch(cBytes, cPattern, caseSensitive));
    return 0;
}
