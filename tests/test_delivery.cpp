// The whole peer's delivery on the in-process hub: receipts, retries, the duplicate rule, presence
// after loss and the outbox, with datagrams lost by a seeded rule.

#include "app/ChatCore.h"
#include "app/Delivery.h"
#include "peers/PeerRegistry.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/RetryNotice.h"
#include "support/CorePeer.h"
#include "support/PeerHub.h"
#include "support/Wait.h"
#include "talks/MessageText.h"
#include "talks/Outbox.h"
#include "talks/TalkCore.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <map>

namespace {

struct Verdict {
    int talk = -1;
    QStringList delivered;
    QStringList notDelivered;
};

// What one peer's delivery said of its own messages.
struct Verdicts : QObject {
    explicit Verdicts(Delivery &delivery)
    {
        connect(&delivery, &Delivery::messageSending, this,
                [this](int, quint64 id, const QStringList &) { sending.append(id); });
        connect(&delivery, &Delivery::messageSettled, this,
                [this](int talk, quint64 id, const QStringList &d, const QStringList &n) {
                    QVERIFY2(!settled.contains(id), "one verdict per message");
                    settled.insert(id, {talk, d, n});
                });
        connect(&delivery, &Delivery::messageWaiting, this,
                [this](int, quint64 id, qint64 waitingId, const QString &, const QString &) {
                    waiting.insert(waitingId, id);
                });
        connect(&delivery, &Delivery::waitingSent, this,
                [this](qint64 waitingId, quint64 id) { sentFromOutbox.insert(waitingId, id); });
    }
    int deliveredCount() const
    {
        int n = 0;
        for (const Verdict &v : settled)
            n += v.notDelivered.isEmpty();
        return n;
    }
    QList<quint64> sending;
    QHash<quint64, Verdict> settled;
    QHash<qint64, quint64> waiting;
    QHash<qint64, quint64> sentFromOutbox;
};

// The texts of the messages a peer showed from that sender, as often as it showed them.
struct Shown : QObject {
    Shown(CorePeer &peer, const QString &senderId)
    {
        connect(peer.talks(), &TalkCore::messageForTalk, this,
                [this, senderId](int, const QString &from, const QString &, const QString &body) {
                    if (from == senderId)
                        ++count[MessageText::PlainText(body)];
                });
    }
    std::map<QString, int> count;
};

// The retry schedule at about a quarter of its length, so that a verdict takes a second rather than
// five; the schedule itself is proven on a made-up clock, and the pauses on a real network.
const ReceiptTracker::Timings Quick{{100, 250, 500}, 400};
// Where no echo ever comes, no echo can be late: shorter still.
const ReceiptTracker::Timings Silent{{40, 80, 160}, 120};

void quickReceipts(const PeerHub &hub, const ReceiptTracker::Timings &timings = Quick)
{
    for (int i = 0; i < hub.count(); ++i)
        hub.peer(i).core().delivery()->tracker().setTimings(timings);
}

} // namespace

class TestDelivery : public QObject {
    Q_OBJECT
private slots:
    void privateMessagesAtTwentyPercentLoss();
    void lostEchoesMakeNoDoubles();
    void silentComputerGetsFourCopies();
    void groupAndEverybodyName();
    void sharedComputerIsConfirmedByEveryCopy();
    void offlineUserWaitsInTheOutbox();
    void undeliveredGoesToTheOutboxAndCancel();
    void presenceAfterLostNew();
};

void TestDelivery::privateMessagesAtTwentyPercentLoss()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    quickReceipts(hub);
    QRandomGenerator random(2023);
    int lost = 0;
    // Peer datagrams both ways; echoes come back (their loss is the next test's).
    hub.setDropRule([&](const QHostAddress &from, const QHostAddress &to, const QByteArray &, bool echo) {
        const bool drop = from != to && !echo && random.bounded(100) < 20;
        lost += drop;
        return drop;
    });
    QVERIFY(hub.startAll(15000));
    Verdicts verdicts(*anna.core().delivery());
    Shown shown(boris, anna.id());
    const int k = anna.indexOf(boris.id());
    for (int i = 0; i < 100; ++i)
        QCOMPARE(anna.core().sendToUser(k, QStringLiteral("m%1").arg(i)), SendResult::Sent);
    QCOMPARE(verdicts.sending.size(), 100);
    QVERIFY(waitUntil([&] { return verdicts.settled.size() == 100; }, 10000));
    QVERIFY(lost > 20);
    int delivered = 0;
    for (int i = 0; i < 100; ++i) {
        const int times = shown.count[QStringLiteral("m%1").arg(i)];
        QVERIFY2(times <= 1, "a message shown twice");
        const Verdict verdict = verdicts.settled.value(verdicts.sending.at(i));
        // With every echo back, the verdict is what happened.
        QCOMPARE(verdict.notDelivered.isEmpty(), times == 1);
        QCOMPARE(verdict.delivered.isEmpty(), times == 0);
        delivered += times;
    }
    // Four copies each: a message is lost with 0.2^4 = 0.16 %; without retries a fifth would be.
    QVERIFY2(delivered >= 98, qPrintable(QString::number(delivered)));
}

void TestDelivery::lostEchoesMakeNoDoubles()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    quickReceipts(hub);
    QVERIFY(hub.startAll());
    QRandomGenerator random(7);
    const QHostAddress annaHost = hub.transportOf(anna).address();
    int copies = 0;
    // A quarter of what reaches Anna's sending socket is lost: her messages arrive, their receipts not
    // always.
    hub.setDropRule([&](const QHostAddress &, const QHostAddress &to, const QByteArray &datagram, bool echo) {
        if (!echo && ClassifyPacket(datagram) == pkMessageToUser)
            ++copies;
        return echo && to == annaHost && random.bounded(100) < 25;
    });
    Verdicts verdicts(*anna.core().delivery());
    Shown shown(boris, anna.id());
    const int k = anna.indexOf(boris.id());
    for (int i = 0; i < 40; ++i)
        anna.core().sendToUser(k, QStringLiteral("ok"));
    QVERIFY(waitUntil([&] { return verdicts.settled.size() == 40; }, 10000));
    // Retries went out (the echoes were lost), yet "ok" forty times is shown forty times, no more.
    QVERIFY(copies > 45);
    QCOMPARE(shown.count[QStringLiteral("ok")], 40);
    QVERIFY(verdicts.deliveredCount() >= 38);
}

void TestDelivery::silentComputerGetsFourCopies()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    quickReceipts(hub, Silent);
    QVERIFY(hub.startAll());
    const QHostAddress borisHost = hub.transportOf(boris).address();
    QList<QByteArray> toBoris;
    // Boris's computer echoes nothing, as a program that never echoes.
    hub.setDropRule(
        [&](const QHostAddress &from, const QHostAddress &to, const QByteArray &datagram, bool echo) {
            if (!echo && to == borisHost && ClassifyPacket(datagram) == pkMessageToUser)
                toBoris.append(datagram);
            return echo && from == borisHost;
        });
    Verdicts verdicts(*anna.core().delivery());
    Shown shown(boris, anna.id());
    anna.core().sendToUser(anna.indexOf(boris.id()), QStringLiteral("hello"));
    QVERIFY(waitUntil([&] { return verdicts.settled.size() == 1; }, 8000));
    // Longer than any pause of the schedule: no fifth copy follows.
    settle(Silent.retryPausesMs.back() + Silent.finalWaitMs);
    QCOMPARE(toBoris.size(), ReceiptTracker::MaxCopies);
    for (const QByteArray &copy : std::as_const(toBoris))
        QCOMPARE(copy, toBoris.first());
    const Verdict verdict = verdicts.settled.value(verdicts.sending.first());
    QCOMPARE(verdict.notDelivered, QStringList{boris.id()});
    QVERIFY(verdict.delivered.isEmpty());
    // Our own peer got all four and showed one; the retries were announced.
    QCOMPARE(shown.count[QStringLiteral("hello")], 1);
    // Not delivered: it waits for Boris.
    QCOMPARE(verdicts.waiting.size(), 1);
    QCOMPARE(anna.core().delivery()->outbox().entries().size(), 1);
    QCOMPARE(anna.core().delivery()->outbox().entries().first().addresseeId, boris.id());
}

void TestDelivery::groupAndEverybodyName()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    CorePeer &clara = hub.addPeer(QStringLiteral("Clara"));
    quickReceipts(hub);
    QRandomGenerator random(99);
    hub.setDropRule([&](const QHostAddress &from, const QHostAddress &to, const QByteArray &, bool echo) {
        return from != to && !echo && random.bounded(100) < 20;
    });
    QVERIFY(hub.startAll(15000));
    Verdicts verdicts(*anna.core().delivery());
    Shown atBoris(boris, anna.id());
    Shown atClara(clara, anna.id());
    Shown atAnna(anna, anna.id());
    for (int i = 0; i < 20; ++i)
        QCOMPARE(anna.core().sendToAll(QStringLiteral("all%1").arg(i)), SendResult::Sent);
    // A contact group with Boris alone: Clara is no addressee.
    const int group = anna.registry()->CreateGroup(QStringLiteral("Work"), QStringLiteral("G-1"), false, -1);
    QVERIFY(anna.registry()->MoveUser(anna.indexOf(boris.id()), group));
    for (int i = 0; i < 20; ++i)
        QCOMPARE(anna.core().sendToGroup(group, QStringLiteral("grp%1").arg(i)), SendResult::Sent);
    QVERIFY(waitUntil([&] { return verdicts.settled.size() == 40; }, 10000));
    const QStringList both = {boris.id(), clara.id()};
    int complete = 0;
    for (int i = 0; i < 40; ++i) {
        const Verdict v = verdicts.settled.value(verdicts.sending.at(i));
        QStringList named = v.delivered + v.notDelivered;
        named.sort();
        QStringList expected = i < 20 ? both : QStringList{boris.id()};
        expected.sort();
        QCOMPARE(named, expected);
        QCOMPARE(v.talk, i < 20 ? anna.core().allUsersTalk() : anna.talks()->FindOwnGroupTalk(group));
        const QString text = i < 20 ? QStringLiteral("all%1").arg(i) : QStringLiteral("grp%1").arg(i - 20);
        QVERIFY(atBoris.count[text] <= 1);
        QVERIFY(atClara.count[text] <= 1);
        QCOMPARE(v.delivered.contains(boris.id()), atBoris.count[text] == 1);
        if (i < 20)
            QCOMPARE(v.delivered.contains(clara.id()), atClara.count[text] == 1);
        else
            QCOMPARE(atClara.count[text], 0);
        complete += v.notDelivered.isEmpty();
    }
    QVERIFY(complete >= 38);
    // Our own copy shows what it sent to everybody once, broadcast retries or not.
    for (int i = 0; i < 20; ++i)
        QVERIFY(atAnna.count[QStringLiteral("all%1").arg(i)] <= 1);
}

void TestDelivery::sharedComputerIsConfirmedByEveryCopy()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    CorePeer &bella = hub.addPeer(QStringLiteral("Bella"), &boris);
    quickReceipts(hub);
    QVERIFY(hub.startAll());
    Verdicts verdicts(*anna.core().delivery());
    Shown atBoris(boris, anna.id());
    Shown atBella(bella, anna.id());
    // The first copy of each message reaches only one of the two copies on that computer: its round
    // brings one echo of two, and the retry goes by broadcast (a unicast would reach Bella alone,
    // who bound the port last); the copy that had it drops the announced retry.
    const QHostAddress shared = hub.transportOf(boris).address();
    QSet<QByteArray> missedOnce;
    hub.setDropRule([&](const QHostAddress &, const QHostAddress &to, const QByteArray &datagram, bool echo) {
        if (echo || to != shared || ClassifyPacket(datagram) != pkMessage)
            return false;
        if (missedOnce.contains(datagram))
            return false;
        missedOnce.insert(datagram);
        return true;
    });
    for (int i = 0; i < 10; ++i)
        anna.core().sendToAll(QStringLiteral("s%1").arg(i));
    QVERIFY(waitUntil([&] { return verdicts.settled.size() == 10; }, 8000));
    for (int i = 0; i < 10; ++i) {
        const Verdict v = verdicts.settled.value(verdicts.sending.at(i));
        QVERIFY(v.notDelivered.isEmpty());
        QVERIFY(v.delivered.contains(boris.id()) && v.delivered.contains(bella.id()));
        QCOMPARE(atBoris.count[QStringLiteral("s%1").arg(i)], 1);
        QCOMPARE(atBella.count[QStringLiteral("s%1").arg(i)], 1);
    }
}

void TestDelivery::offlineUserWaitsInTheOutbox()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    quickReceipts(hub);
    QVERIFY(hub.startAll());
    Delivery &delivery = *anna.core().delivery();
    Verdicts verdicts(delivery);
    const QString borisId = boris.id();
    boris.stop();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }));
    // Written for a known user who is away: it waits, and the file holds it.
    QVERIFY(delivery.queue(TalkCore::NoTalk, borisId, QStringLiteral("Boris"),
                           MessageText::FromPlainText(QStringLiteral("see you"))));
    QCOMPARE(verdicts.waiting.size(), 1);
    const QString file = anna.folder().path() + QStringLiteral("/Outbox.json");
    QFile stored(file);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    const std::optional<QList<OutboxEntry>> entries = Outbox::Parse(stored.readAll());
    QVERIFY(entries && entries->size() == 1);
    QCOMPARE(entries->first().addresseeId, borisId);
    QCOMPARE(MessageText::PlainText(entries->first().body), QStringLiteral("see you"));
    // Boris comes back: his NEW sends it, with a receipt, and he shows it once.
    Shown atBoris(boris, anna.id());
    boris.start();
    QVERIFY(waitUntil([&] { return verdicts.sentFromOutbox.size() == 1; }, 5000));
    const quint64 id = verdicts.sentFromOutbox.value(verdicts.waiting.keys().first());
    QVERIFY(waitUntil([&] { return verdicts.settled.contains(id); }, 5000));
    QVERIFY(verdicts.settled.value(id).notDelivered.isEmpty());
    QCOMPARE(atBoris.count[QStringLiteral("see you")], 1);
    QVERIFY(delivery.outbox().entries().isEmpty());
    stored.close();
    QFile again(file);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(Outbox::Parse(again.readAll())->size(), 0);
}

void TestDelivery::undeliveredGoesToTheOutboxAndCancel()
{
    // Probes far apart: a stopped copy here still runs its timers, and must not take Anna for gone.
    PeerHub hub(30000);
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    quickReceipts(hub, Silent);
    QVERIFY(hub.startAll());
    Delivery &delivery = *anna.core().delivery();
    Verdicts verdicts(delivery);
    // Boris's process stops: nothing of his comes back.
    hub.transportOf(boris).setStopped(true);
    anna.core().sendToUser(anna.indexOf(boris.id()), QStringLiteral("one"));
    anna.core().sendToUser(anna.indexOf(boris.id()), QStringLiteral("two"));
    QVERIFY(waitUntil([&] { return verdicts.waiting.size() == 2; }, 8000));
    QCOMPARE(delivery.outbox().entries().size(), 2);
    const qint64 cancelled = delivery.outbox().entries().first().id;
    QVERIFY(delivery.cancelWaiting(cancelled));
    QVERIFY(!delivery.cancelWaiting(cancelled));
    QCOMPARE(delivery.outbox().entries().size(), 1);
    // Going on, Boris reads what waited (the four copies of each, one shown) and is sent the rest;
    // his echoes come now, on the schedule that leaves them room.
    quickReceipts(hub);
    Shown atBoris(boris, anna.id());
    hub.transportOf(boris).setStopped(false);
    boris.registry()->SendPresence(false);
    QVERIFY(waitUntil([&] { return verdicts.sentFromOutbox.size() == 1; }, 5000));
    QVERIFY(!verdicts.sentFromOutbox.contains(cancelled));
    settle(500);
    QCOMPARE(atBoris.count[QStringLiteral("one")], 1);
    // "two" came in the stopped time and again from the outbox, announced: shown once.
    QCOMPARE(atBoris.count[QStringLiteral("two")], 1);
    const quint64 again = verdicts.sentFromOutbox.values().first();
    QVERIFY(waitUntil([&] { return verdicts.settled.contains(again); }, 5000));
    QVERIFY(verdicts.settled.value(again).notDelivered.isEmpty());
    QVERIFY(delivery.outbox().entries().isEmpty());
}

void TestDelivery::presenceAfterLostNew()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    quickReceipts(hub);
    anna.start();
    // Boris's first NEW is lost everywhere: only its repeat can make him known.
    int newsLost = 0;
    hub.setDropRule([&](const QHostAddress &from, const QHostAddress &to, const QByteArray &datagram, bool) {
        if (from != to && newsLost == 0 && ClassifyPacket(datagram) == pkNew) {
            ++newsLost;
            return true;
        }
        return false;
    });
    boris.start();
    QVERIFY(waitUntil([&] { return hub.allSeeEachOther(); }, 5000));
    QCOMPARE(newsLost, 1);
}

QTEST_GUILESS_MAIN(TestDelivery)
#include "test_delivery.moc"
