// The echo limit: per-source buckets on a made-up clock, and the real receiving socket on loopback
// (on a port of its own, never the peer port).
#include "net/EchoLimiter.h"
#include "net/UdpTransport.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace {

const QHostAddress Source(QStringLiteral("127.0.0.5"));

QByteArray numbered(int n)
{
    return "MESSAGE!^:^$<MESSAGESTR>" + QByteArray::number(n) + "</MESSAGESTR>";
}

// A free UDP port of loopback for the transport under test.
quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

std::unique_ptr<UdpTransport> openTransport()
{
    TransportConfig config;
    config.loopback = true;
    config.port = freePort();
    auto transport = std::make_unique<UdpTransport>(config);
    return transport->SetTransportOpen(true) ? std::move(transport) : nullptr;
}

// Room for a burst of echoes that nobody reads yet.
bool bindReader(QUdpSocket &socket)
{
    if (!socket.bind(QHostAddress::LocalHost, 0))
        return false;
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(1 << 20));
    return true;
}

// Reads everything that arrives at the socket for that long.
QList<QNetworkDatagram> collect(QUdpSocket &socket, int ms)
{
    QList<QNetworkDatagram> result;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QTest::qWait(10);
        while (socket.hasPendingDatagrams())
            result.append(socket.receiveDatagram());
    }
    return result;
}

} // namespace

class TestEchoLimit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bucket_data();
    void bucket();
    void sameBytesAreNotEchoedTwiceAtOnce();
    void sourcesHaveBucketsOfTheirOwn();
    void fullTableForgetsIdleSourcesOnly();
    void clockGoingBackGivesNothingExtra();

    void burstOfThreeHundredIsEchoedInFull();
    void echoServiceLoopEnds_data();
    void echoServiceLoopEnds();
    void noAmplification();
    void longEchoesReachTheSenderWhole();
};

void TestEchoLimit::bucket_data()
{
    QTest::addColumn<int>("datagrams");
    QTest::addColumn<int>("spacingMs");
    QTest::addColumn<int>("echoes");
    QTest::newRow("a burst of the bucket's size") << EchoLimiter::Burst << 0 << EchoLimiter::Burst;
    QTest::newRow("one more than the bucket") << EchoLimiter::Burst + 1 << 0 << EchoLimiter::Burst;
    QTest::newRow("a thousand at once") << 1000 << 0 << EchoLimiter::Burst;
    // 200 a second for 10 s: the refill keeps up.
    QTest::newRow("the sustained rate") << 2000 << 1000 / EchoLimiter::PerSecond << 2000;
    // 1000 a second for 2 s: the bucket, then the refill of those 2 s.
    QTest::newRow("five times the rate")
        << 2000 << 1 << EchoLimiter::Burst + 1999 * EchoLimiter::PerSecond / 1000;
    QTest::newRow("one a second") << 100 << 1000 << 100;
}

void TestEchoLimit::bucket()
{
    QFETCH(int, datagrams);
    QFETCH(int, spacingMs);
    QFETCH(int, echoes);
    EchoLimiter limiter;
    int allowed = 0;
    for (int i = 0; i < datagrams; ++i)
        allowed += limiter.allow(Source, 40000, numbered(i), qint64(i) * spacingMs);
    // The last datagram's own refill may add one.
    QVERIFY2(allowed >= echoes - 1 && allowed <= echoes + 1, qPrintable(QString::number(allowed)));
}

void TestEchoLimit::sameBytesAreNotEchoedTwiceAtOnce()
{
    EchoLimiter limiter;
    const QByteArray packet = numbered(1);
    QVERIFY(limiter.allow(Source, 40000, packet, 1000));
    QVERIFY(!limiter.allow(Source, 40000, packet, 1000));
    QVERIFY(!limiter.allow(Source, 40000, packet, 1000 + EchoLimiter::SameBytesGapMs - 1));
    // Other bytes in between do not reset the gap of these.
    QVERIFY(limiter.allow(Source, 40000, numbered(2), 1010));
    QVERIFY(limiter.allow(Source, 40000, packet, 1020));
    // A retry comes 250 ms later and more.
    QVERIFY(limiter.allow(Source, 40000, packet, 1020 + 250));
    // Another source may send the same bytes.
    QVERIFY(limiter.allow(Source, 40001, packet, 1270));
    QVERIFY(limiter.allow(QHostAddress(QStringLiteral("10.0.0.6")), 40000, packet, 1270));
}

void TestEchoLimit::sourcesHaveBucketsOfTheirOwn()
{
    EchoLimiter limiter;
    for (int i = 0; i < EchoLimiter::Burst; ++i)
        QVERIFY(limiter.allow(Source, 40000, numbered(i), 0));
    QVERIFY(!limiter.allow(Source, 40000, numbered(-1), 0));
    QVERIFY(limiter.allow(Source, 40001, numbered(-1), 0));
    QVERIFY(limiter.allow(QHostAddress(QStringLiteral("10.0.0.6")), 40000, numbered(-1), 0));
    QVERIFY(!limiter.allow(QHostAddress(QStringLiteral("::1")), 40000, numbered(-1), 0));
    // 10 ms refill two echoes.
    QVERIFY(limiter.allow(Source, 40000, numbered(-2), 10));
    QVERIFY(limiter.allow(Source, 40000, numbered(-3), 10));
    QVERIFY(!limiter.allow(Source, 40000, numbered(-4), 10));
}

void TestEchoLimit::fullTableForgetsIdleSourcesOnly()
{
    EchoLimiter limiter;
    for (int i = 0; i < EchoLimiter::MaxSources; ++i)
        QVERIFY(limiter.allow(QHostAddress(quint32(0x0A000000 + i)), 40000, "x", 0));
    QCOMPARE(limiter.sourceCount(), EchoLimiter::MaxSources);
    const QHostAddress newcomer(QStringLiteral("10.200.0.1"));
    // Every source has just used its bucket: none may be forgotten, the newcomer waits.
    QVERIFY(!limiter.allow(newcomer, 40000, "y", 1));
    // Once their buckets are full again they carry nothing; a sweep makes room.
    const qint64 refilled = 1000LL * EchoLimiter::Burst / EchoLimiter::PerSecond + 1;
    QVERIFY(limiter.allow(newcomer, 40000, "y", refilled));
    QVERIFY(limiter.sourceCount() <= EchoLimiter::MaxSources);
    QVERIFY(limiter.sourceCount() >= 1);
}

void TestEchoLimit::clockGoingBackGivesNothingExtra()
{
    EchoLimiter limiter;
    int allowed = 0;
    for (int i = 0; i < 1000; ++i)
        allowed += limiter.allow(Source, 40000, numbered(i), 100000 - i);
    QCOMPARE(allowed, EchoLimiter::Burst);
}

void TestEchoLimit::burstOfThreeHundredIsEchoedInFull()
{
    const auto transport = openTransport();
    QVERIFY(transport);
    QUdpSocket sender;
    QVERIFY(bindReader(sender));
    const quint16 port = transport->config().port;
    constexpr int Burst = 300;
    QElapsedTimer timer;
    timer.start();
    // In slices of 50 with the event loop between, so that no socket buffer overflows; all within a
    // fraction of a second, where the old limit echoed 20.
    for (int i = 0; i < Burst; ++i) {
        QCOMPARE(sender.writeDatagram(numbered(i), QHostAddress::LocalHost, port),
                 qint64(numbered(i).size()));
        if (i % 50 == 49)
            QTest::qWait(5);
    }
    QSet<QByteArray> echoed;
    QElapsedTimer wait;
    wait.start();
    while (echoed.size() < Burst && wait.elapsed() < 3000) {
        QTest::qWait(10);
        while (sender.hasPendingDatagrams())
            echoed.insert(sender.receiveDatagram().data());
    }
    QCOMPARE(echoed.size(), Burst);
    for (int i = 0; i < Burst; ++i)
        QVERIFY(echoed.contains(numbered(i)));
    QVERIFY2(timer.elapsed() < EchoLimiter::Burst * 1000 / EchoLimiter::PerSecond,
             "the burst took long enough for the refill to matter");
}

void TestEchoLimit::echoServiceLoopEnds_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::newRow("answers at once") << 0;
    // Slower than the refill: tokens alone would never end it.
    QTest::newRow("answers after 20 ms") << 20;
}

void TestEchoLimit::echoServiceLoopEnds()
{
    QFETCH(int, delayMs);
    const auto transport = openTransport();
    QVERIFY(transport);
    // An echo service: whatever comes in goes back to where it came from.
    QUdpSocket service;
    QVERIFY(service.bind(QHostAddress::LocalHost, 0));
    int echoes = 0;
    qint64 lastEcho = -1;
    QElapsedTimer clock;
    connect(&service, &QUdpSocket::readyRead, this, [&] {
        while (service.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = service.receiveDatagram();
            ++echoes;
            lastEcho = clock.elapsed();
            QTimer::singleShot(delayMs, &service, [&service, datagram] {
                service.writeDatagram(datagram.data(), datagram.senderAddress(),
                                      quint16(datagram.senderPort()));
            });
        }
    });
    clock.start();
    service.writeDatagram("not a packet", QHostAddress::LocalHost, transport->config().port);
    // A loop that runs on shows more than four echoes within its first few rounds; one that ended
    // stays quiet for ten times the longest round after its last echo.
    while (echoes <= 4 && clock.elapsed() < 3000 && (echoes == 0 || clock.elapsed() - lastEcho < 1000))
        QTest::qWait(10);
    qInfo("%d echoes, the last after %lld ms", echoes, lastEcho);
    QVERIFY(echoes >= 1);
    QVERIFY2(echoes <= 4, qPrintable(QString::number(echoes)));
    QVERIFY2(clock.elapsed() - lastEcho >= 1000, "still echoing");
}

void TestEchoLimit::noAmplification()
{
    const auto transport = openTransport();
    QVERIFY(transport);
    const quint16 port = transport->config().port;
    // Three sources, one sending far beyond its bucket.
    std::array<QUdpSocket, 3> sources;
    const std::array<int, 3> counts = {5, 50, 1000};
    for (QUdpSocket &socket : sources)
        QVERIFY(bindReader(socket));
    for (size_t s = 0; s < sources.size(); ++s) {
        for (int i = 0; i < counts[s]; ++i) {
            sources[s].writeDatagram(numbered(i), QHostAddress::LocalHost, port);
            if (i % 50 == 49)
                QTest::qWait(2);
        }
    }
    QTest::qWait(300);
    for (size_t s = 0; s < sources.size(); ++s) {
        const QList<QNetworkDatagram> echoes = collect(sources[s], 200);
        QSet<QByteArray> distinct;
        for (const QNetworkDatagram &echo : echoes) {
            QCOMPARE(echo.senderPort(), int(port));
            distinct.insert(echo.data());
        }
        // One echo per datagram at most, each the datagram itself.
        QCOMPARE(distinct.size(), echoes.size());
        QVERIFY(echoes.size() <= counts[s]);
        for (const QByteArray &bytes : std::as_const(distinct))
            QVERIFY(bytes.startsWith("MESSAGE!^:^$"));
        if (counts[s] <= EchoLimiter::Burst)
            QCOMPARE(echoes.size(), counts[s]);
        else
            QVERIFY(echoes.size() < counts[s]);
    }
}

void TestEchoLimit::longEchoesReachTheSenderWhole()
{
    const auto sender = openTransport();
    QVERIFY(sender);
    QSignalSpy echoes(sender.get(), &UdpTransport::echoReceived);
    // The sender's own receiving socket hears the broadcast and echoes it back: the receipt.
    const QByteArray largest(MaxDatagramSize, 'r');
    QVERIFY(sender->SendPacket(largest));
    QTRY_VERIFY_WITH_TIMEOUT(!echoes.isEmpty(), 3000);
    QCOMPARE(echoes.first().at(1).toByteArray(), largest);
    QCOMPARE(echoes.first().at(0).value<QHostAddress>(), QHostAddress(QStringLiteral("127.0.0.1")));
}

QTEST_GUILESS_MAIN(TestEchoLimit)
#include "test_echolimit.moc"
