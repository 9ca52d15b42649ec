// Start-up of the headless peer: the time from starting perixchat-cli until its NEW is on the wire,
// and its memory then, against a floor that is a bare QCoreApplication binding the peer's UDP socket
// and sending one datagram (bench_cli_floor). Both run as processes started the same way, in alternating
// rounds, on loopback only. Run it under the port lock (see CONTRIBUTING.md); it binds UDP port 54812.
#include "app/UnixSignalWatcher.h"
#include "net/UdpTransport.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/ProtocolUn.h"
#include "settings/SettingsStore.h"
#include "settings/TMyUserData.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int DefaultRounds = 9;
constexpr int MaxRounds = 50;
constexpr int WaitMs = 10000;
// Memory is read this long after the NEW, once the start-up allocations are over.
constexpr int SettleMs = 300;
const QString FolderPrefix = QStringLiteral("perix-bench-cli-");

// A folder of this run, named with the process ID: a later run removes what a killed one left.
class RunFolder {
public:
    RunFolder()
        : m_dir(QDir::temp().filePath(FolderPrefix + QString::number(QCoreApplication::applicationPid()) +
                                      QStringLiteral("-XXXXXX")))
    {
        const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    bool isValid() const { return m_dir.isValid(); }

    static int removeStale()
    {
        int removed = 0;
        const QDir temp = QDir::temp();
        for (const QString &name : temp.entryList({FolderPrefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool ok = false;
            const qint64 pid = name.mid(FolderPrefix.size()).section(u'-', 0, 0).toLongLong(&ok);
            if (!ok || pid <= 0 || pid == QCoreApplication::applicationPid())
                continue;
            if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
                continue;
            removed += QDir(temp.filePath(name)).removeRecursively();
        }
        return removed;
    }

private:
    QTemporaryDir m_dir;
};

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

struct Sample {
    qint64 us = -1;
    long kb = -1;
};

struct Summary {
    double min = 0;
    double median = 0;
    double max = 0;
};

template <class T> Summary summarize(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    if (values.empty())
        return {};
    return {double(values.front()), double(values[values.size() / 2]), double(values.back())};
}

class Bench {
public:
    Bench(const RunFolder &folder, QUdpSocket &listener, bool &stopped)
        : m_folder(folder)
        , m_listener(listener)
        , m_stopped(stopped)
    {}

    // Starts the process and waits for the datagram that `heard` recognises; then its memory.
    Sample measure(const QString &program, const QStringList &arguments,
                   const std::function<bool(const QByteArray &, qint64 pid)> &heard)
    {
        while (m_listener.hasPendingDatagrams())
            m_listener.receiveDatagram();
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        process.start(program, arguments);
        if (!process.waitForStarted(WaitMs))
            return {};
        Sample sample;
        while (sample.us < 0 && !m_stopped && clock.elapsed() < WaitMs &&
               process.state() == QProcess::Running) {
            if (!m_listener.hasPendingDatagrams()) {
                m_listener.waitForReadyRead(5);
                QCoreApplication::processEvents();
                continue;
            }
            if (heard(m_listener.receiveDatagram().data(), process.processId()))
                sample.us = clock.nsecsElapsed() / 1000;
        }
        if (sample.us >= 0) {
            QElapsedTimer settle;
            settle.start();
            while (settle.elapsed() < SettleMs && !m_stopped)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            sample.kb = residentKb(process.processId());
        }
        process.terminate();
        if (!process.waitForFinished(WaitMs)) {
            process.kill();
            process.waitForFinished(WaitMs);
        }
        return sample;
    }

    Sample floor()
    {
        return measure(QStringLiteral(PERIX_FLOOR_BINARY), {}, [](const QByteArray &data, qint64 pid) {
            return data == QByteArray("perix-bench-floor ") + QByteArray::number(pid);
        });
    }

    Sample cli(int round)
    {
        const QString dir = m_folder.filePath(QStringLiteral("cli-%1").arg(round));
        QDir().mkpath(dir);
        const QString settings = dir + QStringLiteral("/settings.ini");
        const QString id = TMyUserData(SettingsStore(settings)).GetID();
        return measure(QStringLiteral(PERIXCHAT_CLI_BINARY),
                       {QStringLiteral("--loopback"), QStringLiteral("--settings"), settings,
                        QStringLiteral("--data-dir"), dir, QStringLiteral("listen"),
                        QStringLiteral("--timeout"), QString::number(WaitMs / 1000)},
                       [id](const QByteArray &data, qint64) {
                           return ClassifyPacket(data) == pkNew && data.contains(id.toUtf8());
                       });
    }

private:
    const RunFolder &m_folder;
    QUdpSocket &m_listener;
    bool &m_stopped;
};

void printRow(const char *what, const Summary &floor, const Summary &figure, const char *unit, double scale)
{
    std::printf("%-16s floor %8.1f %s   figure %8.1f %s   ratio %.2f   (floor min/median/max %.1f/%.1f/%.1f, "
                "figure %.1f/%.1f/%.1f)\n",
                what, floor.median / scale, unit, figure.median / scale, unit,
                floor.median > 0 ? figure.median / floor.median : 0.0, floor.min / scale,
                floor.median / scale, floor.max / scale, figure.min / scale, figure.median / scale,
                figure.max / scale);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int stale = RunFolder::removeStale();
    const RunFolder folder;
    if (!folder.isValid())
        return 1;
    int rounds = DefaultRounds;
    if (argc > 1)
        rounds = std::clamp(QByteArray(argv[1]).toInt(), 1, MaxRounds);
    bool stopped = false;
    UnixSignalWatcher termination;
    QObject::connect(&termination, &UnixSignalWatcher::terminationRequested, &app,
                     [&stopped] { stopped = true; });
    // Stands for the other peers' receiving sockets: the NEW and the floor's datagram land here.
    QUdpSocket listener;
    if (!listener.bind(QHostAddress::AnyIPv4, PeerPort,
                       QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        std::fprintf(stderr, "bench_cli_start: cannot bind UDP port %d\n", PeerPort);
        return 1;
    }
    Bench bench(folder, listener, stopped);
    std::vector<qint64> floorUs, cliUs;
    std::vector<long> floorKb, cliKb;
    for (int round = 0; round < rounds && !stopped; ++round) {
        // Alternating which goes first keeps a warm cache from favouring one side.
        const Sample a = round % 2 ? bench.cli(round) : bench.floor();
        const Sample b = round % 2 ? bench.floor() : bench.cli(round);
        const Sample &f = round % 2 ? b : a;
        const Sample &c = round % 2 ? a : b;
        if (f.us < 0 || c.us < 0 || f.kb < 0 || c.kb < 0) {
            std::fprintf(stderr, "bench_cli_start: round %d had no answer in time\n", round + 1);
            continue;
        }
        floorUs.push_back(f.us);
        cliUs.push_back(c.us);
        floorKb.push_back(f.kb);
        cliKb.push_back(c.kb);
    }
    if (stale > 0)
        std::printf("removed %d folder(s) a killed run left behind\n", stale);
    if (floorUs.empty())
        return 1;
    std::printf(
        "%zu rounds; floor: QCoreApplication binding UDP %d on loopback; figure: perixchat-cli to its NEW\n",
        floorUs.size(), PeerPort);
    printRow("start to NEW", summarize(floorUs), summarize(cliUs), "ms", 1000.0);
    printRow("resident memory", summarize(floorKb), summarize(cliKb), "MB", 1024.0);
    return stopped ? 1 : 0;
}
