// The presence probe with a fake clock and a fake network of hosts: hours of probing in a moment.
#include "net/ExtraAddresses.h"
#include "peers/PresenceProbe.h"
#include "protocol/ProtocolClassUn.h"

#include <QSignalSpy>
#include <QTest>

#include <map>

namespace {

// A network of hosts for the probe: each probe is echoed after a few milliseconds unless the host
// is silent; time moves only when the test says so.
class FakeNetwork {
public:
    struct Sent {
        qint64 at;
        quint32 to;
        QByteArray payload;
    };

    explicit FakeNetwork(int periodMs = PresenceProbe::DefaultPeriodMs)
    {
        PresenceProbe::Hooks hooks;
        hooks.now = [this] {
            return now;
        };
        hooks.onlinePeers = [this] {
            return peers;
        };
        hooks.send = [this](const QHostAddress &to, const QByteArray &payload) {
            const quint32 ip = to.toIPv4Address();
            sent.append({now, ip, payload});
            if (!silent.contains(ip) && !unreachable)
                echoes.insert({now + EchoLatencyMs, {ip, payload}});
            return true;
        };
        hooks.testTargets = [] {
            return QList<QHostAddress>{QHostAddress("10.0.0.255")};
        };
        probe = std::make_unique<PresenceProbe>(hooks, periodMs);
        QObject::connect(probe.get(), &PresenceProbe::peerVanished, probe.get(), [this](const QString &id) {
            vanished.append({now, id});
            if (removeVanished)
                peers.removeIf([&id](const PresenceProbe::Peer &p) { return p.id == id; });
        });
        QObject::connect(probe.get(), &PresenceProbe::hostAnswersAgain, probe.get(),
                         [this](const QHostAddress &a) { greeted.append(a.toString()); });
    }

    void addHosts(int count, const QString &prefix = QStringLiteral("10.0."))
    {
        for (int i = 0; i < count; ++i)
            peers.append({QStringLiteral("{ID-%1}").arg(peers.size()),
                          prefix + QStringLiteral("%1.%2").arg(1 + i / 250).arg(1 + i % 250)});
    }

    // Runs the schedule the way its timer would, delivering echoes on time.
    void runUntil(qint64 end)
    {
        while (now < end) {
            while (!echoes.empty() && echoes.begin()->first <= now) {
                const auto [ip, payload] = echoes.begin()->second;
                echoes.erase(echoes.begin());
                probe->EchoReceived(QHostAddress(ip), payload);
            }
            qint64 next = now + probe->step();
            if (!echoes.empty())
                next = std::min(next, echoes.begin()->first);
            now = std::min(std::max(next, now + 1), end);
        }
    }

    QList<Sent> probesTo(quint32 ip) const
    {
        QList<Sent> result;
        for (const Sent &s : sent) {
            if (s.to == ip && s.payload == probe->probePayload())
                result.append(s);
        }
        return result;
    }

    static constexpr qint64 EchoLatencyMs = 3;
    qint64 now = 0;
    bool unreachable = false;
    bool removeVanished = true;
    QList<PresenceProbe::Peer> peers;
    QList<Sent> sent;
    QSet<quint32> silent;
    std::multimap<qint64, std::pair<quint32, QByteArray>> echoes;
    QList<std::pair<qint64, QString>> vanished;
    QStringList greeted;
    std::unique_ptr<PresenceProbe> probe;
};

quint32 ip(const char *text)
{
    return QHostAddress(QLatin1StringView(text)).toIPv4Address();
}

} // namespace

class TestProbe : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void probeIsKindZeroAndTiny();
    void probesOf250PeersStayUnderTenASecond();
    void manyHostsStretchThePeriod();
    void silentHostVanishesAfterThreeUnansweredProbes();
    void oneAnswerResetsTheCount();
    void copiesOnOneHostShareTheProbe();
    void arrivalAddressIsAskedNotTheIpField();
    void foreignEchoesDoNotCount();
    void vanishedHostIsGreetedWhenItAnswers();
    void returnWithPresenceNeedsNoGreeting();
    void silentHostsAreBounded();
    void echoTestCountsHostsWithinOneSecond();
    void silentRightAfterArrivalGoesInTime_data();
    void silentRightAfterArrivalGoesInTime();
    void silentRightAfterAnEchoGoesInTime();
};

void TestProbe::probeIsKindZeroAndTiny()
{
    FakeNetwork net;
    const QByteArray probe = net.probe->probePayload();
    QCOMPARE(ClassifyPacket(probe), quint8(pkUnknown));
    QVERIFY(probe.size() <= 32);
    QVERIFY(!probe.contains("!^:^$"));
    QVERIFY(net.probe->StartTest());
    QCOMPARE(net.sent.size(), 1);
    QCOMPARE(ClassifyPacket(net.sent.first().payload), quint8(pkUnknown));
    QVERIFY(net.sent.first().payload != probe);
    // Another run has another probe: echoes of its datagrams are not ours.
    FakeNetwork other;
    QVERIFY(other.probe->probePayload() != probe);
}

void TestProbe::probesOf250PeersStayUnderTenASecond()
{
    FakeNetwork net;
    net.addHosts(250);
    net.runUntil(300 * 1000);
    QVERIFY(net.vanished.isEmpty());
    std::map<qint64, int> perSecond;
    for (const FakeNetwork::Sent &s : net.sent)
        ++perSecond[s.at / 1000];
    int busiest = 0;
    for (const auto &[second, count] : perSecond)
        busiest = std::max(busiest, count);
    QVERIFY2(busiest < 10, qPrintable(QString::number(busiest)));
    // After the first period every host is asked once a period: 250 / 30 s = 8.3 a second.
    int steady = 0;
    for (const FakeNetwork::Sent &s : net.sent)
        steady += s.at >= 60 * 1000 && s.at < 270 * 1000;
    QVERIFY2(steady >= 1740 && steady <= 1760, qPrintable(QString::number(steady)));
    for (int i = 0; i < 250; ++i) {
        const QList<FakeNetwork::Sent> probes =
            net.probesTo(ParseDottedQuad(net.peers.at(i).ip).toIPv4Address());
        QVERIFY(probes.size() >= 8);
        for (qsizetype k = 1; k < probes.size(); ++k) {
            const qint64 gap = probes.at(k).at - probes.at(k - 1).at;
            QVERIFY2(gap >= 30000 && gap <= 30200, qPrintable(QString::number(gap)));
        }
    }
}

void TestProbe::manyHostsStretchThePeriod()
{
    FakeNetwork net;
    net.addHosts(1000);
    net.runUntil(200 * 1000);
    int inLastHundredSeconds = 0;
    for (const FakeNetwork::Sent &s : net.sent)
        inLastHundredSeconds += s.at >= 100 * 1000;
    // One probe every 112 ms at most.
    QVERIFY(inLastHundredSeconds <= 100 * 1000 / PresenceProbe::MinSpacingMs + 1);
    QVERIFY(inLastHundredSeconds >= 100 * 1000 / PresenceProbe::MinSpacingMs - 2);
    QVERIFY(net.vanished.isEmpty());
}

void TestProbe::silentHostVanishesAfterThreeUnansweredProbes()
{
    FakeNetwork net;
    net.peers = {{"{A}", "10.0.0.1"}, {"{B}", "10.0.0.2"}};
    net.runUntil(100 * 1000);
    QVERIFY(net.vanished.isEmpty());
    const qint64 lastAnswered = net.probesTo(ip("10.0.0.2")).last().at;
    net.silent.insert(ip("10.0.0.2"));
    net.runUntil(lastAnswered + 2 * 30000 + 1000);
    // Two unanswered probes are not enough.
    QVERIFY(net.vanished.isEmpty());
    net.runUntil(400 * 1000);
    QCOMPARE(net.vanished.size(), 1);
    QCOMPARE(net.vanished.first().second, QStringLiteral("{B}"));
    const QList<FakeNetwork::Sent> probes = net.probesTo(ip("10.0.0.2"));
    int unanswered = 0;
    for (const FakeNetwork::Sent &s : probes)
        unanswered += s.at > lastAnswered && s.at < net.vanished.first().first;
    QCOMPARE(unanswered, 3);
    // Gone after the third probe's wait: within 3 periods and the wait of the last answered probe.
    const qint64 after = net.vanished.first().first - lastAnswered;
    QVERIFY2(after > 3 * 30000 && after <= 3 * 30000 + PresenceProbe::EchoWaitMs + 200,
             qPrintable(QString::number(after)));
    QCOMPARE(net.probe->vanishedHostCount(), 1);
    QCOMPARE(net.probe->hostCount(), 1);
}

void TestProbe::oneAnswerResetsTheCount()
{
    FakeNetwork net(1000);
    net.peers = {{"{A}", "10.0.0.1"}};
    for (int round = 0; round < 10; ++round) {
        net.silent.insert(ip("10.0.0.1"));
        net.runUntil(net.now + 2 * 1000);
        net.silent.clear();
        net.runUntil(net.now + 1000);
    }
    QVERIFY(net.vanished.isEmpty());
    net.silent.insert(ip("10.0.0.1"));
    net.runUntil(net.now + 5000);
    QCOMPARE(net.vanished.size(), 1);
}

void TestProbe::copiesOnOneHostShareTheProbe()
{
    FakeNetwork net;
    net.peers = {{"{A1}", "10.0.0.1"}, {"{A2}", "10.0.0.1"}, {"{A3}", "10.0.0.1"}, {"{B}", "10.0.0.2"}};
    net.runUntil(200 * 1000);
    const int toA = int(net.probesTo(ip("10.0.0.1")).size());
    QCOMPARE(toA, int(net.probesTo(ip("10.0.0.2")).size()));
    // Once a period from the moment each host was heard of: at 0, 30, ... 180 s.
    QVERIFY(toA >= 6 && toA <= 7);
    QCOMPARE(net.probe->hostCount(), 2);
    net.silent.insert(ip("10.0.0.1"));
    net.runUntil(400 * 1000);
    QStringList gone;
    for (const auto &[at, id] : net.vanished)
        gone.append(id);
    QCOMPARE(gone, QStringList({"{A1}", "{A2}", "{A3}"}));
}

void TestProbe::arrivalAddressIsAskedNotTheIpField()
{
    FakeNetwork net;
    // Its IP field names a VPN address; its packets come from the LAN.
    net.peers = {{"{A}", "10.8.0.6"}};
    net.probe->NoteSource(QStringLiteral("{A}"), QHostAddress("192.168.1.20"));
    net.runUntil(100 * 1000);
    QVERIFY(net.probesTo(ip("10.8.0.6")).isEmpty());
    QVERIFY(net.probesTo(ip("192.168.1.20")).size() >= 2);
    QCOMPARE(net.probe->TargetOf({"{A}", "10.8.0.6"}), QHostAddress("192.168.1.20"));
    // Without an arrival the IP field is taken; nothing is asked where nothing can answer.
    QCOMPARE(net.probe->TargetOf({"{B}", "10.1.1.1"}), QHostAddress("10.1.1.1"));
    QVERIFY(net.probe->TargetOf({"{C}", "0.0.0.0"}).isNull());
    QVERIFY(net.probe->TargetOf({"{D}", "224.0.0.1"}).isNull());
    QVERIFY(net.probe->TargetOf({"{E}", "not an ip"}).isNull());
    QVERIFY(net.probe->TargetOf({"{F}", ""}).isNull());
}

void TestProbe::foreignEchoesDoNotCount()
{
    FakeNetwork net(1000);
    net.peers = {{"{A}", "10.0.0.1"}};
    net.silent.insert(ip("10.0.0.1"));
    // Somebody keeps sending things that are not the echo of our probe, or not from that host.
    for (int i = 0; i < 50; ++i) {
        net.probe->EchoReceived(QHostAddress("10.0.0.1"), QByteArray("PXPROBE 0"));
        net.probe->EchoReceived(QHostAddress("10.0.0.9"), net.probe->probePayload());
        net.runUntil(net.now + 100);
    }
    QCOMPARE(net.vanished.size(), 1);
}

void TestProbe::vanishedHostIsGreetedWhenItAnswers()
{
    FakeNetwork net(1000);
    net.peers = {{"{A}", "10.0.0.1"}};
    net.silent.insert(ip("10.0.0.1"));
    net.runUntil(6000);
    QCOMPARE(net.vanished.size(), 1);
    QVERIFY(net.peers.isEmpty());
    // A silent host is still asked now and then, within the same rate.
    const qsizetype before = net.probesTo(ip("10.0.0.1")).size();
    net.runUntil(20000);
    QVERIFY(net.probesTo(ip("10.0.0.1")).size() > before);
    QVERIFY(net.greeted.isEmpty());
    net.silent.clear();
    net.runUntil(23000);
    QCOMPARE(net.greeted, QStringList{"10.0.0.1"});
    // Greeted once; it is no longer asked until its users are back.
    net.runUntil(40000);
    QCOMPARE(net.greeted.size(), 1);
    QCOMPARE(net.probe->vanishedHostCount(), 0);
    const qsizetype afterGreeting = net.probesTo(ip("10.0.0.1")).size();
    net.runUntil(50000);
    QCOMPARE(net.probesTo(ip("10.0.0.1")).size(), afterGreeting);
    // Its answer brings the user back, and the host is asked as before.
    net.peers = {{"{A}", "10.0.0.1"}};
    net.probe->NoteSource(QStringLiteral("{A}"), QHostAddress("10.0.0.1"));
    net.runUntil(60000);
    QVERIFY(net.probesTo(ip("10.0.0.1")).size() > afterGreeting);
    QCOMPARE(net.probe->hostCount(), 1);
}

void TestProbe::returnWithPresenceNeedsNoGreeting()
{
    FakeNetwork net(1000);
    net.peers = {{"{A}", "10.0.0.1"}};
    net.silent.insert(ip("10.0.0.1"));
    net.runUntil(6000);
    QCOMPARE(net.vanished.size(), 1);
    // It restarted and sent NEW: known again before any echo.
    net.silent.clear();
    net.probe->NoteSource(QStringLiteral("{A}"), QHostAddress("10.0.0.1"));
    net.peers = {{"{A}", "10.0.0.1"}};
    net.runUntil(20000);
    QVERIFY(net.greeted.isEmpty());
    QCOMPARE(net.vanished.size(), 1);
    QCOMPARE(net.probe->vanishedHostCount(), 0);

    // Another user arriving at a silent host brings it back as well.
    net.silent.insert(ip("10.0.0.1"));
    net.runUntil(26000);
    QCOMPARE(net.vanished.size(), 2);
    net.silent.clear();
    net.removeVanished = false;
    net.peers = {{"{A2}", "10.0.0.1"}};
    net.runUntil(40000);
    QCOMPARE(net.vanished.size(), 2);
    QCOMPARE(net.probe->hostCount(), 1);
}

void TestProbe::silentHostsAreBounded()
{
    FakeNetwork net(1000);
    net.addHosts(300);
    net.unreachable = true;
    net.runUntil(200 * 1000);
    QCOMPARE(net.vanished.size(), 300);
    QVERIFY(net.probe->vanishedHostCount() <= PresenceProbe::MaxVanishedHosts);
    QCOMPARE(net.probe->hostCount(), 0);
    net.runUntil(PresenceProbe::VanishedKeptMs + 300 * 1000);
    QCOMPARE(net.probe->vanishedHostCount(), 0);
    const qsizetype sent = net.sent.size();
    net.runUntil(net.now + 100 * 1000);
    QCOMPARE(net.sent.size(), sent);
}

void TestProbe::echoTestCountsHostsWithinOneSecond()
{
    FakeNetwork net;
    // The broadcast address itself never answers; the hosts behind it do.
    net.silent.insert(ip("10.0.0.255"));
    QSignalSpy finished(net.probe.get(), &PresenceProbe::testFinished);
    QVERIFY(net.probe->StartTest());
    QVERIFY(!net.probe->StartTest());
    QCOMPARE(net.sent.size(), 1);
    QCOMPARE(net.sent.first().to, ip("10.0.0.255"));
    const QByteArray payload = net.sent.first().payload;
    net.probe->EchoReceived(QHostAddress("10.0.0.1"), payload);
    net.probe->EchoReceived(QHostAddress("10.0.0.2"), payload);
    net.probe->EchoReceived(QHostAddress("10.0.0.2"), payload);
    net.probe->EchoReceived(QHostAddress("10.0.0.3"), QByteArray("something else"));
    net.runUntil(999);
    QCOMPARE(finished.size(), 0);
    net.probe->EchoReceived(QHostAddress("10.0.0.4"), payload);
    net.runUntil(1001);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 3);
    // Late echoes count for nothing; the next test has a payload of its own.
    net.probe->EchoReceived(QHostAddress("127.0.0.5"), payload);
    QVERIFY(net.probe->StartTest());
    QVERIFY(net.sent.last().payload != payload);
    net.probe->EchoReceived(QHostAddress("127.0.0.5"), payload);
    net.runUntil(3000);
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished.last().first().toInt(), 0);
}

void TestProbe::silentRightAfterArrivalGoesInTime_data()
{
    QTest::addColumn<int>("others");
    QTest::addColumn<qint64>("arrivalMs");
    QTest::newRow("alone") << 0 << qint64(0);
    // Another host was asked a moment before: the newcomer's first probe must not wait for a share of
    // the period.
    QTest::newRow("just after another host's probe") << 1 << qint64(30000 + 500);
    QTest::newRow("one of a crowd") << 40 << qint64(45000);
}

// A host gone right after it was heard of for the first time leaves within three periods and a
// second of that moment, whatever the schedule of the others.
void TestProbe::silentRightAfterArrivalGoesInTime()
{
    QFETCH(int, others);
    QFETCH(qint64, arrivalMs);
    FakeNetwork net;
    net.addHosts(others);
    net.runUntil(arrivalMs);
    QVERIFY(net.vanished.isEmpty());
    net.peers.append({QStringLiteral("{NEWCOMER}"), QStringLiteral("10.9.9.9")});
    net.silent.insert(ip("10.9.9.9"));
    net.probe->PeersChanged();
    net.runUntil(arrivalMs + 200 * 1000);
    QCOMPARE(net.vanished.size(), 1);
    QCOMPARE(net.vanished.first().second, QStringLiteral("{NEWCOMER}"));
    const qint64 after = net.vanished.first().first - arrivalMs;
    QVERIFY2(after <= 3 * PresenceProbe::DefaultPeriodMs + 1000, qPrintable(QString::number(after)));
    // Three unanswered probes all the same.
    int unanswered = 0;
    for (const FakeNetwork::Sent &sent : net.probesTo(ip("10.9.9.9")))
        unanswered += sent.at < net.vanished.first().first;
    QCOMPARE(unanswered, 3);
    Q_UNUSED(others)
}

// A host that answered and then fell silent leaves within three periods and a second of its last
// echo, and is asked no more often than once a period.
void TestProbe::silentRightAfterAnEchoGoesInTime()
{
    FakeNetwork net;
    net.addHosts(12);
    const quint32 target = ParseDottedQuad(net.peers.at(5).ip).toIPv4Address();
    net.runUntil(200 * 1000);
    QVERIFY(net.vanished.isEmpty());
    // Run until the echo of a probe to it has just come back, then it falls silent.
    const qint64 lastProbe = net.probesTo(target).last().at;
    net.runUntil(lastProbe + PresenceProbe::DefaultPeriodMs + FakeNetwork::EchoLatencyMs);
    const qint64 lastEcho = net.probesTo(target).last().at + FakeNetwork::EchoLatencyMs;
    net.silent.insert(target);
    net.runUntil(lastEcho + 200 * 1000);
    QCOMPARE(net.vanished.size(), 1);
    const qint64 after = net.vanished.first().first - lastEcho;
    QVERIFY2(after <= 3 * PresenceProbe::DefaultPeriodMs + 1000, qPrintable(QString::number(after)));
    QVERIFY2(after > 2 * PresenceProbe::DefaultPeriodMs, qPrintable(QString::number(after)));
    const QList<FakeNetwork::Sent> probes = net.probesTo(target);
    for (qsizetype k = 1; k < probes.size(); ++k)
        QVERIFY(probes.at(k).at - probes.at(k - 1).at >= PresenceProbe::DefaultPeriodMs);
}

QTEST_GUILESS_MAIN(TestProbe)
#include "test_probe.moc"
