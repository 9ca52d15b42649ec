// Discovery with many peers: one complete copy starts, 250 simulated peers (raw sockets on loopback)
// answer its NEW, and the time until all 250 nodes are shown is measured with the memory used.
#include "BenchFolder.h"
#include "CommandLine.h"
#include "PerixChatProgram.h"
#include "ProtocolClassUn.h"
#include "SendMessageUn.h"
#include "TMyUserData.h"
#include "UdpTransport.h"
#include "fmUserListUn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <QUdpSocket>

#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolder folder;
    QApplication app(argc, argv);
    constexpr int Peers = 250;
    constexpr int TimeoutMs = 20000;

    std::vector<std::unique_ptr<QUdpSocket>> peers;
    QUdpSocket listener;
    listener.bind(QHostAddress::AnyIPv4, PeerPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    for (int i = 0; i < Peers; ++i) {
        peers.push_back(std::make_unique<QUdpSocket>());
        peers.back()->bind(QHostAddress::LocalHost, 0);
    }

    StartOptions options;
    options.loopback = true;
    options.settingsFile = folder.filePath("settings.ini");
    options.dataDir = folder.path();
    TSetUserData(SettingsStore(options.settingsFile)).SetAlias("Newcomer");
    const long rssBefore = peakResidentKb();

    QElapsedTimer timer;
    timer.start();
    TPerixChatProgram program(AppContext::fromOptions(options));
    program.start();
    const qint64 started = timer.elapsed();

    // Every simulated peer hears the NEW and answers with its own profile.
    const QHostAddress broadcast(QStringLiteral("127.255.255.255"));
    for (int i = 0; i < Peers; ++i) {
        RUserID u;
        u.Alias = QStringLiteral("Peer %1").arg(i, 3, 10, QLatin1Char('0'));
        u.ID = QStringLiteral("{%1-0000-0000-0000-000000000000}").arg(i, 8, 16, QLatin1Char('0')).toUpper();
        u.IP = QStringLiteral("127.0.1.%1").arg(i % 254 + 1);
        u.PictureIndex = 11 + i % 14;
        u.Color = 0x00336699;
        u.Town = QStringLiteral("Town");
        u.Interest = QStringLiteral("Reading, music, chess and long walks");
        peers[size_t(i)]->writeDatagram(BuildPresencePacket(u, false), broadcast, PeerPort);
    }
    while (shownNodes(program.userList()) < Peers && timer.elapsed() < TimeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 allShown = timer.elapsed();
    const int nodes = shownNodes(program.userList());

    std::printf("start of the copy (windows, endpoints, NEW): %lld ms\n", static_cast<long long>(started));
    std::printf("%d of %d nodes shown after %lld ms (%lld ms after the answers were sent)\n", nodes, Peers,
                static_cast<long long>(allShown), static_cast<long long>(allShown - started));
    std::printf("peak resident memory: %.1f MB (%.1f MB before the copy started)\n",
                peakResidentKb() / 1024.0, rssBefore / 1024.0);
    program.close();
    return nodes == Peers ? 0 : 1;
}
