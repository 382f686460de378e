// A device library that exports only some entry points: one device, memory reads, nothing
// else. The program must treat every missing export as a failed call.

#include "device/dcapi.h"

#include <cstring>
#include <iterator>

#define DC_EXPORT extern "C" __attribute__((visibility("default")))

DC_EXPORT int32_t dcDevices(DcDeviceListFilter, uint8_t *buffer, int32_t size)
{
    if (size < int32_t(dc::DeviceListSize))
        return 1;
    buffer[0] = 1;
    std::memcpy(buffer + dc::RecordsOffset + dc::DeviceIdOffset, "PARTIAL", 7);
    const char16_t id[] = u"partial";
    for (std::size_t i = 0; i < std::size(id); ++i) {
        buffer[dc::RecordsOffset + dc::HardwareIdOffset + 2 * i] = uint8_t(id[i] & 0xFF);
        buffer[dc::RecordsOffset + dc::HardwareIdOffset + 2 * i + 1] = uint8_t(id[i] >> 8);
    }
    return 0;
}

DC_EXPORT int32_t dcRead(const char16_t *, const char16_t *, int32_t, uint8_t *buffer,
                         int32_t length, uint32_t)
{
    std::memset(buffer, 0xAB, std::size_t(length));
    return 0;
}
