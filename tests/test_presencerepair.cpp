// Presence that survives loss: the repeated NEW of a starting peer and the UPDATEINFO for computers
// that lost us, on a made-up clock.
#include "peers/ListedCheck.h"
#include "peers/NewRepeat.h"

#include <QRegularExpression>
#include <QTest>

#include <functional>

namespace {

const QHostAddress Self(QStringLiteral("10.0.0.1"));
const QHostAddress Anna(QStringLiteral("10.0.0.2"));
const QHostAddress Boris(QStringLiteral("10.0.0.3"));
const QByteArray New("NEW!^:^$<ALIAS>me</ALIAS><ID>{ME}</ID>");

struct Event {
    QString what;
    QHostAddress from;
    qint64 at = 0;
};

// "what:<last octet>@time"
QList<Event> parse(const QStringList &events)
{
    QList<Event> result;
    for (const QString &event : events) {
        const QStringList parts = event.split(QRegularExpression(QStringLiteral("[:@]")));
        result.append(
            {parts[0], QHostAddress(quint32(0x0A000000 + parts[1].toInt())), parts[2].toLongLong()});
    }
    return result;
}

// What a NewRepeat sends over its whole life: "b@ms" for a broadcast, "u:<last octet>@ms" for a unicast.
QStringList run(NewRepeat &repeat, const std::function<void(qint64)> &world)
{
    QStringList sent;
    for (qint64 ms = 0; ms <= NewRepeat::ActiveMs + 1000; ++ms) {
        world(ms);
        const NewRepeat::Actions actions = repeat.step(ms);
        if (actions.broadcast)
            sent.append(QStringLiteral("b@%1").arg(ms));
        for (const QHostAddress &to : actions.unicast)
            sent.append(QStringLiteral("u:%1@%2").arg(to.toIPv4Address() & 0xFF).arg(ms));
    }
    return sent;
}

} // namespace

class TestPresenceRepair : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newRepeat_data();
    void newRepeat();
    void newRepeatSaysWhenItIsDue();
    void listedCheck_data();
    void listedCheck();
    void listedCheckMemoryIsBounded();
};

void TestPresenceRepair::newRepeat_data()
{
    // Events: "echo:<octet>@ms" an echo of our NEW, "other-echo:<octet>@ms" an echo of other bytes,
    // "heard:<octet>@ms" a NEW or UPDATEINFO of another user from there.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("alone: three broadcasts") << QStringList{} << QStringList{"b@1000", "b@3000", "b@7000"};
    QTest::newRow("our own echo says nothing")
        << QStringList{"echo:1@1"} << QStringList{"b@1000", "b@3000", "b@7000"};
    QTest::newRow("our own NEW read back is no answer")
        << QStringList{"heard:1@1", "echo:1@1"} << QStringList{"b@1000", "b@3000", "b@7000"};
    QTest::newRow("answered at once") << QStringList{"echo:2@1", "heard:2@5"} << QStringList{};
    QTest::newRow("answered late") << QStringList{"heard:2@2000"} << QStringList{"b@1000"};
    QTest::newRow("echoed, answer lost")
        << QStringList{"echo:2@2"} << QStringList{"u:2@1002", "u:2@2002", "u:2@4002"};
    QTest::newRow("echoed, answered after the first unicast")
        << QStringList{"echo:2@2", "heard:2@1010"} << QStringList{"u:2@1002"};
    QTest::newRow("one answers, the other lost its answer")
        << QStringList{"echo:2@2", "echo:3@3", "heard:2@10"}
        << QStringList{"u:3@1003", "u:3@2003", "u:3@4003"};
    QTest::newRow("the first broadcast lost, the second echoed")
        << QStringList{"echo:2@1001"} << QStringList{"b@1000", "u:2@2001", "u:2@3001", "u:2@5001"};
    QTest::newRow("echoes of other bytes say nothing")
        << QStringList{"other-echo:2@2"} << QStringList{"b@1000", "b@3000", "b@7000"};
    QTest::newRow("echoes after the first seconds say nothing")
        << QStringList{"heard:3@1", "echo:2@15001"} << QStringList{};
}

void TestPresenceRepair::newRepeat()
{
    QFETCH(QStringList, events);
    QFETCH(QStringList, sent);
    NewRepeat repeat;
    repeat.start(New, Self, 0);
    const QList<Event> parsed = parse(events);
    const QStringList actual = run(repeat, [&](qint64 ms) {
        for (const Event &event : parsed) {
            if (event.at != ms)
                continue;
            if (event.what == QLatin1String("echo"))
                repeat.EchoReceived(event.from, New, ms);
            else if (event.what == QLatin1String("other-echo"))
                repeat.EchoReceived(event.from, New + ' ', ms);
            else
                repeat.HeardFrom(event.from);
        }
    });
    QCOMPARE(actual, sent);
}

void TestPresenceRepair::newRepeatSaysWhenItIsDue()
{
    NewRepeat idle;
    QCOMPARE(idle.nextDueMs(), qint64(-1));
    QVERIFY(!idle.step(5000).broadcast);
    NewRepeat repeat;
    repeat.start(New, Self, 100000);
    QCOMPARE(repeat.nextDueMs(), qint64(101000));
    // A busy event loop that wakes late sends one broadcast, not the ones it missed.
    QVERIFY(repeat.step(104000).broadcast);
    QCOMPARE(repeat.nextDueMs(), qint64(107000));
    repeat.EchoReceived(Anna, New, 104100);
    QCOMPARE(repeat.nextDueMs(), qint64(104100 + NewRepeat::AnswerWaitMs));
    repeat.HeardFrom(Anna);
    QCOMPARE(repeat.nextDueMs(), qint64(-1));
    QVERIFY(!repeat.running(100000 + NewRepeat::ActiveMs + 1));
}

void TestPresenceRepair::listedCheck_data()
{
    // Events: "probe:<octet>@s" a probe from there; "answering:<octets>@s" the computers of our users
    // that echo our probes, looked at every second. Times in seconds; the period is 30 s.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("repairs");
    QStringList everyPeriod;
    for (int s = 0; s <= 400; s += 30)
        everyPeriod.append(QStringLiteral("probe:2@%1").arg(s));
    QTest::newRow("probing every period") << everyPeriod << QStringList{};
    // A computer with many hosts stretches its period; two periods of ours pass without a repair.
    QTest::newRow("probing every 60 s")
        << QStringList{"probe:2@0",   "probe:2@60",  "probe:2@120", "probe:2@180",
                       "probe:2@240", "probe:2@300", "probe:2@360"}
        << QStringList{};
    QTest::newRow("never probed: not one of ours") << QStringList{} << QStringList{};
    QTest::newRow("stopped probing: lost us")
        << QStringList{"probe:2@0"} << QStringList{"2@92", "2@184", "2@276"};
    QTest::newRow("probes again after the repair")
        << QStringList{"probe:2@0", "probe:2@100"} << QStringList{"2@92", "2@192", "2@284", "2@376"};
    QTest::newRow("silent but no longer echoing: the probe's business")
        << QStringList{"probe:3@0"} << QStringList{};
}

void TestPresenceRepair::listedCheck()
{
    QFETCH(QStringList, events);
    QFETCH(QStringList, repairs);
    ListedCheck check(30000);
    QCOMPARE(check.silenceMs(), qint64(92000));
    QStringList actual;
    const QList<Event> parsed = parse(events);
    for (qint64 s = 0; s <= 400; ++s) {
        for (const Event &event : parsed) {
            if (event.at == s)
                check.ProbeReceived(event.from, s * 1000);
        }
        // Anna's computer (.2) answers our probes; Boris's (.3) does not.
        for (const QHostAddress &to : check.step({Anna}, s * 1000))
            actual.append(QStringLiteral("%1@%2").arg(to.toIPv4Address() & 0xFF).arg(s));
    }
    QCOMPARE(actual, repairs);
}

void TestPresenceRepair::listedCheckMemoryIsBounded()
{
    QVERIFY(ListedCheck::IsProbe("PXPROBE 1f2e3d"));
    QVERIFY(!ListedCheck::IsProbe("PXPROBE"));
    QVERIFY(!ListedCheck::IsProbe("NEW!^:^$"));
    QVERIFY(!ListedCheck::IsProbe("PXPROBE " + QByteArray(100, 'x')));
    ListedCheck check(30000);
    for (int i = 0; i < ListedCheck::MaxComputers + 100; ++i)
        check.ProbeReceived(QHostAddress(quint32(0x0B000000 + i)), i);
    // The newest are remembered: the last one is repaired when it falls silent, the first is gone.
    const QHostAddress first(quint32(0x0B000000));
    const QHostAddress last(quint32(0x0B000000 + ListedCheck::MaxComputers + 99));
    const QList<QHostAddress> due = check.step({first, last}, 1000000);
    QCOMPARE(due, QList<QHostAddress>{last});
}

QTEST_GUILESS_MAIN(TestPresenceRepair)
#include "test_presencerepair.moc"
