// Discovery with many peers: one complete copy starts, simulated peers (raw sockets on loopback)
// answer its NEW, and the time until every node is shown is measured for 125, 250 and 1,000 peers.
// The floor is a raw socket peer doing the same wire work in the same run: it reads each answer,
// finds its ID, echoes it to its source and broadcasts one answer of its own. The memory a peer costs is
// the growth of the resident set (and of the heap in use) from before the answers until all are shown.
#include "BenchFigures.h"
#include "BenchFolder.h"
#include "app/ChatCore.h"
#include "app/CommandLine.h"
#include "app/ui/PerixChatProgram.h"
#include "net/UdpTransport.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "settings/TMyUserData.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTreeWidget>
#include <QUdpSocket>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int TimeoutMs = 30000;
constexpr int DefaultRounds = 3;
constexpr int MaxRounds = 50;
// Answers leave the simulated peers in bursts, as they would from hosts that heard the NEW at
// slightly different moments; the copy's receive buffer need not hold a thousand at once.
constexpr int Burst = 100;

long peakResidentKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int shownNodes(const TfmUserList *list)
{
    int n = 0;
    for (const QTreeWidget *tree : list->findChildren<QTreeWidget *>())
        n += tree->topLevelItemCount();
    return n;
}

std::vector<QByteArray> answers(int peers)
{
    std::vector<QByteArray> list;
    for (int i = 0; i < peers; ++i) {
        RUserID u;
        u.Alias = QStringLiteral("Peer %1").arg(i, 4, 10, QLatin1Char('0'));
        u.ID = QStringLiteral("{%1-0000-0000-0000-000000000000}").arg(i, 8, 16, QLatin1Char('0')).toUpper();
        u.IP = QStringLiteral("127.0.1.%1").arg(i % 254 + 1);
        u.PictureIndex = 11 + i % 14;
        u.Color = 0x00336699;
        u.Town = QStringLiteral("Town");
        u.Interest = QStringLiteral("Reading, music, chess and long walks");
        list.push_back(BuildPresencePacket(u, false));
    }
    return list;
}

struct Run {
    qint64 startMs = 0;
    qint64 discoveryUs = 0;
    qint64 cpuUs = 0;
    int shown = 0;
    long residentGrowthKb = 0;
    long heapGrowth = 0;
    int batches = 0;
};

// The answers go out and the copy shows them; apart from the start, so that a profiler can pick it out.
struct Took {
    qint64 wallUs = 0;
    qint64 cpuUs = 0;
};

[[gnu::noinline]] Took answerAll(const PerixChatProgram &program,
                                 const std::vector<std::unique_ptr<QUdpSocket>> &sockets,
                                 const std::vector<QByteArray> &packets)
{
    const qint64 cpuBefore = cpuMicroseconds();
    const int peers = int(packets.size());
    const QHostAddress broadcast(QStringLiteral("127.255.255.255"));
    QElapsedTimer discovery;
    discovery.start();
    for (int i = 0; i < peers; ++i) {
        sockets[size_t(i) % sockets.size()]->writeDatagram(packets[size_t(i)], broadcast, PeerPort);
        if ((i + 1) % Burst == 0)
            QCoreApplication::processEvents();
    }
    while (shownNodes(program.userList()) < peers && discovery.elapsed() < TimeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return {discovery.nsecsElapsed() / 1000, cpuMicroseconds() - cpuBefore};
}

Run discover(const QString &folder, int peers, QUdpSocket &listener)
{
    const std::vector<QByteArray> packets = answers(peers);
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    for (int i = 0; i < std::min(peers, 250); ++i) {
        sockets.push_back(std::make_unique<QUdpSocket>());
        sockets.back()->bind(QHostAddress::LocalHost, 0);
    }
    StartOptions options;
    options.loopback = true;
    options.settingsFile = folder + QStringLiteral("/settings.ini");
    options.dataDir = folder;
    TSetUserData(SettingsStore(options.settingsFile)).SetAlias("Newcomer");

    Run run;
    QElapsedTimer timer;
    timer.start();
    auto program = std::make_unique<PerixChatProgram>(AppContext::fromOptions(options));
    program->start();
    run.startMs = timer.elapsed();
    QCoreApplication::processEvents();
    while (listener.hasPendingDatagrams())
        listener.receiveDatagram();
    const long residentBefore = residentKb();
    const long heapBefore = heapBytes();

    QObject::connect(program->chat()->registry(), &PeerRegistry::arrivalsFlushed, program.get(),
                     [&run] { ++run.batches; });
    const Took took = answerAll(*program, sockets, packets);
    run.discoveryUs = took.wallUs;
    run.cpuUs = took.cpuUs;
    run.shown = shownNodes(program->userList());
    run.residentGrowthKb = residentKb() - residentBefore;
    run.heapGrowth = heapBytes() - heapBefore;
    program->close();
    program.reset();
    QCoreApplication::processEvents();
    while (listener.hasPendingDatagrams())
        listener.receiveDatagram();
    return run;
}

// The same wire work with plain sockets and nothing else: read, find the ID, echo, answer.
Took floorRun(int peers)
{
    const std::vector<QByteArray> packets = answers(peers);
    const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
    const int sender = socket(AF_INET, SOCK_DGRAM, 0);
    const int sink = socket(AF_INET, SOCK_DGRAM, 0);
    const int size = 4 << 20;
    setsockopt(receiver, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof any;
    bind(receiver, reinterpret_cast<sockaddr *>(&any), sizeof any);
    sockaddr_in to{};
    getsockname(receiver, reinterpret_cast<sockaddr *>(&to), &length);
    sockaddr_in sinkAddress = any;
    bind(sink, reinterpret_cast<sockaddr *>(&sinkAddress), sizeof sinkAddress);
    length = sizeof sinkAddress;
    getsockname(sink, reinterpret_cast<sockaddr *>(&sinkAddress), &length);
    bind(sender, reinterpret_cast<sockaddr *>(&any), sizeof any);
    const QByteArray own = packets.front();

    QElapsedTimer timer;
    timer.start();
    const qint64 cpuBefore = cpuMicroseconds();
    char buffer[65536];
    int handled = 0;
    const auto drain = [&] {
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = recvfrom(receiver, buffer, sizeof buffer - 1, MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (n < 0)
                return;
            buffer[n] = '\0';
            if (std::strstr(buffer, "<ID>") == nullptr)
                continue;
            sendto(receiver, buffer, size_t(n), 0, reinterpret_cast<sockaddr *>(&from), fromLength);
            sendto(sender, own.constData(), size_t(own.size()), 0, reinterpret_cast<sockaddr *>(&sinkAddress),
                   sizeof sinkAddress);
            ++handled;
        }
    };
    for (int i = 0; i < peers; ++i) {
        sendto(sender, packets[size_t(i)].constData(), size_t(packets[size_t(i)].size()), 0,
               reinterpret_cast<sockaddr *>(&to), sizeof to);
        if ((i + 1) % Burst == 0)
            drain();
    }
    while (handled < peers && timer.elapsed() < TimeoutMs)
        drain();
    const Took took{timer.nsecsElapsed() / 1000, cpuMicroseconds() - cpuBefore};
    close(receiver);
    close(sender);
    close(sink);
    return took;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolder folder;
    QApplication app(argc, argv);
    // Stands for the other peers' receiving sockets: the copy's answers land here.
    QUdpSocket listener;
    listener.bind(QHostAddress::AnyIPv4, PeerPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    const long rssBefore = peakResidentKb();

    // bench_discovery [ROUNDS [PEERS]]: more rounds, or one size alone (to profile it).
    const QStringList arguments = QCoreApplication::arguments();
    const int Rounds = arguments.size() > 1 ? std::clamp(arguments[1].toInt(), 1, MaxRounds) : DefaultRounds;
    const int only = arguments.size() > 2 ? std::clamp(arguments[2].toInt(), 1, 1000) : 0;
    const int sizes[] = {125, 250, 1000};
    std::vector<double> times[3];
    std::vector<double> cpu[3];
    std::vector<double> floors;
    std::vector<double> cpuFloors;
    std::vector<double> residentPerPeer;
    std::vector<double> heapPerPeer;
    std::vector<double> batches[3];
    qint64 startMs = 0;
    bool complete = true;
    int runNumber = 0;
    for (int round = 0; round < Rounds; ++round) {
        for (int s = 0; s < 3; ++s) {
            if (only > 0 && only != sizes[s])
                continue;
            const QString dir = folder.filePath(QStringLiteral("run%1").arg(++runNumber));
            QDir().mkpath(dir);
            const Run run = discover(dir, sizes[s], listener);
            complete = complete && run.shown == sizes[s];
            times[s].push_back(run.discoveryUs / 1000.0);
            cpu[s].push_back(run.cpuUs / 1000.0);
            batches[s].push_back(run.batches);
            startMs = std::max(startMs, run.startMs);
            if (run.shown != sizes[s])
                std::printf("round %d: only %d of %d nodes shown\n", round + 1, run.shown, sizes[s]);
            if (sizes[s] == 1000) {
                residentPerPeer.push_back(run.residentGrowthKb * 1024.0 / sizes[s]);
                heapPerPeer.push_back(double(run.heapGrowth) / sizes[s]);
            }
        }
        const Took floor = floorRun(250);
        floors.push_back(floor.wallUs / 1000.0);
        cpuFloors.push_back(floor.cpuUs / 1000.0);
    }
    std::printf("start of the copy (windows, endpoints, NEW): at most %lld ms\n",
                static_cast<long long>(startMs));
    std::printf("discovery, %d rounds, each round's sizes and floor run one after the other:\n", Rounds);
    const auto line = [](const char *what, const std::vector<double> &values, const char *unit) {
        if (!values.empty())
            printSpread(what, spreadOf(values), unit);
    };
    line("  125 peers", times[0], "ms");
    line("  250 peers", times[1], "ms");
    line("  1000 peers", times[2], "ms");
    line("  floor: raw sockets, 250 peers", floors, "ms");
    line("  250 peers / floor (target <= 6)", ratiosOf(times[1], floors), "x");
    line("  1000 peers / 125 (linear 8)", ratiosOf(times[2], times[0]), "x");
    std::printf("the same in CPU time of the process (less hurt by a loaded machine):\n");
    line("  125 peers, CPU", cpu[0], "ms");
    line("  250 peers, CPU", cpu[1], "ms");
    line("  1000 peers, CPU", cpu[2], "ms");
    line("  floor, CPU", cpuFloors, "ms");
    line("  250 peers / floor, CPU", ratiosOf(cpu[1], cpuFloors), "x");
    line("  1000 peers / 125, CPU", ratiosOf(cpu[2], cpu[0]), "x");
    line("  batches of arrivals shown, 250 peers", batches[1], "");
    line("  batches of arrivals shown, 1000 peers", batches[2], "");
    line("  resident growth per peer (1000 peers)", residentPerPeer, "B");
    line("  heap growth per peer (target < 8192)", heapPerPeer, "B");
    std::printf("peak resident memory: %.1f MB (%.1f MB before the first copy started)\n",
                peakResidentKb() / 1024.0, rssBefore / 1024.0);
    return complete ? 0 : 1;
}
