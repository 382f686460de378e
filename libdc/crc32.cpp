#include "crc32.h"

#include <array>

namespace dcsim {

namespace {

constexpr std::array<uint32_t, 256> makeTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> Table = makeTable();

} // namespace

uint32_t crc32(const uint8_t *data, std::size_t size, uint32_t running)
{
    uint32_t c = running ^ 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        c = Table[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

} // namespace dcsim
