#include "net/NetInterfaces.h"

#include "net/IPUn.h"

#include <QFile>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <algorithm>

namespace {

// Linux names first; the rest are the adapter names of virtual machines and VPN clients elsewhere.
constexpr const char *VirtualPrefixes[] = {
    "docker",    "br-",        "veth",    "virbr",   "tun",      "tap",     "wg",        "vboxnet",
    "vmnet",     "lxcbr",      "lxdbr",   "cni",     "flannel",  "cali",    "vnet",      "zt",
    "tailscale", "podman",     "incusbr", "kube",    "weave",    "utun",    "ipsec",     "nordlynx",
    "vEthernet", "VirtualBox", "VMware",  "Hyper-V", "ZeroTier", "OpenVPN", "WireGuard",
};

constexpr quint32 RouteUp = 0x0001;

bool usable(const NetInterface &iface)
{
    return WhySkipped(iface) == InterfaceSkip::None;
}

NetChoice choose(const NetInterface &iface, NetChoice::How how)
{
    NetChoice choice;
    choice.interfaceName = iface.name;
    choice.ip = UsableAddress(iface, how == NetChoice::How::UserChoice).toString();
    choice.broadcast = GetBroadcastAddress(choice.ip);
    choice.how = how;
    return choice;
}

} // namespace

bool IsLinkLocal(const QHostAddress &address)
{
    bool ipv4 = false;
    const quint32 ip = address.toIPv4Address(&ipv4);
    return ipv4 && (ip >> 16) == 0xA9FE;
}

bool IsVirtualInterfaceName(const QString &name)
{
    return std::any_of(std::begin(VirtualPrefixes), std::end(VirtualPrefixes), [&name](const char *prefix) {
        return name.startsWith(QLatin1StringView(prefix), Qt::CaseInsensitive);
    });
}

InterfaceSkip WhySkipped(const NetInterface &iface)
{
    if (iface.loopback)
        return InterfaceSkip::Loopback;
    if (!iface.up)
        return InterfaceSkip::Down;
    if (UsableAddress(iface, false).isNull())
        return InterfaceSkip::NoAddress;
    if (iface.virtualType || IsVirtualInterfaceName(iface.name) || IsVirtualInterfaceName(iface.displayName))
        return InterfaceSkip::Virtual;
    return InterfaceSkip::None;
}

QHostAddress UsableAddress(const NetInterface &iface, bool chosenByUser)
{
    for (const NetInterface::Address &entry : iface.addresses) {
        if (entry.ip.protocol() == QAbstractSocket::IPv4Protocol && !IsLinkLocal(entry.ip))
            return entry.ip;
    }
    if (chosenByUser) {
        for (const NetInterface::Address &entry : iface.addresses) {
            if (entry.ip.protocol() == QAbstractSocket::IPv4Protocol)
                return entry.ip;
        }
    }
    return {};
}

QStringList ParseDefaultRoutes(QByteArrayView procNetRoute)
{
    struct Route {
        QString name;
        qint64 metric;
    };
    QList<Route> routes;
    const QList<QByteArray> lines = procNetRoute.toByteArray().split('\n');
    // The first line names the columns.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> columns = lines.at(i).simplified().split(' ');
        if (columns.size() < 8)
            continue;
        bool ok = false;
        const quint32 destination = columns.at(1).toUInt(&ok, 16);
        if (!ok || destination != 0)
            continue;
        const quint32 flags = columns.at(3).toUInt(&ok, 16);
        if (!ok || !(flags & RouteUp))
            continue;
        const qint64 metric = columns.at(6).toLongLong(&ok);
        if (!ok)
            continue;
        const quint32 mask = columns.at(7).toUInt(&ok, 16);
        if (!ok || mask != 0)
            continue;
        routes.append({QString::fromLocal8Bit(columns.at(0)), metric});
    }
    std::stable_sort(routes.begin(), routes.end(),
                     [](const Route &a, const Route &b) { return a.metric < b.metric; });
    QStringList names;
    for (const Route &route : routes) {
        if (!names.contains(route.name))
            names.append(route.name);
    }
    return names;
}

NetChoice ChooseNetInterface(const QList<NetInterface> &interfaces, const QStringList &defaultRoutes,
                             const QString &userChoice)
{
    bool missing = false;
    if (!userChoice.isEmpty()) {
        const auto it = std::find_if(interfaces.cbegin(), interfaces.cend(),
                                     [&userChoice](const NetInterface &i) { return i.name == userChoice; });
        if (it != interfaces.cend() && it->up && !UsableAddress(*it, true).isNull())
            return choose(*it, NetChoice::How::UserChoice);
        missing = true;
    }
    NetChoice choice;
    for (const QString &name : defaultRoutes) {
        const auto it = std::find_if(interfaces.cbegin(), interfaces.cend(),
                                     [&name](const NetInterface &i) { return i.name == name; });
        if (it != interfaces.cend() && usable(*it)) {
            choice = choose(*it, NetChoice::How::DefaultRoute);
            break;
        }
    }
    if (choice.how == NetChoice::How::None) {
        const auto it = std::find_if(interfaces.cbegin(), interfaces.cend(), usable);
        if (it != interfaces.cend())
            choice = choose(*it, NetChoice::How::FirstUsable);
    }
    if (choice.how == NetChoice::How::None) {
        // Never worse than before: whatever the old rule would have taken.
        QList<InterfaceAddress> all;
        for (const NetInterface &iface : interfaces) {
            for (const NetInterface::Address &entry : iface.addresses)
                all.append({entry.ip, iface.loopback, iface.up});
        }
        choice.ip = PickLocalIP(all);
        if (!choice.ip.isEmpty()) {
            choice.how = NetChoice::How::LastResort;
            choice.broadcast = GetBroadcastAddress(choice.ip);
            for (const NetInterface &iface : interfaces) {
                for (const NetInterface::Address &entry : iface.addresses) {
                    if (entry.ip.toString() == choice.ip)
                        choice.interfaceName = iface.name;
                }
            }
        }
    }
    choice.userChoiceMissing = missing;
    return choice;
}

QList<NetInterface> ListNetInterfaces()
{
    QList<NetInterface> result;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &system : interfaces) {
        NetInterface iface;
        iface.name = system.name();
        iface.displayName = system.humanReadableName();
        iface.up = system.flags().testFlag(QNetworkInterface::IsUp);
        iface.loopback = system.flags().testFlag(QNetworkInterface::IsLoopBack);
        iface.virtualType = system.type() == QNetworkInterface::Virtual;
        for (const QNetworkAddressEntry &entry : system.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                iface.addresses.append({entry.ip(), entry.prefixLength(), entry.broadcast()});
        }
        result.append(iface);
    }
    return result;
}

QStringList DefaultRouteInterfaces(const QList<NetInterface> &interfaces)
{
    QFile routes(QStringLiteral("/proc/net/route"));
    if (routes.open(QIODevice::ReadOnly))
        return ParseDefaultRoutes(routes.readAll());
    // Connecting a UDP socket only asks the routing table for the way out; no datagram leaves.
    QUdpSocket probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    probe.connectToHost(QHostAddress(QStringLiteral("198.51.100.1")), 9);
    if (!probe.waitForConnected(200))
        return {};
    const QHostAddress local = probe.localAddress();
    for (const NetInterface &iface : interfaces) {
        for (const NetInterface::Address &entry : iface.addresses) {
            if (entry.ip.isEqual(local, QHostAddress::ConvertV4MappedToIPv4))
                return {iface.name};
        }
    }
    return {};
}

NetChoice ChooseLocalNetwork(const QString &userChoice)
{
    const QList<NetInterface> interfaces = ListNetInterfaces();
    return ChooseNetInterface(interfaces, DefaultRouteInterfaces(interfaces), userChoice);
}
