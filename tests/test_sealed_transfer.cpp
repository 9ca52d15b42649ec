// Transfers between users with keys, over loopback through a relay that records (and, where a case
// says so, changes) what crosses: the stream is sealed by both users' keys, only the key the FILETO
// came under is served, a changed or cut stream leaves nothing behind, and users without keys keep the
// plain wire byte for byte.

#include "crypto/IdentityKeys.h"
#include "crypto/TransferKeys.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "support/Files.h"
#include "support/RecordingTransport.h"
#include "support/Wait.h"
#include "transfer/FileShare.h"
#include "transfer/FileTransferWire.h"
#include "transfer/SealedHandshake.h"
#include "transfer/Sha256.h"

#include <QDir>
#include <QFile>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <memory>

using namespace TransferWire;

namespace {

const QString IdOwner = QStringLiteral("{51515151-2222-3333-4444-555555555555}");
const QString IdAsker = QStringLiteral("{A5A5A5A5-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
const QString Loopback = QStringLiteral("127.0.0.1");

// Distinctive, so that a plain copy of it is found in a recording.
QByteArray contentOf(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(24);
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    data.replace(0, 32, "DISTINCTIVE-CONTENT-OF-THE-FILE!");
    return data;
}

// Passes the bytes of each connection between the requester and the owner, and keeps them. The
// owner's bytes may be changed on the way: one byte flipped, or the stream cut after so many bytes.
class Relay : public QObject {
public:
    explicit Relay(quint16 target)
        : m_target(target)
    {
        m_server.setProxy(QNetworkProxy::NoProxy);
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = m_server.nextPendingConnection())
                relay(client);
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    qint64 flipAt = -1;
    qint64 cutAfter = -1;
    QByteArray fromAsker;
    QByteArray fromOwner;

private:
    void relay(QTcpSocket *client)
    {
        auto *upstream = new QTcpSocket(client);
        upstream->setProxy(QNetworkProxy::NoProxy);
        upstream->connectToHost(QHostAddress::LocalHost, m_target);
        connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream] {
            const QByteArray data = client->readAll();
            fromAsker += data;
            upstream->write(data);
        });
        connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
            QByteArray data = upstream->readAll();
            const qint64 seen = fromOwner.size();
            if (flipAt >= seen && flipAt < seen + data.size())
                data[flipAt - seen] = char(data.at(flipAt - seen) ^ 0x01);
            if (cutAfter >= 0 && seen + data.size() >= cutAfter) {
                data.truncate(cutAfter - seen);
                fromOwner += data;
                client->write(data);
                client->flush();
                client->abort();
                upstream->abort();
                return;
            }
            fromOwner += data;
            client->write(data);
        });
        connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connect(client, &QTcpSocket::disconnected, upstream, &QTcpSocket::disconnectFromHost);
    }

    QTcpServer m_server;
    quint16 m_target;
};

std::shared_ptr<const IdentityKeys> newKeys()
{
    const std::optional<IdentityKeys> keys = IdentityKeys::generate();
    return keys ? std::make_shared<const IdentityKeys>(*keys) : nullptr;
}

// An owner and a requester with their file shares, the requester's FILETO handed to the owner as the
// peer's channel would after opening it. Each side's keyring is the test's to set.
struct Users {
    QTemporaryDir folder;
    RecordingTransport ownerTransport{Loopback};
    RecordingTransport askerTransport{Loopback};
    std::unique_ptr<FileShare> owner;
    std::unique_ptr<FileShare> asker;
    std::unique_ptr<Relay> relay;
    std::shared_ptr<const IdentityKeys> ownerKeys = newKeys();
    std::shared_ptr<const IdentityKeys> askerKeys = newKeys();
    // The key the owner's channel opened the FILETO with; empty: it came in plain text.
    QByteArray fileToKey;
    QString file;
    QByteArray content = contentOf(3 * 1024 * 1024 + 123);

    Users()
    {
        owner = std::make_unique<FileShare>(
            &ownerTransport,
            [] {
                return LocalIdentity{IdOwner, Loopback};
            },
            true, 0);
        QObject::connect(&askerTransport, &RecordingTransport::packetSent, &askerTransport,
                         [this](const Packet &p) {
                             if (ClassifyPacket(p) == pkFileTo)
                                 owner->ProcessFileTo(p);
                         });
        file = folder.filePath(QStringLiteral("offered.bin"));
        QFile f(file);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
    }
    // Both users with keys: the owner serves by key; the requester seals to the owner's key.
    void withKeys(std::shared_ptr<const IdentityKeys> askerHolds = {})
    {
        fileToKey = askerKeys->publicKeys().box;
        owner->setKeys(keyring(ownerKeys, {}));
        askerKeysHeld = askerHolds ? askerHolds : askerKeys;
        askerRing = keyring(askerKeysHeld, ownerKeys->publicKeys().box);
    }
    TransferKeyring keyring(std::shared_ptr<const IdentityKeys> own, QByteArray ownerBox)
    {
        TransferKeyring ring;
        ring.own = std::move(own);
        ring.ownerKey = [ownerBox](const QString &id) {
            return id == IdOwner ? ownerBox : QByteArray();
        };
        ring.requesterKey = [this] {
            return fileToKey;
        };
        ring.hasKeys = [this](const QString &) {
            return !fileToKey.isEmpty();
        };
        return ring;
    }
    // Offers the file and starts the fetch through the relay.
    int fetch(const QString &saveDir)
    {
        if (owner->Offer({file}) != 1)
            return -1;
        relay = std::make_unique<Relay>(owner->engine().serverPort());
        asker = std::make_unique<FileShare>(
            &askerTransport,
            [] {
                return LocalIdentity{IdAsker, Loopback};
            },
            true, relay->port());
        if (askerRing.own)
            asker->setKeys(askerRing);
        return asker->Request(OfferedFile{3, file, IdOwner, Loopback, QStringLiteral("Owner")}, saveDir, {});
    }
    TransferInfo info(int id) const { return asker->engine().info(id).value_or(TransferInfo{}); }
    bool ended(int id) const
    {
        const TransferState s = info(id).state;
        return s == TransferState::Done || s == TransferState::Failed || s == TransferState::Cancelled;
    }
    // The owner's side of the one connection it listed.
    std::optional<TransferInfo> sent() const
    {
        const QList<TransferInfo> all = owner->engine().transfers();
        return all.size() == 1 ? std::optional<TransferInfo>(all.first()) : std::nullopt;
    }

    std::shared_ptr<const IdentityKeys> askerKeysHeld;
    TransferKeyring askerRing;
};

QStringList partialsIn(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".perix-*.part")}, QDir::Files | QDir::Hidden);
}

// Exactly that many bytes, or fewer when they do not come within a few seconds.
QByteArray readExactly(QTcpSocket &socket, qint64 size)
{
    QByteArray got;
    waitUntil(
        [&] {
            got += socket.read(size - got.size());
            return got.size() == size;
        },
        5000);
    return got;
}

} // namespace

class TestSealedTransfer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sealedFileArrivesIdentical();
    void anotherKeyIsRefusedFromTheRightAddress();
    void changedOrCutStreamLeavesNoFile();
    void streamWithoutFinalTagFails();
    void usersWithoutKeysKeepThePlainWire();
    void plainFileToClaimingAUserWithKeysIsRefused();
};

void TestSealedTransfer::initTestCase()
{
    QVERIFY(newKeys() != nullptr);
}

void TestSealedTransfer::sealedFileArrivesIdentical()
{
    Users users;
    users.withKeys();
    QTemporaryDir save;
    const int id = users.fetch(save.path());
    QVERIFY(id > 0);
    QVERIFY(waitUntil([&] { return users.ended(id); }, 15000));
    QVERIFY2(users.info(id).state == TransferState::Done, qPrintable(users.info(id).error));
    QCOMPARE(readFile(save.path() + QStringLiteral("/offered.bin")), users.content);
    QVERIFY(partialsIn(save.path()).isEmpty());
    QVERIFY(waitUntil([&] { return users.sent() && users.sent()->state == TransferState::Done; }, 5000));
    // It went sealed: a hello first, and nothing of the file, its name or the request in clear.
    QCOMPARE(quint8(users.relay->fromAsker.at(0)), quint8(Hello));
    QVERIFY(users.relay->fromOwner.size() > users.content.size());
    QVERIFY(!users.relay->fromOwner.contains("DISTINCTIVE-CONTENT"));
    QVERIFY(!users.relay->fromOwner.contains(users.content.mid(100000, 64)));
    QVERIFY(!users.relay->fromAsker.contains("offered.bin"));
    QVERIFY(!users.relay->fromOwner.contains("offered.bin"));
}

void TestSealedTransfer::anotherKeyIsRefusedFromTheRightAddress()
{
    // Someone with the requester's ID and address but another key: the FILETO's key is not theirs.
    Users users;
    users.withKeys(newKeys());
    QSignalSpy notices(users.owner.get(), &FileShare::notice);
    QTemporaryDir save;
    const int id = users.fetch(save.path());
    QVERIFY(waitUntil([&] { return users.ended(id); }, 15000));
    QCOMPARE(users.info(id).state, TransferState::Failed);
    QVERIFY(!QFileInfo::exists(save.path() + QStringLiteral("/offered.bin")));
    QVERIFY(waitUntil([&] { return !notices.isEmpty(); }, 3000));
    QVERIFY(notices.last().at(0).toString().contains(QStringLiteral("does not hold the key")));
    QVERIFY(!users.relay->fromOwner.contains("DISTINCTIVE-CONTENT"));
    QCOMPARE(users.owner->gate().count(), 1); // the real requester's grant is still there

    // Nor is a sealed grant taken by the plain wire from the FILETO's own address.
    Users plain;
    plain.fileToKey = plain.askerKeys->publicKeys().box;
    plain.owner->setKeys(plain.keyring(plain.ownerKeys, {}));
    QSignalSpy refused(plain.owner.get(), &FileShare::notice);
    QTemporaryDir save2;
    const int second = plain.fetch(save2.path());
    QVERIFY(waitUntil([&] { return plain.ended(second); }, 15000));
    QCOMPARE(plain.info(second).state, TransferState::Failed);
    QVERIFY2(plain.info(second).error.contains(QStringLiteral("came sealed")),
             qPrintable(plain.info(second).error));
    QCOMPARE(quint8(plain.relay->fromAsker.at(0)), quint8(Request));
    QVERIFY(!QFileInfo::exists(save2.path() + QStringLiteral("/offered.bin")));
}

void TestSealedTransfer::changedOrCutStreamLeavesNoFile()
{
    for (const bool cut : {false, true}) {
        Users users;
        users.withKeys();
        QTemporaryDir save;
        const int id = users.fetch(save.path());
        // Well inside the file's data, past the greeting and the list of files.
        if (cut)
            users.relay->cutAfter = 2 * 1024 * 1024;
        else
            users.relay->flipAt = 1024 * 1024 + 4096;
        QVERIFY(waitUntil([&] { return users.ended(id); }, 15000));
        QCOMPARE(users.info(id).state, TransferState::Failed);
        QVERIFY(!QFileInfo::exists(save.path() + QStringLiteral("/offered.bin")));
        if (!cut) {
            // Bytes that did not authenticate are not kept for a resume.
            QVERIFY2(users.info(id).error.contains(QStringLiteral("changed on the way")),
                     qPrintable(users.info(id).error));
            QVERIFY(partialsIn(save.path()).isEmpty());
        }
        users.asker->engine().ClearFinished();
        QVERIFY(partialsIn(save.path()).isEmpty());
        QVERIFY(
            QDir(save.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
    }
}

// A requester that speaks the sealed wire itself and ends its stream with a Done that is not final.
void TestSealedTransfer::streamWithoutFinalTagFails()
{
    for (const bool finalTag : {true, false}) {
        Users users;
        users.withKeys();
        QVERIFY(users.owner->Offer({users.file}) == 1);
        users.owner->ProcessFileTo(BuildFileToPacket(3, users.file, IdOwner, Loopback, IdAsker, Loopback));
        QTcpSocket socket;
        socket.setProxy(QNetworkProxy::NoProxy);
        socket.connectToHost(QHostAddress::LocalHost, users.owner->engine().serverPort());
        QVERIFY(socket.waitForConnected(3000));
        const QByteArray nonce = SealedHandshake::RandomNonce();
        socket.write(Frame(Hello, EncodeHello({SealedVersion, IdAsker, nonce})));
        const QByteArray header = readExactly(socket, HeaderSize);
        FrameType type = Done;
        quint32 length = 0;
        QVERIFY(ParseHeader(header, &type, &length));
        QCOMPARE(type, Hello);
        const std::optional<HelloMessage> answer = DecodeHello(readExactly(socket, length));
        QVERIFY(answer);
        const QByteArray ownerHeader = readExactly(socket, SecretStreamWriter::HeaderBytes);
        const std::optional<TransferKeys> keys =
            DeriveTransferKeys(*users.askerKeys, users.ownerKeys->publicKeys().box, TransferRole::Requester,
                               nonce + answer->nonce);
        QVERIFY(keys);
        SecretStreamWriter writer;
        SecretStreamReader reader;
        QVERIFY(reader.start(keys->receive, ownerHeader));
        socket.write(writer.start(keys->send));
        const auto sendFrame = [&](const QByteArray &frame, bool final) {
            const QByteArray chunk = writer.push(frame, final);
            char prefix[4];
            qToBigEndian(quint32(chunk.size()), prefix);
            socket.write(QByteArray(prefix, 4) + chunk);
        };
        sendFrame(Frame(Request, EncodeRequest({Version, users.file, IdAsker, QStringLiteral("3")})), false);
        const QByteArray manifestChunk =
            readExactly(socket, qFromBigEndian<quint32>(readExactly(socket, 4).constData()));
        const std::optional<QByteArray> manifest = reader.pull(manifestChunk);
        QVERIFY(manifest && quint8(manifest->at(0)) == Manifest);
        sendFrame(Frame(Done, {}), finalTag);
        QVERIFY(
            waitUntil([&] { return users.sent() && users.sent()->state != TransferState::Running; }, 5000));
        QCOMPARE(users.sent()->state, finalTag ? TransferState::Done : TransferState::Failed);
        if (!finalTag)
            QVERIFY(users.sent()->error.contains(QStringLiteral("end mark")));
    }
}

void TestSealedTransfer::usersWithoutKeysKeepThePlainWire()
{
    // The owner has keys; the requester has none, and its FILETO came plain.
    Users users;
    users.owner->setKeys(users.keyring(users.ownerKeys, {}));
    QTemporaryDir save;
    const int id = users.fetch(save.path());
    QVERIFY(waitUntil([&] { return users.ended(id); }, 15000));
    QVERIFY2(users.info(id).state == TransferState::Done, qPrintable(users.info(id).error));
    QCOMPARE(readFile(save.path() + QStringLiteral("/offered.bin")), users.content);
    // The request is today's frame, byte for byte; the content crosses in clear with its SHA-256.
    const QByteArray request =
        Frame(Request, EncodeRequest({Version, users.file, IdAsker, QStringLiteral("3")}));
    QVERIFY(users.relay->fromAsker.startsWith(request));
    QVERIFY(users.relay->fromOwner.contains(Frame(Data, users.content.left(DataChunk))));
    QVERIFY(users.relay->fromOwner.contains(
        Frame(FileEnd, EncodeFileEnd({users.content.size(), Sha256::hash(users.content), {}}))));
}

void TestSealedTransfer::plainFileToClaimingAUserWithKeysIsRefused()
{
    Users users;
    QVERIFY(users.owner->Offer({users.file}) == 1);
    // The channel knows the requester has keys, yet this FILETO came plain: not taken.
    users.fileToKey.clear();
    TransferKeyring ring = users.keyring(users.ownerKeys, {});
    ring.hasKeys = [](const QString &id) {
        return id == IdAsker;
    };
    users.owner->setKeys(ring);
    QSignalSpy notices(users.owner.get(), &FileShare::notice);
    users.owner->ProcessFileTo(BuildFileToPacket(3, users.file, IdOwner, Loopback, IdAsker, Loopback));
    QCOMPARE(users.owner->gate().count(), 0);
    QCOMPARE(notices.size(), 1);
    // The same packet sealed under the requester's key is taken.
    users.fileToKey = users.askerKeys->publicKeys().box;
    users.owner->ProcessFileTo(BuildFileToPacket(3, users.file, IdOwner, Loopback, IdAsker, Loopback));
    QCOMPARE(users.owner->gate().count(), 1);
    QCOMPARE(users.owner->gate().KeyOf(IdAsker, QDateTime::currentMSecsSinceEpoch()),
             users.askerKeys->publicKeys().box);
}

QTEST_GUILESS_MAIN(TestSealedTransfer)
#include "test_sealed_transfer.moc"
