// A storm against the real program: malformed, truncated, oversized and valid packets at several
// thousand a second, then the same with half of it long messages that are costly to show. Measured:
// how long a NEW waits for its UPDATEINFO answer before, during and after each (median and 99th
// percentile), the program's resident memory, and how long it takes to end after SIGTERM while a
// storm goes on. An optional argument gives the first storm's length in seconds.
#include "BenchFolder.h"
#include "RawUdp.h"
#include "protocol/SendMessageUn.h"
#include "settings/TMyUserData.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using RawUdp::Clock;
using namespace std::chrono_literals;

constexpr int StormPerSecond = 5000;

long residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Sends one NEW of a known peer and waits for the program's answer; the latency in ms, or -1.
class Prober {
public:
    Prober(const RawUdp::Hearer &hearer, QString programId)
        : m_hearer(hearer)
        , m_programId(std::move(programId))
        , m_fd(::socket(AF_INET, SOCK_DGRAM, 0))
    {
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        const sockaddr_in local = RawUdp::loopbackAddress("127.0.0.1", 0);
        ::bind(m_fd, reinterpret_cast<const sockaddr *>(&local), sizeof local);
        RUserID probe;
        probe.Alias = QStringLiteral("Probe");
        probe.ID = QStringLiteral("{0BADC0DE-0000-4000-8000-0000000PR0BE}");
        probe.IP = QStringLiteral("127.0.0.1");
        m_packet = BuildPresencePacket(probe, true);
    }
    ~Prober() { ::close(m_fd); }

    // One probe in flight at a time: every answer is the same packet, so a later probe must not
    // take an earlier one's answer. Lost means no answer within the timeout.
    double probe(std::chrono::milliseconds timeout = 20000ms)
    {
        const sockaddr_in to = RawUdp::loopbackAddress("127.255.255.255", RawUdp::PeerPort);
        const auto sent = Clock::now();
        ::sendto(m_fd, m_packet.constData(), size_t(m_packet.size()), 0,
                 reinterpret_cast<const sockaddr *>(&to), sizeof to);
        while (Clock::now() - sent < timeout) {
            if (const auto answer = m_hearer.first(pkUpdateInfo, m_programId, sent))
                return std::chrono::duration<double, std::milli>(answer->at - sent).count();
            std::this_thread::sleep_for(1ms);
        }
        return -1;
    }

    // Probes one after another for the given time; latencies of the answered ones, and the lost.
    std::vector<double> probeFor(std::chrono::milliseconds length, int *lost)
    {
        std::vector<double> latencies;
        const auto end = Clock::now() + length;
        while (Clock::now() < end) {
            const double ms = probe();
            if (ms < 0)
                ++*lost;
            else
                latencies.push_back(ms);
            std::this_thread::sleep_for(20ms);
        }
        return latencies;
    }

private:
    const RawUdp::Hearer &m_hearer;
    QString m_programId;
    int m_fd;
    QByteArray m_packet;
};

// The quiet median, the floor of the other phases.
double g_quietMedian = 0;

void report(const char *phase, std::vector<double> latencies, int lost)
{
    if (latencies.empty()) {
        std::printf("  %-14s no answer (%d probes lost)\n", phase, lost);
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&latencies](double q) {
        return latencies[std::min(latencies.size() - 1, size_t(q * double(latencies.size())))];
    };
    if (g_quietMedian <= 0)
        g_quietMedian = at(0.5);
    std::printf(
        "  %-14s %4zu answered, %2d lost: median %7.2f ms (ratio %.2f to the quiet floor), p99 %7.2f ms, "
        "max %7.2f ms\n",
        phase, latencies.size(), lost, at(0.5), at(0.5) / g_quietMedian, at(0.99), latencies.back());
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchFolder folder;
    QCoreApplication app(argc, argv);
    RawUdp::Hearer hearer;
    if (!hearer.isReady()) {
        std::fprintf(stderr, "cannot listen on the peer port\n");
        return 1;
    }

    // Named: a first start would ask for the name before announcing.
    TSetUserData(SettingsStore(folder.filePath("settings.ini"))).SetAlias(QStringLiteral("Storm"));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setProgram(QStringLiteral(PERIXCHAT_BINARY));
    program.setArguments(
        {"--loopback", "--settings", folder.filePath("settings.ini"), "--data-dir", folder.path()});
    program.start();
    if (!program.waitForStarted(5000)) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    const auto started = Clock::now();
    while (hearer.count(pkNew) == 0 && Clock::now() - started < 10s)
        std::this_thread::sleep_for(5ms);
    if (hearer.count(pkNew) == 0) {
        std::fprintf(stderr, "the program never announced itself\n");
        return 1;
    }
    const QString programId = hearer.ids(pkNew).first();
    // The storm's length can be given in seconds; the default keeps the run short.
    const int stormSeconds = argc > 1 ? std::clamp(QByteArray(argv[1]).toInt(), 1, 120) : 3;
    std::this_thread::sleep_for(500ms);
    Prober prober(hearer, programId);

    const long rssBefore = residentKb(program.processId());
    int lost = 0;
    std::vector<double> latencies = prober.probeFor(1000ms, &lost);
    std::printf(
        "Storm: %d datagrams/s (junk, truncated, oversized >8192 B, valid packets that need no answer)\n",
        StormPerSecond);
    report("before", latencies, lost);

    // The storm runs for its time whatever the probes wait; then the queue's backlog shows after it.
    const auto stormFor = [&](RawUdp::Flooder &flooder, std::chrono::milliseconds length, const char *label) {
        flooder.start();
        std::thread stopper([&flooder, length] {
            std::this_thread::sleep_for(length);
            flooder.stop();
        });
        lost = 0;
        latencies = prober.probeFor(length, &lost);
        stopper.join();
        report(label, latencies, lost);
    };
    RawUdp::Flooder storm("127.255.255.255", StormPerSecond, &RawUdp::StormPacket);
    const QByteArray during = QByteArray("during (") + QByteArray::number(stormSeconds) + " s)";
    stormFor(storm, std::chrono::milliseconds(stormSeconds * 1000), during.constData());
    lost = 0;
    latencies = prober.probeFor(1500ms, &lost);
    report("after", latencies, lost);
    const long rssAfter = residentKb(program.processId());
    std::printf("  storm datagrams sent: %lld\n", storm.sent());
    std::printf("  RSS before %ld KB, after %ld KB (%+ld KB)\n", rssBefore, rssAfter, rssAfter - rssBefore);

    // Half of it valid messages with 4,000-character bodies, the most a message costs to show.
    RUserID heavySender;
    heavySender.Alias = QStringLiteral("Heavy");
    heavySender.ID = QStringLiteral("{0BADC0DE-0000-4000-8000-00000000HEAV}");
    heavySender.IP = QStringLiteral("127.0.0.1");
    const QByteArray heavy = BuildMessagePacket(WireIdentity::fromEntry(heavySender), QString(4000, u'h'));
    RawUdp::Flooder heavyStorm("127.255.255.255", StormPerSecond, [&heavy](std::mt19937 &random) {
        return random() % 2 ? heavy : RawUdp::StormPacket(random);
    });
    std::printf("Heavy storm: %d datagrams/s, half of them 4 KB messages to everybody\n", StormPerSecond);
    stormFor(heavyStorm, 2000ms, "during (2 s)");
    // Packets are handled in arrival order: the first answer comes once the backlog is gone.
    const double firstAnswer = prober.probe();
    std::printf("  first NEW after the heavy storm answered after %.1f ms\n", firstAnswer);
    lost = 0;
    latencies = prober.probeFor(1000ms, &lost);
    report("after", latencies, lost);
    const long rssHeavy = residentKb(program.processId());
    std::printf("  heavy datagrams sent: %lld\n", heavyStorm.sent());
    std::printf("  RSS after %ld KB (%+ld KB since the start)\n", rssHeavy, rssHeavy - rssBefore);

    // SIGTERM one second into a second storm.
    RawUdp::Flooder second("127.255.255.255", StormPerSecond, &RawUdp::StormPacket);
    second.start();
    std::this_thread::sleep_for(1000ms);
    const auto termAt = Clock::now();
    program.terminate();
    const bool ended = program.waitForFinished(10000);
    const double termMs = std::chrono::duration<double, std::milli>(Clock::now() - termAt).count();
    second.stop();
    std::this_thread::sleep_for(200ms);
    std::printf("  SIGTERM under the storm: %s after %.1f ms, exit code %d, DISCONNECT heard %d time(s)\n",
                ended ? "ended" : "STILL RUNNING", termMs, program.exitCode(),
                hearer.count(pkDisconnect, programId));
    if (!ended) {
        program.kill();
        program.waitForFinished(2000);
        return 1;
    }
    return 0;
}
