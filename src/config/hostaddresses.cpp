#include "config/hostaddresses.h"

#include <QHostAddress>
#include <QNetworkInterface>

namespace vorn {

QString firstNonLoopbackHardwareAddress(const QList<InterfaceInfo> &interfaces)
{
    for (const InterfaceInfo &info : interfaces) {
        if (!info.loopback)
            return info.hardwareAddress;
    }
    return {};
}

QString firstExternalIPv4(const QStringList &addresses)
{
    for (const QString &text : addresses) {
        const QHostAddress address(text);
        if (address.protocol() == QAbstractSocket::IPv4Protocol &&
            address != QHostAddress(QHostAddress::LocalHost))
            return address.toString();
    }
    return {};
}

QString hostMacAddress()
{
    QList<InterfaceInfo> interfaces;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        interfaces.append({interface.hardwareAddress(),
                           interface.flags().testFlag(QNetworkInterface::IsLoopBack)});
    }
    return firstNonLoopbackHardwareAddress(interfaces);
}

QString hostIpAddress()
{
    QStringList addresses;
    for (const QHostAddress &address : QNetworkInterface::allAddresses())
        addresses.append(address.toString());
    return firstExternalIPv4(addresses);
}

} // namespace vorn
