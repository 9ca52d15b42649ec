#pragma once

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// One network interface of the host with its IPv4 addresses, in the system's order.
struct NetInterface {
    struct Address {
        QHostAddress ip;
        int prefixLength = -1;
        // The interface's own broadcast address for that netmask; null when it has none.
        QHostAddress broadcast;
    };

    QString name;
    // What the system shows the user (on Windows the adapter's name, the system name being a GUID).
    QString displayName;
    bool up = false;
    bool loopback = false;
    // The system itself lists it as virtual (a tunnel, say).
    bool virtualType = false;
    QList<Address> addresses;
};

// Why the automatic choice passes over an interface.
enum class InterfaceSkip {
    None,
    Down,
    Loopback,
    // No IPv4 address, or only link-local ones (169.254.0.0/16).
    NoAddress,
    // A container, virtual-machine or VPN bridge or tunnel (docker0, br-..., veth..., tun0, wg0, ...).
    Virtual,
};

bool IsLinkLocal(const QHostAddress &address);
// True for the names that container engines, virtual machines and VPNs give their interfaces.
bool IsVirtualInterfaceName(const QString &name);
InterfaceSkip WhySkipped(const NetInterface &iface);
// The address of the interface to use: its first IPv4 address that is not link-local, or, for an
// interface the user chose, its first one at all; null when it has none.
QHostAddress UsableAddress(const NetInterface &iface, bool chosenByUser);

// The interfaces that hold a default route (/proc/net/route layout: destination and mask 0, route up),
// lowest metric first; an interface appears once.
QStringList ParseDefaultRoutes(QByteArrayView procNetRoute);

// The outcome of the address choice.
struct NetChoice {
    enum class How {
        // The interface the user chose.
        UserChoice,
        // The interface that holds the default route.
        DefaultRoute,
        // No usable interface holds a default route: the first usable one in the system's order.
        FirstUsable,
        // Nothing usable: the last IPv4 address of an interface that is up, as the program always did.
        LastResort,
        None,
    };
    QString interfaceName;
    QString ip;
    // Where every packet goes: the first three octets of ip and ".255", whatever the netmask.
    QString broadcast;
    How how = How::None;
    // The user chose an interface that is not there, is down or has no IPv4 address.
    bool userChoiceMissing = false;
};

// The choice among the listed interfaces: the user's interface when it is up with an IPv4 address;
// otherwise the first usable interface that holds a default route; otherwise the first usable one;
// otherwise the last resort.
NetChoice ChooseNetInterface(const QList<NetInterface> &interfaces, const QStringList &defaultRoutes,
                             const QString &userChoice);

// The host's interfaces, IPv4 addresses only.
QList<NetInterface> ListNetInterfaces();
// The interfaces holding the default route, best first: /proc/net/route where it exists, otherwise the
// interface of the address the system would send from to a distant host (nothing is sent).
QStringList DefaultRouteInterfaces(const QList<NetInterface> &interfaces);
// The choice on this host now.
NetChoice ChooseLocalNetwork(const QString &userChoice);
