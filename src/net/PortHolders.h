#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

// A process that holds a socket bound to a UDP port.
struct PortHolder {
    qint64 pid = 0;
    QString name;
};

// The socket inodes of /proc/net/udp (or udp6) lines whose local port is the given one.
QList<quint64> ParseUdpPortInodes(QByteArrayView procNetUdp, quint16 port);
// The processes that hold the port, as far as this user may see them (Linux only; empty elsewhere or
// when nothing can be read). Each process once, in pid order.
QList<PortHolder> FindUdpPortHolders(quint16 port);
