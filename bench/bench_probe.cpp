// The cost of finding vanished peers: the probe schedule for 250 (and 1000) peers, each on a host of
// its own, run for a simulated hour with a clock of its own. Prints the datagrams sent a second (the
// echoes that come back are as many), the busiest second, the floor of one probe per host and period,
// and the processor time the schedule took.
#include "BenchFolder.h"
#include "peers/PresenceProbe.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

void run(int hosts)
{
    qint64 now = 0;
    QList<PresenceProbe::Peer> peers;
    for (int i = 0; i < hosts; ++i)
        peers.append({QStringLiteral("{ID-%1}").arg(i),
                      QStringLiteral("10.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250)});
    std::map<qint64, int> perSecond;
    qint64 sent = 0;
    std::multimap<qint64, std::pair<QHostAddress, QByteArray>> echoes;
    PresenceProbe::Hooks hooks;
    hooks.now = [&now] {
        return now;
    };
    hooks.onlinePeers = [&peers] {
        return peers;
    };
    hooks.send = [&](const QHostAddress &to, const QByteArray &payload) {
        ++sent;
        ++perSecond[now / 1000];
        echoes.insert({now + 2, {to, payload}});
        return true;
    };
    PresenceProbe probe(hooks, PresenceProbe::DefaultPeriodMs);
    constexpr qint64 HourMs = 3600 * 1000;
    QElapsedTimer cpu;
    cpu.start();
    while (now < HourMs) {
        while (!echoes.empty() && echoes.begin()->first <= now) {
            probe.EchoReceived(echoes.begin()->second.first, echoes.begin()->second.second);
            echoes.erase(echoes.begin());
        }
        qint64 next = now + probe.step();
        if (!echoes.empty())
            next = std::min(next, echoes.begin()->first);
        now = std::max(next, now + 1);
    }
    const qint64 took = cpu.elapsed();
    int busiest = 0;
    for (const auto &[second, count] : perSecond)
        busiest = std::max(busiest, count);
    const double rate = double(sent) / (HourMs / 1000.0);
    const double floor = double(hosts) / (PresenceProbe::DefaultPeriodMs / 1000.0);
    std::printf("%d peers: %.2f probes a second sent (as many echoes received), busiest second %d; "
                "floor %.2f (one per host and period), ratio %.2f; schedule of one hour took %lld ms\n",
                hosts, rate, busiest, floor, rate / floor, static_cast<long long>(took));
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchFolder folder;
    QCoreApplication app(argc, argv);
    run(250);
    // Beyond 268 hosts the period stretches so that the rate stays under 9 a second.
    run(1000);
    return 0;
}
