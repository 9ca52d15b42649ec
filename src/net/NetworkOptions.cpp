#include "net/NetworkOptions.h"

#include "features/LngUn.h"
#include "net/UdpTransport.h"
#include "protocol/ConstUnit.h"
#include "settings/iniFileUn.h"

#include <algorithm>

namespace {

QString text(const char *key, const char *defaultText)
{
    return Lng::Text(QStringLiteral("fmNetwork"), QLatin1StringView(key), QString::fromUtf8(defaultText));
}

QString format(const char *key, const char *defaultText, const QStringList &args)
{
    return ConstUnit::Format(text(key, defaultText), args);
}

QString number(quint64 value)
{
    return QString::number(value);
}

QString addressesOf(const NetInterface &iface)
{
    QStringList list;
    for (const NetInterface::Address &entry : iface.addresses)
        list.append(entry.prefixLength >= 0 ? entry.ip.toString() + u'/' + QString::number(entry.prefixLength)
                                            : entry.ip.toString());
    return list.join(QStringLiteral(", "));
}

const NetInterface *findInterface(const NetworkDiagnosis &d, const QString &name)
{
    const auto it = std::find_if(d.interfaces.cbegin(), d.interfaces.cend(),
                                 [&name](const NetInterface &i) { return i.name == name; });
    return it == d.interfaces.cend() ? nullptr : &*it;
}

} // namespace

NetworkOptions NetworkOptions::Read(const SettingsStore &store)
{
    return {readSetting(store, Setting::NetworkInterface).trimmed(),
            readSetting(store, Setting::NetworkAddresses)};
}

bool NetworkOptions::Write(const SettingsStore &store) const
{
    const bool a = writeSetting(store, Setting::NetworkInterface, interfaceName.trimmed());
    const bool b = writeSetting(store, Setting::NetworkAddresses, addressLines);
    return a && b;
}

void NetworkOptions::ApplyTo(UdpTransport &transport) const
{
    transport.setExtraAddresses(ParseExtraAddresses(addressLines).addresses);
    transport.setNetworkChoice(interfaceName.trimmed());
}

NetworkDiagnosis Diagnose(const UdpTransport &transport, qint64 ownPid)
{
    NetworkDiagnosis d;
    d.port = transport.config().port;
    d.bound = transport.isOpen();
    d.loopback = transport.config().loopback;
    for (const PortHolder &holder : FindUdpPortHolders(d.port)) {
        if (holder.pid != ownPid)
            d.otherHolders.append(holder);
    }
    d.interfaces = ListNetInterfaces();
    d.defaultRoutes = DefaultRouteInterfaces(d.interfaces);
    d.choice = transport.choice();
    d.destinations = transport.Destinations();
    if (const NetInterface *chosen = findInterface(d, d.choice.interfaceName)) {
        for (const NetInterface::Address &entry : chosen->addresses) {
            if (entry.ip.toString() == d.choice.ip && entry.prefixLength >= 0 && entry.prefixLength != 24 &&
                !entry.broadcast.isNull())
                d.netmaskBroadcast = entry.broadcast.toString();
        }
    }
    return d;
}

QStringList DescribePort(const NetworkDiagnosis &d)
{
    QStringList lines;
    const QString port = QString::number(d.port);
    lines.append(
        d.bound ? format("PortBound", "Receive port: UDP %s, open.", {port})
                : format("PortNotBound", "Receive port: UDP %s, NOT open: nothing can be received.", {port}));
    if (!d.otherHolders.isEmpty()) {
        QStringList names;
        for (const PortHolder &holder : d.otherHolders)
            names.append(QStringLiteral("%1 (%2)")
                             .arg(holder.name.isEmpty() ? QStringLiteral("?") : holder.name)
                             .arg(holder.pid));
        lines.append(format("PortHolders", "Also held by: %s", {names.join(QStringLiteral(", "))}));
    } else if (!d.bound) {
        lines.append(
            text("PortHolderUnknown",
                 "No other program of yours holds it; a firewall or security program may forbid it."));
    }
    return lines;
}

QStringList DescribeChoice(const NetworkDiagnosis &d)
{
    QStringList lines;
    if (d.loopback) {
        lines.append(text("Loopback",
                          "Started with --loopback: address 127.0.0.1, broadcast 127.255.255.255; "
                          "nothing leaves this computer."));
        return lines;
    }
    if (d.choice.userChoiceMissing)
        lines.append(
            text("ChoiceMissing", "The chosen interface is not available; the automatic choice stands."));
    if (d.choice.how == NetChoice::How::None) {
        lines.append(text("NoInterface", "No network interface with an IPv4 address: nothing can be sent."));
        return lines;
    }
    QString how;
    switch (d.choice.how) {
    case NetChoice::How::UserChoice:
        how = text("HowUser", "chosen by you");
        break;
    case NetChoice::How::DefaultRoute:
        how = text("HowDefaultRoute", "holds the default route");
        break;
    case NetChoice::How::FirstUsable:
        how = text("HowFirstUsable", "no usable interface holds a default route; the first usable one");
        break;
    default:
        how = text("HowLastResort", "nothing usable; the last address of an interface that is up");
        break;
    }
    lines.append(format("Interface", "Interface: %s (%s)", {d.choice.interfaceName, how}));
    lines.append(format("Address", "Address: %s", {d.choice.ip}));
    lines.append(format("Broadcast", "Broadcast address: %s", {d.choice.broadcast}));
    if (!d.netmaskBroadcast.isEmpty())
        lines.append(format("NetmaskBroadcast",
                            "The netmask of this network is not /24: computers beyond %s are reached only if "
                            "you add %s below.",
                            {d.choice.broadcast, d.netmaskBroadcast}));
    QStringList further;
    for (qsizetype i = 1; i < d.destinations.size(); ++i)
        further.append(d.destinations.at(i).toString());
    if (!further.isEmpty())
        lines.append(format("Further", "Also sent to: %s", {further.join(QStringLiteral(", "))}));
    return lines;
}

QString DescribeSkip(InterfaceSkip skip)
{
    switch (skip) {
    case InterfaceSkip::Down:
        return text("SkipDown", "down");
    case InterfaceSkip::Loopback:
        return text("SkipLoopback", "loopback");
    case InterfaceSkip::NoAddress:
        return text("SkipNoAddress", "no IPv4 address, or only a link-local one");
    case InterfaceSkip::Virtual:
        return text("SkipVirtual", "container, virtual machine or VPN");
    case InterfaceSkip::None:
        break;
    }
    return text("SkipNone", "usable");
}

QString DescribeInterface(const NetInterface &iface)
{
    const QString addresses = addressesOf(iface);
    const QString name = iface.displayName.isEmpty() || iface.displayName == iface.name
                             ? iface.name
                             : iface.name + QStringLiteral(" \"") + iface.displayName + u'"';
    return addresses.isEmpty() ? name : name + QStringLiteral(": ") + addresses;
}

QStringList DescribeOtherInterfaces(const NetworkDiagnosis &d)
{
    QStringList lines;
    for (const NetInterface &iface : d.interfaces) {
        if (!d.loopback && iface.name == d.choice.interfaceName)
            continue;
        QString line = DescribeInterface(iface) + QStringLiteral(" (") + DescribeSkip(WhySkipped(iface));
        if (d.defaultRoutes.contains(iface.name))
            line += QStringLiteral(", ") + text("DefaultRoute", "default route");
        lines.append(line + u')');
    }
    return lines;
}

QStringList DescribeTraffic(const NetworkDiagnosis &d)
{
    return {format("Traffic", "Datagrams in the last minute: %s received, %s sent.",
                   {number(d.receivedLastMinute), number(d.sentLastMinute)}),
            format("Peers", "Users online: %s; seen since the start: %s.",
                   {QString::number(d.peersOnline), QString::number(d.peersSeen)}),
            format("Hosts", "Computers asked for an echo every period: %s; silent ones still asked: %s.",
                   {QString::number(d.hostsAsked), QString::number(d.hostsSilent)})};
}

QStringList DescribeProblems(const ExtraAddressLines &lines)
{
    QStringList result;
    for (const ExtraAddressLines::LineProblem &p : lines.problems) {
        const QString line = QString::number(p.line);
        switch (p.problem) {
        case ExtraAddressLines::Problem::NotAnAddress:
            result.append(format("LineNotAddress",
                                 "Line %s: \"%s\" is not an IPv4 address such as 192.168.2.255.",
                                 {line, p.text}));
            break;
        case ExtraAddressLines::Problem::NotUsable:
            result.append(format("LineNotUsable", "Line %s: %s cannot be used (no computer answers there).",
                                 {line, p.text}));
            break;
        case ExtraAddressLines::Problem::TooMany:
            result.append(format("LineTooMany", "Line %s: more than %s addresses.",
                                 {line, QString::number(ExtraAddressLines::MaxAddresses)}));
            break;
        }
    }
    return result;
}

QString DescribeTestResult(int hosts)
{
    return format("TestResult", "Computers that echoed within one second: %s (this one included).",
                  {QString::number(hosts)});
}
