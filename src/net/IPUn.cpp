#include "net/IPUn.h"

#include "net/NetInterfaces.h"

QString PickLocalIP(const QList<InterfaceAddress> &addresses)
{
    QString result;
    for (const InterfaceAddress &entry : addresses) {
        if (entry.loopback || !entry.up || entry.address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        result = entry.address.toString();
    }
    return result;
}

QString GetLocalIP()
{
    return ChooseLocalNetwork(QString()).ip;
}

QString GetIPOctet(const QString &ip, int n)
{
    if (ip.isEmpty() || n < 1)
        return {};
    QString rest = ip;
    QString octet;
    for (int round = 1; round <= 3; ++round) {
        const qsizetype dot = rest.indexOf(u'.');
        if (dot < 0) {
            octet.clear();
            rest.clear();
        } else {
            octet = rest.first(dot);
            rest.remove(0, dot + 1);
        }
        if (round == n)
            break;
    }
    return octet;
}

QString GetBroadcastAddress(const QString &ip)
{
    if (ip.isEmpty())
        return {};
    return GetIPOctet(ip, 1) + u'.' + GetIPOctet(ip, 2) + u'.' + GetIPOctet(ip, 3) + QStringLiteral(".255");
}
