// Delivery over real sockets between hosts whose firewalls lose datagrams at random: complete peers
// in this process, each on UDP sockets made inside its own namespace.

#include "LossyLan.h"

#include "app/ChatCore.h"
#include "app/Delivery.h"
#include "peers/NewRepeat.h"
#include "peers/PeerRegistry.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "support/CorePeer.h"
#include "support/Wait.h"
#include "talks/MessageText.h"
#include "talks/TalkCore.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

namespace {

constexpr int Private = 100;

// The retry schedule at about a quarter of its length; the schedule of the program is proven on a
// made-up clock, and here the copies on the wire are timed against this one.
const ReceiptTracker::Timings Quick{{100, 250, 500}, 400};

// What every peer showed: how often each receiver showed each sender's words.
struct Screens : QObject {
    void watch(CorePeer &peer)
    {
        const QString receiver = peer.id();
        connect(peer.talks(), &TalkCore::messageForTalk, this,
                [this, receiver](int, const QString &from, const QString &, const QString &body) {
                    if (from != receiver)
                        ++count[{receiver, from, MessageText::PlainText(body)}];
                });
    }
    int shown(const QString &receiver, const QString &sender, const QString &text) const
    {
        const auto it = count.find({receiver, sender, text});
        return it == count.end() ? 0 : it->second;
    }
    std::map<std::tuple<QString, QString, QString>, int> count;
};

// The own messages of one peer and what its delivery said of them. A message that waited in the
// outbox and went again under a new number, or was sent again by the user, keeps its first number.
struct Ledger : QObject {
    struct Message {
        QString text;
        QStringList addressees;
        bool isPrivate = false;
        bool known = false;
        QStringList firstDelivered;
        QStringList firstMissing;
        // Somebody the first verdict named as missing had shown it by then.
        bool missingHadIt = false;
        bool delivered = false;
    };

    Ledger(CorePeer &peer, const Screens &screens)
        : sender(peer.id())
    {
        Delivery &delivery = *peer.core().delivery();
        connect(&delivery, &Delivery::messageSending, this, [this](int, quint64 id, const QStringList &) {
            if (m_next) {
                messages.insert(id, *m_next);
                order.append(id);
                m_next.reset();
            }
        });
        connect(&delivery, &Delivery::messageWaiting, this,
                [this](int, quint64 id, qint64 waitingId, const QString &, const QString &) {
                    m_waiting.insert(waitingId, m_origin.value(id, id));
                });
        connect(&delivery, &Delivery::waitingSent, this,
                [this](qint64 waitingId, quint64 id) { m_origin.insert(id, m_waiting.value(waitingId)); });
        connect(&delivery, &Delivery::messageSettled, this,
                [this, &screens](int, quint64 id, const QStringList &delivered, const QStringList &missing) {
                    const auto it = messages.find(m_origin.value(id, id));
                    if (it == messages.end())
                        return;
                    ++verdicts;
                    it->delivered = missing.isEmpty();
                    if (it->known)
                        return;
                    it->known = true;
                    it->firstDelivered = delivered;
                    it->firstMissing = missing;
                    for (const QString &user : missing)
                        it->missingHadIt = it->missingHadIt || screens.shown(user, sender, it->text) > 0;
                });
    }

    // Sends through `send`; the message is recorded under the number its delivery gives it.
    bool send(const QString &text, const QStringList &addressees, bool isPrivate,
              const std::function<SendResult()> &send)
    {
        Message next;
        next.text = text;
        next.addressees = addressees;
        next.isPrivate = isPrivate;
        m_next = next;
        const qsizetype before = order.size();
        return send() == SendResult::Sent && order.size() == before + 1;
    }
    QList<quint64> undelivered() const
    {
        QList<quint64> ids;
        for (auto it = messages.cbegin(); it != messages.cend(); ++it) {
            if (!it->delivered)
                ids.append(it.key());
        }
        return ids;
    }

    QString sender;
    QHash<quint64, Message> messages;
    QList<quint64> order;
    int verdicts = 0;

private:
    std::optional<Message> m_next;
    QHash<quint64, quint64> m_origin;
    QHash<qint64, quint64> m_waiting;
};

QString timesText(const QList<qint64> &times)
{
    QStringList texts;
    for (const qint64 t : times)
        texts.append(QString::number(t));
    return texts.join(u' ');
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// 100 private messages each way between the first two, and messages to the contact group of the
// other two and to everybody between them.
void sendPipelined(const std::array<CorePeer *, 3> &all, const std::vector<std::unique_ptr<Ledger>> &ledgers,
                   int team)
{
    const int toBoris = all[0]->indexOf(all[1]->id());
    const int toAnna = all[1]->indexOf(all[0]->id());
    const QStringList others[3] = {
        {all[1]->id(), all[2]->id()}, {all[0]->id(), all[2]->id()}, {all[0]->id(), all[1]->id()}};
    // Pipelined, in slices that leave the receiving sockets room.
    for (int i = 0; i < Private; ++i) {
        QVERIFY(ledgers[0]->send(QStringLiteral("a%1").arg(i), {all[1]->id()}, true, [&] {
            return all[0]->core().sendToUser(toBoris, QStringLiteral("a%1").arg(i));
        }));
        QVERIFY(ledgers[1]->send(QStringLiteral("b%1").arg(i), {all[0]->id()}, true, [&] {
            return all[1]->core().sendToUser(toAnna, QStringLiteral("b%1").arg(i));
        }));
        if (i % 5 == 0) {
            const QString text = QStringLiteral("team%1").arg(i);
            QVERIFY(ledgers[0]->send(text, others[0], false,
                                     [&] { return all[0]->core().sendToGroup(team, text); }));
        }
        if (i % 10 == 0) {
            for (size_t k = 0; k < all.size(); ++k) {
                const QString text = QStringLiteral("all%1").arg(i);
                QVERIFY(
                    ledgers[k]->send(text, others[k], false, [&] { return all[k]->core().sendToAll(text); }));
            }
        }
        if (i % 10 == 9)
            QTest::qWait(10);
    }
}

// The verdicts and what every peer showed, after the outbox had its turn.
void checkTalks(const std::vector<std::unique_ptr<Ledger>> &ledgers, const Screens &screens)
{
    int firstTime = 0;
    int copiesToUsers = 0;
    int shownOnce = 0;
    for (const std::unique_ptr<Ledger> &ledger : ledgers) {
        for (const Ledger::Message &m : std::as_const(ledger->messages)) {
            // The receipts name exactly the addressees, and each verdict is what happened: whoever
            // it named as missing had not shown the message by then.
            QCOMPARE(sorted(m.firstDelivered + m.firstMissing), sorted(m.addressees));
            QVERIFY2(!m.missingHadIt, qPrintable(m.text));
            copiesToUsers += int(m.addressees.size());
            firstTime += int(m.firstDelivered.size());
            // In the end every private message is shown once and its sender knows it; a group or
            // everybody message is shown once by everybody its verdict names (no outbox there).
            QVERIFY2(!m.isPrivate || m.delivered, qPrintable(m.text));
            for (const QString &user : m.addressees) {
                const int times = screens.shown(user, ledger->sender, m.text);
                QVERIFY2(times == (m.delivered || m.firstDelivered.contains(user) ? 1 : 0),
                         qPrintable(m.text));
                shownOnce += times;
            }
        }
    }
    // Nothing was shown that was not sent to that user.
    int shown = 0;
    for (const auto &[key, count] : screens.count)
        shown += count;
    QCOMPARE(shown, shownOnce);
    // A copy is lost only when all four are (0.16 %); without retries a fifth would be.
    QVERIFY2(firstTime >= copiesToUsers * 99 / 100,
             qPrintable(QStringLiteral("%1 of %2").arg(firstTime).arg(copiesToUsers)));
}

} // namespace

class TestDeliveryNetns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void privateGroupAndEverybodyAtTwentyPercent();
    void lostEchoesAndAProgramThatNeverEchoes();

private:
    std::unique_ptr<CorePeer> peer(int host, const QString &alias);

    std::unique_ptr<NetnsLab> m_lab;
    std::unique_ptr<LossyLan> m_lan;
};

void TestDeliveryNetns::initTestCase()
{
    if (const QString why = NetnsLab::whyUnavailable(); !why.isEmpty())
        QSKIP(qPrintable(why));
    if (!LossyLan::nftAvailable())
        QSKIP("nft is not installed (Debian package nftables)");
}

void TestDeliveryNetns::init()
{
    m_lab = std::make_unique<NetnsLab>();
    m_lan = std::make_unique<LossyLan>(*m_lab);
    QVERIFY2(m_lan->build(3), qPrintable(m_lab->error()));
}

void TestDeliveryNetns::cleanup()
{
    m_lan.reset();
    m_lab.reset();
}

std::unique_ptr<CorePeer> TestDeliveryNetns::peer(int host, const QString &alias)
{
    std::unique_ptr<UdpTransport> transport = m_lan->openTransport(host);
    if (!transport)
        return nullptr;
    auto peer = std::make_unique<CorePeer>(alias, std::move(transport));
    peer->core().delivery()->tracker().setTimings(Quick);
    return peer;
}

void TestDeliveryNetns::privateGroupAndEverybodyAtTwentyPercent()
{
    // Every datagram to the peer port is lost with 20 %, on every host: the NEWs and their answers,
    // the messages and their retries. The echoes to the sending sockets are not lost, so a verdict is
    // what happened.
    for (int host = 1; host <= 3; ++host)
        QVERIFY(m_lan->setLoss(host, 20));
    std::unique_ptr<CorePeer> anna = peer(1, QStringLiteral("Anna"));
    std::unique_ptr<CorePeer> boris = peer(2, QStringLiteral("Boris"));
    std::unique_ptr<CorePeer> cyril = peer(3, QStringLiteral("Cyril"));
    QVERIFY(anna && boris && cyril);
    const std::array<CorePeer *, 3> all = {anna.get(), boris.get(), cyril.get()};
    Screens screens;
    std::vector<std::unique_ptr<Ledger>> ledgers;
    for (CorePeer *p : all) {
        screens.watch(*p);
        ledgers.push_back(std::make_unique<Ledger>(*p, screens));
        p->start();
    }
    // Within the NEW's repeats every peer lists every other. Two peers that both lost each other's
    // NEW learn of each other late in that window (seen up to 12 s at this loss).
    QVERIFY(waitUntil(
        [&] {
            return std::all_of(all.cbegin(), all.cend(), [](CorePeer *p) { return p->onlineCount() == 2; });
        },
        int(NewRepeat::ActiveMs) + 1000));
    Ledger &fromAnna = *ledgers[0];
    const int team =
        anna->registry()->CreateGroup(QStringLiteral("Team"), QStringLiteral("{7EA3-0001}"), false, -1);
    QVERIFY(anna->registry()->MoveUser(anna->indexOf(boris->id()), team));
    QVERIFY(anna->registry()->MoveUser(anna->indexOf(cyril->id()), team));
    sendPipelined(all, ledgers, team);
    if (QTest::currentTestFailed())
        return;
    const auto settledAll = [&] {
        return std::all_of(ledgers.cbegin(), ledgers.cend(), [](const std::unique_ptr<Ledger> &l) {
            return std::all_of(l->messages.cbegin(), l->messages.cend(),
                               [](const Ledger::Message &m) { return m.known; });
        });
    };
    // The last copy goes 850 ms after the first and waits 400 ms for its echo.
    QVERIFY(waitUntil(settledAll, 10000));
    QCOMPARE(fromAnna.messages.size(), qsizetype(Private + Private / 5 + Private / 10));
    // A private message that was not delivered waits in the outbox for its addressee's next
    // UPDATEINFO, which the addressee sends here (a changed status, say) until nothing waits.
    const auto privateWaiting = [&] {
        for (const std::unique_ptr<Ledger> &ledger : ledgers) {
            for (const quint64 id : ledger->undelivered()) {
                if (ledger->messages[id].isPrivate)
                    return true;
            }
        }
        return false;
    };
    for (int round = 0; round < 6 && privateWaiting(); ++round) {
        anna->registry()->SendPresence(false);
        boris->registry()->SendPresence(false);
        waitUntil([&] { return !privateWaiting(); }, 2500);
    }
    checkTalks(ledgers, screens);
}

void TestDeliveryNetns::lostEchoesAndAProgramThatNeverEchoes()
{
    // Both at once, so that their retries run out together: Anna writes to Boris, whose echoes are
    // often lost, and to a program on host 3 that announces a user, reads everything and echoes nothing.
    std::unique_ptr<CorePeer> anna = peer(1, QStringLiteral("Anna"));
    std::unique_ptr<CorePeer> boris = peer(2, QStringLiteral("Boris"));
    QVERIFY(anna && boris);
    QUdpSocket raw;
    {
        ScopedNetns inside(m_lab->ns(LossyLan::hostName(3)));
        QVERIFY(raw.bind(QHostAddress::AnyIPv4, PeerPort, QUdpSocket::ShareAddress));
    }
    anna->start();
    boris->start();
    RUserID silent;
    silent.ID = QStringLiteral("{51E47000-0000-0000-0000-000000000001}");
    silent.Alias = QStringLiteral("Silent");
    silent.IP = LossyLan::address(3);
    raw.writeDatagram(BuildPresencePacket(silent, true), QHostAddress(QStringLiteral("10.23.0.255")),
                      PeerPort);
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 2 && boris->onlineCount() == 2; }, 8000));
    while (raw.hasPendingDatagrams())
        raw.receiveDatagram();
    // Only what reaches Anna's sending socket (echoes come from the peer port) is lost.
    QVERIFY(m_lan->setLoss(1, 30, QStringLiteral("udp sport 54812 udp dport != 54812")));
    Screens screens;
    screens.watch(*boris);
    Ledger fromAnna(*anna, screens);
    QList<QByteArray> copies;
    QList<qint64> copyTimes;
    QElapsedTimer clock;
    clock.start();
    int notices = 0;
    const auto readRaw = [&] {
        while (raw.hasPendingDatagrams()) {
            const QByteArray data = raw.receiveDatagram().data();
            // The private messages to Boris go by broadcast first; the field names the addressee.
            if (ClassifyPacket(data) == pkMessageToUser &&
                TDataNewMessage(data).GetFromUserID() == silent.ID) {
                copies.append(data);
                copyTimes.append(clock.elapsed());
            } else if (data.startsWith("PERIXRETRY")) {
                ++notices;
            }
        }
    };
    // Read the moment they come, so that the copies' times are the wire's.
    QObject reading;
    connect(&raw, &QUdpSocket::readyRead, &reading, readRaw);
    QVERIFY(fromAnna.send(QStringLiteral("anyone?"), {silent.ID}, true, [&] {
        return anna->core().sendToUser(anna->indexOf(silent.ID), QStringLiteral("anyone?"));
    }));
    // The same words again and again: each is a message of its own and is shown. Two kinds of words
    // take turns: the echo limit does not echo the same bytes twice within 100 ms.
    const int toBoris = anna->indexOf(boris->id());
    for (int i = 0; i < 40; ++i) {
        const QString text = i % 2 ? QStringLiteral("ok") : QStringLiteral("fine");
        QVERIFY(
            fromAnna.send(text, {boris->id()}, true, [&] { return anna->core().sendToUser(toBoris, text); }));
        QTest::qWait(10);
    }
    QVERIFY(waitUntil(
        [&] {
            readRaw();
            return std::all_of(fromAnna.messages.cbegin(), fromAnna.messages.cend(),
                               [](const Ledger::Message &m) { return m.known; });
        },
        10000));
    // A fifth copy would have come within the last pause and the final wait.
    settle(Quick.retryPausesMs.back() + Quick.finalWaitMs);
    readRaw();
    QCOMPARE(copies.size(), 4);
    QCOMPARE(notices, 3);
    // The copies went on the schedule the peer was given, not on the program's own.
    for (int i = 1; i < int(copyTimes.size()); ++i) {
        const qint64 pause = copyTimes.at(i) - copyTimes.at(i - 1);
        const int planned = Quick.retryPausesMs.at(size_t(i - 1));
        QVERIFY2(pause >= planned - 5 && pause < planned + 150,
                 qPrintable(QStringLiteral("pause %1: %2 ms, planned %3; copies at %4")
                                .arg(i)
                                .arg(pause)
                                .arg(planned)
                                .arg(timesText(copyTimes))));
    }
    for (const QByteArray &copy : std::as_const(copies))
        QCOMPARE(copy, copies.first());
    QCOMPARE(fromAnna.messages.value(fromAnna.order.first()).firstMissing, QStringList{silent.ID});
    QCOMPARE(screens.shown(boris->id(), anna->id(), QStringLiteral("ok")), 20);
    QCOMPARE(screens.shown(boris->id(), anna->id(), QStringLiteral("fine")), 20);
    int delivered = 0;
    for (const quint64 id : fromAnna.order.mid(1))
        delivered += fromAnna.messages.value(id).firstMissing.isEmpty();
    QVERIFY2(delivered >= 38, qPrintable(QString::number(delivered)));
}

QTEST_GUILESS_MAIN(TestDeliveryNetns)
#include "test_delivery_netns.moc"
