#include "base/TextUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace corvanthelix;

namespace {

// A copy of `s` in a heap block of exactly its size, so reading past the end shows under ASan.
struct ExactBuffer {
    explicit ExactBuffer(const std::string& s) : bytes(s.begin(), s.end()) {}
    std::string_view view() const { return {bytes.data(), bytes.size()}; }
    std::vector<char> bytes;
};

long naiveFind(const std::string& text, const std::string& pattern, bool caseSensitive) {
    auto fold = [&](char c) { return (!caseSensitive && c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
    if (pattern.empty() || pattern.size() > text.size()) return -1;
    for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < pattern.size() && fold(text[i + k]) == fold(pattern[k])) ++k;
        if (k == pattern.size()) return long(i);
    }
    return -1;
}

} // namespace

TEST(TextUtils, FindTextCases) {
    struct Case {
        const char* text;
        const char* pattern;
        bool caseSensitive;
        long expected;
    } cases[] = {
        {"Hello World", "WORLD", false, 6},
        {"Hello World", "WORLD", true, -1},
        {"HELLO WORLD", "world", false, 6},
        {"Hello World", "World", true, 6},
        {"Sussex", "sex", false, 3},    // a substring, not a word match
        {"abcabd", "abd", true, 3},     // at the very end
        {"abc", "abc", true, 0},        // whole text
        {"abc", "abcd", true, -1},      // longer than the text
        {"abcabc", "abd", true, -1},
        {"", "a", false, -1},
        {"abc", "", false, -1},
        {"xAbC", "abc", false, 1},      // the byte behind the window is folded before the shift
        {"aaab", "aab", true, 1},
        {"a[b", "A{B", false, -1},      // only letters fold, not "[" and "{"
        {"na\xC4ve", "\xE4", false, -1}, // nor bytes above ASCII
        {"na\xC4ve", "\xC4V", false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.pattern);
        EXPECT_EQ(findText(c.text, c.pattern, c.caseSensitive), c.expected);
        ExactBuffer text(c.text), pattern(c.pattern);
        EXPECT_EQ(findText(text.view(), pattern.view(), c.caseSensitive), c.expected);
    }
    EXPECT_EQ(findText(nullptr, "a", false), -1);
    EXPECT_EQ(findText("a", nullptr, false), -1);
}

TEST(TextUtils, FindTextAgreesWithANaiveSearch) {
    std::mt19937 rng(7);
    const char alphabet[] = "aAbBc";
    auto randomText = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i) s += alphabet[rng() % 5];
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text = randomText(rng() % 24);
        std::string pattern = randomText(1 + rng() % 4);
        bool caseSensitive = rng() % 2;
        ASSERT_EQ(findText(text, pattern, caseSensitive), naiveFind(text, pattern, caseSensitive))
            << text << " / " << pattern << " " << caseSensitive;
    }
}

TEST(TextUtils, ConcurrentSearchesDoNotShareState) {
    const std::string text = std::string(500, 'x') + "needle" + std::string(500, 'y') + "HAYSTACK";
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                bool odd = (t + i) % 2;
                long found = odd ? findText(text, "NEEDLE", false) : findText(text, "haystack", false);
                if (found != (odd ? 500 : 1006)) ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(TextUtils, QEncodeCases) {
    struct Case {
        std::string in;
        const char* expected;
    } cases[] = {
        {"a b.c", "a_b=2Ec"},
        {"AZaz09!*+-/", "AZaz09!*+-/"},
        {"_=?", "=5F=3D=3F"},
        {"\xE9\x01\xFF", "=E9=01=FF"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QEncode(c.in), c.expected);
        char out[64];
        EXPECT_EQ(QEncode(c.in.data(), c.in.size(), out, sizeof out), std::strlen(c.expected));
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(QuotedPrintableDecode(std::string(c.expected)), c.in);
    }
}

TEST(TextUtils, QEncodeStopsAtNulAndWhenTheNextOutputDoesNotFit) {
    char out[16];
    EXPECT_EQ(QEncode("a\0b", 3, out, sizeof out), 1u);
    EXPECT_STREQ(out, "a");
    EXPECT_EQ(QEncode("a.b", 3, out, 3), 1u); // "=2E" needs three bytes, two are left
    EXPECT_STREQ(out, "a");
    EXPECT_EQ(QEncode("a.b", 3, out, 5), 4u);
    EXPECT_STREQ(out, "a=2E");
    EXPECT_EQ(QEncode("a.b", 3, out, 6), 5u);
    EXPECT_STREQ(out, "a=2Eb");
    // The string form encodes every byte it is given.
    EXPECT_EQ(QEncode(std::string("a\0b", 3)), "a=00b");
}

TEST(TextUtils, QuotedPrintableDecodeCases) {
    struct Case {
        const char* in;
        const char* expected;
    } cases[] = {
        {"a=3Db", "a=b"},
        {"caf=E9", "caf\xE9"},
        {"lower=2ecase", "lower.case"},
        {"soft=\r\nbreak", "softbreak"},
        {"soft=\nbreak", "softbreak"},
        {"a_b", "a b"},
        {"end=4", "end=4"},   // a cut escape at the end is kept
        {"end=", "end="},
        {"=zz", "=zz"},       // not hex: kept as it is
        {"=4z_", "=4z "},
        {"=_x", "=_x"},
        {"nul=00byte", "nul byte"}, // a NUL would cut the text short
        {"line\r\nbreak", "line\r\nbreak"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        ExactBuffer in(c.in);
        EXPECT_EQ(QuotedPrintableDecode(in.view()), c.expected);
        char buffer[64];
        std::strcpy(buffer, c.in);
        size_t n = QuotedPrintableDecode(buffer, std::strlen(buffer), buffer, sizeof buffer); // in place
        EXPECT_EQ(n, std::strlen(c.expected));
        EXPECT_STREQ(buffer, c.expected);
    }
}

TEST(TextUtils, QuotedPrintableDecodeRespectsOutSize) {
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(QuotedPrintableDecode("ab=3Dcd", 7, out, sizeof out), 3u);
    EXPECT_STREQ(out, "ab=");
    EXPECT_EQ(QuotedPrintableDecode("=zzzz", 5, out, 3), 2u);
    EXPECT_STREQ(out, "=z");
    EXPECT_EQ(QuotedPrintableDecode("abc", 3, out, 1), 0u);
    EXPECT_STREQ(out, "");
}

TEST(TextUtils, Base64KnownVectorsBothWays) {
    const char* pairs[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                              {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"}};
    for (auto& p : pairs) {
        EXPECT_EQ(base64Encode(std::string(p[0])), p[1]);
        EXPECT_EQ(base64Decode(std::string(p[1])), p[0]);
        char out[32];
        EXPECT_EQ(base64Encode(p[0], std::strlen(p[0]), out, sizeof out), std::strlen(p[1]));
        EXPECT_STREQ(out, p[1]);
        EXPECT_EQ(base64Decode(p[1], std::strlen(p[1]), out, sizeof out), std::strlen(p[0]));
        EXPECT_STREQ(out, p[0]);
    }
}

TEST(TextUtils, Base64DecodeCases) {
    struct Case {
        const char* in;
        std::string expected;
    } cases[] = {
        {"SGVs\r\nbG8=", "Hello"},      // line breaks inside the data
        {"SG Vs\tbG8*", "Hello"},       // other bytes outside the alphabet are skipped too
        {"SGVsbG8", "Hello"},           // missing padding: the group is filled with "="
        {"SGVsbA", "Hell"},
        {"SGVsb", "Hel"},               // a single character left makes no byte
        {"SGVsbA==SGVs", "Hell"},       // padding ends the decoding
        {"SGVsbG8=SGVs", "Hello"},
        {"SG=s", "H"},                  // a third "=" gives one byte
        {"S=Vs", ""},                   // a second "=" gives none
        {"=SGV", ""},
        {"AGE=", std::string("\0a", 2)}, // decoded data may hold NUL
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        ExactBuffer in(c.in);
        EXPECT_EQ(base64Decode(in.view()), c.expected);
    }
}

TEST(TextUtils, Base64RoundTripsBinaryData) {
    std::mt19937 rng(11);
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    EXPECT_EQ(base64Decode(base64Encode(all)), all);
    for (size_t length = 0; length < 40; ++length) {
        std::string data;
        for (size_t i = 0; i < length; ++i) data += char(rng());
        std::string encoded = base64Encode(data);
        EXPECT_EQ(encoded.size(), (length + 2) / 3 * 4);
        EXPECT_EQ(base64Decode(encoded), data);
        // Line breaks every 8 characters change nothing.
        std::string wrapped;
        for (size_t i = 0; i < encoded.size(); ++i) wrapped += (i && i % 8 == 0 ? "\r\n" : "") + encoded.substr(i, 1);
        EXPECT_EQ(base64Decode(wrapped), data);
    }
}

TEST(TextUtils, Base64HonoursOutSizeAndStopsEncodingAtNul) {
    char out[16];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(base64Decode("SGVsbG8=", 8, out, 3), 2u);
    EXPECT_EQ(std::string(out, 3), std::string("He\0", 3));
    EXPECT_EQ(base64Decode("SGVsbG8=", 8, out, 1), 0u);
    EXPECT_EQ(out[0], '\0');

    // Each group needs four bytes plus room for the NUL.
    EXPECT_EQ(base64Encode("Hello", 5, out, 9), 8u);
    EXPECT_STREQ(out, "SGVsbG8=");
    EXPECT_EQ(base64Encode("Hello", 5, out, 8), 4u);
    EXPECT_STREQ(out, "SGVs");
    EXPECT_EQ(base64Encode("Hello", 5, out, 4), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(base64Encode("ab\0cd", 5, out, sizeof out), 4u);
    EXPECT_STREQ(out, "YWI=");
}

TEST(TextUtils, DecodeEncodedWordsCases) {
    const std::string longName(80, 'x');
    const std::string okName(78, 'x');
    struct Case {
        std::string in;
        std::string expected;
    } cases[] = {
        {"=?iso-8859-1?Q?Gr=FC=DFe_aus?= Berlin und Bonn", "Gr\xFC\xDF" "e aus Berlin und Bonn"},
        {"=?utf-8?B?SGVsbG8=?= world", "Hello world"},
        {"=?utf-8?b?SGVsbG8=?=", "Hello"},
        {"=?utf-8?q?a_b?=", "a b"},
        {"Re: =?utf-8?Q?x?= y", "Re: x y"},
        {"=?a?Q?x?= =?a?B?eQ==?=!", "x y!"},
        {"=?a?Q?x?==?a?Q?y?=", "xy"},
        {"=??Q?empty_charset?=", "empty charset"},
        // The letter must be followed by "?": decoding ends, the rest stays.
        {"ok =?a?Q?x?= =?a?Bxx?= =?a?Q?y?=", "ok x =?a?Bxx?= =?a?Q?y?="},
        {"=?a?X?b?= =?a?Q?y?=", "=?a?X?b?= =?a?Q?y?="},
        // Unterminated words run to the end and never read past it.
        {"=?utf-8?Q?abc", "abc"},
        {"=?utf-8?B?SGk", "Hi"},
        {"=?utf-8?Q?", ""},
        {"=?utf-8?Q", "=?utf-8?Q"},
        {"=?utf-8?", "=?utf-8?"},
        {"=?utf-8", "=?utf-8"},
        {"tail =?", "tail =?"},
        {"a = b", "a = b"},
        {"=?a?B?AGE=?=", " a"}, // a decoded NUL becomes a space
        {"=?" + okName + "?Q?a?=", "a"},
        {"=?" + longName + "?Q?a?=", "=?" + longName + "?Q?a?="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        ExactBuffer in(c.in);
        EXPECT_EQ(decodeEncodedWords(in.view()), c.expected);
        std::vector<char> buffer(c.in.begin(), c.in.end());
        buffer.push_back('\0');
        decodeEncodedWords(buffer.data());
        EXPECT_EQ(std::string(buffer.data()), c.expected);
    }
    decodeEncodedWords(static_cast<char*>(nullptr));
}

TEST(TextUtils, TrimFamily) {
    struct Case {
        const char* in;
        int kind; // 0 trim('x'), 1 TrimBlanks, 2 trimSet("<> ")
        const char* expected;
    } cases[] = {
        {"xxabcxx", 0, "abc"}, {"axbxa", 0, "axbxa"}, {"xxx", 0, ""}, {"", 0, ""},
        {" \t a b \t ", 1, "a b"}, {"\na\r\n", 1, "\na\r\n"}, {" \t ", 1, ""},
        {"< <a@b> >", 2, "a@b"}, {"a<b", 2, "a<b"}, {"<>", 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        char buffer[32];
        std::strcpy(buffer, c.in);
        if (c.kind == 0) trim(buffer, 'x');
        if (c.kind == 1) {
            trimBlanks(buffer);
            EXPECT_EQ(trimBlanks(std::string_view(c.in)), c.expected);
        }
        if (c.kind == 2) trimSet(buffer, "<> ");
        EXPECT_STREQ(buffer, c.expected);
    }
    char untouched[] = " a ";
    trimSet(untouched, "");
    trimSet(untouched, nullptr);
    EXPECT_STREQ(untouched, " a ");
    trimBlanks(static_cast<char*>(nullptr));
}

TEST(TextUtils, DayNumbersRunWithoutGapsAndRoundTrip) {
    EXPECT_EQ(dayNumber(2000, 1, 1), 2451545);
    EXPECT_EQ(dayNumber(1970, 1, 1), 2440588);
    EXPECT_EQ(dayNumber(2000, 3, 1) - dayNumber(2000, 2, 28), 2);
    EXPECT_EQ(dayNumber(1900, 3, 1) - dayNumber(1900, 2, 28), 1);
    EXPECT_EQ(dayNumber(2100, 3, 1) - dayNumber(2100, 2, 28), 1);

    const int daysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int expected = dayNumber(1900, 1, 1);
    for (int y = 1900; y <= 2100; ++y) {
        bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        for (int m = 1; m <= 12; ++m) {
            int last = daysIn[m - 1] + (m == 2 && leap ? 1 : 0);
            for (int d = 1; d <= last; ++d, ++expected) {
                ASSERT_EQ(dayNumber(y, m, d), expected) << y << "-" << m << "-" << d;
                int yy = 0, mm = 0, dd = 0;
                dateFromDayNumber(expected, yy, mm, dd);
                ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d) << expected;
            }
        }
    }
}

TEST(TextUtils, TodayCountsDaysSinceTheEpoch) {
    const std::time_t now = std::time(nullptr);
    // Local and universal dates differ by at most a day.
    EXPECT_NEAR(todayDayNumber() - dayNumber(1970, 1, 1), double(now) / 86400, 1.0);
}
