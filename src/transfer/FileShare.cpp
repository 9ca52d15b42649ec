#include "transfer/FileShare.h"

#include "net/PacketTransport.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "transfer/Sha256.h"
#include "transfer/TransferPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

FileShare::FileShare(PacketTransport *transport, std::function<LocalIdentity()> identity, bool loopback,
                     quint16 port, QObject *parent)
    : QObject(parent)
    , m_transport(transport)
    , m_identity(std::move(identity))
    , m_loopback(loopback)
    , m_port(port)
    , m_engine(new FileTransferEngine(
          &m_offers, &m_gate, [this](const ReceiveRequest &request) { return sendFileTo(request); }, this))
{
    connect(m_engine, &FileTransferEngine::refused, this, &FileShare::notice);
    m_hashing.setMaxThreadCount(1);
}

// The engine's threads use the offers and the gate: they stop first.
FileShare::~FileShare()
{
    m_stopHashing->store(true);
    m_hashing.clear();
    m_hashing.waitForDone();
    m_engine->StopAll();
}

void FileShare::hashInBackground(const QString &path)
{
    const std::optional<FileOffer> offer = m_offers.Find(path);
    if (!offer || offer->isDir)
        return;
    m_hashing.start([canonical = offer->canonical, cache = &m_offers.hashes(), stop = m_stopHashing] {
        QFile file(canonical);
        const QFileInfo before(canonical);
        if (!file.open(QIODevice::ReadOnly))
            return;
        Sha256 sha;
        QByteArray buffer(1024 * 1024, Qt::Uninitialized);
        qint64 n = 0;
        while ((n = file.read(buffer.data(), buffer.size())) > 0) {
            if (stop->load())
                return;
            sha.addData(QByteArrayView(buffer.constData(), n));
        }
        const QFileInfo after(canonical);
        const qint64 modified = before.lastModified().toMSecsSinceEpoch();
        if (n == 0 && after.size() == before.size() && after.lastModified().toMSecsSinceEpoch() == modified)
            cache->Store(canonical, before.size(), modified, sha.result());
    });
}

bool FileShare::ensureListening(bool quiet)
{
    if (m_engine->isListening())
        return true;
    // Loopback copies serve loopback only: nothing of theirs is reachable from outside.
    if (m_engine->Listen(
            m_loopback ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(QHostAddress::AnyIPv4), m_port))
        return true;
    if (quiet)
        return false;
    Q_EMIT notice(
        QStringLiteral("Cannot serve files on TCP port %1: %2").arg(m_port).arg(m_engine->listenError()));
    return false;
}

int FileShare::Offer(const QStringList &paths)
{
    int taken = 0;
    for (const QString &path : paths) {
        if (m_offers.Add(path)) {
            ++taken;
            hashInBackground(path);
        }
    }
    if (taken > 0)
        ensureListening();
    return taken;
}

bool FileShare::ServeBeforeOffering()
{
    // The offer right after the send tries once more, and says why when it cannot.
    return ensureListening(true);
}

void FileShare::setKeys(TransferKeyring keys)
{
    m_keys = std::move(keys);
    m_engine->setIdentity(m_keys.own);
}

void FileShare::ProcessFileTo(const Packet &packet)
{
    const TDataFileMessage message(packet);
    const LocalIdentity me = m_identity ? m_identity() : LocalIdentity{};
    const QByteArray key = m_keys.own && m_keys.requesterKey ? m_keys.requesterKey() : QByteArray();
    if (key.isEmpty() && m_keys.own && m_keys.hasKeys && message.GetServerID() == me.id &&
        m_keys.hasKeys(message.GetClientID())) {
        Q_EMIT notice(
            QStringLiteral("Refused a request for \"%1\" in plain text that claims a user with keys")
                .arg(ShortForNotice(message.GetFileName())));
        return;
    }
    const FileToVerdict verdict =
        m_gate.Accept(message, me.id, m_offers, QDateTime::currentMSecsSinceEpoch(), key);
    if (verdict == FileToVerdict::Refused)
        Q_EMIT notice(
            QStringLiteral("Refused the request of %1 for \"%2\": it was not offered")
                .arg(ShortForNotice(message.GetClientIP(), 40), ShortForNotice(message.GetFileName())));
}

bool FileShare::TargetExists(const QString &saveDir, const QString &ownerPath)
{
    const QString name = TransferPath::LocalName(ownerPath);
    const QDir dir(saveDir);
    return QFileInfo::exists(dir.filePath(name)) || QFileInfo(dir.filePath(name)).isSymLink();
}

int FileShare::Request(const OfferedFile &file, const QString &saveDir, std::optional<ExistingChoice> choice)
{
    const LocalIdentity me = m_identity ? m_identity() : LocalIdentity{};
    const QString folder = saveDir.trimmed();
    if (me.id.isEmpty() || folder.isEmpty() || file.path.isEmpty())
        return -1;
    if (!TransferOwnerAddress(file.ownerIp, m_loopback)) {
        Q_EMIT notice(QStringLiteral("Refused to fetch \"%1\": the owner's address \"%2\" is not %3")
                          .arg(ShortForNotice(file.path), ShortForNotice(file.ownerIp, 60),
                               m_loopback ? QStringLiteral("a loopback address (127.0.0.0/8)")
                                          : QStringLiteral("an IPv4 address")));
        return -1;
    }
    if (!QFileInfo(folder).isDir() && !(QDir::isAbsolutePath(folder) && QDir().mkpath(folder))) {
        Q_EMIT notice(QStringLiteral("Cannot save into \"%1\"").arg(ShortForNotice(folder)));
        return -1;
    }
    ReceiveRequest request;
    request.localName = TransferPath::LocalName(file.path);
    if (TargetExists(folder, file.path)) {
        if (!choice)
            return -1;
        if (*choice == ExistingChoice::Replace)
            request.replace = true;
        else
            request.localName = TransferPath::FreeName(folder, request.localName);
        if (request.localName.isEmpty())
            return -1;
    }
    request.serverId = file.ownerId;
    request.serverIp = file.ownerIp;
    request.port = m_port;
    request.clientIp = me.ip;
    request.clientId = me.id;
    request.path = file.path;
    request.number = QString::number(file.number);
    request.saveDir = folder;
    request.peerName = file.ownerName;
    if (m_keys.own && m_keys.ownerKey)
        request.ownerBoxKey = m_keys.ownerKey(file.ownerId);
    return m_engine->Receive(request);
}

bool FileShare::Retry(int id)
{
    return m_engine->Retry(id);
}

bool FileShare::sendFileTo(const ReceiveRequest &request)
{
    if (m_transport->SendPacket(BuildFileToPacket(request.number.toInt(), request.path, request.serverId,
                                                  request.serverIp, request.clientId, request.clientIp)))
        return true;
    Q_EMIT notice(
        QStringLiteral("The request for \"%1\" could not be sent").arg(ShortForNotice(request.path)));
    return false;
}

std::optional<QHostAddress> TransferOwnerAddress(const QString &text, bool loopback)
{
    QHostAddress address;
    // Only the plain dotted form: "127.1" or "0x7f.1" would pass the parser, and hide where they lead.
    if (!address.setAddress(text) || address.protocol() != QAbstractSocket::IPv4Protocol ||
        address.toString() != text)
        return std::nullopt;
    if (loopback ? !address.isLoopback()
                 : (address.isNull() || address == QHostAddress(QHostAddress::AnyIPv4) ||
                    address == QHostAddress(QHostAddress::Broadcast) || address.isMulticast()))
        return std::nullopt;
    return address;
}

bool FileShare::Cancel(int id)
{
    return m_engine->Cancel(id);
}

QString ShortForNotice(const QString &text, int maxLength)
{
    QString simple = text;
    for (QChar &c : simple) {
        if (c.unicode() < 0x20 || c.category() == QChar::Other_Format)
            c = u' ';
    }
    if (simple.size() <= maxLength)
        return simple;
    return simple.left(maxLength / 2 - 1) + QStringLiteral("…") + simple.right(maxLength / 2 - 1);
}
