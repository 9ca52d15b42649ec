#include "transfer/SendSession.h"

#include "transfer/ContentHash.h"
#include "transfer/FileTransferWire.h"
#include "transfer/SealedHandshake.h"
#include "transfer/TransferChannel.h"
#include "transfer/TransferFileOps.h"
#include "transfer/TransferPaths.h"
#include "transfer/TransferShared.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTcpSocket>

#include <pthread.h>
#include <signal.h>

using namespace TransferWire;
using TransferOps::nowMs;
using TransferOps::sleepUnlessCancelled;

SendSession::SendSession(SendReports reports, FileOfferList *offers, FileToGate *gate, ServeSlots *places,
                         std::shared_ptr<FileTransferEngine::Shared> shared,
                         const std::atomic<qint64> &rateLimit, const TransferLimits &limits,
                         std::shared_ptr<const IdentityKeys> identity)
    : m_reports(std::move(reports))
    , m_offers(offers)
    , m_gate(gate)
    , m_slots(places)
    , m_shared(std::move(shared))
    , m_rateLimit(rateLimit)
    , m_limits(limits)
    , m_identity(std::move(identity))
    , m_requestBy(limits.requestDeadlineMs)
{}

void SendSession::run(qintptr descriptor)
{
    // sendfile knows no MSG_NOSIGNAL: a requester that goes away in the middle of a file would
    // end the whole program. Blocked here, the signal stays with this thread and ends with it.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
    QTcpSocket socket;
    if (!socket.setSocketDescriptor(descriptor)) {
        finish(TransferState::Failed, socket.errorString());
        return;
    }
    TransferChannel channel(socket.socketDescriptor(), m_shared->cancel, m_limits);
    const QString peer = socket.peerAddress().toString();
    FrameType type = Request;
    QByteArray payload;
    if (!channel.readControl({Request, Hello}, &type, &payload, m_requestBy)) {
        finish(TransferState::Failed, channel.statusText());
        return;
    }
    QByteArray key;
    if (type == Hello && !greet(channel, QByteArray(payload), peer, &payload, &key))
        return;
    const std::optional<RequestMessage> request = DecodeRequest(payload);
    if (!request) {
        finish(TransferState::Failed, QStringLiteral("malformed request"));
        return;
    }
    QString reason;
    const std::optional<FileOffer> offer = authorize(*request, socket.peerAddress(), key, &reason);
    if (!offer) {
        if (!m_shared->cancel.load())
            notice(
                QStringLiteral("Refused the request of %1 for \"%2\": %3").arg(peer, request->path, reason));
        refuse(channel, reason);
        return;
    }
    answer(channel, *request, *offer, peer);
}

bool SendSession::greet(TransferChannel &channel, const QByteArray &hello, const QString &peer,
                        QByteArray *payload, QByteArray *key)
{
    const std::optional<HelloMessage> greeting = DecodeHello(hello);
    if (!greeting || greeting->version != SealedVersion || greeting->clientId.isEmpty()) {
        finish(TransferState::Failed, QStringLiteral("malformed request"));
        return false;
    }
    // The sealed FILETO goes by UDP and may come a moment after the connection.
    QElapsedTimer waited;
    waited.start();
    while (m_identity && (*key = m_gate->KeyOf(greeting->clientId, nowMs())).isEmpty()) {
        if (waited.elapsed() > m_limits.grantWaitMs || !sleepUnlessCancelled(50, m_shared->cancel))
            break;
    }
    if (key->isEmpty()) {
        const QString reason = QStringLiteral("no sealed request (FILETO) from that user");
        if (!m_shared->cancel.load())
            notice(QStringLiteral("Refused the connection of %1: %2").arg(peer, reason));
        refuse(channel, reason);
        return false;
    }
    FrameType type = Request;
    if (!SealedHandshake::Answer(channel, *m_identity, *key, *greeting) ||
        !channel.readControl({Request}, &type, payload, m_requestBy)) {
        // The first frame opens only with the key of the user the FILETO came from.
        if (channel.status() == TransferChannel::Status::Forged)
            notice(QStringLiteral("Refused the connection of %1: it does not hold the key of the user it "
                                  "names")
                       .arg(peer));
        finishFromChannel(channel);
        return false;
    }
    const std::optional<RequestMessage> request = DecodeRequest(*payload);
    if (request && request->clientId != greeting->clientId) {
        finish(TransferState::Failed, QStringLiteral("malformed request"));
        return false;
    }
    return true;
}

void SendSession::refuse(TransferChannel &channel, const QString &reason)
{
    channel.write(Frame(Refused, EncodeRefused(reason)));
    finish(TransferState::Failed, reason);
}

void SendSession::answer(TransferChannel &channel, const RequestMessage &request, const FileOffer &offer,
                         const QString &peer)
{
    if (!m_slots->StartServing(m_limits.maxServing)) {
        refuse(channel,
               QStringLiteral("the owner sends %1 files already; try again later").arg(m_limits.maxServing));
        return;
    }
    // Given back before the socket closes: the requester starts its next fetch once it sees the close.
    const auto stopServing = qScopeGuard([this] { m_slots->StopServing(); });
    QStringList leftOut;
    QString reason;
    const std::optional<TransferManifest> manifest = TransferPath::BuildManifest(offer, &leftOut, &reason);
    if (!manifest) {
        notice(QStringLiteral("Refused the request of %1 for \"%2\": %3").arg(peer, request.path, reason));
        refuse(channel, reason);
        return;
    }
    for (const QString &entry : leftOut)
        notice(QStringLiteral("Refused to send \"%1\" of \"%2\" to %3: the link leaves the offered folder")
                   .arg(entry, request.path, peer));
    qint64 total = 0;
    for (const ManifestEntry &e : manifest->entries)
        total += e.size;
    m_shared->total.store(total);
    m_shared->running.store(true);
    m_reports.started(TransferPath::OwnerFileName(offer.path), peer, total);
    if (!channel.write(Frame(Manifest, EncodeManifest(*manifest)))) {
        finish(TransferState::Failed, channel.statusText());
        return;
    }
    serve(channel, offer, *manifest);
}

std::optional<FileOffer> SendSession::authorize(const RequestMessage &request, const QHostAddress &peer,
                                                const QByteArray &key, QString *reason)
{
    const std::optional<FileOffer> offer = m_offers->Find(request.path);
    if (!offer) {
        *reason = QStringLiteral("it was not offered");
        return std::nullopt;
    }
    // The FILETO goes by UDP and may come a moment after the connection; it is looked for again
    // every 20 ms, so that a fetch does not wait for nothing.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const GrantLookup lookup = m_gate->Take(request.clientId, request.path, peer, nowMs(), key);
        if (lookup == GrantLookup::Granted)
            break;
        if (lookup == GrantLookup::WrongKey) {
            *reason = key.isEmpty() ? QStringLiteral("the request came sealed; it is served only through the "
                                                     "stream")
                                    : QStringLiteral("the request came under another key");
            return std::nullopt;
        }
        if (lookup == GrantLookup::WrongAddress) {
            *reason = QStringLiteral("the connection does not come from the address of the request");
            return std::nullopt;
        }
        if (waited.elapsed() > m_limits.grantWaitMs || !sleepUnlessCancelled(20, m_shared->cancel)) {
            *reason = QStringLiteral("no request (FILETO) from that user and address");
            return std::nullopt;
        }
    }
    return offer;
}

void SendSession::finishFromChannel(const TransferChannel &channel, const QString &okError)
{
    const TransferChannel::Status status = channel.status();
    finish(status == TransferChannel::Status::Cancelled ? TransferState::Cancelled : TransferState::Failed,
           status == TransferChannel::Status::Ok ? okError : channel.statusText());
}

void SendSession::serve(TransferChannel &channel, const FileOffer &offer, const TransferManifest &manifest)
{
    QByteArray payload;
    QByteArray buffer(DataChunk + HeaderSize, Qt::Uninitialized);
    FrameType type = Get;
    for (;;) {
        if (!channel.readControl({Get, Done}, &type, &payload)) {
            finishFromChannel(channel);
            return;
        }
        if (type == Done) {
            // Between users with keys the requester's stream must end with its final tag.
            if (channel.isSealed() && !channel.peerFinished())
                finish(TransferState::Failed,
                       QStringLiteral("The requester's stream ended without its end mark"));
            else
                finish(TransferState::Done, QString());
            return;
        }
        const std::optional<GetMessage> get = DecodeGet(payload);
        if (!get || get->entry >= manifest.entries.size() || manifest.entries.at(get->entry).isDir) {
            finish(TransferState::Failed, QStringLiteral("malformed request"));
            return;
        }
        const ManifestEntry &entry = manifest.entries.at(get->entry);
        QString why;
        const QString path = TransferPath::ServedFilePath(offer, entry.relative, &why);
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || get->offset > entry.size) {
            if (path.isEmpty())
                notice(QStringLiteral("Refused to send \"%1\": %2").arg(entry.relative, why));
            if (why.isEmpty())
                why = path.isEmpty() ? QStringLiteral("unreadable") : file.errorString();
            if (!channel.write(Frame(Skip, EncodeSkip({get->entry, why})))) {
                finish(TransferState::Failed, channel.statusText());
                return;
            }
            continue;
        }
        if (!sendFile(channel, file, entry, get->offset, buffer)) {
            finishFromChannel(channel, file.errorString());
            return;
        }
    }
}

bool SendSession::sendFile(TransferChannel &channel, QFile &file, const ManifestEntry &entry, qint64 offset,
                           QByteArray &buffer)
{
    const QFileInfo info(file.fileName());
    const qint64 modified = info.lastModified().toMSecsSinceEpoch();
    // The cache holds SHA-256 digests, which only the plain wire sends.
    const bool sealed = channel.isSealed();
    const std::optional<QByteArray> known =
        !sealed && info.size() == entry.size ? m_offers->hashes().Find(info.filePath(), entry.size, modified)
                                             : std::nullopt;
    ContentHash sha(sealed ? ContentHash::Kind::Xxh3 : ContentHash::Kind::Sha256);
    if (!known && offset > 0 && !TransferOps::hashPrefix(file, offset, sha, buffer, m_shared->cancel))
        return false;
    if (!file.seek(offset))
        return false;
    m_shared->done.fetch_add(offset);
    qint64 left = entry.size - offset;
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    // The header goes in front of the bytes in the same buffer: one send per chunk.
    char *const bytes = buffer.data() + HeaderSize;
    const qint64 room = buffer.size() - HeaderSize;
    const bool zeroCopy = known && TransferChannel::CanWriteFromFile && file.handle() >= 0;
    while (left > 0) {
        qint64 n = std::min<qint64>(left, room);
        if (zeroCopy) {
            // Nothing to hash here: the kernel moves the bytes from the file to the socket.
            if (!channel.write(FrameHeader(Data, quint32(n))) ||
                !channel.writeFromFile(file.handle(), entry.size - left, n))
                return false;
        } else {
            n = file.read(bytes, n);
            if (n <= 0)
                break;
            if (!known)
                sha.addData(QByteArrayView(bytes, n));
            const QByteArray header = FrameHeader(Data, quint32(n));
            std::copy(header.cbegin(), header.cend(), buffer.data());
            if (!channel.write(QByteArrayView(buffer.constData(), n + HeaderSize)))
                return false;
        }
        left -= n;
        sent += n;
        m_shared->done.fetch_add(n);
        if (const qint64 limit = m_rateLimit.load(); limit > 0) {
            const qint64 due = sent * 1000 / limit - clock.elapsed();
            if (due > 0 && !sleepUnlessCancelled(int(due), m_shared->cancel))
                return channel.fail(TransferChannel::Status::Cancelled);
        }
    }
    const QByteArray digest = known ? *known : sha.result();
    if (!known && !sealed && left == 0)
        m_offers->hashes().Store(info.filePath(), entry.size, modified, digest);
    return channel.write(Frame(FileEnd, EncodeFileEnd({entry.size - left, sealed ? QByteArray() : digest,
                                                       sealed ? digest : QByteArray()})));
}
