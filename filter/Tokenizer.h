#pragma once
// Splits text into the learning filter's words. The delimiter set, the joiner rules and the token
// lengths are part of what the stored word lists mean: changing them makes old lists count
// different words.
#include "filter/WordTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvanthelix {

namespace tokenizer_detail {
enum Class : uint8_t {
    kWord,        // part of a token
    kBreak,       // ends a token; inside a short token, discards it
    kJoinI,       // ! and ` : joiner standing for the letter i
    kJoinA,       // @ : joiner standing for the letter a
    kJoinSilent,  // * - . = _ | : joiner dropped while the word goes on
};
constexpr std::array<uint8_t, 256> makeClasses() {
    std::array<uint8_t, 256> classes{};
    for (unsigned char c : std::string_view(" \t\n\r\f<>()[]{}/\\,;:&?#%+^\"~")) classes[c] = kBreak;
    classes[uint8_t('!')] = kJoinI;
    classes[uint8_t('`')] = kJoinI;
    classes[uint8_t('@')] = kJoinA;
    for (unsigned char c : std::string_view("*-.=_|")) classes[c] = kJoinSilent;
    return classes;
}
inline constexpr std::array<uint8_t, 256> kClasses = makeClasses();
constexpr std::array<char, 256> makeLower() {
    std::array<char, 256> lower{};
    for (int c = 0; c < 256; ++c) lower[size_t(c)] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower;
}
inline constexpr std::array<char, 256> kLower = makeLower();
} // namespace tokenizer_detail

class Tokenizer {
public:
    /// Longest run of word characters kept while a token is being built.
    static constexpr size_t kBufferSize = 500;
    static constexpr size_t kMinTokenLength = 3;
    static constexpr size_t kMaxTokenLength = 20;

    /// True for the 35 delimiter bytes: space, TAB, LF, CR, FF and ! < > ( ) [ ] { } - _ = / \ . , ; :
    /// & | ? * # % + @ ^ " ` ~. Every other byte (bytes 128-255 and the apostrophe too) is a word
    /// character.
    static bool isDelimiter(unsigned char c) {
        return tokenizer_detail::kClasses[c] != tokenizer_detail::kWord;
    }

    /// Calls `take(std::string_view token)` for every token of `text`, in text order, lower-cased
    /// (ASCII letters only). The text ends at its first NUL byte or at its end. A token is taken
    /// only when a delimiter follows it, so the characters after the last delimiter never count.
    /// The view passed to `take` is valid only during the call.
    template <class Take>
    static void Run(std::string_view text, Take&& take);

    /// Counts every token of `text` into `table` (WordTable::insert).
    static void Run(std::string_view text, WordTable& table);
};

template <class Take>
void Tokenizer::Run(std::string_view text, Take&& take) {
    using namespace tokenizer_detail;
    char token[kBufferSize];
    size_t n = 0;
    bool allDigits = true;
    unsigned char lastJoiner = 0;  // 0: none seen; NUL never reaches here as a delimiter

    for (unsigned char c : text) {
        if (c == '\0') break;
        uint8_t cls = kClasses[c];
        if (cls == kWord) {
            if (n == kBufferSize) {
                // Runaway text (base64 without breaks and the like) is no word.
                n = 0;
                allDigits = true;
                continue;
            }
            allDigits = allDigits && c >= '0' && c <= '9';
            token[n++] = kLower[c];
            continue;
        }
        if (n == 0) continue;
        bool join = n <= 2 || c == lastJoiner;
        if (!join) {
            if (n <= kMaxTokenLength && !allDigits) take(std::string_view(token, n));
            n = 0;
            allDigits = true;
            lastJoiner = 0;
            continue;
        }
        // The delimiter sits inside a word: it is a joiner or the short start is no word.
        lastJoiner = c;
        if (cls == kJoinI || cls == kJoinA) {
            if (n == kBufferSize) {
                n = 0;
                allDigits = true;
                continue;
            }
            token[n++] = cls == kJoinI ? 'i' : 'a';
            allDigits = false;
        } else if (cls != kJoinSilent) {
            n = 0;
            allDigits = true;
            lastJoiner = 0;
        }
    }
}

} // namespace corvanthelix
