#include "base/Crc32.h"

#include <array>

namespace corvanthelix {

namespace {

// Slicing-by-8: table[0] is the classic byte table; table[k][b] is the CRC of byte b followed by
// k zero bytes, so eight input bytes are folded in with eight independent look-ups.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables makeTables() {
    CrcTables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][b] = c;
    }
    for (uint32_t b = 0; b < 256; ++b)
        for (size_t k = 1; k < 8; ++k) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
    return t;
}

constexpr CrcTables kTables = makeTables();

uint32_t loadLittleEndian32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

uint32_t crc32(const void* data, size_t length) {
    if (!data) return 0;
    const auto* p = static_cast<const unsigned char*>(data);
    uint32_t crc = 0xFFFFFFFFu;
    while (length >= 8) {
        uint32_t lo = loadLittleEndian32(p) ^ crc;
        uint32_t hi = loadLittleEndian32(p + 4);
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        length -= 8;
    }
    while (length--) crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFF];
    return ~crc;
}

uint32_t crc32(std::string_view text) { return crc32(text.data(), text.size()); }

} // namespace corvanthelix
