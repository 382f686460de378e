#include "device/devicelist.h"

#include <algorithm>
#include <cstring>

namespace vorn {

int deviceCount(const DeviceListBlock &block)
{
    const unsigned count = unsigned(block[0]) | (unsigned(block[1]) << 8);
    return int(std::min<unsigned>(count, dc::MaxRecords));
}

QString readNarrowField(const uint8_t *field, std::size_t size)
{
    const auto *end = static_cast<const uint8_t *>(std::memchr(field, 0, size));
    const std::size_t length = end ? std::size_t(end - field) : size;
    return QString::fromUtf8(reinterpret_cast<const char *>(field), qsizetype(length));
}

QString readWideField(const uint8_t *field, std::size_t size)
{
    // The block gives no alignment guarantee for the UTF-16 fields; read unit by unit.
    const std::size_t units = size / 2;
    QString text;
    text.reserve(qsizetype(units));
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t unit = char16_t(field[2 * i] | (field[2 * i + 1] << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

DeviceEntry readDeviceRecord(const DeviceListBlock &block, int index)
{
    Q_ASSERT(index >= 0 && std::size_t(index) < dc::MaxRecords);
    const uint8_t *record = block.data() + dc::RecordsOffset + dc::RecordSize * std::size_t(index);
    DeviceEntry entry;
    entry.DeviceID = readNarrowField(record + dc::DeviceIdOffset, dc::DeviceIdSize);
    entry.Version = readNarrowField(record + dc::VersionOffset, dc::VersionSize);
    entry.SN = readNarrowField(record + dc::SnOffset, dc::SnSize);
    entry.MASK = readNarrowField(record + dc::MaskOffset, dc::MaskSize);
    entry.DevicePath = readWideField(record + dc::DevicePathOffset, dc::WideFieldSize);
    entry.HardwareID = readWideField(record + dc::HardwareIdOffset, dc::WideFieldSize);
    return entry;
}

QList<DeviceEntry> readDeviceRecords(const DeviceListBlock &block)
{
    QList<DeviceEntry> records;
    const int count = deviceCount(block);
    records.reserve(count);
    for (int i = 0; i < count; ++i)
        records.append(readDeviceRecord(block, i));
    return records;
}

} // namespace vorn
