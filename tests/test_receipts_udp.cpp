// What receipts rest on, on real sockets of loopback (a port of the test's own, never the peer port):
// copies on one computer echo alike, a datagram to the computer's address reaches one copy only, a
// receiver can tell a broadcast from a datagram sent to it alone, and the tracker over the transport.
#include "net/ReceiptTracker.h"
#include "net/UdpTransport.h"
#include "protocol/RetryNotice.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace {

const QHostAddress Loopback(QStringLiteral("127.0.0.1"));
const QByteArray Hello("MESSAGETOUSER!^:^$<FROMUSERID>{B}</FROMUSERID><MESSAGESTR>hello</MESSAGESTR>");

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// Copies on one computer: transports that share one receiving port.
struct Computer {
    quint16 port = freePort();
    std::vector<std::unique_ptr<UdpTransport>> copies;

    bool start(int count)
    {
        TransportConfig config;
        config.loopback = true;
        config.port = port;
        for (int i = 0; i < count; ++i) {
            copies.push_back(std::make_unique<UdpTransport>(config));
            if (!copies.back()->SetTransportOpen(true))
                return false;
        }
        return true;
    }
};

int count(const QSignalSpy &spy, const QByteArray &bytes, int column = 0)
{
    return int(std::count_if(spy.cbegin(), spy.cend(), [&](const QList<QVariant> &args) {
        return args.at(column).toByteArray() == bytes;
    }));
}

} // namespace

class TestReceiptsUdp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void copiesOnOneComputerEchoAlike();
    void aDatagramToTheAddressReachesTheNewestCopyOnly();
    void broadcastAndUnicastCanBeToldApart();
    void trackerOverTheTransport_data();
    void trackerOverTheTransport();
};

void TestReceiptsUdp::copiesOnOneComputerEchoAlike()
{
    Computer computer;
    QVERIFY(computer.start(3));
    UdpTransport &sender = *computer.copies.front();
    QSignalSpy echoes(&sender, &UdpTransport::echoReceived);
    QVERIFY(sender.SendPacket(Hello));
    QTRY_COMPARE_WITH_TIMEOUT(echoes.size(), 3, 3000);
    QTest::qWait(100);
    QCOMPARE(echoes.size(), 3);
    // The same bytes from the same address: which copy echoed cannot be told.
    for (const QList<QVariant> &echo : std::as_const(echoes)) {
        QCOMPARE(echo.at(0).value<QHostAddress>(), Loopback);
        QCOMPARE(echo.at(1).toByteArray(), Hello);
    }
}

void TestReceiptsUdp::aDatagramToTheAddressReachesTheNewestCopyOnly()
{
    Computer computer;
    QVERIFY(computer.start(3));
    std::vector<std::unique_ptr<QSignalSpy>> heard;
    for (const auto &copy : computer.copies)
        heard.push_back(std::make_unique<QSignalSpy>(copy.get(), &PacketTransport::packetReceived));
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
    for (int i = 0; i < 10; ++i)
        sender.writeDatagram(Hello, Loopback, computer.port);
    sender.writeDatagram("END", QHostAddress(QStringLiteral("127.255.255.255")), computer.port);
    for (const auto &spy : heard)
        QTRY_COMPARE_WITH_TIMEOUT(count(*spy, "END"), 1, 3000);
    QCOMPARE(count(*heard[0], Hello), 0);
    QCOMPARE(count(*heard[1], Hello), 0);
    QCOMPARE(count(*heard[2], Hello), 10);
}

void TestReceiptsUdp::broadcastAndUnicastCanBeToldApart()
{
    const quint16 port = freePort();
    QUdpSocket receiver;
    QVERIFY(
        receiver.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
    sender.writeDatagram("broadcast", QHostAddress(QStringLiteral("127.255.255.255")), port);
    sender.writeDatagram("unicast", Loopback, port);
    QList<QNetworkDatagram> got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < 2 && timer.elapsed() < 3000) {
        receiver.waitForReadyRead(50);
        while (receiver.hasPendingDatagrams())
            got.append(receiver.receiveDatagram());
    }
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].data(), QByteArray("broadcast"));
    QCOMPARE(got[0].destinationAddress(), QHostAddress(QStringLiteral("127.255.255.255")));
    QCOMPARE(got[1].data(), QByteArray("unicast"));
    QCOMPARE(got[1].destinationAddress(), Loopback);
    QCOMPARE(got[1].senderPort(), int(sender.localPort()));
}

void TestReceiptsUdp::trackerOverTheTransport_data()
{
    QTest::addColumn<int>("running");
    QTest::addColumn<int>("listed");
    QTest::addColumn<bool>("delivered");
    QTest::newRow("every copy echoes") << 3 << 3 << true;
    // One copy ended without a goodbye: its echo never comes, whatever is retried.
    QTest::newRow("a copy is missing") << 2 << 3 << false;
}

void TestReceiptsUdp::trackerOverTheTransport()
{
    QFETCH(int, running);
    QFETCH(int, listed);
    QFETCH(bool, delivered);
    Computer computer;
    QVERIFY(computer.start(running));
    UdpTransport &sender = *computer.copies.front();
    QSignalSpy heard(computer.copies.back().get(), &PacketTransport::packetReceived);
    QElapsedTimer clock;
    clock.start();
    ReceiptTracker::Hooks hooks;
    hooks.now = [&clock] {
        return clock.elapsed();
    };
    hooks.sendTo = [&sender](const QHostAddress &to, const QByteArray &bytes) {
        return sender.SendTo(to, bytes);
    };
    hooks.broadcast = [&sender](const QByteArray &bytes) {
        return sender.SendPacket(bytes);
    };
    ReceiptTracker tracker(hooks);
    // The first pause as the program's, the later ones shorter (each still longer than the echo
    // limit's gap for the same bytes): the verdict of a missing copy within a second and a half.
    tracker.setTimings({{ReceiptTracker::RetryPausesMs[0], 300, 300}, 300});
    connect(&sender, &UdpTransport::echoReceived, &tracker, &ReceiptTracker::EchoReceived);
    QSignalSpy settled(&tracker, &ReceiptTracker::settled);
    tracker.start();
    QVERIFY(sender.SendPacket(Hello));
    const quint64 packet = tracker.track(Hello, {{Loopback, {"{B}"}, listed}});
    QTRY_COMPARE_WITH_TIMEOUT(settled.size(), 1, 8000);
    QCOMPARE(settled.first().at(0).toULongLong(), packet);
    QCOMPARE(settled.first().at(1).toStringList().contains("{B}"), delivered);
    QCOMPARE(settled.first().at(2).toStringList().contains("{B}"), !delivered);
    QTest::qWait(100);
    // Every copy got the first broadcast; the retries went by broadcast after their notices, at most
    // four copies in all.
    const int copies = count(heard, Hello);
    QCOMPARE(copies, delivered ? 1 : ReceiptTracker::MaxCopies);
    QCOMPARE(count(heard, BuildRetryNotice(PacketDigest::of(Hello))), copies - 1);
}

QTEST_GUILESS_MAIN(TestReceiptsUdp)
#include "test_receipts_udp.moc"
