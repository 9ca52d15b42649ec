// The first moments of a fetch. A receiver on another computer connects the moment the offering
// text reaches it, and the owner may still be inside its send then: its port must already listen.
// A requester whose connection is refused tries again for a moment, and an owner that never
// listens ends the fetch with a reported failure in bounded time.

#include "app/ChatCore.h"
#include "peers/PeerRegistry.h"
#include "protocol/ProtocolClassUn.h"
#include "support/Files.h"
#include "support/PeerHub.h"
#include "support/RecordingTransport.h"
#include "support/SharePair.h"
#include "support/Wait.h"
#include "transfer/FileExchange.h"
#include "transfer/FileReferences.h"
#include "transfer/FileShare.h"
#include "transfer/ReceiveSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString IdOwner = QStringLiteral("{5A5A0001-2222-3333-4444-555555555555}");
const QString IdAsker = QStringLiteral("{5A5A0002-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
const QString Loopback = QStringLiteral("127.0.0.1");

// A loopback port that nothing listens on at the moment.
quint16 freePort()
{
    QTcpServer probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// True when a connection to the port is taken (by the system's backlog, before any event loop).
bool accepts(quint16 port)
{
    if (port == 0)
        return false;
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(QHostAddress::LocalHost, port);
    const bool connected = socket.waitForConnected(2000);
    socket.abort();
    return connected;
}

// An owner and a requester on one fixed port.
struct Pair : SharePair {
    Pair(quint16 port, const TransferLimits &limits)
        : SharePair(IdOwner, IdAsker, port, limits)
    {
        addAsker(port);
    }
};

} // namespace

class TestTransferStart : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ownerListensBeforeItsMessageLeaves();
    void refusedConnectionIsTriedAgain();
    void ownerThatNeverListensFailsInTime();
    void busyPortIsReportedOnce();
};

// What the receiver may do at the first moment it can: connect while the owner is still in its send.
void TestTransferStart::ownerListensBeforeItsMessageLeaves()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    const QString path = anna.folder().filePath(QStringLiteral("plans.bin"));
    QVERIFY(writeFile(path, QByteArray(4096, 'p')));
    FileShare &share = anna.core().files()->share();
    QVERIFY(!share.engine().isListening());

    const QHostAddress annaHost = hub.transportOf(anna).address();
    bool sending = false;
    int seen = 0;
    int accepted = 0;
    hub.setDropRule(
        [&](const QHostAddress &from, const QHostAddress &, const QByteArray &datagram, bool echo) {
            if (sending && !echo && from == annaHost && ClassifyPacket(datagram) == pkMessageToUser) {
                ++seen;
                accepted += share.engine().isListening() && accepts(share.engine().serverPort());
            }
            return false;
        });
    const QString me = anna.registry()->local()->ID;
    const QString text = QStringLiteral("the plans\n") + FileReferenceText(me, annaHost.toString(), path) +
                         QStringLiteral(" plans.bin");
    sending = true;
    QCOMPARE(anna.core().sendToUser(anna.indexOf(boris.id()), text), SendResult::Sent);
    sending = false;
    QVERIFY(seen > 0);
    QCOMPARE(accepted, seen);
    // Once sent, the file is offered as well.
    QVERIFY(share.offers().Find(path).has_value());
    // A text without a reference of its own opens no port.
    CorePeer &clara = hub.addPeer(QStringLiteral("Clara"));
    clara.start();
    QVERIFY(waitUntil([&] { return clara.indexOf(boris.id()) > 0; }, 5000));
    QCOMPARE(clara.core().sendToUser(clara.indexOf(boris.id()), QStringLiteral("no files here")),
             SendResult::Sent);
    QVERIFY(!clara.core().files()->share().engine().isListening());
}

// The owner's port listens a moment after the request went: the fetch still completes.
void TestTransferStart::refusedConnectionIsTriedAgain()
{
    QTemporaryDir dir;
    QByteArray data(3 * 1024 * 1024 + 5, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
    const QString source = dir.filePath(QStringLiteral("own/late.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    const quint16 port = freePort();
    QVERIFY(port != 0);
    Pair pair(port, TransferLimits());
    // Offered, so that the FILETO is taken, but not served yet.
    QVERIFY(pair.owner->offers().Add(source));
    QVERIFY(!pair.owner->engine().isListening());
    const int id = pair.request(source, save);
    QVERIFY(id > 0);
    QCOMPARE(pair.owner->gate().count(), 1);
    QVERIFY(!accepts(port));
    QTimer::singleShot(400, pair.owner.get(), [&] { QCOMPARE(pair.owner->Offer({source}), 1); });
    QVERIFY(waitUntil([&] { return pair.ended(id); }, 10000));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    QCOMPARE(readFile(save + QStringLiteral("/late.bin")), data);
    // One request went, and the owner served it once.
    QCOMPARE(pair.askerTransport.sent.size(), 1);
    QVERIFY(waitUntil([&] { return pair.owner->engine().runningCount() == 0; }, 5000));
    QCOMPARE(pair.owner->engine().transfers().size(), 1);
    QCOMPARE(pair.owner->engine().transfers().first().state, TransferState::Done);
}

// Nobody ever listens: the fetch fails, says why, and not before it tried for the whole while.
void TestTransferStart::ownerThatNeverListensFailsInTime()
{
    QTemporaryDir dir;
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    const quint16 port = freePort();
    QVERIFY(port != 0);
    TransferLimits limits;
    limits.refusedRetryMs = 700;
    Pair pair(port, limits);
    QElapsedTimer clock;
    clock.start();
    const int id = pair.request(QStringLiteral("/nowhere/absent.bin"), save);
    QVERIFY(id > 0);
    QVERIFY(waitUntil([&] { return pair.ended(id); }, 5000));
    const qint64 took = clock.elapsed();
    QCOMPARE(pair.info(id).state, TransferState::Failed);
    QVERIFY2(pair.info(id).error.startsWith(QStringLiteral("Cannot connect to 127.0.0.1: ")),
             qPrintable(pair.info(id).error));
    QVERIFY2(took >= limits.refusedRetryMs - ReceiveSession::RefusedRetryGapMs,
             qPrintable(QString::number(took)));
    QVERIFY2(took < limits.refusedRetryMs + 2000, qPrintable(QString::number(took)));
    QVERIFY(QDir(save).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// The port is taken by something else: the early try before the send is quiet, the offer says why.
void TestTransferStart::busyPortIsReportedOnce()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("own/busy.bin"));
    QVERIFY(writeFile(source, "busy"));
    QTcpServer squatter;
    squatter.setProxy(QNetworkProxy::NoProxy);
    QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
    RecordingTransport transport{Loopback};
    FileShare share(
        &transport,
        [] {
            return LocalIdentity{IdOwner, Loopback};
        },
        true, squatter.serverPort());
    QSignalSpy notices(&share, &FileShare::notice);
    QVERIFY(!share.ServeBeforeOffering());
    QCOMPARE(notices.size(), 0);
    QCOMPARE(share.Offer({source}), 1);
    QVERIFY(!share.engine().isListening());
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().first().toString().contains(QString::number(squatter.serverPort())));
    // Once the port is free, the next send serves.
    squatter.close();
    QVERIFY(share.ServeBeforeOffering());
    QVERIFY(accepts(share.engine().serverPort()));
    QCOMPARE(notices.size(), 1);
}

QTEST_GUILESS_MAIN(TestTransferStart)
#include "test_transfer_start.moc"
