// The transfer engine over loopback: wire, path rules, offers and FILETO acceptance, and real
// transfers between two engines on ephemeral ports.

#include "protocol/ProtocolClassUn.h"
#include "support/RecordingTransport.h"
#include "protocol/SendMessageUn.h"
#include "transfer/FileOffers.h"
#include "transfer/FileShare.h"
#include "transfer/FileTransferEngine.h"
#include "transfer/FileTransferWire.h"
#include "transfer/Sha256.h"
#include "transfer/TransferPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

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

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An owner and a requester, each with its file share, the requester's FILETO delivered to the owner.
struct Pair {
    RecordingTransport ownerTransport{Loopback};
    RecordingTransport askerTransport{Loopback};
    std::unique_ptr<FileShare> owner;
    std::unique_ptr<FileShare> asker;

    explicit Pair(quint16 port = 0)
    {
        owner = std::make_unique<FileShare>(
            &ownerTransport,
            [] {
                return LocalIdentity{IdOwner, Loopback};
            },
            true, port);
        QObject::connect(&askerTransport, &RecordingTransport::packetSent, &askerTransport,
                         [this](const Packet &p) {
                             if (owner && ClassifyPacket(p) == pkFileTo)
                                 owner->ProcessFileTo(p);
                         });
    }
    // The requester connects to the port the owner got.
    void offer(const QStringList &paths)
    {
        QCOMPARE(owner->Offer(paths), int(paths.size()));
        QVERIFY(owner->engine().isListening());
        if (!asker)
            asker = std::make_unique<FileShare>(
                &askerTransport,
                [] {
                    return LocalIdentity{IdAsker, Loopback};
                },
                true, owner->engine().serverPort());
    }
    int request(const QString &path, const QString &saveDir, std::optional<ExistingChoice> choice = {})
    {
        return asker->Request(OfferedFile{7, path, IdOwner, Loopback, QStringLiteral("Owner")}, saveDir,
                              choice);
    }
    TransferInfo info(int id) const { return asker->engine().info(id).value_or(TransferInfo{}); }
    bool ended(int id) const
    {
        const TransferState s = info(id).state;
        return s == TransferState::Done || s == TransferState::Failed || s == TransferState::Cancelled;
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

} // namespace

class TestTransfer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sha256MatchesQt();
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
};

void TestTransfer::sha256MatchesQt()
{
    const QByteArray data = randomBytes(300000, 1);
    Sha256 sha;
    sha.addData(data.first(1000));
    sha.addData(data.sliced(1000));
    QCOMPARE(sha.result(), QCryptographicHash::hash(data, QCryptographicHash::Sha256));
    QCOMPARE(Sha256::hash(""), QCryptographicHash::hash("", QCryptographicHash::Sha256));
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
    QTest::newRow("type 9") << QByteArray("\x09\x00\x00\x00\x00", 5) << false << 0 << 0u;
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
    const std::optional<FileEndMessage> end = DecodeFileEnd(EncodeFileEnd({5, Sha256::hash("hello")}));
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
    QVERIFY(!QFileInfo::exists(save + QStringLiteral("/big file.bin.part")));
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
    const QString part = save + QStringLiteral("/movie.bin.part");

    Pair pair;
    pair.offer({source});
    pair.owner->engine().setSendRateLimit(4 * 1024 * 1024);
    const quint16 port = pair.owner->engine().serverPort();
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return QFileInfo(part).size() > 2 * 1024 * 1024; }));
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
    const qint64 kept = 1024 * 1024 + 4321;
    QVERIFY(writeFile(save + QStringLiteral("/hashed.bin.part"), data.first(kept)));
    Pair pair;
    pair.offer({source});
    const QFileInfo info(source);
    QVERIFY(waitFor([&] {
        return pair.owner->offers()
            .hashes()
            .Find(info.canonicalFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch())
            .has_value();
    }));
    const int id = pair.request(source, save);
    QVERIFY(waitFor([&] { return pair.ended(id); }));
    QCOMPARE(pair.info(id).state, TransferState::Done);
    QCOMPARE(pair.info(id).resumed, kept);
    QCOMPARE(readFile(save + QStringLiteral("/hashed.bin")), data);
    QVERIFY(waitFor([&] { return pair.owner->engine().runningCount() == 0; }));
    QCOMPARE(pair.owner->engine().transfers().first().done, data.size());
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
    QVERIFY(!QFileInfo::exists(save + QStringLiteral("/data.bin.part")));
}

void TestTransfer::corruptedPartIsDetected()
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(2 * 1024 * 1024, 6);
    const QString source = dir.filePath(QStringLiteral("own/data.bin"));
    QVERIFY(writeFile(source, data));
    const QString save = dir.filePath(QStringLiteral("save"));
    // A partial file whose bytes are not the owner's: a resume must not trust them.
    QByteArray wrong = data.first(1024 * 1024);
    wrong[1000] = char(wrong.at(1000) ^ 1);
    QVERIFY(writeFile(save + QStringLiteral("/data.bin.part"), wrong));
    Pair pair;
    pair.offer({source});
    const int id = pair.request(source, save);
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
    Pair pair;
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

QTEST_GUILESS_MAIN(TestTransfer)
#include "test_transfer.moc"
