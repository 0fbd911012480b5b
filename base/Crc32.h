#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvanthelix {

/// IEEE 802.3 CRC-32 (reflected polynomial 0xEDB88320, initial value all ones, final complement)
/// of `length` bytes. crc32("123456789") == 0xCBF43926.
uint32_t crc32(const void* data, size_t length);
uint32_t crc32(std::string_view text);

} // namespace corvanthelix
