#pragma once

#include <QList>
#include <QString>

namespace vorn {

// The two configuration values that are computed, never stored: the hardware address of the
// first network interface that is not a loopback interface, and the first IPv4 address of the
// host other than 127.0.0.1. Both are empty when the host has none.
QString hostMacAddress();
QString hostIpAddress();

// The selection rules on plain lists, in the order the system reports them.
struct InterfaceInfo
{
    QString hardwareAddress;
    bool loopback = false;
};
QString firstNonLoopbackHardwareAddress(const QList<InterfaceInfo> &interfaces);
QString firstExternalIPv4(const QStringList &addresses);

} // namespace vorn
