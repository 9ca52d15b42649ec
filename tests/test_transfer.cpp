// The transfer engine over loopback: wire, path rules, offers and FILETO acceptance, and real
// transfers between two engines on ephemeral ports.

#include "NetnsLab.h"

#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "support/Files.h"
#include "support/RecordingTransport.h"
#include "support/SharePair.h"
#include "transfer/DownloadQueue.h"
#include "transfer/FileOffers.h"
#include "transfer/FileShare.h"
#include "transfer/FileTransferEngine.h"
#include "transfer/FileTransferWire.h"
#include "transfer/Sha256.h"
#include "transfer/TransferPaths.h"
#include "transfer/Xxh3.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include <malloc.h>
#include <sys/mount.h>

using namespace TransferWire;

namespace {

const QString IdOwner = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QString IdAsker = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
const QString Loopback = QStringLiteral("127.0.0.1");

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// As waitFor, but events are handled the moment they come rather than every 10 ms, and the condition
// is looked at again whenever the engine reports a change: for loops of many short transfers.
bool runUntil(const std::function<bool()> &condition, int timeoutMs, const FileTransferEngine *changes)
{
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    const auto look = [&] {
        if (condition() || timer.elapsed() > timeoutMs)
            loop.quit();
    };
    QObject::connect(&check, &QTimer::timeout, &loop, look);
    QObject::connect(changes, &FileTransferEngine::transferChanged, &loop, look);
    check.start();
    if (!condition())
        loop.exec();
    return condition();
}

// Hands every packet straight to a receiver, as the broadcast would.
QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    for (qsizetype i = size / 4 * 4; i < size; ++i)
        data[i] = char(i);
    return data;
}

// The partial files of fetches into a folder: hidden names of the program's own.
QStringList partialsIn(const QString &folder)
{
    QStringList paths;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral(".perix-*.part")}, QDir::Files | QDir::Hidden))
        paths.append(dir.filePath(name));
    return paths;
}

// The size of the one partial file in the folder; -1 when there is none or more than one.
qint64 partialSize(const QString &folder)
{
    const QStringList paths = partialsIn(folder);
    return paths.size() == 1 ? QFileInfo(paths.first()).size() : -1;
}

// An owner and a requester; the requester is made when the owner has a port.
struct Pair : SharePair {
    explicit Pair(quint16 port = 0, const TransferLimits &limits = TransferLimits())
        : SharePair(IdOwner, IdAsker, port, limits)
    {}
    // The requester connects to the port the owner got.
    void offer(const QStringList &paths)
    {
        QCOMPARE(owner->Offer(paths), int(paths.size()));
        QVERIFY(owner->engine().isListening());
        if (!asker)
            addAsker(owner->engine().serverPort());
        asker->engine().setLimits(limits);
    }
};

// One raw transfer connection: sends a request frame and reads the first answer.
struct RawAnswer {
    FrameType type = Done;
    QByteArray payload;
};
std::optional<RawAnswer> rawRequest(quint16 port, const QString &path, const QString &clientId,
                                    const QString &bindAddress = QString())
{
    QTcpSocket socket;
    if (!bindAddress.isEmpty())
        socket.bind(QHostAddress(bindAddress), 0);
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return std::nullopt;
    socket.write(Frame(Request, EncodeRequest({Version, path, clientId, QStringLiteral("0")})));
    socket.waitForBytesWritten(1000);
    QElapsedTimer timer;
    timer.start();
    while (socket.bytesAvailable() < HeaderSize && timer.elapsed() < 10000) {
        socket.waitForReadyRead(50);
        QCoreApplication::processEvents();
    }
    RawAnswer answer;
    quint32 length = 0;
    if (!ParseHeader(socket.read(HeaderSize), &answer.type, &length))
        return std::nullopt;
    while (socket.bytesAvailable() < length && timer.elapsed() < 10000)
        socket.waitForReadyRead(50);
    answer.payload = socket.read(length);
    return answer;
}

// Passes bytes between a client and the real server, flipping one byte of the owner's stream.
class CorruptingProxy : public QObject {
public:
    CorruptingProxy(quint16 target, qint64 flipAt)
        : m_target(target)
        , m_flipAt(flipAt)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *client = m_server.nextPendingConnection();
            auto *upstream = new QTcpSocket(client);
            upstream->connectToHost(QHostAddress::LocalHost, m_target);
            connect(client, &QTcpSocket::readyRead, upstream,
                    [client, upstream] { upstream->write(client->readAll()); });
            connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
                QByteArray data = upstream->readAll();
                if (m_seen <= m_flipAt && m_flipAt < m_seen + data.size())
                    data[m_flipAt - m_seen] = char(data.at(m_flipAt - m_seen) ^ 0x5a);
                m_seen += data.size();
                client->write(data);
            });
            connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, upstream, &QTcpSocket::disconnectFromHost);
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
    quint16 m_target;
    qint64 m_flipAt;
    qint64 m_seen = 0;
};

// An owner that speaks the wire as the test says: it answers a request with the manifest (or never
// answers at all), and a Get with `dataSize` bytes of data frames.
class FakeOwner : public QObject {
public:
    explicit FakeOwner(std::optional<TransferManifest> manifest, qint64 dataSize = 0)
        : m_manifest(std::move(manifest))
        , m_dataSize(dataSize)
    {
        m_server.setProxy(QNetworkProxy::NoProxy);
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    int connections = 0;
    int open = 0;
    int mostOpen = 0;
    int gets = 0;

private:
    void serve(QTcpSocket *socket)
    {
        ++connections;
        mostOpen = std::max(mostOpen, ++open);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --open;
            socket->deleteLater();
        });
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            FrameType type = Done;
            quint32 length = 0;
            while (buffer->size() >= HeaderSize && ParseHeader(buffer->first(HeaderSize), &type, &length) &&
                   buffer->size() >= HeaderSize + qsizetype(length)) {
                buffer->remove(0, HeaderSize + length);
                if (type == Request && m_manifest)
                    socket->write(Frame(Manifest, EncodeManifest(*m_manifest)));
                if (type != Get)
                    continue;
                ++gets;
                for (qint64 left = m_dataSize; left > 0; left -= DataChunk) {
                    const qint64 n = std::min<qint64>(left, DataChunk);
                    socket->write(Frame(Data, QByteArray(n, 'x')));
                }
            }
        });
    }

    QTcpServer m_server;
    std::optional<TransferManifest> m_manifest;
    qint64 m_dataSize;
};

// A file system of a few megabytes in a mount namespace that only this process sees. Root only.
class SmallDisk {
public:
    SmallDisk(const QString &path, int megabytes)
        : m_path(path)
    {
        if (::geteuid() != 0) {
            m_why = QStringLiteral("a file system of its own needs root");
            return;
        }
        // Once per process: the main thread, and every thread it starts later, see their own mounts.
        static const bool isPrivate =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        const QByteArray options = "size=" + QByteArray::number(megabytes) + "m";
        if (!isPrivate || !QDir().mkpath(path) ||
            ::mount("perix-test", QFile::encodeName(path).constData(), "tmpfs", 0, options.constData()) !=
                0) {
            m_why =
                QStringLiteral("cannot mount a tmpfs here: %1").arg(QString::fromLocal8Bit(strerror(errno)));
            return;
        }
        m_mounted = true;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    QString whyNot() const { return m_why; }

private:
    QString m_path;
    QString m_why;
    bool m_mounted = false;
};

TransferManifest oneFile(qint64 size)
{
    TransferManifest manifest;
    manifest.entries.append(ManifestEntry{QString(), false, size});
    return manifest;
}

TransferLimits quickLimits()
{
    TransferLimits limits;
    limits.requestDeadlineMs = 800;
    limits.grantWaitMs = 500;
    limits.frameDeadlineMs = 2000;
    limits.stallMs = 1000;
    return limits;
}

} // namespace

class TestTransfer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sha256MatchesQt();
    void xxh3KnownVectors();
    void frames();
    void frames_data();
    void messagesRoundTrip();
    void safeComponents();
    void safeComponents_data();
    void ownerNamesAndFreeNames();
    void offersMatchExactly();
    void fileToAcceptance();
    void grantsAreBounded();
    void manifestLeavesOutLinksThatLeave();
    void servedPathsStayInside();
    void receiverRefusesLinkedFolders();

    void fileArrivesByteIdentical();
    void fileArrivesPastASystemProxy();
    void folderTreeArrives();
    void emptyFileAndEmptyFolder();
    void resumeAfterOwnerStops();
    void hashedFilesResumeStraightFromTheFile();
    void corruptedChunkIsDetected();
    void corruptedPartIsDetected();
    void refusedRequests();
    void existingFileIsNeverReplacedWithoutAsking();
    void cancelAndRetry();
    void stoppingIsQuick();

    void ownerAddresses();
    void ownerAddresses_data();
    void downloadQueue();
    void serveSlots();
    void partialNames();

    void slowConnectionsCannotHoldTheOwner();
    void manyConnectionsBesideAnHonestFetch();
    void ownerSurvivesARequesterThatLeaves();
    void partialFilesAreNeverOthers();
    void loopbackFetchesConnectToLoopbackOnly();
    void hostNamesAreNeverLookedUp();
    void declaredSizeMustFitTheDisk();
    void freeSpaceWatchedWhileRunning();
    void finishedTransfersLeaveTheList();
    void stallingOwnerHoldsFewConnections();
};

void TestTransfer::sha256MatchesQt()
{
    const QByteArray data = randomBytes(300000, 1);
    // The CPU's instructions through libcrypto where it loads, and the portable code without it.
    QVERIFY(Sha256::usesCpuInstructions());
    for (Sha256::Engine engine : {Sha256::Engine::Fastest, Sha256::Engine::Portable}) {
        Sha256 sha(engine);
        sha.addData(data.first(1000));
        sha.addData(data.sliced(1000));
        QCOMPARE(sha.result(), QCryptographicHash::hash(data, QCryptographicHash::Sha256));
        // It starts over after a result.
        sha.addData("abc");
        QCOMPARE(sha.result(), QCryptographicHash::hash("abc", QCryptographicHash::Sha256));
        QCOMPARE(sha.result(), QCryptographicHash::hash("", QCryptographicHash::Sha256));
    }
    QCOMPARE(Sha256::hash(""), QCryptographicHash::hash("", QCryptographicHash::Sha256));
}

void TestTransfer::xxh3KnownVectors()
{
    // As xxhsum -H2 prints them.
    QCOMPARE(Xxh3::hash("").toHex(), QByteArray("99aa06d3014798d86001c324468d497f"));
    QCOMPARE(Xxh3::hash("abc").toHex(), QByteArray("06b05ab6733a618578af5f94892f3950"));
    QByteArray sequence;
    for (int i = 0; i < 3000; ++i)
        sequence.append(char(i % 251));
    QCOMPARE(Xxh3::hash(sequence).toHex(), QByteArray("d324b9e72fa9fb271b846747012c24aa"));
    // Streamed in uneven pieces across its internal blocks, and started over after each result.
    Xxh3 xxh;
    for (qsizetype at = 0, step = 1; at < sequence.size(); at += step, step = step * 3 % 1021 + 1)
        xxh.addData(sequence.sliced(at, qMin(step, sequence.size() - at)));
    QCOMPARE(xxh.result().toHex(), QByteArray("d324b9e72fa9fb271b846747012c24aa"));
    xxh.addData("abc");
    QCOMPARE(xxh.result().toHex(), QByteArray("06b05ab6733a618578af5f94892f3950"));
}

void TestTransfer::frames_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("type");
    QTest::addColumn<quint32>("length");
    QTest::newRow("request") << QByteArray("\x01\x00\x00\x00\x10", 5) << true << 1 << 16u;
    QTest::newRow("data at limit") << QByteArray("\x05\x00\x10\x00\x00", 5) << true << 5 << 1048576u;
    QTest::newRow("data above limit") << QByteArray("\x05\x00\x10\x00\x01", 5) << false << 0 << 0u;
    QTest::newRow("request above limit") << QByteArray("\x01\x00\x01\x00\x01", 5) << false << 0 << 0u;
    QTest::newRow("done with payload") << QByteArray("\x08\x00\x00\x00\x01", 5) << false << 0 << 0u;
    QTest::newRow("type 0") << QByteArray("\x00\x00\x00\x00\x00", 5) << false << 0 << 0u;
    QTest::newRow("hello") << QByteArray("\x09\x00\x00\x04\x00", 5) << true << 9 << 1024u;
    QTest::newRow("hello above limit") << QByteArray("\x09\x00\x00\x04\x01", 5) << false << 0 << 0u;
    QTest::newRow("type 10") << QByteArray("\x0a\x00\x00\x00\x00", 5) << false << 0 << 0u;
    QTest::newRow("short") << QByteArray("\x05\x00\x00", 3) << false << 0 << 0u;
}

void TestTransfer::frames()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, valid);
    FrameType type = Done;
    quint32 length = 0;
    QCOMPARE(ParseHeader(header, &type, &length), valid);
    if (valid) {
        QTEST(int(type), "type");
        QTEST(length, "length");
    }
}

void TestTransfer::messagesRoundTrip()
{
    QCOMPARE(Frame(Get, "ab"), QByteArray("\x04\x00\x00\x00\x02"
                                          "ab",
                                          7));
    const std::optional<RequestMessage> request =
        DecodeRequest(EncodeRequest({Version, QStringLiteral("/x/ä b"), IdAsker, QStringLiteral("3")}));
    QVERIFY(request);
    QCOMPARE(request->path, QStringLiteral("/x/ä b"));
    QCOMPARE(request->clientId, IdAsker);
    QCOMPARE(request->number, QStringLiteral("3"));

    TransferManifest manifest;
    manifest.isDir = true;
    manifest.entries = {{QStringLiteral("a"), true, 0}, {QStringLiteral("a/b.txt"), false, 12345678901}};
    const std::optional<TransferManifest> back = DecodeManifest(EncodeManifest(manifest));
    QVERIFY(back);
    QVERIFY(back->isDir);
    QCOMPARE(back->entries.size(), 2);
    QCOMPARE(back->entries.at(1).relative, QStringLiteral("a/b.txt"));
    QCOMPARE(back->entries.at(1).size, 12345678901);
    QVERIFY(back->entries.at(0).isDir);

    manifest.entries = {{QStringLiteral("x"), false, -1}};
    QVERIFY(!DecodeManifest(EncodeManifest(manifest)));
    QVERIFY(!DecodeManifest("not cbor"));
    QVERIFY(!DecodeGet(EncodeGet({-1, 0})));
    const std::optional<FileEndMessage> end = DecodeFileEnd(EncodeFileEnd({5, Sha256::hash("hello"), {}}));
    QVERIFY(end);
    QCOMPARE(end->size, 5);
    QCOMPARE(end->sha256, Sha256::hash("hello"));
}

void TestTransfer::safeComponents_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("joined");
    QTest::newRow("empty is the root") << "" << true << "";
    QTest::newRow("plain") << "a/b.txt" << true << "a/b.txt";
    QTest::newRow("odd names made safe") << "we:ird/CON.txt" << true << "we_ird/_CON.txt";
    QTest::newRow("backslash inside a name") << "a\\b" << true << "a_b";
    QTest::newRow("dot dot") << "a/../b" << false << "";
    QTest::newRow("leading dot dot") << "../b" << false << "";
    QTest::newRow("dot") << "./b" << false << "";
    QTest::newRow("absolute") << "/etc/passwd" << false << "";
    QTest::newRow("windows absolute") << "\\etc" << false << "";
    QTest::newRow("drive") << "C:/x" << false << "";
    QTest::newRow("empty component") << "a//b" << false << "";
    QTest::newRow("too deep") << QString(QStringLiteral("a/").repeated(70) + u'b') << false << "";
}

void TestTransfer::safeComponents()
{
    QFETCH(QString, relative);
    QFETCH(bool, accepted);
    const std::optional<QStringList> parts = TransferPath::SafeComponents(relative);
    QCOMPARE(bool(parts), accepted);
    if (parts)
        QTEST(parts->join(u'/'), "joined");
    const QString target = TransferPath::LocalTarget(QStringLiteral("/save/root"), relative);
    QCOMPARE(target.isEmpty(), !accepted);
    if (accepted)
        QVERIFY(target == QStringLiteral("/save/root") || target.startsWith(QStringLiteral("/save/root/")));
}

void TestTransfer::ownerNamesAndFreeNames()
{
    QCOMPARE(TransferPath::OwnerFileName(QStringLiteral("C:\\docs\\a.txt")), QStringLiteral("a.txt"));
    QCOMPARE(TransferPath::OwnerFileName(QStringLiteral("/home/x/dir/")), QStringLiteral("dir"));
    QCOMPARE(TransferPath::LocalName(QStringLiteral("/x/..")), QStringLiteral("_"));
    QCOMPARE(TransferPath::LocalName(QStringLiteral("C:\\x\\a<b>.txt")), QStringLiteral("a_b_.txt"));
    QCOMPARE(TransferPath::LocalName(QString()), QStringLiteral("_"));

    QTemporaryDir dir;
    QCOMPARE(TransferPath::FreeName(dir.path(), QStringLiteral("a.txt")), QStringLiteral("a.txt"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("a.txt")), "x"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("a (2).txt.part")), "x"));
    QCOMPARE(TransferPath::FreeName(dir.path(), QStringLiteral("a.txt")), QStringLiteral("a (3).txt"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QCOMPARE(TransferPath::FreeName(dir.path(), QStringLiteral("folder")), QStringLiteral("folder (2)"));
}

void TestTransfer::offersMatchExactly()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QVERIFY(writeFile(file, "abc"));
    FileOfferList offers;
    QVERIFY(!offers.Add(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(offers.Add(file));
    QVERIFY(offers.Add(dir.path()));
    QCOMPARE(offers.count(), 2);
    QVERIFY(offers.Find(file));
    QVERIFY(!offers.Find(dir.path() + QStringLiteral("/./a.txt")));
    QVERIFY(!offers.Find(dir.path() + QStringLiteral("/sub/../a.txt")));
    QVERIFY(offers.Find(dir.path())->isDir);
}

void TestTransfer::fileToAcceptance()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QVERIFY(writeFile(file, "abc"));
    FileOfferList offers;
    QVERIFY(offers.Add(file));
    FileToGate gate;
    const auto fileTo = [&](const QString &path, const QString &server, const QString &clientIp) {
        return TDataFileMessage(BuildFileToPacket(2, path, server, Loopback, IdAsker, clientIp));
    };
    QCOMPARE(gate.Accept(fileTo(file, IdAsker, Loopback), IdOwner, offers, 0), FileToVerdict::NotForMe);
    QCOMPARE(gate.count(), 0);
    QCOMPARE(
        gate.Accept(fileTo(dir.filePath(QStringLiteral("b.txt")), IdOwner, Loopback), IdOwner, offers, 0),
        FileToVerdict::Refused);
    QCOMPARE(gate.Accept(fileTo(file, IdOwner, QStringLiteral("127.0.0.5")), IdOwner, offers, 0),
             FileToVerdict::Accepted);
    QCOMPARE(gate.Take(IdAsker, file, QHostAddress(QStringLiteral("127.0.0.1")), 10),
             GrantLookup::WrongAddress);
    QCOMPARE(gate.Take(IdOwner, file, QHostAddress(QStringLiteral("127.0.0.5")), 10), GrantLookup::None);
    QCOMPARE(gate.Take(IdAsker, file, QHostAddress(QStringLiteral("::ffff:127.0.0.5")), 10),
             GrantLookup::Granted);
    // Used once.
    QCOMPARE(gate.Take(IdAsker, file, QHostAddress(QStringLiteral("127.0.0.5")), 10), GrantLookup::None);
    QCOMPARE(gate.Accept(fileTo(file, IdOwner, Loopback), IdOwner, offers, 0), FileToVerdict::Accepted);
    QCOMPARE(gate.Take(IdAsker, file, QHostAddress::LocalHost, FileToGate::GrantLifetimeMs + 1),
             GrantLookup::None);
}

void TestTransfer::grantsAreBounded()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QVERIFY(writeFile(file, "abc"));
    FileOfferList offers;
    QVERIFY(offers.Add(file));
    FileToGate gate;
    for (int i = 0; i < FileToGate::MaxGrants + 50; ++i)
        gate.Accept(
            TDataFileMessage(BuildFileToPacket(i, file, IdOwner, Loopback, IdAsker,
                                               QStringLiteral("127.0.%1.%2").arg(i / 200).arg(i % 200 + 1))),
            IdOwner, offers, 0);
    QCOMPARE(gate.count(), FileToGate::MaxGrants);
    // The oldest went first.
    QCOMPARE(gate.Take(IdAsker, file, QHostAddress(QStringLiteral("127.0.0.1")), 0),
             GrantLookup::WrongAddress);
}

void TestTransfer::manifestLeavesOutLinksThatLeave()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("shared"));
    QVERIFY(writeFile(root + QStringLiteral("/a.txt"), "a"));
    QVERIFY(writeFile(root + QStringLiteral("/sub/b.txt"), "bb"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("secret.txt")), "secret"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("secret.txt")), root + QStringLiteral("/escape.txt")));
    QVERIFY(QFile::link(root + QStringLiteral("/a.txt"), root + QStringLiteral("/sub/alias.txt")));
    QVERIFY(QFile::link(dir.path(), root + QStringLiteral("/up")));
    FileOfferList offers;
    QVERIFY(offers.Add(root));
    QStringList refused;
    QString error;
    const std::optional<TransferManifest> manifest =
        TransferPath::BuildManifest(*offers.Find(root), &refused, &error);
    QVERIFY2(manifest, qPrintable(error));
    QStringList relatives;
    for (const ManifestEntry &e : manifest->entries)
        relatives.append(e.relative + (e.isDir ? QStringLiteral("/") : QStringLiteral(":%1").arg(e.size)));
    relatives.sort();
    QCOMPARE(relatives, QStringList({"a.txt:1", "sub/", "sub/alias.txt:1", "sub/b.txt:2"}));
    refused.sort();
    QCOMPARE(refused, QStringList({"escape.txt", "up"}));
}

void TestTransfer::servedPathsStayInside()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("shared"));
    QVERIFY(writeFile(root + QStringLiteral("/a.txt"), "a"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("secret.txt")), "secret"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("secret.txt")), root + QStringLiteral("/escape.txt")));
    FileOfferList offers;
    QVERIFY(offers.Add(root));
    const FileOffer offer = *offers.Find(root);
    QString why;
    QCOMPARE(TransferPath::ServedFilePath(offer, QStringLiteral("a.txt"), &why),
             QFileInfo(root + "/a.txt").canonicalFilePath());
    QVERIFY(TransferPath::ServedFilePath(offer, QStringLiteral("../secret.txt"), &why).isEmpty());
    QVERIFY(TransferPath::ServedFilePath(offer, QStringLiteral("escape.txt"), &why).isEmpty());
    QVERIFY(why.contains(QStringLiteral("leaves")));
    QVERIFY(TransferPath::ServedFilePath(offer, QString(), &why).isEmpty());
    // The offered folder swapped for a link elsewhere after it was offered.
    QVERIFY(QDir(root).removeRecursively());
    QVERIFY(QFile::link(dir.path(), root));
    QVERIFY(TransferPath::ServedFilePath(offer, QStringLiteral("secret.txt"), &why).isEmpty());
    QVERIFY(why.contains(QStringLiteral("no longer")));
}

void TestTransfer::receiverRefusesLinkedFolders()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("got"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/real")));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere")), root + QStringLiteral("/link")));
    QVERIFY(TransferPath::IsSafeWriteLocation(root, root + QStringLiteral("/real/a.txt")));
    QVERIFY(TransferPath::IsSafeWriteLocation(root, root + QStringLiteral("/new/deeper/a.txt")));
    QVERIFY(!TransferPath::IsSafeWriteLocation(root, root + QStringLiteral("/link/a.txt")));
    QVERIFY(!TransferPath::IsSafeWriteLocation(root, root + QStringLiteral("/link")));
    QVERIFY(!TransferPath::IsSafeWriteLocation(root, dir.filePath(QStringLiteral("outside.txt"))));
}

void TestTransfer::fileArrivesByteIdentical()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(8 * 1024 * 1024 + 17, 2);
    const QString source = dir.filePath(QStringLiteral("own/big file.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({source});
    const int id = pair.request(source, save);
    QVERIFY(id > 0);
    // The FILETO went first, with the exact fields of the request.
    QCOMPARE(pair.askerTransport.sent.size(), 1);
    QCOMPARE(pair.askerTransport.sent.first(),
             BuildFileToPacket(7, source, IdOwner, Loopback, IdAsker, Loopback));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    QCOMPARE(pair.info(id).done, data.size());
    QCOMPARE(pair.info(id).total, data.size());
    QCOMPARE(readFile(save + QStringLiteral("/big file.bin")), data);
    QVERIFY(partialsIn(save).isEmpty());
    // The owner lists its side too, as finished.
    QVERIFY(waitFor([&] { return pair.owner->engine().runningCount() == 0; }));
    const QList<TransferInfo> sends = pair.owner->engine().transfers();
    QCOMPARE(sends.size(), 1);
    QCOMPARE(sends.first().direction, TransferDirection::Send);
    QCOMPARE(sends.first().state, TransferState::Done);
    QCOMPARE(sends.first().done, data.size());
}

void TestTransfer::fileArrivesPastASystemProxy()
{
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::Socks5Proxy, QStringLiteral("127.0.0.1"), 9));
    const auto noProxyAfterwards =
        qScopeGuard([] { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); });
    QTemporaryDir dir;
    const QByteArray data = randomBytes(300000, 9);
    const QString source = dir.filePath(QStringLiteral("own/direct.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    {
        Pair pair;
        pair.offer({source});
        const int id = pair.request(source, save);
        QVERIFY(waitFor([&] { return pair.ended(id); }));
        QCOMPARE(pair.info(id).state, TransferState::Done);
    }
    QCOMPARE(readFile(save + QStringLiteral("/direct.bin")), data);
}

void TestTransfer::folderTreeArrives()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    const QMap<QString, QByteArray> files = {
        {QStringLiteral("top.txt"), "top"},
        {QStringLiteral("a/b/c/deep.bin"), randomBytes(700000, 3)},
        {QStringLiteral("a/space name.txt"), "spaces"},
        {QStringLiteral("a/ünïcödé ✓.txt"), "unicode"},
        {QStringLiteral("a/-dash & (paren) [x] #1.txt"), "punct"},
        {QStringLiteral(".hidden/.dotfile"), "hidden"},
    };
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QVERIFY(writeFile(root + u'/' + it.key(), it.value()));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/empty/inner")));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({root});
    const int id = pair.request(root, save);
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    // Names are made safe like history names: leading dots go.
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString local =
            it.key() == QStringLiteral(".hidden/.dotfile") ? QStringLiteral("hidden/dotfile") : it.key();
        QCOMPARE(readFile(save + QStringLiteral("/tree/") + local), it.value());
    }
    QVERIFY(QFileInfo(save + QStringLiteral("/tree/empty/inner")).isDir());
}

void TestTransfer::emptyFileAndEmptyFolder()
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("own/empty.txt"));
    QVERIFY(writeFile(empty, QByteArray()));
    const QString folder = dir.filePath(QStringLiteral("own/nothing"));
    QVERIFY(QDir().mkpath(folder));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({empty, folder});
    const int a = pair.request(empty, save);
    const int b = pair.request(folder, save);
    QVERIFY(waitFor([&] { return pair.ended(a) && pair.ended(b); }));
    QCOMPARE(pair.info(a).state, TransferState::Done);
    QCOMPARE(pair.info(b).state, TransferState::Done);
    QVERIFY(QFileInfo(save + QStringLiteral("/empty.txt")).isFile());
    QCOMPARE(QFileInfo(save + QStringLiteral("/empty.txt")).size(), 0);
    QVERIFY(QFileInfo(save + QStringLiteral("/nothing")).isDir());
}

void TestTransfer::resumeAfterOwnerStops()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(6 * 1024 * 1024, 4);
    const QString source = dir.filePath(QStringLiteral("own/movie.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({source});
    pair.owner->engine().setSendRateLimit(4 * 1024 * 1024);
    const quint16 port = pair.owner->engine().serverPort();
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return partialSize(save) > 2 * 1024 * 1024; }));
    const QString part = partialsIn(save).first();
    // The owner goes away halfway, without a word.
    pair.owner.reset();
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Failed);
    const qint64 kept = QFileInfo(part).size();
    QVERIFY(kept > 2 * 1024 * 1024 && kept < data.size());
    QVERIFY(!QFileInfo::exists(save + QStringLiteral("/movie.bin")));

    // It comes back on the same port and offers the file again; Retry asks again and resumes.
    pair.owner = std::make_unique<FileShare>(
        &pair.ownerTransport,
        [] {
            return LocalIdentity{IdOwner, Loopback};
        },
        true, port);
    QCOMPARE(pair.owner->Offer({source}), 1);
    QVERIFY(pair.owner->engine().isListening());
    QVERIFY(pair.asker->Retry(id));
    QCOMPARE(pair.askerTransport.sent.size(), 2);
    QCOMPARE(pair.askerTransport.sent.at(1), pair.askerTransport.sent.at(0));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    QCOMPARE(pair.info(id).resumed, kept);
    QCOMPARE(readFile(save + QStringLiteral("/movie.bin")), data);
    QVERIFY(!QFileInfo::exists(part));
}

// Once the owner knows the hash of an offered file it sends the bytes without reading them itself;
// a resume from the middle of a chunk must still line up.
void TestTransfer::hashedFilesResumeStraightFromTheFile()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(3 * 1024 * 1024 + 7, 8);
    const QString source = dir.filePath(QStringLiteral("own/hashed.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    const qint64 kept = 1024 * 1024 + 4321;
    Pair pair;
    pair.offer({source});
    const QFileInfo info(source);
    QVERIFY(waitFor([&] {
        return pair.owner->offers()
            .hashes()
            .Find(info.canonicalFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch())
            .has_value();
    }));
    // A first run stops after two chunks; its partial file is cut back into the middle of a chunk.
    pair.owner->engine().setSendRateLimit(2 * 1024 * 1024);
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return partialSize(save) >= 2 * 1024 * 1024; }));
    QVERIFY(pair.asker->Cancel(id));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Cancelled);
    QVERIFY(QFile(partialsIn(save).first()).resize(kept));
    pair.owner->engine().setSendRateLimit(0);
    QVERIFY(pair.asker->Retry(id));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    QCOMPARE(pair.info(id).resumed, kept);
    QCOMPARE(readFile(save + QStringLiteral("/hashed.bin")), data);
    QVERIFY(partialsIn(save).isEmpty());
    QVERIFY(waitFor([&] { return pair.owner->engine().runningCount() == 0; }));
    QCOMPARE(pair.owner->engine().transfers().last().done, data.size());
}

void TestTransfer::corruptedChunkIsDetected()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(3 * 1024 * 1024, 5);
    const QString source = dir.filePath(QStringLiteral("own/data.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    RecordingTransport ownerTransport{Loopback};
    RecordingTransport askerTransport{Loopback};
    FileShare owner(
        &ownerTransport,
        [] {
            return LocalIdentity{IdOwner, Loopback};
        },
        true, 0);
    QCOMPARE(owner.Offer({source}), 1);
    // One byte of the second data chunk flips on the way.
    CorruptingProxy proxy(owner.engine().serverPort(), 1024 * 1024 + 12345);
    FileShare asker(
        &askerTransport,
        [] {
            return LocalIdentity{IdAsker, Loopback};
        },
        true, proxy.port());
    QObject::connect(&askerTransport, &RecordingTransport::packetSent, &askerTransport,
                     [&](const Packet &p) { owner.ProcessFileTo(p); });
    const int id = asker.Request(OfferedFile{1, source, IdOwner, Loopback, QString()}, save, std::nullopt);
    QVERIFY(waitFor([&] {
        const TransferState s = asker.engine().info(id)->state;
        return s == TransferState::Done || s == TransferState::Failed;
    }));
    const TransferInfo info = *asker.engine().info(id);
    QCOMPARE(info.state, TransferState::Failed);
    QVERIFY2(info.error.contains(QStringLiteral("SHA-256")), qPrintable(info.error));
    QVERIFY(!QFileInfo::exists(save + QStringLiteral("/data.bin")));
    QVERIFY(partialsIn(save).isEmpty());
}

void TestTransfer::corruptedPartIsDetected()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(2 * 1024 * 1024, 6);
    const QString source = dir.filePath(QStringLiteral("own/data.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({source});
    pair.owner->engine().setSendRateLimit(2 * 1024 * 1024);
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return partialSize(save) >= 1024 * 1024; }));
    QVERIFY(pair.asker->Cancel(id));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    pair.owner->engine().setSendRateLimit(0);
    // The partial file's bytes are no longer the owner's: a resume must not trust them.
    {
        QFile part(partialsIn(save).first());
        QVERIFY(part.open(QIODevice::ReadWrite) && part.seek(1000));
        const char flipped = char(data.at(1000) ^ 1);
        QCOMPARE(part.write(&flipped, 1), 1);
    }
    QVERIFY(pair.asker->Retry(id));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Failed);
    QVERIFY(pair.info(id).error.contains(QStringLiteral("SHA-256")));
    QVERIFY(!QFileInfo::exists(save + QStringLiteral("/data.bin")));
    // The retry starts from nothing and succeeds.
    QVERIFY(pair.asker->Retry(id));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    QCOMPARE(pair.info(id).resumed, 0);
    QCOMPARE(readFile(save + QStringLiteral("/data.bin")), data);
}

void TestTransfer::refusedRequests()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("shared"));
    QVERIFY(writeFile(root + QStringLiteral("/a.txt"), "a"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("secret.txt")), "secret"));
    const QString other = dir.filePath(QStringLiteral("other.txt"));
    QVERIFY(writeFile(other, "other"));
    // Every FILETO here comes before its connection: the owner need not wait long for one that never does.
    TransferLimits limits = quickLimits();
    limits.grantWaitMs = 150;
    Pair pair(0, limits);
    pair.offer({root});
    QSignalSpy notices(pair.owner.get(), &FileShare::notice);
    const quint16 port = pair.owner->engine().serverPort();
    const auto fileTo = [&](const QString &path, const QString &clientIp) {
        pair.owner->ProcessFileTo(BuildFileToPacket(0, path, IdOwner, Loopback, IdAsker, clientIp));
    };
    const auto refusedWith = [&](const std::optional<RawAnswer> &answer, const char *reason) {
        return answer && answer->type == Refused &&
               DecodeRefused(answer->payload).value_or(QString()).contains(QLatin1StringView(reason));
    };

    // A FILETO and a connection for something never offered.
    fileTo(other, Loopback);
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.last().first().toString().contains(QStringLiteral("not offered")));
    QVERIFY(refusedWith(rawRequest(port, other, IdAsker), "not offered"));
    // A path that leaves the offered folder by "..".
    const QString traversal = root + QStringLiteral("/../secret.txt");
    fileTo(traversal, Loopback);
    QVERIFY(refusedWith(rawRequest(port, traversal, IdAsker), "not offered"));
    // The right path, but the connection comes from another address than the FILETO named.
    fileTo(root, QStringLiteral("127.0.0.1"));
    QVERIFY(refusedWith(rawRequest(port, root, IdAsker, QStringLiteral("127.0.0.2")), "address"));
    // The same FILETO for another requester's ID does not open the door either.
    fileTo(root, QStringLiteral("127.0.0.1"));
    QVERIFY(refusedWith(rawRequest(port, root, IdOwner, QStringLiteral("127.0.0.2")), "no request"));
    QVERIFY(waitFor([&] { return notices.size() >= 6; }));
    QStringList texts;
    for (const QList<QVariant> &n : notices)
        texts.append(n.first().toString());
    QVERIFY2(texts.filter(QStringLiteral("127.0.0.2")).size() >= 2, qPrintable(texts.join(u'\n')));
    QVERIFY(texts.filter(QStringLiteral("secret.txt")).size() >= 2);
    // Nothing was listed as a transfer.
    QVERIFY(pair.owner->engine().transfers().isEmpty());
    // A legitimate request still works afterwards.
    fileTo(root, Loopback);
    const std::optional<RawAnswer> ok = rawRequest(port, root, IdAsker);
    QVERIFY(ok && ok->type == Manifest);
    QCOMPARE(DecodeManifest(ok->payload)->entries.size(), 1);
}

void TestTransfer::existingFileIsNeverReplacedWithoutAsking()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("own/report.txt"));
    QVERIFY(writeFile(source, "new content"));
    const QString save = dir.filePath(QStringLiteral("save"));
    const QString existing = save + QStringLiteral("/report.txt");
    QVERIFY(writeFile(existing, "mine"));
    Pair pair;
    pair.offer({source});
    QVERIFY(FileShare::TargetExists(save, source));
    QCOMPARE(pair.request(source, save), -1);
    QVERIFY(pair.askerTransport.sent.isEmpty());
    const int kept = pair.request(source, save, ExistingChoice::KeepBoth);
    QVERIFY(waitFor([&] { return pair.ended(kept); }));
    QCOMPARE(pair.info(kept).state, TransferState::Done);
    QCOMPARE(readFile(existing), QByteArray("mine"));
    QCOMPARE(readFile(save + QStringLiteral("/report (2).txt")), QByteArray("new content"));
    const int replaced = pair.request(source, save, ExistingChoice::Replace);
    QVERIFY(waitFor([&] { return pair.ended(replaced); }));
    QCOMPARE(pair.info(replaced).state, TransferState::Done);
    QCOMPARE(readFile(existing), QByteArray("new content"));
    QCOMPARE(pair.request(source, QStringLiteral("   ")), -1);
}

void TestTransfer::cancelAndRetry()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(4 * 1024 * 1024, 7);
    const QString source = dir.filePath(QStringLiteral("own/slow.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({source});
    pair.owner->engine().setSendRateLimit(2 * 1024 * 1024);
    QSignalSpy changed(&pair.asker->engine(), &FileTransferEngine::transferChanged);
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return pair.info(id).state == TransferState::Running && pair.info(id).done > 0; }));
    QVERIFY(pair.asker->engine().runningCount() == 1);
    QVERIFY(waitFor([&] { return pair.info(id).speed > 0 && pair.info(id).secondsLeft > 0; }));
    QVERIFY(pair.info(id).speed < 4 * 1024 * 1024);
    QVERIFY(pair.asker->Cancel(id));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Cancelled);
    QCOMPARE(pair.asker->engine().runningCount(), 0);
    QVERIFY(!changed.isEmpty());
    pair.owner->engine().setSendRateLimit(0);
    QVERIFY(pair.asker->Retry(id));
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    QVERIFY(pair.info(id).resumed > 0);
    QCOMPARE(readFile(save + QStringLiteral("/slow.bin")), data);
    QVERIFY(!pair.asker->Retry(id));
}

void TestTransfer::stoppingIsQuick()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("own/slow.bin"));
    QVERIFY(writeFile(source, randomBytes(4 * 1024 * 1024, 8)));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({source});
    pair.owner->engine().setSendRateLimit(512 * 1024);
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return pair.info(id).done > 0; }));
    QElapsedTimer timer;
    timer.start();
    pair.asker.reset();
    pair.owner.reset();
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
}

void TestTransfer::ownerAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("loopback") << "127.0.0.1" << true << true;
    QTest::newRow("other loopback") << "127.8.9.10" << true << true;
    QTest::newRow("lan under loopback") << "10.9.9.9" << true << false;
    QTest::newRow("lan") << "10.9.9.9" << false << true;
    QTest::newRow("loopback on a lan") << "127.0.0.1" << false << true;
    QTest::newRow("host name") << "localhost" << false << false;
    QTest::newRow("host name under loopback") << "localhost" << true << false;
    QTest::newRow("dns name") << "files.example.com" << false << false;
    QTest::newRow("short form") << "127.1" << true << false;
    QTest::newRow("hex form") << "0x7f.0.0.1" << true << false;
    QTest::newRow("spaces") << " 127.0.0.1" << true << false;
    QTest::newRow("mapped") << "::ffff:127.0.0.1" << true << false;
    QTest::newRow("ipv6 loopback") << "::1" << true << false;
    QTest::newRow("any") << "0.0.0.0" << false << false;
    QTest::newRow("broadcast") << "255.255.255.255" << false << false;
    QTest::newRow("multicast") << "224.0.0.1" << false << false;
    QTest::newRow("empty") << "" << false << false;
}

void TestTransfer::ownerAddresses()
{
    QFETCH(QString, text);
    QFETCH(bool, loopback);
    QFETCH(bool, accepted);
    const std::optional<QHostAddress> address = TransferOwnerAddress(text, loopback);
    QCOMPARE(address.has_value(), accepted);
    if (address)
        QCOMPARE(address->toString(), text);
}

void TestTransfer::downloadQueue()
{
    const QString a = QStringLiteral("10.0.0.1");
    const QString b = QStringLiteral("10.0.0.2");
    const QString c = QStringLiteral("10.0.0.3");
    // One owner: two at once, the rest wait.
    QCOMPARE(DownloadsToStart({{1, a, false}, {2, a, false}, {3, a, false}, {4, a, false}}, 4, 2),
             QList<int>({1, 2}));
    // Several owners: first asked first, within both limits.
    QCOMPARE(
        DownloadsToStart(
            {{1, a, false}, {2, a, false}, {3, a, false}, {4, b, false}, {5, b, false}, {6, c, false}}, 4, 2),
        QList<int>({1, 2, 4, 5}));
    // Running ones count.
    QCOMPARE(
        DownloadsToStart(
            {{1, a, true}, {2, b, true}, {3, a, false}, {4, a, false}, {5, b, false}, {6, c, false}}, 4, 2),
        QList<int>({3, 5}));
    QCOMPARE(DownloadsToStart({{1, a, true}, {2, a, true}, {3, a, false}}, 4, 2), QList<int>());
}

void TestTransfer::serveSlots()
{
    TransferLimits limits;
    limits.maxConnections = 5;
    limits.maxConnectionsPerAddress = 2;
    ServeSlots places;
    const QHostAddress first(QStringLiteral("10.0.0.7"));
    QCOMPARE(places.Enter(first, limits), ServeSlots::Admission::Admitted);
    QCOMPARE(places.Enter(first, limits), ServeSlots::Admission::Admitted);
    QCOMPARE(places.Enter(first, limits), ServeSlots::Admission::AddressFull);
    // The same address written as a mapped one is the same requester.
    QCOMPARE(places.Enter(QHostAddress(QStringLiteral("::ffff:10.0.0.7")), limits),
             ServeSlots::Admission::AddressFull);
    QCOMPARE(places.Enter(QHostAddress(QStringLiteral("10.0.0.8")), limits), ServeSlots::Admission::Admitted);
    QCOMPARE(places.Enter(QHostAddress(QStringLiteral("10.0.0.9")), limits), ServeSlots::Admission::Admitted);
    QCOMPARE(places.Enter(QHostAddress(QStringLiteral("10.0.0.10")), limits),
             ServeSlots::Admission::Admitted);
    QCOMPARE(places.Enter(QHostAddress(QStringLiteral("10.0.0.11")), limits), ServeSlots::Admission::Full);
    QCOMPARE(places.connections(), 5);
    QVERIFY(places.StartServing(2));
    QVERIFY(places.StartServing(2));
    QVERIFY(!places.StartServing(2));
    places.StopServing();
    places.Leave(first);
    QCOMPARE(places.connectionsFrom(first), 1);
    QCOMPARE(places.serving(), 1);
    QCOMPARE(places.Enter(first, limits), ServeSlots::Admission::Admitted);
    QVERIFY(places.StartServing(2));
}

void TestTransfer::partialNames()
{
    const QString tag = TransferPath::NewPartialTag();
    QVERIFY(tag != TransferPath::NewPartialTag());
    const QString name = TransferPath::PartialName(tag, QString());
    QVERIFY(name.startsWith(u'.'));
    QVERIFY(name.endsWith(QStringLiteral(".part")));
    QVERIFY(name.contains(tag));
    QCOMPARE(TransferPath::PartialName(tag, QString()), name);
    QVERIFY(TransferPath::PartialName(tag, QStringLiteral("a/b")) !=
            TransferPath::PartialName(tag, QStringLiteral("a/c")));
    // A received file can never be given that name: received names never begin with a dot.
    QVERIFY(TransferPath::LocalName(QStringLiteral("/srv/") + name) != name);
    QVERIFY(TransferPath::LocalTarget(QStringLiteral("/save/root"), name) !=
            QStringLiteral("/save/root/") + name);
}

// Connections that send their request a byte at a time, from two addresses, beside an honest fetch:
// each address gets a few places at most, and those go at the request's deadline however the bytes
// trickle.
void TestTransfer::slowConnectionsCannotHoldTheOwner()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(2 * 1024 * 1024, 21);
    const QString source = dir.filePath(QStringLiteral("own/wanted.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair(0, quickLimits());
    pair.offer({source});
    const quint16 port = pair.owner->engine().serverPort();
    const QByteArray request = Frame(Request, EncodeRequest({Version, source, IdAsker, QStringLiteral("0")}));
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 12; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->setProxy(QNetworkProxy::NoProxy);
        QVERIFY(slow.back()->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i % 2)), 0));
        slow.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    const ServeSlots &places = pair.owner->engine().serveSlots();
    int mostFromOne = 0;
    qsizetype dripped = 0;
    QTimer drip;
    drip.setInterval(100);
    connect(&drip, &QTimer::timeout, this, [&] {
        for (const std::unique_ptr<QTcpSocket> &socket : slow) {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->write(request.mid(dripped, 1));
        }
        dripped = std::min(dripped + 1, request.size() - 1);
        mostFromOne =
            std::max({mostFromOne, places.connectionsFrom(QHostAddress(QStringLiteral("127.0.0.2"))),
                      places.connectionsFrom(QHostAddress(QStringLiteral("127.0.0.3")))});
    });
    drip.start();
    QTest::qWait(150);
    QElapsedTimer clock;
    clock.start();
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QVERIFY2(pair.info(id).state == TransferState::Done, qPrintable(pair.info(id).error));
    QCOMPARE(readFile(save + QStringLiteral("/wanted.bin")), data);
    // The trickle goes on, yet every slow connection is gone soon after the request's deadline.
    QVERIFY(waitFor(
        [&] {
            return std::all_of(slow.cbegin(), slow.cend(), [](const std::unique_ptr<QTcpSocket> &socket) {
                return socket->state() == QAbstractSocket::UnconnectedState;
            });
        },
        3000));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(mostFromOne >= 1 && mostFromOne <= pair.limits.maxConnectionsPerAddress,
             qPrintable(QString::number(mostFromOne)));
    QVERIFY(waitFor([&] { return places.connections() == 0 && places.serving() == 0; }));
}

void TestTransfer::manyConnectionsBesideAnHonestFetch()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(4 * 1024 * 1024, 22);
    const QString source = dir.filePath(QStringLiteral("own/wanted.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({source});
    const quint16 port = pair.owner->engine().serverPort();
    std::vector<std::unique_ptr<QTcpSocket>> hostile;
    for (int i = 0; i < 500; ++i) {
        hostile.push_back(std::make_unique<QTcpSocket>());
        hostile.back()->setProxy(QNetworkProxy::NoProxy);
        QVERIFY(hostile.back()->bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        hostile.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    QTest::qWait(300);
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return pair.ended(id); }, 20000));
    QVERIFY2(pair.info(id).state == TransferState::Done, qPrintable(pair.info(id).error));
    QCOMPARE(readFile(save + QStringLiteral("/wanted.bin")), data);
    const ServeSlots &places = pair.owner->engine().serveSlots();
    QVERIFY(places.connectionsFrom(QHostAddress(QStringLiteral("127.0.0.2"))) <=
            pair.limits.maxConnectionsPerAddress);
    const auto stillOpen =
        std::count_if(hostile.cbegin(), hostile.cend(), [](const std::unique_ptr<QTcpSocket> &s) {
            return s->state() == QAbstractSocket::ConnectedState;
        });
    QVERIFY2(stillOpen <= pair.limits.maxConnectionsPerAddress, qPrintable(QString::number(stillOpen)));
    hostile.clear();
    QVERIFY(waitFor([&] { return places.connections() == 0; }));
}

// A requester that goes away in the middle of a file the owner sends straight from the disk: the
// next chunk meets a closed connection, which must not end the owner's program.
void TestTransfer::ownerSurvivesARequesterThatLeaves()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(16 * 1024 * 1024, 23);
    const QString source = dir.filePath(QStringLiteral("own/hashed.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({source});
    const QFileInfo info(source);
    QVERIFY(waitFor([&] {
        return pair.owner->offers()
            .hashes()
            .Find(info.canonicalFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch())
            .has_value();
    }));
    pair.owner->engine().setSendRateLimit(16 * 1024 * 1024);
    for (int round = 0; round < 3; ++round) {
        const int id = pair.request(source, save);
        QVERIFY(waitFor([&] { return pair.info(id).done >= 2 * 1024 * 1024; }));
        QVERIFY(pair.asker->Cancel(id));
        QVERIFY(waitFor([&] { return pair.ended(id); }));
        // The owner wakes from its rate limit and sends the next chunk into the closed connection,
        // which ends its side.
        QVERIFY(waitFor([&] { return pair.owner->engine().runningCount() == 0; }));
    }
    pair.owner->engine().setSendRateLimit(0);
    QVERIFY(waitFor([&] { return pair.owner->engine().runningCount() == 0; }));
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    QCOMPARE(readFile(save + QStringLiteral("/hashed.bin")), data);
}

void TestTransfer::partialFilesAreNeverOthers()
{
    QTemporaryDir dir;
    const QByteArray piece = randomBytes(300000, 31);
    const QByteArray whole = randomBytes(900000, 32);
    const QByteArray report = randomBytes(700000, 33);
    const QString xPart = dir.filePath(QStringLiteral("own/x.part"));
    const QString x = dir.filePath(QStringLiteral("own/x"));
    const QString reportPdf = dir.filePath(QStringLiteral("own/report.pdf"));
    QVERIFY(writeFile(xPart, piece));
    QVERIFY(writeFile(x, whole));
    QVERIFY(writeFile(reportPdf, report));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    Pair pair;
    pair.offer({xPart, x, reportPdf});

    // A file that is itself called "x.part" arrives first; "x" afterwards is fetched beside it.
    const int first = pair.request(xPart, save);
    QVERIFY(waitFor([&] { return pair.ended(first); }));
    QCOMPARE(pair.info(first).state, TransferState::Done);
    const int second = pair.request(x, save);
    QVERIFY(waitFor([&] { return pair.ended(second); }));
    QVERIFY2(pair.info(second).state == TransferState::Done, qPrintable(pair.info(second).error));
    QCOMPARE(pair.info(second).resumed, 0);
    QCOMPARE(readFile(save + QStringLiteral("/x")), whole);
    QCOMPARE(readFile(save + QStringLiteral("/x.part")), piece);

    // Another program's partial download of the same name stays exactly as it was, even when its
    // bytes are the start of the offered file.
    const QString foreign = save + QStringLiteral("/report.pdf.part");
    QVERIFY(writeFile(foreign, report.first(200000)));
    const QDateTime stamp = QFileInfo(foreign).lastModified();
    const int third = pair.request(reportPdf, save);
    QVERIFY(waitFor([&] { return pair.ended(third); }));
    QVERIFY2(pair.info(third).state == TransferState::Done, qPrintable(pair.info(third).error));
    QCOMPARE(pair.info(third).resumed, 0);
    QCOMPARE(readFile(save + QStringLiteral("/report.pdf")), report);
    QCOMPARE(readFile(foreign), report.first(200000));
    QCOMPARE(QFileInfo(foreign).lastModified(), stamp);
    QVERIFY(partialsIn(save).isEmpty());
}

// Under --loopback a reference naming an owner elsewhere is not fetched: no FILETO, no connection.
// The far address lives in a network namespace of the test's own, with a trap listening on it.
void TestTransfer::loopbackFetchesConnectToLoopbackOnly()
{
    const QString why = NetnsLab::whyUnavailable();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    NetnsLab lab;
    QVERIFY2(lab.addNamespace(QStringLiteral("far")), qPrintable(lab.error()));
    QVERIFY2(lab.address(QStringLiteral("far"), QStringLiteral("lo"), QStringLiteral("10.9.9.9/32")),
             qPrintable(lab.error()));
    ScopedNetns inside(lab.ns(QStringLiteral("far")));
    QVERIFY(inside.ok());
    QTcpServer trap;
    trap.setProxy(QNetworkProxy::NoProxy);
    QVERIFY(trap.listen(QHostAddress(QStringLiteral("10.9.9.9")), 0));
    int trapped = 0;
    connect(&trap, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = trap.nextPendingConnection()) {
            ++trapped;
            socket->abort();
        }
    });
    QTemporaryDir dir;
    const OfferedFile far{3, QStringLiteral("/srv/far.bin"), IdOwner, QStringLiteral("10.9.9.9"),
                          QStringLiteral("Far")};
    RecordingTransport transport{Loopback};
    {
        FileShare asker(
            &transport,
            [] {
                return LocalIdentity{IdAsker, Loopback};
            },
            true, trap.serverPort());
        QSignalSpy notices(&asker, &FileShare::notice);
        QCOMPARE(asker.Request(far, dir.path(), std::nullopt), -1);
        QTest::qWait(300);
        QCOMPARE(trapped, 0);
        QVERIFY(transport.sent.isEmpty());
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.first().first().toString().contains(QStringLiteral("10.9.9.9")));
    }
    // Without --loopback the same reference is fetched from there: the trap does catch a fetch.
    FileShare asker(
        &transport,
        [] {
            return LocalIdentity{IdAsker, QStringLiteral("10.9.9.9")};
        },
        false, trap.serverPort());
    const int id = asker.Request(far, dir.path(), std::nullopt);
    QVERIFY(id > 0);
    QVERIFY(waitFor([&] { return trapped == 1; }, 5000));
    QCOMPARE(transport.sent.size(), 1);
    asker.Cancel(id);
}

// Names a peer wrote are never looked up, in either mode: "localhost" would lead to the trap.
void TestTransfer::hostNamesAreNeverLookedUp()
{
    QTcpServer trap;
    trap.setProxy(QNetworkProxy::NoProxy);
    QVERIFY(trap.listen(QHostAddress::LocalHost, 0));
    int trapped = 0;
    connect(&trap, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = trap.nextPendingConnection()) {
            ++trapped;
            socket->abort();
        }
    });
    QTemporaryDir dir;
    RecordingTransport transport{Loopback};
    // Both modes at once, then one wait for a lookup and a connection that must not come.
    std::vector<std::unique_ptr<FileShare>> askers;
    for (const bool loopback : {true, false}) {
        askers.push_back(std::make_unique<FileShare>(
            &transport,
            [] {
                return LocalIdentity{IdAsker, Loopback};
            },
            loopback, trap.serverPort()));
        for (const char *name : {"localhost", "localhost.localdomain", "127.1"})
            QCOMPARE(askers.back()->Request(OfferedFile{1, QStringLiteral("/srv/a.bin"), IdOwner,
                                                        QLatin1StringView(name), QString()},
                                            dir.path(), std::nullopt),
                     -1);
    }
    QTest::qWait(300);
    for (const std::unique_ptr<FileShare> &asker : askers)
        QCOMPARE(asker->engine().transfers().size(), 0);
    QCOMPARE(trapped, 0);
    QVERIFY(transport.sent.isEmpty());
}

void TestTransfer::declaredSizeMustFitTheDisk()
{
    QTemporaryDir dir;
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    RecordingTransport transport{Loopback};
    const auto askerOf = [&](quint16 port) {
        auto asker = std::make_unique<FileShare>(
            &transport,
            [] {
                return LocalIdentity{IdAsker, Loopback};
            },
            true, port);
        asker->engine().setLimits(quickLimits());
        return asker;
    };
    const auto fetch = [](FileShare &asker, const QString &path, const QString &folder) {
        const int id =
            asker.Request(OfferedFile{1, path, IdOwner, Loopback, QString()}, folder, std::nullopt);
        waitFor([&] {
            const TransferState s = asker.engine().info(id).value_or(TransferInfo{}).state;
            return s == TransferState::Done || s == TransferState::Failed;
        });
        return asker.engine().info(id).value_or(TransferInfo{});
    };
    const auto emptyFolder = [](const QString &folder) {
        return QDir(folder)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            .isEmpty();
    };

    // An owner declares a terabyte; this disk has 4 MB free (as the test tells the fetch).
    {
        FakeOwner liar(oneFile(qint64(1) << 40), 8 * 1024 * 1024);
        auto asker = askerOf(liar.port());
        asker->engine().setFreeSpaceSource([](const QString &) { return qint64(4) * 1024 * 1024; });
        const TransferInfo info = fetch(*asker, QStringLiteral("/srv/huge.iso"), save);
        QCOMPARE(info.state, TransferState::Failed);
        QVERIFY2(info.error.contains(QStringLiteral("free space")), qPrintable(info.error));
        QCOMPARE(liar.gets, 0);
        QVERIFY(emptyFolder(save));
    }
    // One that sends more than it declared is cut off.
    {
        FakeOwner greedy(oneFile(1000), 5000);
        auto asker = askerOf(greedy.port());
        const TransferInfo info = fetch(*asker, QStringLiteral("/srv/small.txt"), save);
        QCOMPARE(info.state, TransferState::Failed);
        QVERIFY2(info.error.contains(QStringLiteral("more")) &&
                     info.error.contains(QStringLiteral("declared")),
                 qPrintable(info.error));
        QVERIFY(!QFileInfo::exists(save + QStringLiteral("/small.txt")));
    }

    // The same on a real file system of 4 MB.
    const QString small = dir.filePath(QStringLiteral("small"));
    SmallDisk disk(small, 4);
    if (!disk.whyNot().isEmpty())
        QSKIP(qPrintable(disk.whyNot()));
    const qint64 freeBefore = FreeBytes(small);
    QVERIFY(freeBefore > 3 * 1024 * 1024 && freeBefore <= 4 * 1024 * 1024);
    {
        FakeOwner liar(oneFile(qint64(1) << 40), 6 * 1024 * 1024);
        auto asker = askerOf(liar.port());
        const TransferInfo info = fetch(*asker, QStringLiteral("/srv/huge.iso"), small);
        QCOMPARE(info.state, TransferState::Failed);
        QVERIFY2(info.error.contains(QStringLiteral("free space")), qPrintable(info.error));
        QCOMPARE(liar.gets, 0);
    }
    const QString big = dir.filePath(QStringLiteral("own/big.bin"));
    const QString fits = dir.filePath(QStringLiteral("own/fits.bin"));
    QVERIFY(writeFile(big, randomBytes(6 * 1024 * 1024, 34)));
    QVERIFY(writeFile(fits, randomBytes(2 * 1024 * 1024, 35)));
    Pair pair;
    pair.offer({big, fits});
    const int tooBig = pair.request(big, small);
    QVERIFY(waitFor([&] { return pair.ended(tooBig); }));
    QCOMPARE(pair.info(tooBig).state, TransferState::Failed);
    QVERIFY2(pair.info(tooBig).error.contains(QStringLiteral("free space")),
             qPrintable(pair.info(tooBig).error));
    QVERIFY(emptyFolder(small));
    QCOMPARE(FreeBytes(small), freeBefore);
    const int fitting = pair.request(fits, small);
    QVERIFY(waitFor([&] { return pair.ended(fitting); }));
    QVERIFY2(pair.info(fitting).state == TransferState::Done, qPrintable(pair.info(fitting).error));
    QCOMPARE(readFile(small + QStringLiteral("/fits.bin")), readFile(fits));
}

// Another program fills the disk while a fetch runs: the fetch stops and takes its partial file away.
void TestTransfer::freeSpaceWatchedWhileRunning()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("own/movie.bin"));
    QVERIFY(writeFile(source, randomBytes(4 * 1024 * 1024, 36)));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    const auto free = std::make_shared<std::atomic<qint64>>(qint64(100) * 1024 * 1024);
    Pair pair;
    pair.offer({source});
    pair.asker->engine().setFreeSpaceSource([free](const QString &) { return free->load(); });
    pair.owner->engine().setSendRateLimit(4 * 1024 * 1024);
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return pair.info(id).done >= 1024 * 1024; }));
    free->store(64 * 1024);
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Failed);
    QVERIFY2(pair.info(id).error.contains(QStringLiteral("free space")), qPrintable(pair.info(id).error));
    QVERIFY(partialsIn(save).isEmpty());
    QVERIFY(!QFileInfo::exists(save + QStringLiteral("/movie.bin")));
}

// A thousand fetches: the owner's list stays short, finished transfers leave on both sides.
void TestTransfer::finishedTransfersLeaveTheList()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(2048, 37);
    const QString source = dir.filePath(QStringLiteral("own/small.txt"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    QVERIFY(QDir().mkpath(save));
    TransferLimits limits = quickLimits();
    limits.finishedLingerMs = 300;
    limits.maxFinishedListed = 16;
    limits.maxConnectionsPerAddress = 16;
    limits.maxDownloads = 8;
    limits.maxDownloadsPerOwner = 8;
    Pair pair(0, limits);
    pair.offer({source});
    FileTransferEngine &owner = pair.owner->engine();
    qsizetype ownerMost = 0;
    connect(&owner, &FileTransferEngine::transferAdded, this,
            [&] { ownerMost = std::max(ownerMost, owner.transfers().size()); });
    QSet<int> done;
    QStringList failed;
    connect(&pair.asker->engine(), &FileTransferEngine::transferChanged, this, [&](int id) {
        const TransferInfo info = pair.info(id);
        if (info.state == TransferState::Done)
            done.insert(id);
        else if (info.state == TransferState::Failed)
            failed.append(info.error);
    });
    // A few at a time, as peers fetching one after the other would; then the lists empty by
    // themselves, and the heap holds what it held before.
    const int first = pair.request(source, save);
    QVERIFY(waitFor([&] { return done.contains(first); }));
    int requested = 1;
    const auto fetchUpTo = [&](int count) {
        while (requested < count) {
            if (!runUntil([&] { return requested - done.size() - failed.size() < 4; }, 10000,
                          &pair.asker->engine()) ||
                pair.request(source, save, ExistingChoice::Replace) <= 0)
                return false;
            ++requested;
            pair.askerTransport.sent.clear();
        }
        return runUntil([&] { return done.size() + failed.size() == count; }, 60000, &pair.asker->engine()) &&
               waitFor(
                   [&] { return owner.transfers().isEmpty() && pair.asker->engine().transfers().isEmpty(); });
    };
    QVERIFY(fetchUpTo(200));
    const size_t heapBefore = mallinfo2().uordblks;
    QVERIFY2(fetchUpTo(1000), qPrintable(QStringLiteral("%1 done").arg(done.size())));
    const size_t heapAfter = mallinfo2().uordblks;
    QVERIFY2(ownerMost <= limits.maxFinishedListed + limits.maxConnectionsPerAddress,
             qPrintable(QString::number(ownerMost)));
    QVERIFY2(failed.isEmpty(), qPrintable(failed.join(u'\n')));
    QVERIFY2(heapAfter < heapBefore + 256 * 1024,
             qPrintable(QStringLiteral("%1 -> %2 bytes").arg(heapBefore).arg(heapAfter)));
    QCOMPARE(readFile(save + QStringLiteral("/small.txt")), data);
    QVERIFY(partialsIn(save).isEmpty());
}

// An owner that accepts and then says nothing: a few connections at a time, each given up at the
// stall deadline, the rest waiting their turn.
void TestTransfer::stallingOwnerHoldsFewConnections()
{
    FakeOwner silent(std::nullopt);
    RecordingTransport transport{Loopback};
    FileShare asker(
        &transport,
        [] {
            return LocalIdentity{IdAsker, Loopback};
        },
        true, silent.port());
    TransferLimits limits = quickLimits();
    limits.stallMs = 150;
    asker.engine().setLimits(limits);
    int runningMost = 0;
    const auto running = [&] {
        int n = 0;
        for (const TransferInfo &t : asker.engine().transfers())
            n += t.state == TransferState::Connecting || t.state == TransferState::Running;
        return n;
    };
    connect(&asker.engine(), &FileTransferEngine::transferChanged, this,
            [&] { runningMost = std::max(runningMost, running()); });
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    QList<int> ids;
    for (int i = 0; i < 10; ++i)
        ids.append(asker.Request(OfferedFile{i, QStringLiteral("/srv/f%1.bin").arg(i), IdOwner, Loopback,
                                             QStringLiteral("Silent")},
                                 dir.path(), std::nullopt));
    int waiting = 0;
    for (const int id : std::as_const(ids))
        waiting += asker.engine().info(id)->state == TransferState::Waiting;
    QCOMPARE(waiting, 8);
    // Each FILETO goes when its fetch starts, not all at once.
    QCOMPARE(transport.sent.size(), 2);
    QVERIFY(waitFor(
        [&] {
            return std::all_of(ids.cbegin(), ids.cend(), [&](int id) {
                return asker.engine().info(id)->state == TransferState::Failed;
            });
        },
        15000));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(runningMost <= 2, qPrintable(QString::number(runningMost)));
    QCOMPARE(silent.connections, 10);
    QCOMPARE(transport.sent.size(), 10);
    QVERIFY(asker.engine().info(ids.last())->error.contains(QStringLiteral("stopped answering")));
    QVERIFY(waitFor([&] { return silent.open == 0; }));
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "test_transfer.moc"
