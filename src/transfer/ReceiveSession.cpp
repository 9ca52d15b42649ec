#include "transfer/ReceiveSession.h"

#include "transfer/BackgroundHash.h"
#include "transfer/SealedHandshake.h"
#include "transfer/TransferChannel.h"
#include "transfer/TransferFileOps.h"
#include "transfer/TransferPaths.h"
#include "transfer/TransferShared.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <limits>

using namespace TransferWire;

namespace {

qint64 saturatedSum(qint64 a, qint64 b)
{
    return a > std::numeric_limits<qint64>::max() - b ? std::numeric_limits<qint64>::max() : a + b;
}

} // namespace

ReceiveSession::ReceiveSession(const ReceiveRequest &request,
                               std::shared_ptr<FileTransferEngine::Shared> shared, QSet<QString> completed,
                               QSet<QString> partials, const TransferLimits &limits,
                               FreeSpaceSource freeSpace, std::shared_ptr<const IdentityKeys> identity)
    : m_request(request)
    , m_shared(std::move(shared))
    , m_completed(std::move(completed))
    , m_partials(std::move(partials))
    , m_limits(limits)
    , m_freeSpace(std::move(freeSpace))
    , m_identity(std::move(identity))
{}

TransferOutcome ReceiveSession::run()
{
    // A literal address only: a name a peer wrote is never looked up.
    const QHostAddress owner(m_request.serverIp);
    if (owner.protocol() != QAbstractSocket::IPv4Protocol)
        return end(
            TransferState::Failed,
            QStringLiteral("The owner's address \"%1\" is not an IPv4 address").arg(m_request.serverIp));
    QTcpSocket socket;
    // The owner is a peer on this network; a proxy from the system's settings must not carry
    // the bytes.
    socket.setProxy(QNetworkProxy::NoProxy);
    if (const std::optional<TransferOutcome> failed = connectTo(owner, socket))
        return *failed;
    TransferChannel channel(socket.socketDescriptor(), m_shared->cancel, m_limits);
    // An owner with keys is only ever asked through the stream: never by the plain wire instead.
    if (!m_request.ownerBoxKey.isEmpty()) {
        QString refused;
        if (!m_identity)
            return end(TransferState::Failed, QStringLiteral("This program has no keys to fetch with"));
        if (!SealedHandshake::Request(channel, *m_identity, m_request.ownerBoxKey, m_request.clientId,
                                      &refused))
            return refused.isEmpty() ? channelEnd(channel) : end(TransferState::Failed, refused);
    }
    if (!channel.write(
            Frame(Request, EncodeRequest({Version, m_request.path, m_request.clientId, m_request.number}))))
        return channelEnd(channel);
    FrameType type = Manifest;
    QByteArray payload;
    if (!channel.readControl({Manifest, Refused}, &type, &payload))
        return channelEnd(channel);
    if (type == Refused)
        return end(TransferState::Failed,
                   QStringLiteral("The owner refused: %1").arg(DecodeRefused(payload).value_or(QString())));
    const std::optional<TransferManifest> manifest = DecodeManifest(payload);
    if (!manifest)
        return end(TransferState::Failed, QStringLiteral("The owner sent an unreadable list of files"));
    return receiveAll(channel, *manifest);
}

std::optional<TransferOutcome> ReceiveSession::connectTo(const QHostAddress &owner, QTcpSocket &socket)
{
    const QHostAddress local(m_request.clientIp);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (!local.isNull())
            socket.bind(local, 0);
        socket.connectToHost(owner, m_request.port);
        while (!socket.waitForConnected(TransferChannel::WaitSliceMs)) {
            if (m_shared->cancel.load())
                return end(TransferState::Cancelled, QStringLiteral("Cancelled"));
            if (socket.state() == QAbstractSocket::UnconnectedState ||
                waited.elapsed() > m_limits.connectTimeoutMs)
                break;
        }
        if (socket.state() == QAbstractSocket::ConnectedState)
            return std::nullopt;
        // The owner's message may reach us before its port listens: a refusal is tried again for a
        // moment, anything else ends the fetch.
        const bool again = socket.error() == QAbstractSocket::ConnectionRefusedError &&
                           waited.elapsed() + RefusedRetryGapMs <= m_limits.refusedRetryMs;
        if (!again)
            return end(
                TransferState::Failed,
                QStringLiteral("Cannot connect to %1: %2").arg(m_request.serverIp, socket.errorString()));
        socket.abort();
        if (!TransferOps::sleepUnlessCancelled(RefusedRetryGapMs, m_shared->cancel))
            return end(TransferState::Cancelled, QStringLiteral("Cancelled"));
    }
}

QString ReceiveSession::partialPath(const QString &target, const QString &relative) const
{
    return QFileInfo(target).absolutePath() + u'/' +
           TransferPath::PartialName(m_request.partialTag, relative);
}

qint64 ReceiveSession::resumableSize(const QString &part) const
{
    return m_partials.contains(part) && !QFileInfo(part).isSymLink() ? QFileInfo(part).size() : 0;
}

bool ReceiveSession::roomFor(qint64 bytes, qint64 reserve) const
{
    const qint64 free = m_freeSpace ? m_freeSpace(m_request.saveDir) : -1;
    return free < 0 || free >= saturatedSum(bytes, reserve);
}

QString ReceiveSession::noRoomText(qint64 needed) const
{
    const QLocale locale;
    const qint64 free = m_freeSpace ? m_freeSpace(m_request.saveDir) : -1;
    return QStringLiteral("Not enough free space in %1: %2 to write, %3 free")
        .arg(m_request.saveDir, locale.formattedDataSize(needed),
             locale.formattedDataSize(std::max<qint64>(free, 0)));
}

void ReceiveSession::removePartials()
{
    TransferOps::removePartialFiles(m_partials);
    m_partials.clear();
}

void ReceiveSession::discard(QFile &file)
{
    file.close();
    QFile::remove(file.fileName());
    m_partials.remove(file.fileName());
}

QString ReceiveSession::planTargets(const TransferManifest &manifest, QStringList *targets, qint64 *total,
                                    qint64 *needed) const
{
    const QString root = QDir(m_request.saveDir).filePath(m_request.localName);
    for (const ManifestEntry &e : manifest.entries) {
        const QString target = TransferPath::LocalTarget(root, e.relative);
        if (target.isEmpty() || (!manifest.isDir && !e.relative.isEmpty()) ||
            (manifest.isDir && e.relative.isEmpty()))
            return QStringLiteral("The owner sent a path that leaves the folder: \"%1\"").arg(e.relative);
        targets->append(target);
        *total = saturatedSum(*total, e.size);
    }
    if (targets->size() != QSet<QString>(targets->cbegin(), targets->cend()).size())
        return QStringLiteral("The owner sent names that coincide here");
    for (qsizetype i = 0; i < manifest.entries.size(); ++i) {
        const ManifestEntry &e = manifest.entries.at(i);
        if (e.isDir || (m_completed.contains(e.relative) && QFileInfo(targets->at(i)).isFile()))
            continue;
        *needed = saturatedSum(
            *needed, e.size - std::min(e.size, resumableSize(partialPath(targets->at(i), e.relative))));
    }
    return {};
}

TransferOutcome ReceiveSession::receiveAll(TransferChannel &channel, const TransferManifest &manifest)
{
    QStringList targets;
    qint64 total = 0;
    qint64 needed = 0;
    if (const QString error = planTargets(manifest, &targets, &total, &needed); !error.isEmpty())
        return end(TransferState::Failed, error);
    // What the owner declared must fit before anything is written.
    if (!roomFor(needed, m_limits.freeSpaceReserve)) {
        removePartials();
        return end(TransferState::Failed, noRoomText(needed));
    }
    m_left = needed;
    m_shared->total.store(total);
    m_shared->running.store(true);
    const QString root = QDir(m_request.saveDir).filePath(m_request.localName);
    if (manifest.isDir && !makeFolder(root))
        return end(TransferState::Failed, QStringLiteral("Cannot create the folder %1").arg(root));
    for (const QString &relative : std::as_const(m_completed)) {
        for (const ManifestEntry &e : manifest.entries) {
            if (e.relative == relative && !e.isDir)
                m_shared->done.fetch_add(e.size);
        }
    }
    return receiveEntries(channel, manifest, targets);
}

TransferOutcome ReceiveSession::receiveEntries(TransferChannel &channel, const TransferManifest &manifest,
                                               const QStringList &targets)
{
    QByteArray buffer(MaxDataPayload, Qt::Uninitialized);
    QStringList skipped;
    for (qsizetype i = 0; i < manifest.entries.size(); ++i) {
        const ManifestEntry &entry = manifest.entries.at(i);
        const QString &target = targets.at(i);
        if (entry.isDir) {
            if (!makeFolder(target))
                return end(TransferState::Failed, QStringLiteral("Cannot create the folder %1").arg(target));
            continue;
        }
        if (m_completed.contains(entry.relative) && QFileInfo(target).isFile())
            continue;
        if (manifest.isDir && !makeFolder(QFileInfo(target).absolutePath()))
            return end(TransferState::Failed, QStringLiteral("Cannot create the folder of %1").arg(target));
        QString error;
        const FileResult result = receiveFile(channel, i, entry, target, buffer, &error);
        if (result == FileResult::ChannelFailed)
            return channelEnd(channel);
        if (result == FileResult::Failed)
            return end(TransferState::Failed, error);
        if (result == FileResult::Skipped)
            skipped.append(entry.relative.isEmpty() ? m_request.localName : entry.relative);
        else
            m_completed.insert(entry.relative);
    }
    channel.write(Frame(Done, {}));
    // The owner closes once it has read that, and its place to send is free for our next fetch.
    channel.awaitClose();
    if (!skipped.isEmpty())
        return end(TransferState::Failed, QStringLiteral("The owner did not send %1 file(s): %2")
                                              .arg(skipped.size())
                                              .arg(skipped.join(u", ")));
    return end(TransferState::Done, QString());
}

bool ReceiveSession::openPart(const ManifestEntry &entry, const QString &target, QFile &file, qint64 *offset,
                              QString *error)
{
    const QString part = file.fileName();
    if (!TransferPath::IsSafeWriteLocation(m_request.saveDir, part) ||
        !TransferPath::IsSafeWriteLocation(m_request.saveDir, target) || QFileInfo(target).isDir()) {
        *error = QStringLiteral("Refused to write %1: it is not a plain file inside the folder").arg(target);
        return false;
    }
    if (QFileInfo::exists(target) && !m_request.replace) {
        *error = QStringLiteral("%1 exists already").arg(target);
        return false;
    }
    // A file of that name that this fetch did not make is never opened, let alone resumed.
    const bool resume = m_partials.contains(part) && QFileInfo(part).isFile();
    if (!file.open(resume ? QIODevice::ReadWrite : QIODevice::ReadWrite | QIODevice::NewOnly)) {
        *error = QStringLiteral("Cannot write %1: %2").arg(part, file.errorString());
        return false;
    }
    m_partials.insert(part);
    *offset = file.size();
    if (*offset > entry.size) {
        file.resize(0);
        m_left = saturatedSum(m_left, *offset);
        *offset = 0;
    }
    return true;
}

ReceiveSession::FileResult ReceiveSession::receiveFile(TransferChannel &channel, qsizetype index,
                                                       const ManifestEntry &entry, const QString &target,
                                                       QByteArray &buffer, QString *error)
{
    QFile file(partialPath(target, entry.relative));
    qint64 offset = 0;
    if (!openPart(entry, target, file, &offset, error))
        return FileResult::Failed;
    BackgroundHash hash(channel.isSealed() ? ContentHash::Kind::Xxh3 : ContentHash::Kind::Sha256);
    ContentHash &sha = hash.direct();
    if (offset > 0 && !TransferOps::hashPrefix(file, offset, sha, buffer, m_shared->cancel)) {
        if (m_shared->cancel.load()) {
            channel.fail(TransferChannel::Status::Cancelled);
            return FileResult::ChannelFailed;
        }
        file.resize(0);
        m_left = saturatedSum(m_left, offset);
        offset = 0;
        sha.result();
    }
    if (!file.seek(offset)) {
        *error = file.errorString();
        return FileResult::Failed;
    }
    m_shared->done.fetch_add(offset);
    m_shared->resumed.fetch_add(offset);
    if (!channel.write(Frame(Get, EncodeGet({index, offset}))))
        return FileResult::ChannelFailed;
    return receiveFrames(channel, index, entry, target, file, hash, offset, error);
}

ReceiveSession::FileResult ReceiveSession::receiveFrames(TransferChannel &channel, qsizetype index,
                                                         const ManifestEntry &entry, const QString &target,
                                                         QFile &file, BackgroundHash &hash, qint64 received,
                                                         QString *error)
{
    for (;;) {
        FrameType type = Data;
        quint32 length = 0;
        if (!channel.readHeader(&type, &length)) {
            // Bytes that did not come from the owner's key: nothing of this file can be trusted.
            if (channel.status() == TransferChannel::Status::Forged)
                discard(file);
            return FileResult::ChannelFailed;
        }
        if (type != Data)
            return endOfFile(channel, index, entry, target, file, hash, type, length, received, error);
        const FileResult result = receiveData(channel, entry, target, file, hash, length, &received, error);
        if (result != FileResult::Ok)
            return result;
    }
}

ReceiveSession::FileResult ReceiveSession::receiveData(TransferChannel &channel, const ManifestEntry &entry,
                                                       const QString &target, QFile &file,
                                                       BackgroundHash &hash, quint32 length, qint64 *received,
                                                       QString *error)
{
    if (length > entry.size - *received) {
        // What was written so far is kept: the content check of a resume covers it.
        *error = QStringLiteral("The owner sent more of %1 than the %2 bytes it declared")
                     .arg(target)
                     .arg(entry.size);
        return FileResult::Failed;
    }
    // Something else may be filling the disk meanwhile.
    if (!roomFor(m_left, 0)) {
        discard(file);
        *error = noRoomText(m_left);
        return FileResult::Failed;
    }
    char *chunk = hash.acquire();
    if (!channel.readExact(chunk, length)) {
        hash.release(chunk);
        return FileResult::ChannelFailed;
    }
    if (file.write(chunk, length) != length) {
        hash.release(chunk);
        *error = QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString());
        discard(file);
        return FileResult::Failed;
    }
    hash.submit(chunk, length);
    *received += length;
    m_left = std::max<qint64>(0, m_left - length);
    m_shared->done.fetch_add(length);
    return FileResult::Ok;
}

ReceiveSession::FileResult ReceiveSession::endOfFile(TransferChannel &channel, qsizetype index,
                                                     const ManifestEntry &entry, const QString &target,
                                                     QFile &file, BackgroundHash &hash, FrameType type,
                                                     quint32 length, qint64 received, QString *error)
{
    QByteArray payload;
    if ((type != FileEnd && type != Skip) || !channel.readPayload(length, &payload)) {
        channel.fail(TransferChannel::Status::Protocol);
        return FileResult::ChannelFailed;
    }
    if (type == Skip) {
        const std::optional<SkipMessage> skip = DecodeSkip(payload);
        if (!skip || skip->entry != index) {
            channel.fail(TransferChannel::Status::Protocol);
            return FileResult::ChannelFailed;
        }
        return FileResult::Skipped;
    }
    const std::optional<FileEndMessage> fileEnd = DecodeFileEnd(payload);
    if (!fileEnd) {
        channel.fail(TransferChannel::Status::Protocol);
        return FileResult::ChannelFailed;
    }
    const QString part = file.fileName();
    if (!file.flush()) {
        *error = QStringLiteral("Cannot write %1: %2").arg(part, file.errorString());
        discard(file);
        return FileResult::Failed;
    }
    file.close();
    const bool sealed = channel.isSealed();
    if (fileEnd->size != entry.size || received != entry.size ||
        (sealed ? fileEnd->xxh3 : fileEnd->sha256) != hash.result()) {
        // The bytes here are not the owner's: none of them can be trusted for a resume.
        discard(file);
        *error = QStringLiteral("The content check (%1) of %2 failed; the data was discarded")
                     .arg(sealed ? QStringLiteral("XXH3-128") : QStringLiteral("SHA-256"), target);
        return FileResult::Failed;
    }
    // Over what is there only when the user said so; otherwise never over anything, even a
    // file that appeared meanwhile.
    if (!(m_request.replace ? TransferOps::renameOver(part, target) : QFile::rename(part, target))) {
        *error = QStringLiteral("Cannot rename %1 to %2").arg(part, target);
        return FileResult::Failed;
    }
    m_partials.remove(part);
    return FileResult::Ok;
}

bool ReceiveSession::makeFolder(const QString &folder)
{
    if (!TransferPath::IsSafeWriteLocation(m_request.saveDir, folder))
        return false;
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    if (info.exists())
        return false;
    return QDir().mkpath(folder) && TransferPath::IsSafeWriteLocation(m_request.saveDir, folder);
}

TransferOutcome ReceiveSession::channelEnd(const TransferChannel &channel)
{
    return end(channel.status() == TransferChannel::Status::Cancelled ? TransferState::Cancelled
                                                                      : TransferState::Failed,
               channel.statusText());
}

TransferOutcome ReceiveSession::end(TransferState state, const QString &error)
{
    return TransferOutcome{state, error, m_completed, m_partials};
}
