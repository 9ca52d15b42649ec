// Delivery at 0, 5, 20 and 40 % loss: two complete peers on hosts in network namespaces whose
// firewalls lose that share of the datagrams to the peer port (both ways), private messages one way.
// For each loss: the messages shown exactly once, the median and 99th-percentile time to the receipt,
// and the datagrams both hosts sent per message, with receipts and, as the floor, without them (the
// original protocol: one broadcast, no retry). Needs root and nft; everything it makes goes when it
// ends, when it is told to stop (SIGINT, SIGTERM, SIGHUP), and when it was killed, at its next start.

#include "BenchFolder.h"
#include "LossyLan.h"

#include "app/ChatCore.h"
#include "app/Delivery.h"
#include "support/CorePeer.h"
#include "support/Wait.h"
#include "talks/MessageText.h"
#include "talks/TalkCore.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>

namespace {

constexpr int Messages = 200;
constexpr int SpacingMs = 10;
constexpr int VerdictWaitMs = 8000;
constexpr int DeadlineMs = 240000;
constexpr int Losses[] = {0, 5, 20, 40};

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

struct Result {
    double onceRatio = 0;
    double medianMs = -1;
    double p99Ms = -1;
    double datagramsPerMessage = 0;
};

double percentile(std::vector<qint64> values, double p)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return double(values[at]);
}

Result run(CorePeer &sender, CorePeer &receiver, bool receipts, const QString &tag)
{
    Delivery &delivery = *sender.core().delivery();
    delivery.setReceipts(receipts);
    delivery.setKeepUndelivered(false);
    QElapsedTimer clock;
    clock.start();
    std::map<quint64, qint64> sentAt;
    std::vector<qint64> toReceipt;
    int verdicts = 0;
    QObject context;
    QObject::connect(&delivery, &Delivery::messageSending, &context,
                     [&](int, quint64 id, const QStringList &) { sentAt[id] = clock.elapsed(); });
    QObject::connect(&delivery, &Delivery::messageDelivered, &context,
                     [&](int, quint64 id, const QStringList &) {
                         if (sentAt.count(id))
                             toReceipt.push_back(clock.elapsed() - sentAt[id]);
                     });
    QObject::connect(&delivery, &Delivery::messageSettled, &context,
                     [&](int, quint64, const QStringList &, const QStringList &) { ++verdicts; });
    std::map<QString, int> shown;
    QObject::connect(receiver.talks(), &TalkCore::messageForTalk, &context,
                     [&](int, const QString &from, const QString &, const QString &body) {
                         if (from == sender.id())
                             ++shown[MessageText::PlainText(body)];
                     });
    auto &senderUdp = sender.transportAs<UdpTransport>();
    auto &receiverUdp = receiver.transportAs<UdpTransport>();
    const quint64 before = senderUdp.datagramsSent() + receiverUdp.datagramsSent();
    const int to = sender.indexOf(receiver.id());
    for (int i = 0; i < Messages && !g_stop; ++i) {
        sender.core().sendToUser(to, tag + QString::number(i));
        settle(SpacingMs);
    }
    if (receipts)
        waitUntil([&] { return verdicts >= Messages || g_stop; }, VerdictWaitMs);
    else
        settle(500);
    // Late retries and echoes are counted too.
    settle(receipts ? 300 : 0);
    const quint64 after = senderUdp.datagramsSent() + receiverUdp.datagramsSent();
    Result result;
    int once = 0;
    for (int i = 0; i < Messages; ++i)
        once += shown[tag + QString::number(i)] == 1;
    result.onceRatio = double(once) / Messages;
    result.medianMs = percentile(toReceipt, 0.5);
    result.p99Ms = percentile(toReceipt, 0.99);
    result.datagramsPerMessage = double(after - before) / Messages;
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    BenchFolder folder;
    QCoreApplication app(argc, argv);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, onSignal);
    if (const QString why = NetnsLab::whyUnavailable(); !why.isEmpty()) {
        std::printf("bench_delivery: skipped (%s)\n", qPrintable(why));
        return 0;
    }
    if (!LossyLan::nftAvailable()) {
        std::printf("bench_delivery: skipped (nft is not installed)\n");
        return 0;
    }
    QElapsedTimer total;
    total.start();
    NetnsLab lab;
    LossyLan lan(lab);
    if (!lan.build(2)) {
        std::printf("bench_delivery: the namespaces could not be made: %s\n", qPrintable(lab.error()));
        return 1;
    }
    std::unique_ptr<UdpTransport> a = lan.openTransport(1);
    std::unique_ptr<UdpTransport> b = lan.openTransport(2);
    if (!a || !b) {
        std::printf("bench_delivery: the sockets could not be opened\n");
        return 1;
    }
    CorePeer anna(QStringLiteral("Anna"), std::move(a));
    CorePeer boris(QStringLiteral("Boris"), std::move(b));
    anna.start();
    boris.start();
    if (!waitUntil([&] { return anna.onlineCount() == 1 && boris.onlineCount() == 1; }, 10000)) {
        std::printf("bench_delivery: the peers did not find each other\n");
        return 1;
    }
    std::printf("%d private messages one way per round, %d ms apart; rounds: one per loss and mode\n",
                Messages, SpacingMs);
    std::printf("loss  mode       once    median  p99     datagrams/msg\n");
    int status = 0;
    int round = 0;
    for (const int loss : Losses) {
        if (g_stop || total.elapsed() > DeadlineMs)
            break;
        if (!lan.setLoss(1, loss) || !lan.setLoss(2, loss)) {
            std::printf("bench_delivery: the firewall rule could not be set\n");
            status = 1;
            break;
        }
        const Result floor = run(anna, boris, false, QStringLiteral("f%1-%2-").arg(loss).arg(round++));
        const Result with = run(anna, boris, true, QStringLiteral("r%1-%2-").arg(loss).arg(round++));
        std::printf("%3d%%  without    %5.1f%%  -       -       %.2f\n", loss, floor.onceRatio * 100,
                    floor.datagramsPerMessage);
        std::printf("%3d%%  receipts   %5.1f%%  %-6.0f  %-6.0f  %.2f\n", loss, with.onceRatio * 100,
                    with.medianMs, with.p99Ms, with.datagramsPerMessage);
        std::printf("      floor %.2f datagrams/msg, ratio %.3f\n", floor.datagramsPerMessage,
                    floor.datagramsPerMessage > 0 ? with.datagramsPerMessage / floor.datagramsPerMessage
                                                  : 0.0);
        std::fflush(stdout);
    }
    if (g_stop)
        std::printf("bench_delivery: stopped; cleaning up\n");
    anna.stop();
    boris.stop();
    return status;
}
