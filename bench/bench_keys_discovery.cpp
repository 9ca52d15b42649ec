// Discovery of 250 peers with keys against today: one complete copy starts on loopback and simulated
// peers answer its NEW with UPDATEINFO; with keys the copy has keys of its own and each answer is
// followed by the peer's signed KEY. Measured: the time until every node is shown, and with keys until
// every key is checked and pinned as well.
#include "BenchFigures.h"
#include "BenchFolder.h"
#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "app/CommandLine.h"
#include "app/SecureChannel.h"
#include "app/ui/PerixChatProgram.h"
#include "crypto/IdentityKeys.h"
#include "crypto/PacketSealer.h"
#include "net/UdpTransport.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/SendMessageUn.h"
#include "settings/TMyUserData.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTreeWidget>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Peers = 250;
constexpr int Rounds = 5;
constexpr int TimeoutMs = 30000;
constexpr int Burst = 100;

int shownNodes(const TfmUserList *list)
{
    int n = 0;
    for (const QTreeWidget *tree : list->findChildren<QTreeWidget *>())
        n += tree->topLevelItemCount();
    return n;
}

struct Answer {
    QString id;
    QByteArray presence;
    QByteArray key;
};

std::vector<Answer> answers(int peers, bool withKeys)
{
    std::vector<Answer> list;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < peers; ++i) {
        RUserID u;
        u.Alias = QStringLiteral("Peer %1").arg(i, 4, 10, QLatin1Char('0'));
        u.ID = QStringLiteral("{%1-0000-0000-0000-0000000000AB}").arg(i, 8, 16, QLatin1Char('0')).toUpper();
        u.IP = QStringLiteral("127.0.1.%1").arg(i % 254 + 1);
        u.PictureIndex = 11 + i % 14;
        u.Town = QStringLiteral("Town");
        Answer answer{u.ID, BuildPresencePacket(u, false), {}};
        if (withKeys)
            answer.key = PacketSealer(u.ID, *IdentityKeys::generate()).announceKey(now);
        list.push_back(answer);
    }
    return list;
}

struct Run {
    qint64 shownUs = 0;
    qint64 keysUs = 0;
    qint64 cpuUs = 0;
    int shown = 0;
    int keys = 0;
};

Run discover(const QString &folder, bool withKeys)
{
    const std::vector<Answer> packets = answers(Peers, withKeys);
    QUdpSocket sender;
    sender.bind(QHostAddress::LocalHost, 0);
    StartOptions options;
    options.loopback = true;
    options.settingsFile = folder + QStringLiteral("/settings.ini");
    options.dataDir = folder;
    TSetUserData(SettingsStore(options.settingsFile)).SetAlias("Newcomer");
    AppContext context = AppContext::fromOptions(options);
    if (withKeys)
        context.identity = IdentityKeys::generate();
    auto program = std::make_unique<PerixChatProgram>(std::move(context));
    program->start();
    QCoreApplication::processEvents();
    const SecureChannel &channel = *program->chat()->secure();
    const auto pinned = [&] {
        int n = 0;
        for (const Answer &a : packets)
            n += channel.trust(a.id) == KeyTrust::Pinned ? 1 : 0;
        return n;
    };

    const QHostAddress broadcast(QStringLiteral("127.255.255.255"));
    Run run;
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = cpuMicroseconds();
    for (int i = 0; i < Peers; ++i) {
        sender.writeDatagram(packets[size_t(i)].presence, broadcast, PeerPort);
        if (withKeys)
            sender.writeDatagram(packets[size_t(i)].key, broadcast, PeerPort);
        if ((i + 1) % Burst == 0)
            QCoreApplication::processEvents();
    }
    while ((shownNodes(program->userList()) < Peers || (withKeys && pinned() < Peers)) &&
           clock.elapsed() < TimeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!run.shownUs && shownNodes(program->userList()) >= Peers)
            run.shownUs = clock.nsecsElapsed() / 1000;
    }
    if (!run.shownUs)
        run.shownUs = clock.nsecsElapsed() / 1000;
    run.keysUs = clock.nsecsElapsed() / 1000;
    run.cpuUs = cpuMicroseconds() - cpuBefore;
    run.shown = shownNodes(program->userList());
    run.keys = pinned();
    program->close();
    program.reset();
    QCoreApplication::processEvents();
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolder folder;
    QApplication app(argc, argv);
    // Stands for the other peers' receiving sockets: the copy's answers land here and are dropped.
    QUdpSocket listener;
    listener.bind(QHostAddress::AnyIPv4, PeerPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    std::vector<double> plain, keyedShown, keyedPinned, plainCpu, keyedCpu;
    bool complete = true;
    int runNumber = 0;
    for (int round = 0; round < Rounds; ++round) {
        for (bool withKeys : {false, true}) {
            const QString dir = folder.filePath(QStringLiteral("run%1").arg(++runNumber));
            QDir().mkpath(dir);
            const Run run = discover(dir, withKeys);
            while (listener.hasPendingDatagrams())
                listener.receiveDatagram();
            complete = complete && run.shown == Peers && (!withKeys || run.keys == Peers);
            if (withKeys) {
                keyedShown.push_back(run.shownUs / 1000.0);
                keyedPinned.push_back(run.keysUs / 1000.0);
                keyedCpu.push_back(run.cpuUs / 1000.0);
            } else {
                plain.push_back(run.shownUs / 1000.0);
                plainCpu.push_back(run.cpuUs / 1000.0);
            }
        }
    }
    std::printf("discovery of %d peers, %d rounds, with and without keys one after the other:\n", Peers,
                Rounds);
    printSpread("  without keys (floor): all shown", spreadOf(plain), "ms");
    printSpread("  with keys: all shown", spreadOf(keyedShown), "ms");
    printSpread("  with keys: all keys pinned", spreadOf(keyedPinned), "ms");
    printSpread("  pinned / floor", spreadOf(ratiosOf(keyedPinned, plain)), "x");
    printSpread("  without keys, CPU", spreadOf(plainCpu), "ms");
    printSpread("  with keys, CPU", spreadOf(keyedCpu), "ms");
    printSpread("  with keys / without, CPU", spreadOf(ratiosOf(keyedCpu, plainCpu)), "x");
    return complete ? 0 : 1;
}
