// Receipts from echoes, retries and the filter that keeps retries from being shown twice: all on a
// made-up clock and a recording network.
#include "net/DuplicateFilter.h"
#include "net/ReceiptTracker.h"
#include "protocol/ProtocolUn.h"
#include "protocol/RetryNotice.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <map>

namespace {

const QHostAddress Anna(QStringLiteral("10.0.0.1"));
const QHostAddress Boris(QStringLiteral("10.0.0.2"));
const QHostAddress Shared(QStringLiteral("10.0.0.3"));
const QByteArray Hello("MESSAGETOUSER!^:^$<FROMUSERID>{B}</FROMUSERID><MESSAGESTR>hello</MESSAGESTR>");

// The tracker's world: a clock, and every datagram it sends.
struct Net {
    qint64 now = 0;
    struct Sent {
        qint64 ms;
        QHostAddress to; // null for a broadcast
        QByteArray bytes;
    };
    QList<Sent> sent;
    std::unique_ptr<ReceiptTracker> tracker;

    Net()
    {
        ReceiptTracker::Hooks hooks;
        hooks.now = [this] {
            return now;
        };
        hooks.sendTo = [this](const QHostAddress &to, const QByteArray &bytes) {
            sent.append({now, to, bytes});
            return true;
        };
        hooks.broadcast = [this](const QByteArray &bytes) {
            sent.append({now, QHostAddress(), bytes});
            return true;
        };
        tracker = std::make_unique<ReceiptTracker>(hooks);
    }
    // Runs the schedule as its timer would until that time.
    void runUntil(qint64 end)
    {
        for (int guard = 0; now < end && guard < 100000; ++guard) {
            const int sleep = tracker->step();
            now = std::min(end, now + sleep);
        }
        tracker->step();
    }
    // Copies of the packet that reached that address (its own unicasts and every broadcast).
    int copiesTo(const QHostAddress &address, const QByteArray &bytes) const
    {
        return int(std::count_if(sent.cbegin(), sent.cend(), [&](const Sent &s) {
            return s.bytes == bytes && (s.to.isNull() || s.to == address);
        }));
    }
    QList<qint64> sendTimes(const QByteArray &bytes) const
    {
        QList<qint64> times;
        for (const Sent &s : sent) {
            if (s.bytes == bytes)
                times.append(s.ms);
        }
        return times;
    }
};

} // namespace

class TestReceipts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void digestText_data();
    void digestText();
    void retryNotice_data();
    void retryNotice();

    void duplicates_data();
    void duplicates();
    void duplicateMemoryIsBounded();

    void retries_data();
    void retries();
    void injectedSchedule();
    void sharedComputer_data();
    void sharedComputer();
    void noComputerGetsMoreThanFourCopies();
    void equalBytesShareTheirEchoes();
    void onlyEchoesOfTheBytesFromTheComputerCount();
    void computersWithoutAddressAreNotDelivered();
    void oldestIsSettledAtTheCap();
    void slotsMayTrackAndForget();
};

void TestReceipts::digestText_data()
{
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<bool>("valid");
    QTest::newRow("lower case") << QByteArray("0123456789abcdef0123456789abcdef") << true;
    QTest::newRow("upper case") << QByteArray("0123456789ABCDEF0123456789ABCDEF") << true;
    QTest::newRow("one short") << QByteArray("0123456789abcdef0123456789abcde") << false;
    QTest::newRow("one long") << QByteArray("0123456789abcdef0123456789abcdef0") << false;
    QTest::newRow("not hex") << QByteArray("0123456789abcdef0123456789abcdeg") << false;
    QTest::newRow("sign") << QByteArray("+123456789abcdef0123456789abcdef") << false;
    QTest::newRow("blank") << QByteArray(" 123456789abcdef0123456789abcdef") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestReceipts::digestText()
{
    QFETCH(QByteArray, hex);
    QFETCH(bool, valid);
    const std::optional<PacketDigest> digest = PacketDigest::fromHex(hex);
    QCOMPARE(digest.has_value(), valid);
    if (valid)
        QCOMPARE(digest->toHex(), hex.toLower());
}

void TestReceipts::retryNotice_data()
{
    const PacketDigest digest = PacketDigest::of(Hello);
    const QByteArray notice = BuildRetryNotice(digest);
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("isNotice");
    QTest::newRow("as built") << notice << true;
    QTest::newRow("one byte more") << notice + ' ' << false;
    QTest::newRow("one byte less") << notice.chopped(1) << false;
    QTest::newRow("a blank before") << ' ' + notice << false;
    QTest::newRow("lower-case header") << notice.toLower() << false;
    QTest::newRow("another tag") << QByteArray(notice).replace("DIGEST", "DIGESX") << false;
    QTest::newRow("a packet") << Hello << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestReceipts::retryNotice()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, isNotice);
    const std::optional<PacketDigest> read = ReadRetryNotice(datagram);
    QCOMPARE(read.has_value(), isNotice);
    if (isNotice)
        QCOMPARE(*read, PacketDigest::of(Hello));
    // Peers that know only the eleven kinds ignore it.
    QCOMPARE(ClassifyPacket(BuildRetryNotice(PacketDigest::of(Hello))), quint8(pkUnknown));
    QCOMPARE(BuildRetryNotice(PacketDigest{0x0123456789abcdefULL, 0xfedcba9876543210ULL}),
             QByteArray("PERIXRETRY!^:^$<DIGEST>0123456789abcdeffedcba9876543210</DIGEST>"));
}

void TestReceipts::duplicates_data()
{
    // Each step: time, sender port, what ("packet", "other", "notice", "notice-other"), verdict.
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("twice without a notice: two messages")
        << QStringList{"0 1 packet deliver", "10 1 packet deliver", "20 1 packet deliver"};
    QTest::newRow("an announced copy of what came")
        << QStringList{"0 1 packet deliver", "250 1 notice notice", "250 1 packet drop"};
    QTest::newRow("an announced copy of what was lost") << QStringList{
        "250 1 notice notice", "250 1 packet deliver", "1250 1 notice notice", "1250 1 packet drop"};
    QTest::newRow("one notice, one copy") << QStringList{"0 1 packet deliver", "250 1 notice notice",
                                                         "250 1 packet drop", "260 1 packet deliver"};
    QTest::newRow("the notice of another sender")
        << QStringList{"0 1 packet deliver", "250 2 notice notice", "250 1 packet deliver"};
    QTest::newRow("the packet of another sender")
        << QStringList{"0 1 packet deliver", "250 2 notice notice", "250 2 packet deliver"};
    QTest::newRow("a notice of other bytes")
        << QStringList{"0 1 packet deliver", "250 1 notice-other notice", "250 1 packet deliver"};
    QTest::newRow("a stale notice") << QStringList{"0 1 packet deliver", "250 1 notice notice",
                                                   "2251 1 packet deliver"};
    QTest::newRow("a notice within its life")
        << QStringList{"0 1 packet deliver", "250 1 notice notice", "2250 1 packet drop"};
    QTest::newRow("seen more than two minutes ago")
        << QStringList{"0 1 packet deliver", "120001 1 notice notice", "120001 1 packet deliver"};
    QTest::newRow("seen two minutes ago")
        << QStringList{"0 1 packet deliver", "120000 1 notice notice", "120000 1 packet drop"};
    QTest::newRow("other bytes between")
        << QStringList{"0 1 packet deliver", "5 1 other deliver", "250 1 notice notice", "250 1 packet drop"};
}

void TestReceipts::duplicates()
{
    QFETCH(QStringList, steps);
    DuplicateFilter filter;
    const QByteArray other("MESSAGE!^:^$<MESSAGESTR>ok</MESSAGESTR>");
    for (const QString &step : std::as_const(steps)) {
        const QStringList parts = step.split(' ');
        const qint64 ms = parts[0].toLongLong();
        const quint16 port = quint16(40000 + parts[1].toInt());
        const QString what = parts[2];
        QByteArray bytes = Hello;
        if (what == QLatin1String("other"))
            bytes = other;
        else if (what == QLatin1String("notice"))
            bytes = BuildRetryNotice(PacketDigest::of(Hello));
        else if (what == QLatin1String("notice-other"))
            bytes = BuildRetryNotice(PacketDigest::of(other));
        const DuplicateFilter::Verdict verdict = filter.take(Anna, port, bytes, ms);
        const QString expected = parts[3];
        const DuplicateFilter::Verdict wanted =
            expected == QLatin1String("drop")     ? DuplicateFilter::Verdict::Drop
            : expected == QLatin1String("notice") ? DuplicateFilter::Verdict::Notice
                                                  : DuplicateFilter::Verdict::Deliver;
        QVERIFY2(verdict == wanted, qPrintable(step));
    }
}

void TestReceipts::duplicateMemoryIsBounded()
{
    DuplicateFilter filter;
    // A flood of distinct datagrams and notices within one second.
    const int flood = DuplicateFilter::MaxRecords + 5000;
    for (int i = 0; i < flood; ++i) {
        const QByteArray bytes = "MESSAGE!^:^$" + QByteArray::number(i);
        QCOMPARE(filter.take(Anna, 40000, bytes, i / 100), DuplicateFilter::Verdict::Deliver);
        if (i % 10 == 0)
            filter.take(Anna, 40000, BuildRetryNotice(PacketDigest::of(bytes + 'x')), i / 100);
    }
    QCOMPARE(filter.recordCount(), DuplicateFilter::MaxRecords);
    QVERIFY(filter.noticeCount() <= DuplicateFilter::MaxNotices);
    // The newest are remembered, the oldest forgotten.
    const QByteArray newest = "MESSAGE!^:^$" + QByteArray::number(flood - 1);
    const QByteArray oldest = "MESSAGE!^:^$" + QByteArray::number(0);
    filter.take(Anna, 40000, BuildRetryNotice(PacketDigest::of(newest)), flood / 100);
    QCOMPARE(filter.take(Anna, 40000, newest, flood / 100), DuplicateFilter::Verdict::Drop);
    filter.take(Anna, 40000, BuildRetryNotice(PacketDigest::of(oldest)), flood / 100);
    QCOMPARE(filter.take(Anna, 40000, oldest, flood / 100), DuplicateFilter::Verdict::Deliver);
    // Two minutes later everything is gone.
    filter.take(Anna, 40000, "later", flood / 100 + DuplicateFilter::WindowMs + 1);
    QCOMPARE(filter.recordCount(), 1);
    QCOMPARE(filter.noticeCount(), 0);
}

void TestReceipts::retries_data()
{
    // The copies (1 is the first, sent by the caller) whose echo comes back, 3 ms after they leave.
    QTest::addColumn<QList<int>>("echoedCopies");
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<qint64>("settledAt");
    QTest::newRow("the first echo") << QList<int>{1} << 1 << true << qint64(3);
    QTest::newRow("the first echo lost") << QList<int>{2} << 2 << true << qint64(253);
    QTest::newRow("only the third") << QList<int>{3} << 3 << true << qint64(1253);
    QTest::newRow("only the fourth") << QList<int>{4} << 4 << true << qint64(4253);
    QTest::newRow("none") << QList<int>{} << 4 << false << qint64(4250 + ReceiptTracker::FinalWaitMs);
}

void TestReceipts::retries()
{
    QFETCH(QList<int>, echoedCopies);
    QFETCH(int, copies);
    QFETCH(bool, delivered);
    QFETCH(qint64, settledAt);
    Net net;
    QSignalSpy settled(net.tracker.get(), &ReceiptTracker::settled);
    const quint64 packet = net.tracker->track(Hello, {{Boris, {"{B}"}, 1}});
    QVERIFY(packet != 0);
    qint64 settledMs = -1;
    connect(net.tracker.get(), &ReceiptTracker::settled, this, [&] { settledMs = net.now; });
    // The caller's broadcast is copy 1 at 0 ms; the tracker sends the others.
    for (qint64 ms = 0; ms <= 8000 && settled.isEmpty(); ++ms) {
        net.now = ms;
        const QList<qint64> times = QList<qint64>{0} + net.sendTimes(Hello);
        for (int copy : std::as_const(echoedCopies)) {
            if (copy <= times.size() && times[copy - 1] + 3 == ms)
                net.tracker->EchoReceived(Boris, Hello);
        }
        net.tracker->step();
    }
    QCOMPARE(settled.size(), 1);
    QCOMPARE(settled.first().at(0).toULongLong(), packet);
    QCOMPARE(settled.first().at(1).toStringList(), delivered ? QStringList{"{B}"} : QStringList());
    QCOMPARE(settled.first().at(2).toStringList(), delivered ? QStringList() : QStringList{"{B}"});
    QCOMPARE(settledMs, settledAt);
    QCOMPARE(net.copiesTo(Boris, Hello) + 1, copies);
    // Retries at 250 ms, 1.25 s and 4.25 s, each by unicast right after its notice.
    const QList<qint64> expected = QList<qint64>{250, 1250, 4250}.first(copies - 1);
    QCOMPARE(net.sendTimes(Hello), expected);
    const QByteArray notice = BuildRetryNotice(PacketDigest::of(Hello));
    for (qsizetype i = 0; i < net.sent.size(); ++i) {
        QCOMPARE(net.sent[i].to, Boris);
        QCOMPARE(net.sent[i].bytes, i % 2 == 0 ? notice : Hello);
    }
    QCOMPARE(net.tracker->inFlight(), 0);
}

void TestReceipts::injectedSchedule()
{
    Net net;
    // The program's schedule unless a test sets another.
    QCOMPARE(net.tracker->timings().retryPausesMs, ReceiptTracker::RetryPausesMs);
    QCOMPARE(net.tracker->timings().finalWaitMs, ReceiptTracker::FinalWaitMs);
    net.tracker->setTimings({{10, 20, 40}, 80});
    QSignalSpy settled(net.tracker.get(), &ReceiptTracker::settled);
    QVERIFY(net.tracker->track(Hello, {{Boris, {"{B}"}, 1}}) != 0);
    net.runUntil(149);
    QVERIFY(settled.isEmpty());
    net.runUntil(150);
    QCOMPARE(settled.size(), 1);
    QCOMPARE(settled.first().at(2).toStringList(), QStringList{"{B}"});
    QCOMPARE(net.sendTimes(Hello), (QList<qint64>{10, 30, 70}));
    QCOMPARE(net.copiesTo(Boris, Hello) + 1, ReceiptTracker::MaxCopies);
}

void TestReceipts::sharedComputer_data()
{
    // Two copies at one address: echoes per round (after copy 1, 2, 3, 4).
    QTest::addColumn<QList<int>>("echoesPerRound");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<int>("broadcasts");
    QTest::newRow("both at once") << QList<int>{2} << true << 0;
    QTest::newRow("one, then both") << QList<int>{1, 2} << true << 1;
    QTest::newRow("one each round") << QList<int>{1, 1, 1, 1} << false << 3;
    QTest::newRow("none, then both") << QList<int>{0, 0, 2} << true << 2;
}

void TestReceipts::sharedComputer()
{
    QFETCH(QList<int>, echoesPerRound);
    QFETCH(bool, delivered);
    QFETCH(int, broadcasts);
    Net net;
    QSignalSpy settled(net.tracker.get(), &ReceiptTracker::settled);
    QSignalSpy confirmed(net.tracker.get(), &ReceiptTracker::delivered);
    // Boris and Anna share a computer; the message is for Boris; Viktor has one of his own.
    const quint64 packet = net.tracker->track(Hello, {{Shared, {"{B}"}, 2}, {Anna, {"{V}"}, 1}});
    net.tracker->EchoReceived(Anna, Hello);
    QCOMPARE(confirmed.size(), 1);
    QCOMPARE(confirmed.first().at(1).toStringList(), QStringList{"{V}"});
    for (int round = 0; round < 4 && settled.isEmpty(); ++round) {
        for (int i = 0; i < echoesPerRound.value(round); ++i)
            net.tracker->EchoReceived(Shared, Hello);
        net.runUntil(net.now + ReceiptTracker::RetryPausesMs[std::min(round, 2)] + 1);
    }
    net.runUntil(net.now + 6000);
    QCOMPARE(settled.size(), 1);
    QCOMPARE(settled.first().at(0).toULongLong(), packet);
    QCOMPARE(settled.first().at(1).toStringList().contains("{B}"), delivered);
    QCOMPARE(settled.first().at(2).toStringList().contains("{B}"), !delivered);
    QVERIFY(settled.first().at(1).toStringList().contains("{V}"));
    // Retries to the shared computer go by broadcast, each after its notice, and nothing by unicast.
    const int sentBroadcasts = int(std::count_if(net.sent.cbegin(), net.sent.cend(), [](const Net::Sent &s) {
        return s.to.isNull() && s.bytes == Hello;
    }));
    QCOMPARE(sentBroadcasts, broadcasts);
    QVERIFY(
        std::none_of(net.sent.cbegin(), net.sent.cend(), [](const Net::Sent &s) { return !s.to.isNull(); }));
    QCOMPARE(net.sent.size(), 2 * broadcasts);
}

void TestReceipts::noComputerGetsMoreThanFourCopies()
{
    // Random losses over a network of single and shared computers, many packets at once.
    QRandomGenerator random(20240611);
    for (int run = 0; run < 40; ++run) {
        Net net;
        QList<ReceiptTarget> targets;
        for (int c = 0; c < 12; ++c)
            targets.append({QHostAddress(quint32(0x0A000100 + c)),
                            {QStringLiteral("{U%1}").arg(c)},
                            c % 4 == 0 ? 3 : 1});
        QList<QByteArray> packets;
        for (int p = 0; p < 5; ++p) {
            packets.append(Hello + QByteArray::number(p));
            net.tracker->track(packets.last(), targets);
        }
        QSignalSpy settled(net.tracker.get(), &ReceiptTracker::settled);
        // Each copy that leaves is echoed by each copy there with a chance of one in three.
        qsizetype seen = 0;
        // From one due time to the next: between them nothing is sent, so nothing is echoed.
        for (qint64 ms = 0; ms < 7000; ms += net.tracker->step()) {
            net.now = ms;
            net.tracker->step();
            for (; seen < net.sent.size(); ++seen) {
                const Net::Sent sent = net.sent[seen];
                for (const ReceiptTarget &target : std::as_const(targets)) {
                    if (!sent.to.isNull() && sent.to != target.address)
                        continue;
                    for (int copy = 0; copy < target.copies; ++copy) {
                        if (random.bounded(3) == 0)
                            net.tracker->EchoReceived(target.address, sent.bytes);
                    }
                }
            }
        }
        QCOMPARE(settled.size(), packets.size());
        QCOMPARE(net.tracker->inFlight(), 0);
        for (const QByteArray &packet : std::as_const(packets)) {
            for (const ReceiptTarget &target : std::as_const(targets))
                QVERIFY2(net.copiesTo(target.address, packet) + 1 <= ReceiptTracker::MaxCopies,
                         qPrintable(target.address.toString()));
        }
        for (const QList<QVariant> &verdict : std::as_const(settled))
            QCOMPARE(verdict.at(1).toStringList().size() + verdict.at(2).toStringList().size(),
                     targets.size());
    }
}

void TestReceipts::equalBytesShareTheirEchoes()
{
    Net net;
    QSignalSpy settled(net.tracker.get(), &ReceiptTracker::settled);
    // The user sent "hello" twice: two packets of equal bytes, and Boris echoes each once.
    const quint64 first = net.tracker->track(Hello, {{Boris, {"{B}"}, 1}});
    const quint64 second = net.tracker->track(Hello, {{Boris, {"{B}"}, 1}});
    net.tracker->EchoReceived(Boris, Hello);
    QCOMPARE(settled.size(), 1);
    QCOMPARE(settled.last().at(0).toULongLong(), first);
    net.tracker->EchoReceived(Boris, Hello);
    QCOMPARE(settled.size(), 2);
    QCOMPARE(settled.last().at(0).toULongLong(), second);
    QCOMPARE(settled.last().at(1).toStringList(), QStringList{"{B}"});
    net.runUntil(6000);
    QVERIFY(net.sent.isEmpty());
}

void TestReceipts::onlyEchoesOfTheBytesFromTheComputerCount()
{
    Net net;
    QSignalSpy settled(net.tracker.get(), &ReceiptTracker::settled);
    net.tracker->track(Hello, {{Boris, {"{B}"}, 1}});
    net.tracker->EchoReceived(Anna, Hello);
    net.tracker->EchoReceived(Boris, Hello + ' ');
    net.tracker->EchoReceived(Boris, Hello.chopped(1));
    net.tracker->EchoReceived(QHostAddress(QStringLiteral("::1")), Hello);
    net.tracker->EchoReceived(Boris, BuildRetryNotice(PacketDigest::of(Hello)));
    QVERIFY(settled.isEmpty());
    net.runUntil(300);
    QCOMPARE(net.tracker->copiesSent(1, Boris), 2);
    net.tracker->EchoReceived(Boris, Hello);
    QCOMPARE(settled.size(), 1);
    QCOMPARE(settled.first().at(1).toStringList(), QStringList{"{B}"});
}

void TestReceipts::computersWithoutAddressAreNotDelivered()
{
    Net net;
    QSignalSpy settled(net.tracker.get(), &ReceiptTracker::settled);
    QCOMPARE(net.tracker->track(Hello, {{QHostAddress(), {"{X}"}, 1}}), quint64(0));
    QCOMPARE(net.tracker->track(QByteArray(), {{Boris, {"{B}"}, 1}}), quint64(0));
    // Two entries of one address are one computer with both users.
    const quint64 packet =
        net.tracker->track(Hello, {{QHostAddress(), {"{X}"}, 1}, {Boris, {"{B}"}, 1}, {Boris, {"{C}"}, 1}});
    QVERIFY(packet != 0);
    net.tracker->EchoReceived(Boris, Hello);
    QVERIFY(settled.isEmpty());
    net.tracker->EchoReceived(Boris, Hello);
    QCOMPARE(settled.size(), 1);
    QCOMPARE(settled.first().at(1).toStringList(), (QStringList{"{B}", "{C}"}));
    QCOMPARE(settled.first().at(2).toStringList(), QStringList{"{X}"});
}

void TestReceipts::oldestIsSettledAtTheCap()
{
    Net net;
    QSignalSpy settled(net.tracker.get(), &ReceiptTracker::settled);
    QList<quint64> numbers;
    for (int i = 0; i < ReceiptTracker::MaxInFlight; ++i)
        numbers.append(net.tracker->track(Hello + QByteArray::number(i), {{Boris, {"{B}"}, 1}}));
    QVERIFY(settled.isEmpty());
    net.tracker->EchoReceived(Boris, Hello + "1");
    QCOMPARE(settled.size(), 1);
    // One place is free again; the next two fill it and then push the oldest out.
    net.tracker->track("one more", {{Boris, {"{B}"}, 1}});
    QCOMPARE(settled.size(), 1);
    net.tracker->track("and another", {{Boris, {"{B}"}, 1}});
    QCOMPARE(settled.size(), 2);
    QCOMPARE(settled.last().at(0).toULongLong(), numbers.first());
    QCOMPARE(settled.last().at(2).toStringList(), QStringList{"{B}"});
    QCOMPARE(net.tracker->inFlight(), ReceiptTracker::MaxInFlight);
}

void TestReceipts::slotsMayTrackAndForget()
{
    Net net;
    int verdicts = 0;
    connect(net.tracker.get(), &ReceiptTracker::delivered, this,
            [&](quint64 packet) { net.tracker->forget(packet + 1); });
    connect(net.tracker.get(), &ReceiptTracker::settled, this, [&] {
        ++verdicts;
        net.tracker->track("from a slot", {{Anna, {"{A}"}, 1}});
    });
    const quint64 first = net.tracker->track(Hello, {{Boris, {"{B}"}, 1}});
    net.tracker->track(Hello + '2', {{Boris, {"{B}"}, 1}});
    net.tracker->EchoReceived(Boris, Hello);
    QCOMPARE(verdicts, 1);
    QVERIFY(net.tracker->copiesSent(first, Boris) == 0);
    QVERIFY(net.tracker->copiesSent(first + 1, Boris) == 0);
    QCOMPARE(net.tracker->inFlight(), 1);
    net.runUntil(10000);
    QCOMPARE(verdicts, 2);
}

QTEST_GUILESS_MAIN(TestReceipts)
#include "test_receipts.moc"
