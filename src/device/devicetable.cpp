#include "device/devicetable.h"

#include "device/devices_handler.h"

namespace vorn {

void DeviceTable::rebuildDeviceTable(devices_handler &devices)
{
    rebuild(devices.getDevices());
}

void DeviceTable::rebuild(const DeviceListBlock &block)
{
    m_entries.clear();
    for (const DeviceEntry &entry : readDeviceRecords(block))
        m_entries.insert(entry.DeviceID, entry);
}

std::optional<DeviceEntry> DeviceTable::first() const
{
    if (m_entries.isEmpty())
        return std::nullopt;
    return m_entries.first();
}

} // namespace vorn
