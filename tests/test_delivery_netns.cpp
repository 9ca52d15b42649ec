// Delivery over real sockets between hosts whose firewalls lose datagrams at random: complete peers
// in this process, each on UDP sockets made inside its own namespace.

#include "LossyLan.h"

#include "app/ChatCore.h"
#include "app/Delivery.h"
#include "peers/PeerRegistry.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "support/CorePeer.h"
#include "support/Wait.h"
#include "talks/MessageText.h"
#include "talks/TalkCore.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <map>

namespace {

struct Ledger : QObject {
    explicit Ledger(Delivery &delivery)
    {
        connect(&delivery, &Delivery::messageSending, this,
                [this](int, quint64 id, const QStringList &) { order.append(id); });
        connect(&delivery, &Delivery::messageSettled, this,
                [this](int, quint64 id, const QStringList &, const QStringList &missing) {
                    ++verdicts;
                    delivered.insert(id, missing.isEmpty());
                });
    }
    QList<quint64> order;
    QHash<quint64, bool> delivered;
    int verdicts = 0;
};

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

} // namespace

class TestDeliveryNetns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void privateMessagesBothWaysAtTwentyPercent();
    void lostEchoesOnlyMakeNoDoubles();
    void programThatNeverEchoesGetsFourCopies();

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
    QVERIFY2(m_lan->build(2), qPrintable(m_lab->error()));
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
    return std::make_unique<CorePeer>(alias, std::move(transport));
}

void TestDeliveryNetns::privateMessagesBothWaysAtTwentyPercent()
{
    // Every datagram to the peer port is lost with 20 %, on both hosts: the NEWs and their answers,
    // the messages and their retries.
    QVERIFY(m_lan->setLoss(1, 20));
    QVERIFY(m_lan->setLoss(2, 20));
    std::unique_ptr<CorePeer> anna = peer(1, QStringLiteral("Anna"));
    std::unique_ptr<CorePeer> boris = peer(2, QStringLiteral("Boris"));
    QVERIFY(anna && boris);
    anna->start();
    boris->start();
    // Presence repair: both are listed within the NEW's repeats.
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 1 && boris->onlineCount() == 1; }, 12000));
    Ledger fromAnna(*anna->core().delivery());
    Ledger fromBoris(*boris->core().delivery());
    Shown atBoris(*boris, anna->id());
    Shown atAnna(*anna, boris->id());
    const int toBoris = anna->indexOf(boris->id());
    const int toAnna = boris->indexOf(anna->id());
    for (int i = 0; i < 50; ++i) {
        QCOMPARE(anna->core().sendToUser(toBoris, QStringLiteral("a%1").arg(i)), SendResult::Sent);
        QCOMPARE(boris->core().sendToUser(toAnna, QStringLiteral("b%1").arg(i)), SendResult::Sent);
        QTest::qWait(20);
    }
    QVERIFY(waitUntil([&] { return fromAnna.verdicts == 50 && fromBoris.verdicts == 50; }, 15000));
    int delivered = 0;
    for (int i = 0; i < 50; ++i) {
        const int atB = atBoris.count[QStringLiteral("a%1").arg(i)];
        const int atA = atAnna.count[QStringLiteral("b%1").arg(i)];
        QVERIFY2(atA <= 1 && atB <= 1, "a message shown twice");
        // The echoes to the sending sockets are not lost here: the verdict is what happened.
        QCOMPARE(fromAnna.delivered.value(fromAnna.order.at(i)), atB == 1);
        QCOMPARE(fromBoris.delivered.value(fromBoris.order.at(i)), atA == 1);
        delivered += atA + atB;
    }
    // A message is lost only when all four copies are (0.16 %); without retries a fifth would be.
    QVERIFY2(delivered >= 98, qPrintable(QString::number(delivered)));
}

void TestDeliveryNetns::lostEchoesOnlyMakeNoDoubles()
{
    std::unique_ptr<CorePeer> anna = peer(1, QStringLiteral("Anna"));
    std::unique_ptr<CorePeer> boris = peer(2, QStringLiteral("Boris"));
    QVERIFY(anna && boris);
    anna->start();
    boris->start();
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 1 && boris->onlineCount() == 1; }, 8000));
    // Only what reaches Anna's sending socket (echoes come from the peer port) is lost.
    QVERIFY(m_lan->setLoss(1, 30, QStringLiteral("udp sport 54812 udp dport != 54812")));
    Ledger fromAnna(*anna->core().delivery());
    Shown atBoris(*boris, anna->id());
    const int toBoris = anna->indexOf(boris->id());
    // The same words again and again: each is a message of its own and is shown.
    for (int i = 0; i < 40; ++i) {
        anna->core().sendToUser(toBoris, QStringLiteral("ok"));
        QTest::qWait(10);
    }
    QVERIFY(waitUntil([&] { return fromAnna.verdicts == 40; }, 12000));
    QCOMPARE(atBoris.count[QStringLiteral("ok")], 40);
    int delivered = 0;
    for (const bool ok : std::as_const(fromAnna.delivered))
        delivered += ok;
    QVERIFY2(delivered >= 38, qPrintable(QString::number(delivered)));
}

void TestDeliveryNetns::programThatNeverEchoesGetsFourCopies()
{
    std::unique_ptr<CorePeer> anna = peer(1, QStringLiteral("Anna"));
    QVERIFY(anna);
    anna->start();
    // A program on host 2 that announces a user, reads everything and echoes nothing.
    QUdpSocket raw;
    {
        ScopedNetns inside(m_lab->ns(LossyLan::hostName(2)));
        QVERIFY(raw.bind(QHostAddress::AnyIPv4, PeerPort, QUdpSocket::ShareAddress));
    }
    RUserID silent;
    silent.ID = QStringLiteral("{51E47000-0000-0000-0000-000000000001}");
    silent.Alias = QStringLiteral("Silent");
    silent.IP = LossyLan::address(2);
    const QByteArray hello = BuildPresencePacket(silent, true);
    raw.writeDatagram(hello, QHostAddress(QStringLiteral("10.23.0.255")), PeerPort);
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 1; }, 5000));
    while (raw.hasPendingDatagrams())
        raw.receiveDatagram();
    Ledger fromAnna(*anna->core().delivery());
    anna->core().sendToUser(anna->indexOf(silent.ID), QStringLiteral("anyone?"));
    QList<QByteArray> copies;
    int notices = 0;
    QVERIFY(waitUntil(
        [&] {
            while (raw.hasPendingDatagrams()) {
                const QByteArray data = raw.receiveDatagram().data();
                if (ClassifyPacket(data) == pkMessageToUser)
                    copies.append(data);
                else if (data.startsWith("PERIXRETRY"))
                    ++notices;
            }
            return fromAnna.verdicts == 1;
        },
        8000));
    settle(1500);
    while (raw.hasPendingDatagrams()) {
        if (ClassifyPacket(raw.receiveDatagram().data()) == pkMessageToUser)
            copies.append(QByteArray());
    }
    QCOMPARE(copies.size(), 4);
    QCOMPARE(notices, 3);
    for (const QByteArray &copy : std::as_const(copies))
        QCOMPARE(copy, copies.first());
    QCOMPARE(fromAnna.delivered.value(fromAnna.order.first()), false);
}

QTEST_GUILESS_MAIN(TestDeliveryNetns)
#include "test_delivery_netns.moc"
