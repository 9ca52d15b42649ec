#include "net/IPUn.h"
#include "net/PacketDispatcher.h"
#include "net/PacketQueue.h"
#include "net/UdpTransport.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <stdexcept>

namespace {

const QHostAddress LoopbackBroadcast(QStringLiteral("127.255.255.255"));

TransportConfig loopback()
{
    TransportConfig c;
    c.loopback = true;
    return c;
}

// Waits until the spy has seen a packet equal to the given one; all loops are bounded.
bool waitForPacket(QSignalSpy &spy, const QByteArray &packet, int timeoutMs = 3000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        for (const QList<QVariant> &args : std::as_const(spy)) {
            if (args.at(0).toByteArray() == packet)
                return true;
        }
        spy.wait(50);
    }
    return false;
}

bool spyHas(const QSignalSpy &spy, const QByteArray &packet)
{
    for (const QList<QVariant> &args : spy) {
        if (args.at(0).toByteArray() == packet)
            return true;
    }
    return false;
}

} // namespace

class TestTransport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void octets_data();
    void octets();
    void broadcastAddress_data();
    void broadcastAddress();
    void localIpIsLastNonLoopbackIPv4();

    void echoedToSourceBeforeDispatch_data();
    void echoedToSourceBeforeDispatch();
    void datagramSizeLimitOnReceive();
    void sendRefusesOversizedPacket();
    void peersHearEveryBroadcastTheirOwnIncluded();
    void noEchoToAnotherReceivingSocket();
    void closedTransportIgnoresDatagrams();
    void bindFailureIsReported();

    void dispatcherRoutesByKind();
    void queueSaysWhenEverythingWasHandled();
    void urgentPacketsGoFirstInTheirOwnOrder();
    void pendingInputIsReported();
    void peersAreReachedPastASystemProxy();
};

void TestTransport::octets_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("octet");
    QTest::newRow("first") << "192.168.5.17" << 1 << "192";
    QTest::newRow("second") << "192.168.5.17" << 2 << "168";
    QTest::newRow("third") << "192.168.5.17" << 3 << "5";
    QTest::newRow("beyond three stops at three") << "192.168.5.17" << 4 << "5";
    QTest::newRow("empty") << "" << 1 << "";
    QTest::newRow("no dots") << "localhost" << 1 << "";
}

void TestTransport::octets()
{
    QFETCH(QString, ip);
    QFETCH(int, n);
    QFETCH(QString, octet);
    QCOMPARE(GetIPOctet(ip, n), octet);
}

void TestTransport::broadcastAddress_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("broadcast");
    QTest::newRow("whatever the netmask") << "10.1.2.3"
                                          << "10.1.2.255";
    QTest::newRow("class c") << "192.168.5.17"
                             << "192.168.5.255";
    QTest::newRow("empty") << ""
                           << "";
}

void TestTransport::broadcastAddress()
{
    QFETCH(QString, ip);
    QFETCH(QString, broadcast);
    QCOMPARE(GetBroadcastAddress(ip), broadcast);
}

void TestTransport::localIpIsLastNonLoopbackIPv4()
{
    const QList<InterfaceAddress> list = {
        {QHostAddress("127.0.0.1"), true, true},    {QHostAddress("10.0.0.5"), false, true},
        {QHostAddress("fe80::1"), false, true},     {QHostAddress("192.168.1.9"), false, true},
        {QHostAddress("172.16.0.1"), false, false}, {QHostAddress("127.0.0.2"), true, true},
    };
    QCOMPARE(PickLocalIP(list), QStringLiteral("192.168.1.9"));
    QCOMPARE(PickLocalIP({{QHostAddress("127.0.0.1"), true, true}}), QString());
    QCOMPARE(PickLocalIP({}), QString());
    const QString real = GetLocalIP();
    QVERIFY(!real.startsWith(QStringLiteral("127.")));
}

void TestTransport::echoedToSourceBeforeDispatch_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("kind 0") << QByteArray("not a packet \xFF\x00 at all", 22);
    QTest::newRow("new") << QByteArray("NEW!^:^$<ID>{X}</ID>");
}

void TestTransport::echoedToSourceBeforeDispatch()
{
    QFETCH(QByteArray, payload);
    UdpTransport transport(loopback());
    QVERIFY(transport.SetTransportOpen(true));

    QUdpSocket raw;
    QVERIFY(raw.bind(QHostAddress::LocalHost, 0));
    QByteArray echoSeenAtDispatch;
    quint16 echoSourcePort = 0;
    bool dispatched = false;
    connect(&transport, &PacketTransport::packetReceived, this, [&](const Packet &p) {
        if (p != payload)
            return;
        dispatched = true;
        if (raw.hasPendingDatagrams()) {
            const QNetworkDatagram echo = raw.receiveDatagram();
            echoSeenAtDispatch = echo.data();
            echoSourcePort = quint16(echo.senderPort());
        }
    });
    QCOMPARE(raw.writeDatagram(payload, LoopbackBroadcast, PeerPort), qint64(payload.size()));
    QTRY_VERIFY_WITH_TIMEOUT(dispatched, 3000);
    QCOMPARE(echoSeenAtDispatch, payload);
    QCOMPARE(echoSourcePort, PeerPort);
}

void TestTransport::datagramSizeLimitOnReceive()
{
    UdpTransport transport(loopback());
    QVERIFY(transport.SetTransportOpen(true));
    QSignalSpy spy(&transport, &PacketTransport::packetReceived);
    QUdpSocket raw;
    QVERIFY(raw.bind(QHostAddress::LocalHost, 0));

    const QByteArray exact(8192, 'a');
    const QByteArray over(8193, 'b');
    const QByteArray marker("END");
    QCOMPARE(raw.writeDatagram(exact, LoopbackBroadcast, PeerPort), qint64(exact.size()));
    QCOMPARE(raw.writeDatagram(over, LoopbackBroadcast, PeerPort), qint64(over.size()));
    QCOMPARE(raw.writeDatagram(marker, LoopbackBroadcast, PeerPort), qint64(marker.size()));
    QVERIFY(waitForPacket(spy, marker));
    QVERIFY(spyHas(spy, exact));
    QVERIFY(!spyHas(spy, over));
    for (const QList<QVariant> &args : std::as_const(spy))
        QVERIFY(args.at(0).toByteArray().size() <= MaxDatagramSize);
}

void TestTransport::sendRefusesOversizedPacket()
{
    UdpTransport transport(loopback());
    QVERIFY(transport.SetTransportOpen(true));
    QSignalSpy spy(&transport, &PacketTransport::packetReceived);
    QVERIFY(!transport.SendPacket(QByteArray(8193, 'x')));
    QVERIFY(!transport.SendPacket(QByteArray()));
    const QByteArray largest(8192, 'y');
    QVERIFY(transport.SendPacket(largest));
    QVERIFY(waitForPacket(spy, largest));
}

void TestTransport::peersHearEveryBroadcastTheirOwnIncluded()
{
    UdpTransport first(loopback());
    UdpTransport second(loopback());
    QVERIFY(first.SetTransportOpen(true));
    QVERIFY(second.SetTransportOpen(true));
    QCOMPARE(first.BroadcastAddress(), QStringLiteral("127.255.255.255"));
    QCOMPARE(first.LocalIP(), QStringLiteral("127.0.0.1"));
    QSignalSpy firstSpy(&first, &PacketTransport::packetReceived);
    QSignalSpy secondSpy(&second, &PacketTransport::packetReceived);

    const QByteArray packet("MESSAGE!^:^$<MESSAGESTR>hello</MESSAGESTR>");
    QVERIFY(first.SendPacket(packet));
    QVERIFY(waitForPacket(firstSpy, packet));
    QVERIFY(waitForPacket(secondSpy, packet));
    // The sending socket is not the receiving one.
    QVERIFY(first.SenderPort() != PeerPort);
    QVERIFY(first.SenderPort() != 0);

    // Echoes go to the sender's own sending port, which never reads: nothing arrives twice.
    QTest::qWait(200);
    QCOMPARE(std::count_if(firstSpy.cbegin(), firstSpy.cend(),
                           [&](const QList<QVariant> &a) { return a.at(0).toByteArray() == packet; }),
             1);
    QCOMPARE(std::count_if(secondSpy.cbegin(), secondSpy.cend(),
                           [&](const QList<QVariant> &a) { return a.at(0).toByteArray() == packet; }),
             1);
}

void TestTransport::noEchoToAnotherReceivingSocket()
{
    UdpTransport transport(loopback());
    QVERIFY(transport.SetTransportOpen(true));
    QSignalSpy spy(&transport, &PacketTransport::packetReceived);
    // A foreign socket that sends from the peer port itself.
    QUdpSocket foreign;
    QVERIFY(foreign.bind(QHostAddress("127.0.0.2"), PeerPort,
                         QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    const QByteArray packet("NEW!^:^$<ID>{LOOP}</ID>");
    QCOMPARE(foreign.writeDatagram(packet, LoopbackBroadcast, PeerPort), qint64(packet.size()));
    QVERIFY(waitForPacket(spy, packet));
    QTest::qWait(200);
    QVERIFY(!foreign.hasPendingDatagrams());
    QCOMPARE(spy.count(), 1);
}

void TestTransport::closedTransportIgnoresDatagrams()
{
    UdpTransport transport(loopback());
    QVERIFY(transport.SetTransportOpen(true));
    QVERIFY(transport.isOpen());
    QVERIFY(transport.SetTransportOpen(false));
    QVERIFY(!transport.isOpen());
    QSignalSpy spy(&transport, &PacketTransport::packetReceived);
    QVERIFY(!transport.SendPacket("NEW!^:^$"));
    QUdpSocket raw;
    QVERIFY(raw.bind(QHostAddress::LocalHost, 0));
    raw.writeDatagram("NEW!^:^$", LoopbackBroadcast, PeerPort);
    QTest::qWait(200);
    QCOMPARE(spy.count(), 0);
    // Reopening works.
    QVERIFY(transport.SetTransportOpen(true));
    QVERIFY(transport.SendPacket("NEW!^:^$<ID>again</ID>"));
    QVERIFY(waitForPacket(spy, "NEW!^:^$<ID>again</ID>"));
}

void TestTransport::bindFailureIsReported()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    TransportConfig config = loopback();
    config.port = holder.localPort();
    UdpTransport transport(config);
    QVERIFY(!transport.SetTransportOpen(true));
    QVERIFY(!transport.isOpen());
}

void TestTransport::dispatcherRoutesByKind()
{
    PacketDispatcher dispatcher;
    QList<int> calls;
    for (int kind = 1; kind < PacketKindCount; ++kind)
        dispatcher.setHandler(quint8(kind), [&calls, kind](const Packet &) { calls.append(kind); });
    dispatcher.setHandler(0, [&calls](const Packet &) { calls.append(0); });
    for (int kind = 1; kind < PacketKindCount; ++kind)
        dispatcher.DispatchPacket(PacketHeader(kind).toByteArray());
    dispatcher.DispatchPacket("garbage");
    dispatcher.DispatchPacket(" NEW!^:^$");
    QCOMPARE(calls, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

    dispatcher.setHandler(pkNew, [](const Packet &) { throw std::runtime_error("handler failed"); });
    dispatcher.DispatchPacket("NEW!^:^$"); // swallowed
    dispatcher.DispatchPacket("MESSAGE!^:^$");
    QCOMPARE(calls.last(), 2);
}

void TestTransport::queueSaysWhenEverythingWasHandled()
{
    int handled = 0;
    PacketQueue queue([&](const Packet &) { ++handled; });
    QSignalSpy emptied(&queue, &PacketQueue::emptied);
    const int count = PacketQueue::SlicePackets + 5;
    for (int i = 0; i < count; ++i)
        QVERIFY(queue.enqueue("NEW!^:^$"));
    // The first slice leaves packets behind: not yet empty.
    queue.drain();
    QCOMPARE(handled, PacketQueue::SlicePackets);
    QCOMPARE(emptied.count(), 0);
    QTRY_COMPARE(handled, count);
    QCOMPARE(emptied.count(), 1);
    // A drain with nothing to do says nothing.
    queue.drain();
    QCOMPARE(emptied.count(), 1);
}

void TestTransport::urgentPacketsGoFirstInTheirOwnOrder()
{
    QStringList order;
    PacketQueue queue([&](const Packet &p) { order.append(QString::fromLatin1(p)); });
    queue.setUrgent([](const Packet &p) { return p.startsWith("NEW"); });
    for (const char *p : {"MSG1", "MSG2", "NEW1", "MSG3", "NEW2"})
        QVERIFY(queue.enqueue(p));
    QCOMPARE(queue.size(), 5);
    queue.drain();
    QCOMPARE(order, (QStringList{"NEW1", "NEW2", "MSG1", "MSG2", "MSG3"}));
    // The capacity counts both lanes.
    PacketQueue full([](const Packet &) {});
    full.setUrgent([](const Packet &p) { return p.startsWith("NEW"); });
    for (int i = 0; i < PacketQueue::Capacity; ++i)
        QVERIFY(full.enqueue(i % 2 ? "NEW" : "MSG"));
    QVERIFY(!full.enqueue("NEW"));
    QCOMPARE(full.dropped(), 1);
    QCOMPARE(full.size(), PacketQueue::Capacity);
}

void TestTransport::pendingInputIsReported()
{
    UdpTransport transport(loopback());
    QVERIFY(transport.SetTransportOpen(true));
    QVERIFY(!transport.hasPendingInput());
    QSignalSpy spy(&transport, &PacketTransport::packetReceived);
    QUdpSocket raw;
    QVERIFY(raw.bind(QHostAddress::LocalHost, 0));
    raw.writeDatagram("NEW!^:^$<ID>waiting</ID>", LoopbackBroadcast, PeerPort);
    QTRY_VERIFY(transport.hasPendingInput() || spy.count() > 0);
    QVERIFY(waitForPacket(spy, "NEW!^:^$<ID>waiting</ID>"));
    QTRY_VERIFY(!transport.hasPendingInput());
}

// A proxy named by the system (here one that does not exist) must not stand between peers.
void TestTransport::peersAreReachedPastASystemProxy()
{
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::Socks5Proxy, QStringLiteral("127.0.0.1"), 9));
    const auto noProxyAfterwards =
        qScopeGuard([] { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); });
    {
        UdpTransport transport(loopback());
        QVERIFY(transport.SetTransportOpen(true));
        QSignalSpy spy(&transport, &PacketTransport::packetReceived);
        QVERIFY(transport.SendPacket("NEW!^:^$<ID>direct</ID>"));
        QVERIFY(waitForPacket(spy, "NEW!^:^$<ID>direct</ID>"));
    }
}

QTEST_GUILESS_MAIN(TestTransport)
#include "test_transport.moc"
