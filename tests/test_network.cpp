// The address choice, the further addresses, the probing of vanished peers with a fake clock, the
// traffic counts, the transport's new paths on loopback, and the "Network..." window.

#include "PeerHarness.h"
#include "app/ui/MainMenus.h"
#include "app/ui/MainNetwork.h"
#include "features/ui/MessageBox.h"
#include "features/ui/ShellOpen.h"
#include "net/ExtraAddresses.h"
#include "net/IPUn.h"
#include "net/NetInterfaces.h"
#include "net/NetworkOptions.h"
#include "net/PortHolders.h"
#include "net/TrafficCounter.h"
#include "net/ui/fmNetworkUn.h"
#include "peers/PresenceProbe.h"
#include "protocol/ConstUnit.h"
#include "settings/iniFileUn.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <map>

namespace {

NetInterface iface(const QString &name, const QStringList &addresses, bool up = true, bool loopback = false)
{
    NetInterface i;
    i.name = name;
    i.displayName = name;
    i.up = up;
    i.loopback = loopback;
    for (const QString &a : addresses) {
        const QStringList parts = a.split(u'/');
        i.addresses.append({QHostAddress(parts.first()), parts.size() > 1 ? parts.at(1).toInt() : 24, {}});
    }
    return i;
}

quint16 freePort()
{
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0, QUdpSocket::DontShareAddress);
    return s.localPort();
}

TransportConfig loopbackOn(quint16 port)
{
    TransportConfig c;
    c.loopback = true;
    c.port = port;
    return c;
}

} // namespace

class TestNetwork : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void defaultRoutes();
    void virtualNames_data();
    void virtualNames();
    void choice_data();
    void choice();
    void decoyThatSortsLastIsNotTaken();
    void extraAddresses_data();
    void extraAddresses();
    void portInodes();
    void storedLayout();

    void trafficOfTheLastMinute();

    void furtherAddressesGetEachPacketOnce();
    void echoesAreCountedNeverDispatched();
    void presenceSourceIsReported();
    void loopbackKeepsEverythingOnThisMachine();

    void vanishedPeerIsHandledAsDisconnect();
    void vanishWaitsForModalWindow();
    void networkWindowDrivenByKeys();
    void portErrorOffersTheWindow();
    void helpHasTheTopic();
};

void TestNetwork::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    ShellOpen::setRecording(true);
}

void TestNetwork::init()
{
    MessageBox::clearShownTexts();
    MessageBox::setNextChoice(-1);
}

void TestNetwork::defaultRoutes()
{
    const QByteArray table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "eth0\t00000000\t010010AC\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "tun0\t00000000\t00000000\t0000\t0\t0\t0\t00000000\t0\t0\t0\n"
        "tun1\t00000000\t00000000\t0001\t0\t0\t50\t00000080\t0\t0\t0\n"
        "eth0\t00000000\t020010AC\t0003\t0\t0\t700\t00000000\t0\t0\t0\n"
        "garbage line\n";
    // Lowest metric first; a route that is not up and a half-default (mask /1) are no default routes.
    QCOMPARE(ParseDefaultRoutes(table), QStringList({"eth0", "wlan0"}));
    QCOMPARE(ParseDefaultRoutes("Iface\tDestination\n"), QStringList());
    QCOMPARE(ParseDefaultRoutes(""), QStringList());
}

void TestNetwork::virtualNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isVirtual");
    for (const char *name : {"docker0", "br-1a2b3c", "veth12ab", "virbr0", "tun0", "tap3", "wg0", "vboxnet0",
                             "vmnet8", "lxcbr0", "cni0", "tailscale0", "vEthernet (WSL)"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    for (const char *name : {"eth0", "enp3s0", "wlan0", "wlp2s0", "br0", "bond0", "Ethernet", "Wi-Fi"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
}

void TestNetwork::virtualNames()
{
    QFETCH(QString, name);
    QFETCH(bool, isVirtual);
    QCOMPARE(IsVirtualInterfaceName(name), isVirtual);
    QCOMPARE(WhySkipped(iface(name, {"192.168.7.3"})) == InterfaceSkip::Virtual, isVirtual);
}

void TestNetwork::choice_data()
{
    QTest::addColumn<QList<NetInterface>>("interfaces");
    QTest::addColumn<QStringList>("routes");
    QTest::addColumn<QString>("userChoice");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("missing");
    using How = NetChoice::How;
    const NetInterface lo = iface("lo", {"127.0.0.1/8"}, true, true);
    const NetInterface eth0 = iface("eth0", {"192.168.1.5"});
    const NetInterface wlan0 = iface("wlan0", {"10.20.30.40/16"});
    const NetInterface docker0 = iface("docker0", {"172.17.0.1/16"});
    const NetInterface tun0 = iface("tun0", {"10.8.0.6"});

    QTest::newRow("default route wins over the order")
        << QList{lo, wlan0, eth0, docker0} << QStringList{"eth0"} << ""
        << "eth0"
        << "192.168.1.5" << int(How::DefaultRoute) << false;
    QTest::newRow("vpn holding the default route is passed over")
        << QList{lo, eth0, tun0} << QStringList{"tun0", "eth0"} << ""
        << "eth0"
        << "192.168.1.5" << int(How::DefaultRoute) << false;
    QTest::newRow("only a vpn route: first usable") << QList{lo, tun0, wlan0} << QStringList{"tun0"} << ""
                                                    << "wlan0"
                                                    << "10.20.30.40" << int(How::FirstUsable) << false;
    QTest::newRow("no default route: first usable") << QList{lo, docker0, wlan0, eth0} << QStringList{} << ""
                                                    << "wlan0"
                                                    << "10.20.30.40" << int(How::FirstUsable) << false;
    QTest::newRow("route on a card that is down")
        << QList{lo, iface("eth0", {"192.168.1.5"}, false), wlan0} << QStringList{"eth0"} << ""
        << "wlan0"
        << "10.20.30.40" << int(How::FirstUsable) << false;
    QTest::newRow("link-local only is passed over")
        << QList{lo, iface("eth0", {"169.254.3.4"}), wlan0} << QStringList{"eth0"} << ""
        << "wlan0"
        << "10.20.30.40" << int(How::FirstUsable) << false;
    QTest::newRow("link-local before the real address")
        << QList{lo, iface("eth0", {"169.254.3.4", "192.168.1.5"})} << QStringList{"eth0"} << ""
        << "eth0"
        << "192.168.1.5" << int(How::DefaultRoute) << false;
    QTest::newRow("user chooses a bridge") << QList{lo, eth0, docker0} << QStringList{"eth0"} << "docker0"
                                           << "docker0"
                                           << "172.17.0.1" << int(How::UserChoice) << false;
    QTest::newRow("user chooses loopback") << QList{lo, eth0} << QStringList{"eth0"} << "lo"
                                           << "lo"
                                           << "127.0.0.1" << int(How::UserChoice) << false;
    QTest::newRow("user's card is gone") << QList{lo, eth0} << QStringList{"eth0"} << "eth9"
                                         << "eth0"
                                         << "192.168.1.5" << int(How::DefaultRoute) << true;
    QTest::newRow("user's card is down")
        << QList{lo, iface("eth1", {"10.1.1.1"}, false), eth0} << QStringList{"eth0"} << "eth1"
        << "eth0"
        << "192.168.1.5" << int(How::DefaultRoute) << true;
    QTest::newRow("nothing usable: as before")
        << QList{lo, docker0, iface("virbr0", {"192.168.122.1"})} << QStringList{} << ""
        << "virbr0"
        << "192.168.122.1" << int(How::LastResort) << false;
    QTest::newRow("nothing at all") << QList{lo} << QStringList{} << ""
                                    << ""
                                    << "" << int(How::None) << false;
}

void TestNetwork::choice()
{
    QFETCH(QList<NetInterface>, interfaces);
    QFETCH(QStringList, routes);
    QFETCH(QString, userChoice);
    QFETCH(QString, name);
    QFETCH(QString, ip);
    QFETCH(int, how);
    QFETCH(bool, missing);
    const NetChoice choice = ChooseNetInterface(interfaces, routes, userChoice);
    QCOMPARE(choice.interfaceName, name);
    QCOMPARE(choice.ip, ip);
    QCOMPARE(int(choice.how), how);
    QCOMPARE(choice.userChoiceMissing, missing);
    // Whatever the netmask, the /24 broadcast address of the design.
    QCOMPARE(choice.broadcast, GetBroadcastAddress(ip));
}

void TestNetwork::decoyThatSortsLastIsNotTaken()
{
    const QList<NetInterface> interfaces = {iface("lo", {"127.0.0.1/8"}, true, true),
                                            iface("eth0", {"10.5.1.7"}), iface("zzdecoy", {"10.77.9.9"})};
    QList<InterfaceAddress> flat;
    for (const NetInterface &i : interfaces)
        for (const NetInterface::Address &a : i.addresses)
            flat.append({a.ip, i.loopback, i.up});
    // The old rule took the last address: the decoy.
    QCOMPARE(PickLocalIP(flat), QStringLiteral("10.77.9.9"));
    const NetChoice choice = ChooseNetInterface(interfaces, {"eth0"}, QString());
    QCOMPARE(choice.ip, QStringLiteral("10.5.1.7"));
    QCOMPARE(choice.broadcast, QStringLiteral("10.5.1.255"));
}

void TestNetwork::extraAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("problems");
    QTest::newRow("empty") << "" << QStringList{} << QStringList{};
    QTest::newRow("broadcast and host") << "192.168.2.255\n10.1.7.23\n"
                                        << QStringList{"192.168.2.255", "10.1.7.23"} << QStringList{};
    QTest::newRow("blanks, comments, windows line ends")
        << "  10.0.0.1  \r\n\r\n# office upstairs\r\n\t172.16.4.255"
        << QStringList{"10.0.0.1", "172.16.4.255"} << QStringList{};
    QTest::newRow("twice counts once")
        << "10.0.0.1\n10.0.0.1\n010.0.0.1" << QStringList{"10.0.0.1"} << QStringList{};
    QTest::newRow("limited broadcast")
        << "255.255.255.255" << QStringList{"255.255.255.255"} << QStringList{};
    QTest::newRow("not addresses")
        << "10.0.0\nhost.example\n10.0.0.256\n10.0.0.1/24\n1.2.3.4.5\n10.0.0.-1\n 1 .2.3.4" << QStringList{}
        << QStringList{"1 A", "2 A", "3 A", "4 A", "5 A", "6 A", "7 A"};
    QTest::newRow("not usable") << "0.0.0.0\n224.0.0.1\n239.255.255.250\n240.0.0.1\n10.0.0.2"
                                << QStringList{"10.0.0.2"} << QStringList{"1 U", "2 U", "3 U", "4 U"};
    QString many;
    QStringList expected;
    for (int i = 1; i <= ExtraAddressLines::MaxAddresses + 2; ++i) {
        many += QStringLiteral("10.9.0.%1\n").arg(i);
        if (i <= ExtraAddressLines::MaxAddresses)
            expected.append(QStringLiteral("10.9.0.%1").arg(i));
    }
    QTest::newRow("too many") << many << expected
                              << QStringList{QStringLiteral("%1 T").arg(ExtraAddressLines::MaxAddresses + 1),
                                             QStringLiteral("%1 T").arg(ExtraAddressLines::MaxAddresses + 2)};
}

void TestNetwork::extraAddresses()
{
    QFETCH(QString, text);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, problems);
    const ExtraAddressLines lines = ParseExtraAddresses(text);
    QStringList got;
    for (const QHostAddress &a : lines.addresses)
        got.append(a.toString());
    QCOMPARE(got, addresses);
    QStringList gotProblems;
    for (const ExtraAddressLines::LineProblem &p : lines.problems) {
        const char kind = p.problem == ExtraAddressLines::Problem::NotAnAddress ? 'A'
                          : p.problem == ExtraAddressLines::Problem::NotUsable  ? 'U'
                                                                                : 'T';
        gotProblems.append(QStringLiteral("%1 %2").arg(p.line).arg(QLatin1Char(kind)));
    }
    QCOMPARE(gotProblems, problems);
    QCOMPARE(lines.isValid(), problems.isEmpty());
    QCOMPARE(DescribeProblems(lines).size(), problems.size());
}

void TestNetwork::portInodes()
{
    const QByteArray table =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode "
        "ref "
        "pointer drops\n"
        "  123: 00000000:D61C 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 40411 2 "
        "0000000000000000 0\n"
        "  124: 0100007F:D61C 00000000:0000 07 00000000:00000000 00:00000000 00000000  1000        0 40412 2 "
        "0000000000000000 0\n"
        "  125: 00000000:D61D 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 40413 2 "
        "0000000000000000 0\n"
        "  126: 00000000:D61C 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 40411 2 "
        "0000000000000000 0\n";
    QCOMPARE(ParseUdpPortInodes(table, 54812), QList<quint64>({40411, 40412}));
    QCOMPARE(ParseUdpPortInodes(table, 54813), QList<quint64>({40413}));
    const QByteArray v6 =
        "  sl  local_address                         remote_address                        st "
        "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
        "  9: 00000000000000000000000000000000:D61C 00000000000000000000000000000000:0000 07 "
        "00000000:00000000 00:00000000 00000000     0        0 777 2 0000000000000000 0\n";
    QCOMPARE(ParseUdpPortInodes(v6, 54812), QList<quint64>({777}));

    // A socket of this process on a free port is found, and named.
    QUdpSocket held;
    QVERIFY(held.bind(QHostAddress::LocalHost, 0, QUdpSocket::DontShareAddress));
    const QList<PortHolder> holders = FindUdpPortHolders(held.localPort());
    if (QFile::exists(QStringLiteral("/proc/net/udp"))) {
        QCOMPARE(holders.size(), 1);
        QCOMPARE(holders.first().pid, QCoreApplication::applicationPid());
        QVERIFY(!holders.first().name.isEmpty());
    }
}

void TestNetwork::storedLayout()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("settings.ini");
    const SettingsStore store(file);
    const NetworkOptions empty = NetworkOptions::Read(store);
    QVERIFY(empty.interfaceName.isEmpty());
    QVERIFY(empty.addressLines.isEmpty());
    const NetworkOptions options{QStringLiteral("eth1"), QStringLiteral("127.0.0.7\n10.1.2.255\nbad")};
    QVERIFY(options.Write(store));
    QSettings raw(file, QSettings::IniFormat);
    QCOMPARE(raw.value("Network/Interface").toString(), QStringLiteral("eth1"));
    QCOMPARE(raw.value("Network/Addresses").toString(), QStringLiteral("127.0.0.7\n10.1.2.255\nbad"));
    QCOMPARE(NetworkOptions::Read(store), options);

    // Applied in loopback mode: the valid loopback address only, and no interface lookup.
    UdpTransport transport(loopbackOn(freePort()));
    options.ApplyTo(transport);
    QCOMPARE(transport.networkChoice(), QStringLiteral("eth1"));
    QCOMPARE(transport.LocalIP(), QStringLiteral("127.0.0.1"));
    QVERIFY(transport.SetTransportOpen(true));
    QCOMPARE(transport.Destinations(),
             QList<QHostAddress>({QHostAddress("127.255.255.255"), QHostAddress("127.0.0.7")}));
}

void TestNetwork::trafficOfTheLastMinute()
{
    TrafficCounter counter;
    QCOMPARE(counter.receivedLastMinute(), 0u);
    counter.sample(0, 0, 0);
    // 10 received and 2 sent a second, sampled four times a second.
    quint64 received = 0;
    quint64 sent = 0;
    for (qint64 t = 250; t <= 30000; t += 250) {
        received += 10 / 4 + (t % 1000 == 0 ? 10 % 4 : 0);
        sent += t % 500 == 0 ? 1 : 0;
        counter.sample(t, received, sent);
    }
    QCOMPARE(counter.receivedLastMinute(), 300u);
    QCOMPARE(counter.sentLastMinute(), 60u);
    for (qint64 t = 30250; t <= 180000; t += 250) {
        received += 10 / 4 + (t % 1000 == 0 ? 10 % 4 : 0);
        sent += t % 500 == 0 ? 1 : 0;
        counter.sample(t, received, sent);
    }
    QVERIFY(counter.receivedLastMinute() >= 600 && counter.receivedLastMinute() <= 610);
    QVERIFY(counter.sentLastMinute() >= 120 && counter.sentLastMinute() <= 122);
    QVERIFY(counter.historySize() <= 62);
    // Quiet for a minute: nothing.
    counter.sample(245000, received, sent);
    QCOMPARE(counter.receivedLastMinute(), 0u);
}

void TestNetwork::furtherAddressesGetEachPacketOnce()
{
    const quint16 port = freePort();
    UdpTransport transport(loopbackOn(port));
    transport.setExtraAddresses({QHostAddress("127.0.0.2"), QHostAddress("127.255.255.255"),
                                 QHostAddress("10.1.1.1"), QHostAddress("127.0.0.2")});
    QVERIFY(transport.SetTransportOpen(true));
    QCOMPARE(transport.Destinations(),
             QList<QHostAddress>({QHostAddress("127.255.255.255"), QHostAddress("127.0.0.2")}));
    // A host of its own: bound to that address, it hears the unicast but not the broadcast.
    QUdpSocket far;
    QVERIFY(
        far.bind(QHostAddress("127.0.0.2"), port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QSignalSpy local(&transport, &PacketTransport::packetReceived);
    const quint64 sentBefore = transport.datagramsSent();
    const QByteArray packet("MESSAGE!^:^$<MESSAGESTR>to both</MESSAGESTR>");
    QVERIFY(transport.SendPacket(packet));
    QCOMPARE(transport.datagramsSent(), sentBefore + 2);
    QTRY_VERIFY_WITH_TIMEOUT(far.hasPendingDatagrams(), 3000);
    QCOMPARE(far.receiveDatagram().data(), packet);
    QTRY_COMPARE_WITH_TIMEOUT(local.size(), 1, 3000);
    QTest::qWait(150);
    QVERIFY(!far.hasPendingDatagrams());
    QCOMPARE(local.size(), 1);
    QVERIFY(!transport.SendPacket(QByteArray(MaxDatagramSize + 1, 'x')));
    // Both datagrams, and the receiving socket's echo of its own broadcast to the sending one.
    QCOMPARE(transport.datagramsSent(), sentBefore + 3);
}

void TestNetwork::echoesAreCountedNeverDispatched()
{
    const quint16 port = freePort();
    UdpTransport transport(loopbackOn(port));
    QVERIFY(transport.SetTransportOpen(true));
    QSignalSpy echoes(&transport, &UdpTransport::echoReceived);
    QSignalSpy packets(&transport, &PacketTransport::packetReceived);
    // A probe to this host comes back to the sending socket, from the receiving one.
    QVERIFY(transport.SendTo(QHostAddress("127.0.0.1"), "PXPROBE 1"));
    QTRY_COMPARE_WITH_TIMEOUT(echoes.size(), 1, 3000);
    QCOMPARE(echoes.first().at(0).value<QHostAddress>(), QHostAddress("127.0.0.1"));
    QCOMPARE(echoes.first().at(1).toByteArray(), QByteArray("PXPROBE 1"));
    QCOMPARE(packets.size(), 1);
    // A packet that reaches the sending socket is only counted.
    QUdpSocket raw;
    QVERIFY(raw.bind(QHostAddress::LocalHost, 0));
    const quint64 receivedBefore = transport.datagramsReceived();
    raw.writeDatagram("NEW!^:^$<ID>{SNEAKY}</ID>", QHostAddress::LocalHost, transport.SenderPort());
    QTRY_COMPARE_WITH_TIMEOUT(echoes.size(), 2, 3000);
    QTest::qWait(100);
    QCOMPARE(packets.size(), 1);
    QCOMPARE(transport.datagramsReceived(), receivedBefore + 1);
    // Nothing is echoed from the sending socket.
    QVERIFY(!raw.hasPendingDatagrams());
}

void TestNetwork::presenceSourceIsReported()
{
    const quint16 port = freePort();
    UdpTransport transport(loopbackOn(port));
    QVERIFY(transport.SetTransportOpen(true));
    QSignalSpy sources(&transport, &UdpTransport::presenceSource);
    QUdpSocket raw;
    QVERIFY(raw.bind(QHostAddress("127.0.0.5"), 0));
    raw.writeDatagram("MESSAGE!^:^$<ID>{M}</ID>", QHostAddress("127.255.255.255"), port);
    raw.writeDatagram("UPDATEINFO!^:^$<ID>{U}</ID>", QHostAddress("127.255.255.255"), port);
    raw.writeDatagram("NEW!^:^$<ID>{N}</ID>", QHostAddress("127.255.255.255"), port);
    QTRY_COMPARE_WITH_TIMEOUT(sources.size(), 2, 3000);
    QCOMPARE(sources.at(0).at(0).toString(), QStringLiteral("{U}"));
    QCOMPARE(sources.at(1).at(0).toString(), QStringLiteral("{N}"));
    QCOMPARE(sources.at(1).at(1).value<QHostAddress>(), QHostAddress("127.0.0.5"));
}

void TestNetwork::loopbackKeepsEverythingOnThisMachine()
{
    UdpTransport transport(loopbackOn(freePort()));
    transport.setNetworkChoice(QStringLiteral("eth0"));
    transport.setExtraAddresses({QHostAddress("10.1.2.255"), QHostAddress("192.168.1.7")});
    QVERIFY(transport.SetTransportOpen(true));
    QCOMPARE(transport.LocalIP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(transport.BroadcastAddress(), QStringLiteral("127.255.255.255"));
    QCOMPARE(transport.Destinations(), QList<QHostAddress>({QHostAddress("127.255.255.255")}));
    const quint64 sent = transport.datagramsSent();
    QVERIFY(!transport.SendTo(QHostAddress("10.1.2.3"), "PXPROBE 1"));
    QVERIFY(!transport.SendTo(QHostAddress("::1"), "PXPROBE 1"));
    QCOMPARE(transport.datagramsSent(), sent);
}

void TestNetwork::vanishedPeerIsHandledAsDisconnect()
{
    TestPeer anna("Anna");
    TestPeer bob("Bob");
    anna.start();
    bob.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1 && bob.onlineCount() == 1; }));
    // The answers of the greeting exchange are all handled.
    QTest::qWait(300);
    const QString bobId = bob.id();
    PresenceProbe *probe = anna.mainWindow()->chat()->probe();
    Q_EMIT probe->peerVanished(QStringLiteral("{NOBODY}"));
    Q_EMIT probe->peerVanished(anna.id());
    QTest::qWait(100);
    QCOMPARE(anna.onlineCount(), 1);
    Q_EMIT probe->peerVanished(bobId);
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }));
    QCOMPARE(anna.nodeTexts(), QStringList());
    const QString allUsers =
        withoutIsolates(anna.mainWindow()->findChild<QTextEdit *>("reAllMessage")->toPlainText());
    QVERIFY2(allUsers.contains(QStringLiteral("User \"Bob\" is disconnect...")), qPrintable(allUsers));
    // Its next UPDATEINFO brings it back, as a new entry.
    bob.registry()->SendPresence(false);
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    QVERIFY(waitUntil([&] { return !anna.nodeTexts().isEmpty(); }));
    QCOMPARE(anna.nodeTexts(), QStringList{"Bob"});
    QCOMPARE(anna.registry()->peers().count(), 3);
    anna.close();
    bob.close();
}

void TestNetwork::vanishWaitsForModalWindow()
{
    TestPeer anna("Anna");
    TestPeer bob("Bob");
    anna.start();
    bob.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1 && bob.onlineCount() == 1; }));
    QTest::qWait(300);
    PresenceProbe *probe = anna.mainWindow()->network()->probe();
    int onlineWhileOpen = -1;
    {
        QDialog modal(anna.mainWindow());
        QTimer::singleShot(0, &modal, [&] {
            Q_EMIT probe->peerVanished(bob.id());
            QTest::qWait(200);
            onlineWhileOpen = anna.onlineCount();
            QTest::keyClick(&modal, Qt::Key_Escape);
        });
        modal.exec();
    }
    QCOMPARE(onlineWhileOpen, 1);
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }, 2000));
    anna.close();
    bob.close();
}

void TestNetwork::networkWindowDrivenByKeys()
{
    TestPeer anna("Anna");
    anna.start();
    QDir(anna.dataDir()).mkpath("help");
    QFile help(anna.dataDir() + "/help/PerixChat.html");
    QVERIFY(help.open(QIODevice::WriteOnly));
    help.write("<html></html>");
    help.close();
    MainNetwork *network = anna.mainWindow()->network();
    // Under Options, right after the history.
    const QList<QAction *> options = anna.mainWindow()->menus()->menu("tbOptions")->actions();
    const qsizetype at = options.indexOf(network->actNetwork());
    QVERIFY(at > 0);
    QCOMPARE(options.at(at - 1)->objectName(), QStringLiteral("actShowHistoryMessage"));
    QCOMPARE(network->actNetwork()->text(), QStringLiteral("Network..."));

    QStringList seen;
    bool firstOkKeptOpen = false;
    QString testResult;
    ShellOpen::clearOpened();
    QTimer::singleShot(100, anna.mainWindow(), [&] {
        auto *window = qobject_cast<TfmNetwork *>(QApplication::activeModalWidget());
        QVERIFY(window);
        for (const char *name : {"lbPort", "lbChoice", "lbInterfaces", "lbTraffic"})
            seen.append(window->findChild<QLabel *>(QLatin1StringView(name))->text());
        auto *addresses = window->findChild<QPlainTextEdit *>("mmAddresses");
        addresses->setFocus();
        QTest::keyClicks(addresses, "127.0.0.9");
        QTest::keyClick(addresses, Qt::Key_Return);
        QTest::keyClicks(addresses, "127.0.0.300");
        auto *problems = window->findChild<QLabel *>("lbProblems");
        QVERIFY(problems->text().contains(QStringLiteral("Line 2")));
        auto *ok = window->findChild<QPushButton *>("btnOK");
        QTest::keyClick(ok, Qt::Key_Space);
        firstOkKeptOpen = QApplication::activeModalWidget() == window && addresses->hasFocus();
        QTest::keyClick(addresses, Qt::Key_Backspace);
        QTest::keyClick(addresses, Qt::Key_Backspace);
        QTest::keyClick(addresses, Qt::Key_Backspace);
        QTest::keyClicks(addresses, "8");
        QVERIFY(problems->text().isEmpty());
        auto *test = window->findChild<QPushButton *>("btnTest");
        QTest::keyClick(test, Qt::Key_Space);
        QVERIFY(!test->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(test->isEnabled(), 3000);
        testResult = window->findChild<QLabel *>("lbTestResult")->text();
        QTest::keyClick(window->findChild<QPushButton *>("btnHelp"), Qt::Key_Space);
        QTest::keyClick(ok, Qt::Key_Space);
    });
    network->actNetwork()->trigger();
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(seen.size(), 4);
    QVERIFY2(seen.at(0).contains(QStringLiteral("UDP 54812, open")), qPrintable(seen.at(0)));
    QVERIFY2(seen.at(1).contains(QStringLiteral("--loopback")), qPrintable(seen.at(1)));
    QVERIFY2(seen.at(3).contains(QStringLiteral("Users online: 0")), qPrintable(seen.at(3)));
    QVERIFY(firstOkKeptOpen);
    // This host echoed its own test probe.
    QVERIFY2(testResult.contains(QStringLiteral("within one second: 1 (this one included)")), qPrintable(testResult));
    QCOMPARE(ShellOpen::opened().size(), 1);
    QVERIFY(ShellOpen::opened().first().endsWith(QStringLiteral("#topic-9800")));
    QCOMPARE(readSetting(anna.store(), Setting::NetworkAddresses), QStringLiteral("127.0.0.9\n127.0.0.8"));
    QCOMPARE(anna.mainWindow()->transport()->Destinations(),
             QList<QHostAddress>(
                 {QHostAddress("127.255.255.255"), QHostAddress("127.0.0.9"), QHostAddress("127.0.0.8")}));

    // Escape leaves everything as it was.
    QTimer::singleShot(100, anna.mainWindow(), [&] {
        auto *window = qobject_cast<TfmNetwork *>(QApplication::activeModalWidget());
        QVERIFY(window);
        auto *addresses = window->findChild<QPlainTextEdit *>("mmAddresses");
        QCOMPARE(addresses->toPlainText(), QStringLiteral("127.0.0.9\n127.0.0.8"));
        addresses->setFocus();
        QTest::keyClick(addresses, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(addresses, Qt::Key_Return);
        QTest::keyClicks(addresses, "127.0.0.40");
        QTest::keyClick(window, Qt::Key_Escape);
    });
    network->actNetwork()->trigger();
    QCOMPARE(readSetting(anna.store(), Setting::NetworkAddresses), QStringLiteral("127.0.0.9\n127.0.0.8"));
    anna.close();
}

void TestNetwork::portErrorOffersTheWindow()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    QTemporaryDir dir;
    StartOptions options;
    options.loopback = true;
    options.settingsFile = dir.filePath("settings.ini");
    options.dataDir = dir.path();
    AppContext context = AppContext::fromOptions(options);
    context.transport.port = holder.localPort();
    MessageBox::setNextChoice(1);
    QString portLine;
    UdpTransport transport(context.transport);
    ChatCore chat(context, transport, nullptr);
    TPerixChatForm form(context, chat, transport);
    MessageBox::setNextChoice(-1);
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    QVERIFY(MessageBox::shownTexts().first().startsWith(ConstUnit::text(ConstUnit::Text::ErrorPortAbort)));
    QVERIFY(!form.transport()->isOpen());
    QTimer::singleShot(100, &form, [&] {
        auto *window = qobject_cast<TfmNetwork *>(QApplication::activeModalWidget());
        QVERIFY(window);
        portLine = window->findChild<QLabel *>("lbPort")->text();
        QTest::keyClick(window, Qt::Key_Escape);
    });
    // The window opens once the event loop runs, not inside the start-up.
    QVERIFY(waitUntil([&] { return !portLine.isEmpty(); }, 3000));
    QVERIFY2(portLine.contains(QStringLiteral("UDP %1, NOT open").arg(holder.localPort())),
             qPrintable(portLine));
    // Answered with OK, the box opens nothing.
    MessageBox::setNextChoice(0);
    QTemporaryDir second;
    options.settingsFile = second.filePath("settings.ini");
    options.dataDir = second.path();
    AppContext again = AppContext::fromOptions(options);
    again.transport.port = holder.localPort();
    UdpTransport quietTransport(again.transport);
    ChatCore quietChat(again, quietTransport, nullptr);
    TPerixChatForm quiet(again, quietChat, quietTransport);
    MessageBox::setNextChoice(-1);
    QTest::qWait(200);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestNetwork::helpHasTheTopic()
{
    QFile help(QStringLiteral(PERIX_SOURCE_DIR "/assets/help/PerixChat.html"));
    QVERIFY(help.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(help.readAll());
    QVERIFY(html.contains(QStringLiteral("<a href=\"#topic-9800\">Peers not visible?</a>")));
    const qsizetype topic = html.indexOf(QStringLiteral("id=\"topic-9800\""));
    QVERIFY(topic > 0);
    const QString body = html.mid(topic, html.indexOf(QStringLiteral("<h2"), topic + 10) - topic);
    for (const char *cause : {"54812", "firewall", "Network...", "subnet", "isolation"})
        QVERIFY2(body.contains(QLatin1StringView(cause), Qt::CaseInsensitive), cause);
}

QTEST_MAIN(TestNetwork)
#include "test_network.moc"
