#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// One address of a host interface, as the system lists it.
struct InterfaceAddress {
    QHostAddress address;
    bool loopback = false;
    bool up = true;
};

// The text of the last IPv4 address of an interface that is up and not loopback; empty when none.
// Only the last resort of the address choice (NetInterfaces.h) still goes by it.
QString PickLocalIP(const QList<InterfaceAddress> &addresses);
// The host's own IPv4 address by the automatic choice: the interface that holds the default route.
QString GetLocalIP();
// The text before the n-th dot (n = 1..3); empty for an empty ip.
QString GetIPOctet(const QString &ip, int n);
// The first three octets of ip followed by ".255"; empty when ip is empty.
QString GetBroadcastAddress(const QString &ip);
