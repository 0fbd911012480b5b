#include "base/Crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

// Bit by bit, straight from the polynomial: the reference the table-driven code must match.
uint32_t bitwiseCrc32(const unsigned char* p, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

} // namespace

TEST(Crc32, KnownValues) {
    struct Case {
        std::string text;
        uint32_t expected;
    } cases[] = {
        {"123456789", 0xCBF43926u},
        {"", 0u},
        {"a", 0xE8B7BE43u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {std::string(32, '\0'), 0x190A55ADu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(crc32(c.text), c.expected) << c.text;
        EXPECT_EQ(crc32(c.text.data(), c.text.size()), c.expected) << c.text;
    }
    EXPECT_EQ(crc32(nullptr, 0), 0u);
}

TEST(Crc32, MatchesTheBitwiseDefinitionAtEveryLengthAndAlignment) {
    std::mt19937 rng(3);
    std::vector<unsigned char> data(200);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t length = 0; offset + length <= 80; ++length)
            ASSERT_EQ(crc32(data.data() + offset, length), bitwiseCrc32(data.data() + offset, length))
                << offset << "+" << length;
}
