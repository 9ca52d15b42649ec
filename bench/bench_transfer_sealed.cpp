// The transfer between two users with keys (sealed stream, XXH3-128, ".part" file and rename)
// against a plain socket copy of the same bytes in the same run: on loopback, and over a veth pair
// limited to 1 Gbit/s (tbf) between two network namespaces the bench makes and removes. Also the speed
// of the stream's push and pull alone, which bound the loopback figure. Three rounds each; min, median
// and max.
#include "../tests/NetnsLab.h"
#include "crypto/IdentityKeys.h"
#include "crypto/TransferKeys.h"
#include "net/PacketTransport.h"
#include "transfer/FileShare.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr qint64 Chunk = 1024 * 1024;
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

bool makeSource(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(Chunk, Qt::Uninitialized);
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    for (qint64 written = 0; written < size; written += block.size()) {
        reinterpret_cast<quint64 *>(block.data())[0] = quint64(written);
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

// Where each side runs: a namespace of the lab (empty: the bench's own) and its address.
struct Side {
    QString ns;
    QString ip;
};

std::unique_ptr<ScopedNetns> enter(const QString &ns)
{
    return ns.isEmpty() ? nullptr : std::make_unique<ScopedNetns>(ns);
}

// The same bytes from file to socket to file, with nothing else done to them.
double plainCopySeconds(const QString &source, const QString &target, qint64 size, const Side &owner,
                        const Side &asker)
{
    int listener = -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, qPrintable(owner.ip), &address.sin_addr);
    {
        const auto inside = enter(owner.ns);
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
    }
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    QElapsedTimer timer;
    timer.start();
    std::thread sender([&] {
        const auto inside = enter(asker.ns);
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
    ::close(connection);
    ::close(listener);
    QFile::remove(target);
    return total == size ? seconds : -1;
}

// One fetch between two users with keys, through the engines: the owner serves in its namespace,
// the requester's thread starts in its own.
double sealedSeconds(const QString &source, const QString &saveDir, const Side &owner, const Side &asker)
{
    const std::optional<IdentityKeys> ownerKeys = IdentityKeys::generate();
    const std::optional<IdentityKeys> askerKeys = IdentityKeys::generate();
    if (!ownerKeys || !askerKeys)
        return -1;
    const bool loopback = owner.ns.isEmpty();
    DirectTransport ownerTransport;
    DirectTransport askerTransport;
    FileShare ownerShare(
        &ownerTransport,
        [owner] {
            return LocalIdentity{Owner, owner.ip};
        },
        loopback, 0);
    TransferKeyring ownerRing;
    ownerRing.own = std::make_shared<const IdentityKeys>(*ownerKeys);
    ownerRing.requesterKey = [&] {
        return askerKeys->publicKeys().box;
    };
    ownerShare.setKeys(ownerRing);
    {
        const auto inside = enter(owner.ns);
        ownerShare.Offer({source});
    }
    // The owner hashes what it offers for the plain wire while the other user decides to fetch it;
    // by the time a user has answered, that is done (it is not used on the sealed wire).
    const QFileInfo offered(source);
    QElapsedTimer hashing;
    hashing.start();
    while (!ownerShare.offers().hashes().Find(offered.canonicalFilePath(), offered.size(),
                                              offered.lastModified().toMSecsSinceEpoch()) &&
           hashing.elapsed() < 30000)
        QThread::msleep(5);
    FileShare askerShare(
        &askerTransport,
        [asker] {
            return LocalIdentity{Asker, asker.ip};
        },
        loopback, ownerShare.engine().serverPort());
    TransferKeyring askerRing;
    askerRing.own = std::make_shared<const IdentityKeys>(*askerKeys);
    askerRing.ownerKey = [&](const QString &) {
        return ownerKeys->publicKeys().box;
    };
    askerShare.setKeys(askerRing);
    askerTransport.deliver = [&](const Packet &p) {
        ownerShare.ProcessFileTo(p);
    };
    QEventLoop loop;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    int id = -1;
    QObject::connect(&askerShare.engine(), &FileTransferEngine::transferChanged, &loop, [&](int changed) {
        const TransferState state = askerShare.engine().info(changed)->state;
        if (changed == id && (state == TransferState::Done || state == TransferState::Failed))
            loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    {
        const auto inside = enter(asker.ns);
        id = askerShare.Request(OfferedFile{0, source, Owner, owner.ip, QString()}, saveDir, std::nullopt);
    }
    loop.exec();
    const std::optional<TransferInfo> info = askerShare.engine().info(id);
    QFile::remove(saveDir + u'/' + QFileInfo(source).fileName());
    if (!info || info->state != TransferState::Done) {
        std::fprintf(stderr, "sealed transfer failed: %s\n", info ? qPrintable(info->error) : "not listed");
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

// Push and pull of the stream alone, in 1 MB chunks, each on one core: MB/s.
void streamAlone(double *push, double *pull)
{
    const std::optional<IdentityKeys> a = IdentityKeys::generate();
    const std::optional<IdentityKeys> b = IdentityKeys::generate();
    const QByteArray salt(32, 'x');
    const std::optional<TransferKeys> keys =
        DeriveTransferKeys(*a, b->publicKeys().box, TransferRole::Requester, salt);
    SecretStreamWriter writer;
    SecretStreamReader reader;
    reader.start(keys->send, writer.start(keys->send));
    QByteArray plain(Chunk, 'p');
    constexpr int Chunks = 256;
    std::vector<QByteArray> sealed(Chunks);
    // The buffers are made and touched once before the clock starts, as the transfer reuses its own.
    SecretStreamWriter warmup;
    warmup.start(keys->receive);
    for (QByteArray &chunk : sealed)
        warmup.push(plain, &chunk);
    QElapsedTimer timer;
    timer.start();
    for (QByteArray &chunk : sealed)
        writer.push(plain, &chunk);
    *push = Chunks / (double(timer.nsecsElapsed()) / 1e9);
    timer.restart();
    for (const QByteArray &chunk : sealed)
        reader.pull(chunk, &plain);
    *pull = Chunks / (double(timer.nsecsElapsed()) / 1e9);
}

struct Spread {
    double min = 0, median = 0, max = 0;
};

// As MB/s from the seconds of each round.
Spread spreadOf(std::vector<double> seconds, qint64 size)
{
    std::sort(seconds.begin(), seconds.end());
    const double mb = double(size) / double(1 << 20);
    return {mb / seconds.back(), mb / seconds[seconds.size() / 2], mb / seconds.front()};
}

bool measure(const char *where, const QString &source, const QString &dir, qint64 size, const Side &owner,
             const Side &asker)
{
    std::vector<double> plain;
    std::vector<double> sealed;
    for (int round = 0; round < Rounds; ++round) {
        ::sync();
        plain.push_back(plainCopySeconds(source, dir + QStringLiteral("/plain.bin"), size, owner, asker));
        ::sync();
        sealed.push_back(sealedSeconds(source, dir + QStringLiteral("/save"), owner, asker));
        if (plain.back() <= 0 || sealed.back() <= 0)
            return false;
    }
    const Spread p = spreadOf(plain, size);
    const Spread s = spreadOf(sealed, size);
    std::printf("%s, %lld MB, %d rounds (min/median/max MB/s): plain socket copy %.0f/%.0f/%.0f, sealed "
                "transfer %.0f/%.0f/%.0f; ratio of the medians %.2f\n",
                where, size >> 20, Rounds, p.min, p.median, p.max, s.min, s.median, s.max,
                s.median / p.median);
    return true;
}

// Two namespaces joined by a veth pair whose both ends send at 1 Gbit/s at most.
bool makeLink(NetnsLab &lab)
{
    if (!lab.addNamespace("o") || !lab.addNamespace("r") || !lab.link("o", "eth0", "r", "eth0") ||
        !lab.address("o", "eth0", "10.73.0.1/24") || !lab.address("r", "eth0", "10.73.0.2/24"))
        return false;
    for (const char *name : {"o", "r"}) {
        QProcess tc;
        tc.start(QStringLiteral("ip"), {"netns", "exec", lab.ns(name), "tc", "qdisc", "add", "dev", "eth0",
                                        "root", "tbf", "rate", "1gbit", "burst", "256kb", "latency", "20ms"});
        if (!tc.waitForFinished(10000) || tc.exitCode() != 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    constexpr qint64 LoopbackSize = qint64(128) << 20;
    constexpr qint64 LinkSize = qint64(96) << 20;
    if (!dir.isValid() || QStorageInfo(dir.path()).bytesAvailable() < 3 * LoopbackSize) {
        std::printf("bench_transfer_sealed: skipped, not enough free disk under %s\n",
                    qPrintable(dir.path()));
        return 0;
    }
    QDir().mkpath(dir.filePath(QStringLiteral("save")));
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (!makeSource(source, LoopbackSize))
        return 1;
    double push = 0;
    double pull = 0;
    streamAlone(&push, &pull);
    std::printf("secretstream alone, 1 MB chunks, one core: push %.0f MB/s, pull %.0f MB/s\n", push, pull);
    const Side local{QString(), QStringLiteral("127.0.0.1")};
    if (!measure("loopback", source, dir.path(), LoopbackSize, local, local))
        return 1;
    const QString why = NetnsLab::whyUnavailable();
    if (!why.isEmpty()) {
        std::printf("veth at 1 Gbit/s: skipped, %s\n", qPrintable(why));
        return 0;
    }
    NetnsLab lab;
    if (!makeLink(lab)) {
        std::printf("veth at 1 Gbit/s: skipped, %s\n", qPrintable(lab.error()));
        lab.cleanup();
        return 0;
    }
    const QString small = dir.filePath(QStringLiteral("small.bin"));
    const bool ok =
        makeSource(small, LinkSize) &&
        measure("veth pair at 1 Gbit/s (tbf)", small, dir.path(), LinkSize,
                {lab.ns("o"), QStringLiteral("10.73.0.1")}, {lab.ns("r"), QStringLiteral("10.73.0.2")});
    lab.cleanup();
    return ok ? 0 : 1;
}
