#pragma once

#include <cstddef>
#include <cstdint>

namespace dcsim {

// CRC-32 as zlib's crc32() computes it: reflected polynomial 0xEDB88320, initial value
// 0xFFFFFFFF, final complement. crc32(data, size, crc32(prefix...)) continues a running value.
uint32_t crc32(const uint8_t *data, std::size_t size, uint32_t running = 0);

} // namespace dcsim
