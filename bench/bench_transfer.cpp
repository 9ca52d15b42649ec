// A 1 GB file over loopback: through the transfer engine (request, offers check, SHA-256 on both
// sides, ".part" file and rename) and, side by side, as a plain socket copy of the same bytes (a
// reader thread sending the file, a writer thread storing it). Prints both rates, their ratio and
// the memory of the process while the engine runs. Run by hand; needs about 2.2 GB of free disk.
#include "net/PacketTransport.h"
#include "transfer/FileShare.h"
#include "transfer/Sha256.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

constexpr qint64 FileSize = qint64(1) << 30;
constexpr qint64 Chunk = 256 * 1024;
constexpr int Rounds = 3;
const QString Owner = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QString Asker = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");

class DirectTransport : public PacketTransport {
public:
    std::function<void(const Packet &)> deliver;
    bool SendPacket(const Packet &packet) override
    {
        if (deliver)
            deliver(packet);
        return true;
    }
    QString LocalIP() const override { return QStringLiteral("127.0.0.1"); }
};

bool makeSource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(Chunk, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    for (qint64 written = 0; written < FileSize; written += block.size()) {
        // Every block differs, so nothing along the way can take a shortcut.
        reinterpret_cast<quint64 *>(block.data())[0] = quint64(written);
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

qint64 rssKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The baseline: the same bytes from file to socket to file, with nothing else done to them.
double plainCopySeconds(const QString &source, const QString &target, double *cpu)
{
    const double cpuStart = cpuSeconds();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    QElapsedTimer timer;
    timer.start();
    std::thread sender([&] {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return;
        const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY);
        std::vector<char> buffer(Chunk);
        ssize_t n = 0;
        while ((n = ::read(in, buffer.data(), buffer.size())) > 0) {
            for (ssize_t off = 0; off < n;) {
                const ssize_t w = ::send(s, buffer.data() + off, size_t(n - off), 0);
                if (w <= 0)
                    break;
                off += w;
            }
        }
        ::close(in);
        ::close(s);
    });
    const int connection = ::accept(listener, nullptr, nullptr);
    const int out = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char> buffer(Chunk);
    ssize_t n = 0;
    qint64 total = 0;
    while ((n = ::recv(connection, buffer.data(), buffer.size(), 0)) > 0) {
        if (::write(out, buffer.data(), size_t(n)) != n)
            break;
        total += n;
    }
    ::close(out);
    sender.join();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    *cpu = cpuSeconds() - cpuStart;
    ::close(connection);
    ::close(listener);
    return total == FileSize ? seconds : -1;
}

// What one core needs to hash the bytes once, as the receiver must: no checked transfer can be
// faster than this while the hash is one stream.
double hashSeconds()
{
    QByteArray block(Chunk, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    QElapsedTimer timer;
    timer.start();
    Sha256 sha;
    for (qint64 hashed = 0; hashed < FileSize; hashed += block.size())
        sha.addData(block);
    sha.result();
    return double(timer.nsecsElapsed()) / 1e9;
}

struct EngineRun {
    double seconds = -1;
    double cpu = 0;
    qint64 rssStartKb = 0;
    qint64 rssMaxKb = 0;
};

// ownerReady: the owner hashed the file when it offered it, as it has by the time a user on the
// other side has read the message and answered the confirmation; otherwise the request follows
// the offer at once and the owner hashes while it sends.
EngineRun engineSeconds(const QString &source, const QString &saveDir, bool ownerReady)
{
    DirectTransport ownerTransport;
    DirectTransport askerTransport;
    FileShare owner(
        &ownerTransport,
        [] {
            return LocalIdentity{Owner, QStringLiteral("127.0.0.1")};
        },
        true, 0);
    owner.Offer({source});
    const QFileInfo info(source);
    QElapsedTimer hashing;
    hashing.start();
    while (ownerReady &&
           !owner.offers().hashes().Find(info.canonicalFilePath(), info.size(),
                                         info.lastModified().toMSecsSinceEpoch()) &&
           hashing.elapsed() < 60000)
        QThread::msleep(10);
    FileShare asker(
        &askerTransport,
        [] {
            return LocalIdentity{Asker, QStringLiteral("127.0.0.1")};
        },
        true, owner.engine().serverPort());
    askerTransport.deliver = [&](const Packet &p) {
        owner.ProcessFileTo(p);
    };
    EngineRun run;
    run.rssStartKb = rssKb("VmRSS:");
    QEventLoop loop;
    QTimer sampler;
    sampler.setInterval(20);
    QObject::connect(&sampler, &QTimer::timeout, &loop,
                     [&] { run.rssMaxKb = std::max(run.rssMaxKb, rssKb("VmRSS:")); });
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    int id = -1;
    QObject::connect(&asker.engine(), &FileTransferEngine::transferChanged, &loop, [&](int changed) {
        const TransferState state = asker.engine().info(changed)->state;
        if (changed == id && (state == TransferState::Done || state == TransferState::Failed))
            loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    id = asker.Request(OfferedFile{0, source, Owner, QStringLiteral("127.0.0.1"), QString()}, saveDir,
                       std::nullopt);
    sampler.start();
    loop.exec();
    if (asker.engine().info(id)->state == TransferState::Done) {
        run.seconds = double(timer.nsecsElapsed()) / 1e9;
        run.cpu = cpuSeconds() - cpuStart;
    } else
        std::fprintf(stderr, "engine transfer failed: %s\n", qPrintable(asker.engine().info(id)->error));
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const qint64 free = QStorageInfo(dir.path()).bytesAvailable();
    if (!dir.isValid() || free < 2 * FileSize + 200 * 1024 * 1024) {
        std::printf("bench_transfer: skipped, %lld MB free under %s, 2250 MB needed\n", free >> 20,
                    qPrintable(dir.path()));
        return 0;
    }
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (!makeSource(source))
        return 1;
    const QString plainTarget = dir.filePath(QStringLiteral("plain.bin"));
    const QString saveDir = dir.filePath(QStringLiteral("save"));
    QDir().mkpath(saveDir);
    double bestPlain = 1e9;
    double best[2] = {1e9, 1e9};
    EngineRun memory;
    for (int round = 0; round < Rounds; ++round) {
        // Each run starts with nothing left for the disk to write, so none pays for another's data.
        ::sync();
        double plainCpu = 0;
        const double plain = plainCopySeconds(source, plainTarget, &plainCpu);
        QFile::remove(plainTarget);
        if (plain <= 0)
            return 1;
        bestPlain = std::min(bestPlain, plain);
        std::printf("round %d: plain socket copy %.2f s (%.0f MB/s, %.2f s of CPU)", round + 1, plain,
                    1024.0 / plain, plainCpu);
        for (const bool ready : {true, false}) {
            ::sync();
            const EngineRun engine = engineSeconds(source, saveDir, ready);
            QFile::remove(saveDir + QStringLiteral("/source.bin"));
            if (engine.seconds <= 0)
                return 1;
            std::printf(", engine (%s) %.2f s (%.0f MB/s, %.2f s of CPU)",
                        ready ? "owner's hash ready" : "owner hashes while sending", engine.seconds,
                        1024.0 / engine.seconds, engine.cpu);
            if (engine.seconds < best[ready ? 0 : 1]) {
                best[ready ? 0 : 1] = engine.seconds;
                if (ready)
                    memory = engine;
            }
        }
        std::printf("\n");
    }
    std::printf("1 GB over loopback, best of %d: floor (plain socket copy) %.0f MB/s; engine %.0f MB/s, "
                "ratio %.2f with "
                "the owner's hash ready, %.0f MB/s, ratio %.2f when the owner hashes while sending\n",
                Rounds, 1024.0 / bestPlain, 1024.0 / best[0], bestPlain / best[0], 1024.0 / best[1],
                bestPlain / best[1]);
    const double hash = hashSeconds();
    std::printf(
        "SHA-256 of 1 GB on one core, from memory: %.2f s (%.0f MB/s), the ceiling of the ratio for a "
        "checked transfer: %.2f\n",
        hash, 1024.0 / hash, bestPlain / hash);
    std::printf(
        "memory during the engine run: %lld MB at the start, %lld MB at most (peak of the process %lld MB)\n",
        memory.rssStartKb >> 10, memory.rssMaxKb >> 10, rssKb("VmHWM:") >> 10);
    return 0;
}
