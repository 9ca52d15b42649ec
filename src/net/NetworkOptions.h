#pragma once

#include "net/ExtraAddresses.h"
#include "net/NetInterfaces.h"
#include "net/PortHolders.h"

#include <QList>
#include <QString>
#include <QStringList>

class SettingsStore;
class UdpTransport;

// What the user chose in the "Network..." window, as the settings store keeps it.
struct NetworkOptions {
    // System name of the interface; empty for the automatic choice.
    QString interfaceName;
    // The further addresses as typed, one a line.
    QString addressLines;

    static NetworkOptions Read(const SettingsStore &store);
    bool Write(const SettingsStore &store) const;
    // The interface and the valid further addresses, into the transport at once.
    void ApplyTo(UdpTransport &transport) const;
    bool operator==(const NetworkOptions &) const = default;
};

// Everything the "Network..." window shows, gathered in one place.
struct NetworkDiagnosis {
    quint16 port = 0;
    bool bound = false;
    bool loopback = false;
    // Other processes holding the port, this one left out.
    QList<PortHolder> otherHolders;
    NetChoice choice;
    // The chosen interface's own broadcast address when its netmask is not /24 (then the /24 one that
    // packets go to misses part of the network); empty otherwise.
    QString netmaskBroadcast;
    QList<NetInterface> interfaces;
    QStringList defaultRoutes;
    QList<QHostAddress> destinations;
    quint64 receivedLastMinute = 0;
    quint64 sentLastMinute = 0;
    int peersOnline = 0;
    int peersSeen = 0;
    int hostsAsked = 0;
    int hostsSilent = 0;
};

// Reads the state of the transport and of the host; the counts are the caller's.
NetworkDiagnosis Diagnose(const UdpTransport &transport, qint64 ownPid);

// The diagnosis as lines of plain text, for the window and for a copy to the clipboard.
QStringList DescribePort(const NetworkDiagnosis &d);
QStringList DescribeChoice(const NetworkDiagnosis &d);
// One line per interface other than the chosen one, with why the automatic choice passed it over.
QStringList DescribeOtherInterfaces(const NetworkDiagnosis &d);
QStringList DescribeTraffic(const NetworkDiagnosis &d);
QString DescribeInterface(const NetInterface &iface);
QString DescribeSkip(InterfaceSkip skip);
// What is wrong with each line of the further addresses, one text per problem.
QStringList DescribeProblems(const ExtraAddressLines &lines);
QString DescribeTestResult(int hosts);
