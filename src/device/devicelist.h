#pragma once

#include "device/dcapi.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>

namespace vorn {

// The device list block as the library fills it: a 16-bit record count, then up to 20
// records of 2105 bytes.
using DeviceListBlock = std::array<uint8_t, dc::DeviceListSize>;

// The six texts of one device record.
struct DeviceEntry
{
    QString DeviceID;
    QString SN;
    QString Version;
    QString HardwareID;
    QString DevicePath;
    QString MASK;

    friend bool operator==(const DeviceEntry &, const DeviceEntry &) = default;
};

// The record count of the block. The block has room for 20 records; a larger count is read
// as 20.
int deviceCount(const DeviceListBlock &block);

// Record i (0 <= i < 20). Texts are read only within their fields: an 8-bit field without a
// zero byte gives all its bytes, a UTF-16 field without a terminator gives its 255 units.
DeviceEntry readDeviceRecord(const DeviceListBlock &block, int index);

// All counted records in block order.
QList<DeviceEntry> readDeviceRecords(const DeviceListBlock &block);

// Field readers, exposed for the record parser and its tests.
QString readNarrowField(const uint8_t *field, std::size_t size);
QString readWideField(const uint8_t *field, std::size_t size);

} // namespace vorn
