#pragma once

#include "device/devicelist.h"

#include <QMap>
#include <optional>

namespace vorn {

class devices_handler;

// The connected devices by device ID, in key order, as found by the last enumeration.
// Rebuilt on every acted-upon device change; main thread only. The update check and the
// firmware update read its first entry.
class DeviceTable
{
public:
    void rebuildDeviceTable(devices_handler &devices);
    // Replaces the entries by the records of a block; a later record with the same device ID
    // replaces an earlier one.
    void rebuild(const DeviceListBlock &block);

    const QMap<QString, DeviceEntry> &entries() const { return m_entries; }
    std::optional<DeviceEntry> first() const;

private:
    QMap<QString, DeviceEntry> m_entries;
};

} // namespace vorn
