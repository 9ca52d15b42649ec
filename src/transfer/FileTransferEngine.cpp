#include "transfer/FileTransferEngine.h"

#include "transfer/DownloadQueue.h"
#include "transfer/FileOffers.h"
#include "transfer/FileTransferWire.h"
#include "transfer/Sha256.h"
#include "transfer/TransferPaths.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkProxy>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <deque>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#ifdef Q_OS_LINUX
#include <sys/sendfile.h>
#endif

#include <cerrno>
#include <filesystem>
#include <functional>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

using namespace TransferWire;

struct FileTransferEngine::Shared {
    std::atomic<bool> cancel{false};
    std::atomic<bool> running{false}; // past the request: the owner has listed what it sends
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{-1};
    std::atomic<qint64> resumed{0};
    QSet<QString> partials; // set by a receiving thread as it ends; read once it has been waited for
};

struct FileTransferEngine::Session {
    TransferInfo info;
    bool listed = false;
    QHostAddress peer; // sending: the requester, holding a place in the serve slots while the thread runs
    qint64 endedMs = -1;
    std::shared_ptr<Shared> shared;
    std::unique_ptr<QThread> thread;
    ReceiveRequest request;
    QSet<QString> completed;                       // entries of a folder fetch already verified and renamed
    QSet<QString> partials;                        // partial files this fetch made and may resume
    std::deque<std::pair<qint64, qint64>> samples; // (ms, bytes) for the speed
};

namespace {

constexpr int WaitSliceMs = 100;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

class Server : public QTcpServer {
public:
    explicit Server(std::function<void(qintptr)> onIncoming, QObject *parent)
        : QTcpServer(parent)
        , m_onIncoming(std::move(onIncoming))
    {}

protected:
    void incomingConnection(qintptr descriptor) override { m_onIncoming(descriptor); }

private:
    std::function<void(qintptr)> m_onIncoming;
};

// Blocking reads and writes on the descriptor of a connected socket owned by a transfer thread.
// The bytes go straight between the kernel and the caller's buffer: a socket object's own buffers
// would add a copy and an allocation per chunk, which at loopback speed cost more than the copy
// itself. Each wait is a short slice that looks at the cancel flag. The other side must keep up:
// the next frame has to begin within the stall time, and a frame, once begun, has to be through
// within the frame time; a trickle of bytes does not push either deadline back.
class Channel {
public:
    enum class Status { Ok, Cancelled, Closed, TimedOut, Protocol };

    Channel(qintptr descriptor, const std::atomic<bool> &cancel, const TransferLimits &limits)
        : m_fd(int(descriptor))
        , m_cancel(cancel)
        , m_stallMs(limits.stallMs)
        , m_frameMs(limits.frameDeadlineMs)
    {
        // Whole frames are written at once; a small one held back for an acknowledgement would
        // cost every short file the 40 ms of a delayed ACK.
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    }

    Status status() const { return m_status; }
    QString statusText() const
    {
        switch (m_status) {
        case Status::Ok:
            return {};
        case Status::Cancelled:
            return QStringLiteral("Cancelled");
        case Status::Closed:
            return QStringLiteral("The connection was closed by the other side");
        case Status::TimedOut:
            return QStringLiteral("The other side stopped answering or is too slow");
        case Status::Protocol:
            return QStringLiteral("The other side sent something this program does not understand");
        }
        return {};
    }
    bool fail(Status status)
    {
        if (m_status == Status::Ok)
            m_status = status;
        return false;
    }

    // Within the deadline of the frame being read.
    bool readExact(char *data, qint64 size)
    {
        qint64 got = 0;
        while (got < size) {
            if (m_cancel.load())
                return fail(Status::Cancelled);
            const ssize_t n = ::recv(m_fd, data + got, size_t(size - got), 0);
            if (n > 0) {
                got += n;
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return fail(Status::Closed);
            if (!waitFor(POLLIN, m_frame))
                return false;
        }
        return true;
    }

    // Starts the next frame: it must begin within the stall time and end within the frame time,
    // neither later than endBy.
    bool readHeader(FrameType *type, quint32 *length,
                    QDeadlineTimer endBy = QDeadlineTimer(QDeadlineTimer::Forever))
    {
        if (!waitFor(POLLIN, earlier(QDeadlineTimer(m_stallMs), endBy)))
            return false;
        m_frame = earlier(QDeadlineTimer(m_frameMs), endBy);
        char header[HeaderSize];
        if (!readExact(header, HeaderSize))
            return false;
        if (!ParseHeader(QByteArrayView(header, HeaderSize), type, length))
            return fail(Status::Protocol);
        return true;
    }

    // Gives the other side a moment to close first; whatever it still sends is dropped.
    void awaitClose()
    {
        const QDeadlineTimer deadline(std::min(m_stallMs, 1000));
        char sink[256];
        while (waitFor(POLLIN, deadline)) {
            const ssize_t n = ::recv(m_fd, sink, sizeof(sink), 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return;
        }
    }

    bool readPayload(quint32 length, QByteArray *payload)
    {
        payload->resize(length);
        return readExact(payload->data(), length);
    }

    // One control frame of one of the expected types.
    bool readControl(std::initializer_list<FrameType> expected, FrameType *type, QByteArray *payload,
                     QDeadlineTimer endBy = QDeadlineTimer(QDeadlineTimer::Forever))
    {
        quint32 length = 0;
        if (!readHeader(type, &length, endBy))
            return false;
        if (std::find(expected.begin(), expected.end(), *type) == expected.end())
            return fail(Status::Protocol);
        return readPayload(length, payload);
    }

    // The other side has the frame time to take the bytes.
    bool write(QByteArrayView data)
    {
        const QDeadlineTimer deadline(m_frameMs);
        qint64 sent = 0;
        while (sent < data.size()) {
            if (m_cancel.load())
                return fail(Status::Cancelled);
            const ssize_t n = ::send(m_fd, data.data() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
            if (n > 0) {
                sent += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return fail(Status::Closed);
            if (!waitFor(POLLOUT, deadline))
                return false;
        }
        return true;
    }

    // Sends `size` bytes of the open file from `offset` without passing them through this
    // process, where the system allows it; false if the file ended before them.
    bool writeFromFile(int fileFd, qint64 offset, qint64 size)
    {
#ifdef Q_OS_LINUX
        const QDeadlineTimer deadline(m_frameMs);
        off_t position = off_t(offset);
        const off_t end = off_t(offset + size);
        while (position < end) {
            if (m_cancel.load())
                return fail(Status::Cancelled);
            const ssize_t n = ::sendfile(m_fd, fileFd, &position, size_t(end - position));
            if (n > 0)
                continue;
            if (n == 0)
                return fail(Status::Closed); // the file shrank under us
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return fail(Status::Closed);
            if (!waitFor(POLLOUT, deadline))
                return false;
        }
        return true;
#else
        Q_UNUSED(fileFd);
        Q_UNUSED(offset);
        Q_UNUSED(size);
        return fail(Status::Closed);
#endif
    }

    static constexpr bool CanWriteFromFile =
#ifdef Q_OS_LINUX
        true;
#else
        false;
#endif

private:
    static QDeadlineTimer earlier(const QDeadlineTimer &a, const QDeadlineTimer &b)
    {
        return b.deadlineNSecs() < a.deadlineNSecs() ? b : a;
    }

    bool waitFor(short events, const QDeadlineTimer &deadline)
    {
        for (;;) {
            if (m_cancel.load())
                return fail(Status::Cancelled);
            const qint64 left = deadline.remainingTime();
            if (left == 0)
                return fail(Status::TimedOut);
            pollfd p{m_fd, events, 0};
            const int r = ::poll(&p, 1, left < 0 ? WaitSliceMs : int(std::min<qint64>(left, WaitSliceMs)));
            if (r < 0 && errno != EINTR)
                return fail(Status::Closed);
            if (r > 0)
                return (p.revents & (POLLERR | POLLNVAL)) ? fail(Status::Closed) : true;
        }
    }

    int m_fd;
    const std::atomic<bool> &m_cancel;
    int m_stallMs;
    int m_frameMs;
    QDeadlineTimer m_frame;
    Status m_status = Status::Ok;
};

QHostAddress peerAddressOf(qintptr descriptor)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (::getpeername(int(descriptor), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr *>(&address));
}

void removePartialFiles(const QSet<QString> &partials)
{
    for (const QString &part : partials) {
        if (!QFileInfo(part).isSymLink())
            QFile::remove(part);
    }
}

bool sleepUnlessCancelled(int ms, const std::atomic<bool> &cancel)
{
    for (int slept = 0; slept < ms; slept += 20) {
        if (cancel.load())
            return false;
        QThread::msleep(20);
    }
    return !cancel.load();
}

// Hashes the first bytes of an open file, as the start of a resumed transfer.
bool hashPrefix(QFile &file, qint64 length, Sha256 &sha, QByteArray &buffer, const std::atomic<bool> &cancel)
{
    if (!file.seek(0))
        return false;
    qint64 left = length;
    while (left > 0) {
        if (cancel.load())
            return false;
        const qint64 n = file.read(buffer.data(), std::min<qint64>(left, buffer.size()));
        if (n <= 0)
            return false;
        sha.addData(QByteArrayView(buffer.constData(), n));
        left -= n;
    }
    return true;
}

std::filesystem::path nativePath(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    return std::filesystem::path(std::string(encoded.constData(), size_t(encoded.size())));
}

// Replaces an existing file in one step where the system allows it.
bool renameOver(const QString &from, const QString &to)
{
    std::error_code ec;
    std::filesystem::rename(nativePath(from), nativePath(to), ec);
    return !ec;
}

struct Outcome {
    TransferState state = TransferState::Failed;
    QString error;
    QSet<QString> completed;
    QSet<QString> partials;
};

// ---- The owner's side of one connection ----

// Thread-safe reports of a send session to the engine.
struct SendReports {
    std::function<void(const QString &name, const QString &peer, qint64 total)> started;
    std::function<void(TransferState state, const QString &error)> finished;
    std::function<void(const QString &text)> notice;
};

class SendSession {
public:
    SendSession(SendReports reports, FileOfferList *offers, FileToGate *gate, ServeSlots *places,
                std::shared_ptr<FileTransferEngine::Shared> shared, const std::atomic<qint64> &rateLimit,
                const TransferLimits &limits)
        : m_reports(std::move(reports))
        , m_offers(offers)
        , m_gate(gate)
        , m_slots(places)
        , m_shared(std::move(shared))
        , m_rateLimit(rateLimit)
        , m_limits(limits)
    {}

    void run(qintptr descriptor)
    {
        const QDeadlineTimer requestBy(m_limits.requestDeadlineMs);
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
        Channel channel(socket.socketDescriptor(), m_shared->cancel, m_limits);
        const QString peer = socket.peerAddress().toString();
        FrameType type = Request;
        QByteArray payload;
        if (!channel.readControl({Request}, &type, &payload, requestBy)) {
            finish(TransferState::Failed, channel.statusText());
            return;
        }
        const std::optional<RequestMessage> request = DecodeRequest(payload);
        if (!request) {
            finish(TransferState::Failed, QStringLiteral("malformed request"));
            return;
        }
        QString reason;
        const std::optional<FileOffer> offer = authorize(*request, socket.peerAddress(), &reason);
        if (!offer) {
            if (!m_shared->cancel.load())
                notice(QStringLiteral("Refused the request of %1 for \"%2\": %3")
                           .arg(peer, request->path, reason));
            channel.write(Frame(Refused, EncodeRefused(reason)));
            finish(TransferState::Failed, reason);
            return;
        }
        if (!m_slots->StartServing(m_limits.maxServing)) {
            reason =
                QStringLiteral("the owner sends %1 files already; try again later").arg(m_limits.maxServing);
            channel.write(Frame(Refused, EncodeRefused(reason)));
            finish(TransferState::Failed, reason);
            return;
        }
        // Given back before the socket closes: the requester starts its next fetch once it sees the close.
        const auto stopServing = qScopeGuard([this] { m_slots->StopServing(); });
        QStringList leftOut;
        const std::optional<TransferManifest> manifest =
            TransferPath::BuildManifest(*offer, &leftOut, &reason);
        if (!manifest) {
            notice(
                QStringLiteral("Refused the request of %1 for \"%2\": %3").arg(peer, request->path, reason));
            channel.write(Frame(Refused, EncodeRefused(reason)));
            finish(TransferState::Failed, reason);
            return;
        }
        for (const QString &entry : leftOut)
            notice(
                QStringLiteral("Refused to send \"%1\" of \"%2\" to %3: the link leaves the offered folder")
                    .arg(entry, request->path, peer));
        qint64 total = 0;
        for (const ManifestEntry &e : manifest->entries)
            total += e.size;
        m_shared->total.store(total);
        m_shared->running.store(true);
        const QString name = TransferPath::OwnerFileName(offer->path);
        m_reports.started(name, peer, total);
        if (!channel.write(Frame(Manifest, EncodeManifest(*manifest)))) {
            finish(TransferState::Failed, channel.statusText());
            return;
        }
        serve(channel, *offer, *manifest);
    }

private:
    std::optional<FileOffer> authorize(const RequestMessage &request, const QHostAddress &peer,
                                       QString *reason)
    {
        const std::optional<FileOffer> offer = m_offers->Find(request.path);
        if (!offer) {
            *reason = QStringLiteral("it was not offered");
            return std::nullopt;
        }
        // The FILETO goes by UDP and may come a moment after the connection.
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            const GrantLookup lookup = m_gate->Take(request.clientId, request.path, peer, nowMs());
            if (lookup == GrantLookup::Granted)
                break;
            if (lookup == GrantLookup::WrongAddress) {
                *reason = QStringLiteral("the connection does not come from the address of the request");
                return std::nullopt;
            }
            if (waited.elapsed() > m_limits.grantWaitMs || !sleepUnlessCancelled(50, m_shared->cancel)) {
                *reason = QStringLiteral("no request (FILETO) from that user and address");
                return std::nullopt;
            }
        }
        return offer;
    }

    void serve(Channel &channel, const FileOffer &offer, const TransferManifest &manifest)
    {
        QByteArray payload;
        QByteArray buffer(DataChunk + HeaderSize, Qt::Uninitialized);
        FrameType type = Get;
        for (;;) {
            if (!channel.readControl({Get, Done}, &type, &payload)) {
                finish(channel.status() == Channel::Status::Cancelled ? TransferState::Cancelled
                                                                      : TransferState::Failed,
                       channel.statusText());
                return;
            }
            if (type == Done) {
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
                finish(channel.status() == Channel::Status::Cancelled ? TransferState::Cancelled
                                                                      : TransferState::Failed,
                       channel.status() == Channel::Status::Ok ? file.errorString() : channel.statusText());
                return;
            }
        }
    }

    bool sendFile(Channel &channel, QFile &file, const ManifestEntry &entry, qint64 offset,
                  QByteArray &buffer)
    {
        const QFileInfo info(file.fileName());
        const qint64 modified = info.lastModified().toMSecsSinceEpoch();
        const std::optional<QByteArray> known =
            info.size() == entry.size ? m_offers->hashes().Find(info.filePath(), entry.size, modified)
                                      : std::nullopt;
        Sha256 sha;
        if (!known && offset > 0 && !hashPrefix(file, offset, sha, buffer, m_shared->cancel))
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
        const bool zeroCopy = known && Channel::CanWriteFromFile && file.handle() >= 0;
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
                    return channel.fail(Channel::Status::Cancelled);
            }
        }
        const QByteArray digest = known ? *known : sha.result();
        if (!known && left == 0)
            m_offers->hashes().Store(info.filePath(), entry.size, modified, digest);
        return channel.write(Frame(FileEnd, EncodeFileEnd({entry.size - left, digest})));
    }

    void notice(const QString &text) { m_reports.notice(text); }
    void finish(TransferState state, const QString &error) { m_reports.finished(state, error); }

    SendReports m_reports;
    FileOfferList *m_offers;
    FileToGate *m_gate;
    ServeSlots *m_slots;
    std::shared_ptr<FileTransferEngine::Shared> m_shared;
    const std::atomic<qint64> &m_rateLimit;
    const TransferLimits m_limits;
};

// Hashes what the receiving thread hands it in a thread of its own, so that checking the content
// overlaps with receiving and writing it. The chunks live in a few buffers made once, so memory
// stays flat and nothing is allocated per chunk.
class BackgroundHash {
public:
    static constexpr int BufferCount = 6;

    BackgroundHash()
        : m_thread([this] { work(); })
    {
        for (int i = 0; i < BufferCount; ++i) {
            m_buffers[i] = QByteArray(MaxDataPayload, Qt::Uninitialized);
            m_free.push_back(m_buffers[i].data());
        }
    }
    ~BackgroundHash()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    // Only while nothing is queued.
    Sha256 &direct() { return m_sha; }
    char *acquire()
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return !m_free.empty(); });
        char *buffer = m_free.back();
        m_free.pop_back();
        return buffer;
    }
    void release(char *buffer)
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(buffer);
        m_room.notify_all();
    }
    void submit(char *buffer, qsizetype size)
    {
        std::lock_guard lock(m_mutex);
        m_queue.emplace_back(buffer, size);
        m_wake.notify_one();
    }
    QByteArray result()
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_queue.empty() && !m_busy; });
        return m_sha.result();
    }

private:
    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            const auto [buffer, size] = m_queue.front();
            m_queue.pop_front();
            m_busy = true;
            lock.unlock();
            m_sha.addData(QByteArrayView(buffer, size));
            lock.lock();
            m_busy = false;
            m_free.push_back(buffer);
            m_room.notify_all();
        }
    }

    Sha256 m_sha;
    QByteArray m_buffers[BufferCount];
    std::vector<char *> m_free;
    std::deque<std::pair<char *, qsizetype>> m_queue;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_room;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

// ---- The requester's side ----

class ReceiveSession {
public:
    ReceiveSession(const ReceiveRequest &request, std::shared_ptr<FileTransferEngine::Shared> shared,
                   QSet<QString> completed, QSet<QString> partials, const TransferLimits &limits,
                   FreeSpaceSource freeSpace)
        : m_request(request)
        , m_shared(std::move(shared))
        , m_completed(std::move(completed))
        , m_partials(std::move(partials))
        , m_limits(limits)
        , m_freeSpace(std::move(freeSpace))
    {}

    Outcome run()
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
        const QHostAddress local(m_request.clientIp);
        if (!local.isNull())
            socket.bind(local, 0);
        socket.connectToHost(owner, m_request.port);
        QElapsedTimer waited;
        waited.start();
        while (!socket.waitForConnected(WaitSliceMs)) {
            if (m_shared->cancel.load())
                return end(TransferState::Cancelled, QStringLiteral("Cancelled"));
            if (socket.state() == QAbstractSocket::UnconnectedState ||
                waited.elapsed() > m_limits.connectTimeoutMs)
                return end(
                    TransferState::Failed,
                    QStringLiteral("Cannot connect to %1: %2").arg(m_request.serverIp, socket.errorString()));
        }
        Channel channel(socket.socketDescriptor(), m_shared->cancel, m_limits);
        if (!channel.write(Frame(
                Request, EncodeRequest({Version, m_request.path, m_request.clientId, m_request.number}))))
            return channelEnd(channel);
        FrameType type = Manifest;
        QByteArray payload;
        if (!channel.readControl({Manifest, Refused}, &type, &payload))
            return channelEnd(channel);
        if (type == Refused)
            return end(
                TransferState::Failed,
                QStringLiteral("The owner refused: %1").arg(DecodeRefused(payload).value_or(QString())));
        const std::optional<TransferManifest> manifest = DecodeManifest(payload);
        if (!manifest)
            return end(TransferState::Failed, QStringLiteral("The owner sent an unreadable list of files"));
        return receiveAll(channel, *manifest);
    }

private:
    static qint64 saturatedSum(qint64 a, qint64 b)
    {
        return a > std::numeric_limits<qint64>::max() - b ? std::numeric_limits<qint64>::max() : a + b;
    }

    QString partialPath(const QString &target, const QString &relative) const
    {
        return QFileInfo(target).absolutePath() + u'/' +
               TransferPath::PartialName(m_request.partialTag, relative);
    }

    // Only a partial file this fetch made itself is ever resumed.
    qint64 resumableSize(const QString &part) const
    {
        return m_partials.contains(part) && !QFileInfo(part).isSymLink() ? QFileInfo(part).size() : 0;
    }

    // The free space of the folder is checked, when known, against what is still to be written.
    bool roomFor(qint64 bytes, qint64 reserve) const
    {
        const qint64 free = m_freeSpace ? m_freeSpace(m_request.saveDir) : -1;
        return free < 0 || free >= saturatedSum(bytes, reserve);
    }

    QString noRoomText(qint64 needed) const
    {
        const QLocale locale;
        const qint64 free = m_freeSpace ? m_freeSpace(m_request.saveDir) : -1;
        return QStringLiteral("Not enough free space in %1: %2 to write, %3 free")
            .arg(m_request.saveDir, locale.formattedDataSize(needed),
                 locale.formattedDataSize(std::max<qint64>(free, 0)));
    }

    void removePartials()
    {
        removePartialFiles(m_partials);
        m_partials.clear();
    }

    void discard(QFile &file)
    {
        file.close();
        QFile::remove(file.fileName());
        m_partials.remove(file.fileName());
    }

    Outcome receiveAll(Channel &channel, const TransferManifest &manifest)
    {
        const QString root = QDir(m_request.saveDir).filePath(m_request.localName);
        qint64 total = 0;
        QStringList targets;
        for (const ManifestEntry &e : manifest.entries) {
            const QString target = TransferPath::LocalTarget(root, e.relative);
            if (target.isEmpty() || (!manifest.isDir && !e.relative.isEmpty()) ||
                (manifest.isDir && e.relative.isEmpty()))
                return end(
                    TransferState::Failed,
                    QStringLiteral("The owner sent a path that leaves the folder: \"%1\"").arg(e.relative));
            targets.append(target);
            total = saturatedSum(total, e.size);
        }
        if (targets.size() != QSet<QString>(targets.cbegin(), targets.cend()).size())
            return end(TransferState::Failed, QStringLiteral("The owner sent names that coincide here"));
        // What the owner declared must fit before anything is written.
        qint64 needed = 0;
        for (qsizetype i = 0; i < manifest.entries.size(); ++i) {
            const ManifestEntry &e = manifest.entries.at(i);
            if (e.isDir || (m_completed.contains(e.relative) && QFileInfo(targets.at(i)).isFile()))
                continue;
            needed = saturatedSum(
                needed, e.size - std::min(e.size, resumableSize(partialPath(targets.at(i), e.relative))));
        }
        if (!roomFor(needed, m_limits.freeSpaceReserve)) {
            removePartials();
            return end(TransferState::Failed, noRoomText(needed));
        }
        m_left = needed;
        m_shared->total.store(total);
        m_shared->running.store(true);
        if (manifest.isDir && !makeFolder(root))
            return end(TransferState::Failed, QStringLiteral("Cannot create the folder %1").arg(root));
        for (const QString &relative : std::as_const(m_completed)) {
            for (const ManifestEntry &e : manifest.entries) {
                if (e.relative == relative && !e.isDir)
                    m_shared->done.fetch_add(e.size);
            }
        }
        QByteArray buffer(MaxDataPayload, Qt::Uninitialized);
        QStringList skipped;
        for (qsizetype i = 0; i < manifest.entries.size(); ++i) {
            const ManifestEntry &entry = manifest.entries.at(i);
            const QString &target = targets.at(i);
            if (entry.isDir) {
                if (!makeFolder(target))
                    return end(TransferState::Failed,
                               QStringLiteral("Cannot create the folder %1").arg(target));
                continue;
            }
            if (m_completed.contains(entry.relative) && QFileInfo(target).isFile())
                continue;
            if (manifest.isDir && !makeFolder(QFileInfo(target).absolutePath()))
                return end(TransferState::Failed,
                           QStringLiteral("Cannot create the folder of %1").arg(target));
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

    enum class FileResult { Ok, Skipped, Failed, ChannelFailed };

    FileResult receiveFile(Channel &channel, qsizetype index, const ManifestEntry &entry,
                           const QString &target, QByteArray &buffer, QString *error)
    {
        const QString part = partialPath(target, entry.relative);
        if (!TransferPath::IsSafeWriteLocation(m_request.saveDir, part) ||
            !TransferPath::IsSafeWriteLocation(m_request.saveDir, target) || QFileInfo(target).isDir()) {
            *error =
                QStringLiteral("Refused to write %1: it is not a plain file inside the folder").arg(target);
            return FileResult::Failed;
        }
        if (QFileInfo::exists(target) && !m_request.replace) {
            *error = QStringLiteral("%1 exists already").arg(target);
            return FileResult::Failed;
        }
        // A file of that name that this fetch did not make is never opened, let alone resumed.
        const bool resume = m_partials.contains(part) && QFileInfo(part).isFile();
        QFile file(part);
        if (!file.open(resume ? QIODevice::ReadWrite : QIODevice::ReadWrite | QIODevice::NewOnly)) {
            *error = QStringLiteral("Cannot write %1: %2").arg(part, file.errorString());
            return FileResult::Failed;
        }
        m_partials.insert(part);
        qint64 offset = file.size();
        if (offset > entry.size) {
            file.resize(0);
            m_left = saturatedSum(m_left, offset);
            offset = 0;
        }
        BackgroundHash hash;
        Sha256 &sha = hash.direct();
        if (offset > 0 && !hashPrefix(file, offset, sha, buffer, m_shared->cancel)) {
            if (m_shared->cancel.load()) {
                channel.fail(Channel::Status::Cancelled);
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
        qint64 received = offset;
        for (;;) {
            FrameType type = Data;
            quint32 length = 0;
            if (!channel.readHeader(&type, &length))
                return FileResult::ChannelFailed;
            if (type == Data) {
                if (length > entry.size - received) {
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
                    *error = QStringLiteral("Cannot write %1: %2").arg(part, file.errorString());
                    discard(file);
                    return FileResult::Failed;
                }
                hash.submit(chunk, length);
                received += length;
                m_left = std::max<qint64>(0, m_left - length);
                m_shared->done.fetch_add(length);
                continue;
            }
            QByteArray payload;
            if ((type != FileEnd && type != Skip) || !channel.readPayload(length, &payload)) {
                channel.fail(Channel::Status::Protocol);
                return FileResult::ChannelFailed;
            }
            if (type == Skip) {
                const std::optional<SkipMessage> skip = DecodeSkip(payload);
                if (!skip || skip->entry != index) {
                    channel.fail(Channel::Status::Protocol);
                    return FileResult::ChannelFailed;
                }
                return FileResult::Skipped;
            }
            const std::optional<FileEndMessage> fileEnd = DecodeFileEnd(payload);
            if (!fileEnd) {
                channel.fail(Channel::Status::Protocol);
                return FileResult::ChannelFailed;
            }
            if (!file.flush()) {
                *error = QStringLiteral("Cannot write %1: %2").arg(part, file.errorString());
                discard(file);
                return FileResult::Failed;
            }
            file.close();
            if (fileEnd->size != entry.size || received != entry.size || fileEnd->sha256 != hash.result()) {
                // The bytes here are not the owner's: none of them can be trusted for a resume.
                discard(file);
                *error = QStringLiteral("The content check (SHA-256) of %1 failed; the data was discarded")
                             .arg(target);
                return FileResult::Failed;
            }
            // Over what is there only when the user said so; otherwise never over anything, even a
            // file that appeared meanwhile.
            if (!(m_request.replace ? renameOver(part, target) : QFile::rename(part, target))) {
                *error = QStringLiteral("Cannot rename %1 to %2").arg(part, target);
                return FileResult::Failed;
            }
            m_partials.remove(part);
            return FileResult::Ok;
        }
    }

    // Everything written stays below the chosen folder, whose own path is the user's choice.
    bool makeFolder(const QString &folder)
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

    Outcome channelEnd(const Channel &channel)
    {
        return end(channel.status() == Channel::Status::Cancelled ? TransferState::Cancelled
                                                                  : TransferState::Failed,
                   channel.statusText());
    }

    Outcome end(TransferState state, const QString &error)
    {
        return Outcome{state, error, m_completed, m_partials};
    }

    ReceiveRequest m_request;
    std::shared_ptr<FileTransferEngine::Shared> m_shared;
    QSet<QString> m_completed;
    QSet<QString> m_partials;
    const TransferLimits m_limits;
    const FreeSpaceSource m_freeSpace;
    qint64 m_left = 0; // bytes still to be written by this run
};

} // namespace

FileTransferEngine::FileTransferEngine(FileOfferList *offers, FileToGate *gate, RequestSender sender,
                                       QObject *parent)
    : QObject(parent)
    , m_offers(offers)
    , m_gate(gate)
    , m_sender(std::move(sender))
    , m_server(new Server([this](qintptr descriptor) { incoming(descriptor); }, this))
    , m_timer(new QTimer(this))
    , m_pruneTimer(new QTimer(this))
{
    m_timer->setInterval(250);
    connect(m_timer, &QTimer::timeout, this, &FileTransferEngine::updateProgress);
    m_pruneTimer->setSingleShot(true);
    connect(m_pruneTimer, &QTimer::timeout, this, &FileTransferEngine::prune);
}

FileTransferEngine::~FileTransferEngine()
{
    StopAll();
}

void FileTransferEngine::StopAll()
{
    m_server->close();
    for (auto &[id, session] : m_sessions) {
        if (session->shared)
            session->shared->cancel.store(true);
        if (session->info.state == TransferState::Waiting) {
            session->info.state = TransferState::Cancelled;
            session->endedMs = nowMs();
        }
    }
    // Every wait of a transfer thread is a short slice that looks at the cancel flag.
    for (auto &[id, session] : m_sessions) {
        if (!session->thread)
            continue;
        endThread(*session);
        // Its report of how it ended is still on its way; the partial files it made are here already.
        if (session->info.direction == TransferDirection::Receive)
            session->partials = session->shared->partials;
    }
    // No later run can resume them: the tags of their names live only in this one.
    for (auto &[id, session] : m_sessions) {
        if (session->info.direction == TransferDirection::Receive &&
            session->info.state != TransferState::Done) {
            removePartialFiles(session->partials);
            session->partials.clear();
        }
    }
}

bool FileTransferEngine::Listen(const QHostAddress &address, quint16 port)
{
    if (m_server->isListening())
        return true;
    m_server->setListenBacklogSize(128);
    m_server->setProxy(QNetworkProxy::NoProxy);
    if (m_server->listen(address, port)) {
        m_listenError.clear();
        return true;
    }
    m_listenError = m_server->errorString();
    return false;
}

bool FileTransferEngine::isListening() const
{
    return m_server->isListening();
}

quint16 FileTransferEngine::serverPort() const
{
    return m_server->serverPort();
}

void FileTransferEngine::incoming(qintptr descriptor)
{
    const QHostAddress peer = peerAddressOf(descriptor);
    const ServeSlots::Admission admission = m_slots.Enter(peer, m_limits);
    if (admission != ServeSlots::Admission::Admitted) {
        const QString reason =
            admission == ServeSlots::Admission::AddressFull
                ? QStringLiteral("%1 connections from this address are open already")
                      .arg(m_limits.maxConnectionsPerAddress)
                : QStringLiteral("%1 connections are open already").arg(m_limits.maxConnections);
        // The answer fits the socket's buffer: it never waits for the other side.
        QTcpSocket refused;
        if (refused.setSocketDescriptor(descriptor)) {
            refused.write(Frame(Refused, EncodeRefused(reason)));
            refused.flush();
            refused.abort();
        }
        noteRefusal(QStringLiteral("Refused a transfer connection from %1: %2").arg(peer.toString(), reason));
        return;
    }
    const int id = m_nextId++;
    auto session = std::make_unique<Session>();
    session->info.id = id;
    session->info.direction = TransferDirection::Send;
    session->peer = peer;
    session->shared = std::make_shared<Shared>();
    // The threads end before the engine does (see StopAll), so the engine is there to be posted to.
    const auto post = [this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    SendReports reports;
    reports.started = [post, id, this](const QString &name, const QString &peer, qint64 total) {
        post([=, this] { sendStarted(id, name, peer, total); });
    };
    reports.finished = [post, id, this](TransferState state, const QString &error) {
        post([=, this] { sessionEnded(id, state, error, {}, {}); });
    };
    reports.notice = [post, this](const QString &text) {
        post([=, this] { Q_EMIT refused(text); });
    };
    session->thread.reset(QThread::create(
        [reports = std::move(reports), offers = m_offers, gate = m_gate, places = &m_slots,
         shared = session->shared, &rateLimit = m_rateLimit, limits = m_limits, descriptor]() mutable {
            SendSession(std::move(reports), offers, gate, places, shared, rateLimit, limits).run(descriptor);
        }));
    connect(session->thread.get(), &QThread::finished, this, [this, id] { threadFinished(id); });
    QThread *thread = session->thread.get();
    m_sessions.emplace(id, std::move(session));
    thread->start();
}

// A flood of refused connections must not become a flood of status lines.
void FileTransferEngine::noteRefusal(const QString &text)
{
    const qint64 now = nowMs();
    if (m_lastRefusalMs >= 0 && now - m_lastRefusalMs < 1000)
        return;
    m_lastRefusalMs = now;
    Q_EMIT refused(text);
}

int FileTransferEngine::Receive(const ReceiveRequest &request)
{
    const int id = m_nextId++;
    auto session = std::make_unique<Session>();
    session->info.id = id;
    session->info.direction = TransferDirection::Receive;
    session->info.state = TransferState::Waiting;
    session->info.name = request.localName;
    session->info.folder = request.saveDir;
    session->info.target = QDir(request.saveDir).filePath(request.localName);
    session->info.peer = request.peerName.isEmpty() ? request.serverIp : request.peerName;
    session->listed = true;
    session->request = request;
    if (session->request.partialTag.isEmpty())
        session->request.partialTag = TransferPath::NewPartialTag();
    m_sessions.emplace(id, std::move(session));
    Q_EMIT transferAdded(id);
    schedule();
    return id;
}

// Starts the waiting fetches that may run now.
void FileTransferEngine::schedule()
{
    QList<QueuedDownload> downloads;
    for (const auto &[id, session] : m_sessions) {
        if (session->info.direction != TransferDirection::Receive)
            continue;
        const bool running = session->thread != nullptr;
        if (running || session->info.state == TransferState::Waiting)
            downloads.append(QueuedDownload{id, session->request.serverIp, running});
    }
    bool unsent = false;
    for (const int id : DownloadsToStart(downloads, m_limits.maxDownloads, m_limits.maxDownloadsPerOwner)) {
        // The owner keeps a FILETO for a few minutes only: it goes now, right before the connection.
        const auto it = m_sessions.find(id);
        const bool sent = it != m_sessions.end() && (!m_sender || m_sender(it->second->request));
        const auto again = m_sessions.find(id);
        if (again == m_sessions.end() || again->second->info.state != TransferState::Waiting)
            continue;
        Session &session = *again->second;
        if (!sent) {
            session.info.state = TransferState::Failed;
            session.info.error = QStringLiteral("The request (FILETO) could not be sent");
            session.endedMs = nowMs();
            unsent = true;
        } else {
            startReceiveThread(session);
        }
        Q_EMIT transferChanged(id);
    }
    // A request that could not go leaves its place to the next one.
    if (unsent)
        schedule();
}

void FileTransferEngine::startReceiveThread(Session &session)
{
    session.shared = std::make_shared<Shared>();
    session.samples.clear();
    session.info.state = TransferState::Connecting;
    session.info.error.clear();
    session.info.done = 0;
    session.info.resumed = 0;
    session.info.speed = 0;
    session.info.secondsLeft = -1;
    session.endedMs = -1;
    const int id = session.info.id;
    session.thread.reset(QThread::create([id, this, request = session.request, shared = session.shared,
                                          completed = session.completed, partials = session.partials,
                                          limits = m_limits, freeSpace = m_freeSpace] {
        const Outcome outcome = ReceiveSession(request, shared, completed, partials, limits, freeSpace).run();
        shared->partials = outcome.partials;
        QMetaObject::invokeMethod(
            this,
            [=, this] {
                sessionEnded(id, outcome.state, outcome.error, outcome.completed, outcome.partials);
            },
            Qt::QueuedConnection);
    }));
    connect(session.thread.get(), &QThread::finished, this, [this, id] { threadFinished(id); });
    session.thread->start();
    ensureTimer();
}

bool FileTransferEngine::Cancel(int id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || !isRunning(*it->second))
        return false;
    Session &session = *it->second;
    if (session.info.state == TransferState::Waiting) {
        session.info.state = TransferState::Cancelled;
        session.info.error = QStringLiteral("Cancelled");
        session.endedMs = nowMs();
        Q_EMIT transferChanged(id);
        return true;
    }
    session.shared->cancel.store(true);
    return true;
}

bool FileTransferEngine::Retry(int id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return false;
    Session &session = *it->second;
    if (session.info.direction != TransferDirection::Receive || session.thread ||
        (session.info.state != TransferState::Failed && session.info.state != TransferState::Cancelled))
        return false;
    session.info.state = TransferState::Waiting;
    session.info.error.clear();
    session.info.speed = 0;
    session.info.secondsLeft = -1;
    session.endedMs = -1;
    Q_EMIT transferChanged(id);
    schedule();
    return true;
}

void FileTransferEngine::ClearFinished()
{
    QList<int> ended;
    for (const auto &[id, session] : m_sessions) {
        if (session->listed && !session->thread && session->endedMs >= 0 && !isRunning(*session))
            ended.append(id);
    }
    for (const int id : std::as_const(ended))
        remove(id);
}

std::optional<ReceiveRequest> FileTransferEngine::request(int id) const
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || it->second->info.direction != TransferDirection::Receive)
        return std::nullopt;
    return it->second->request;
}

std::optional<TransferInfo> FileTransferEngine::info(int id) const
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || !it->second->listed)
        return std::nullopt;
    return it->second->info;
}

QList<TransferInfo> FileTransferEngine::transfers() const
{
    QList<TransferInfo> list;
    for (const auto &[id, session] : m_sessions) {
        if (session->listed)
            list.append(session->info);
    }
    return list;
}

bool FileTransferEngine::isRunning(const Session &session) const
{
    return session.info.state == TransferState::Waiting || session.info.state == TransferState::Connecting ||
           session.info.state == TransferState::Running;
}

// Sends of any outcome, and fetches that are done, leave the list after a while; a failed fetch
// stays for its Retry until the user clears it.
bool FileTransferEngine::lingers(const Session &session) const
{
    if (!session.listed || session.thread || session.endedMs < 0 || isRunning(session))
        return false;
    return session.info.direction == TransferDirection::Send || session.info.state == TransferState::Done;
}

int FileTransferEngine::runningCount() const
{
    int n = 0;
    for (const auto &[id, session] : m_sessions)
        n += session->listed && isRunning(*session);
    return n;
}

void FileTransferEngine::sendStarted(int id, const QString &name, const QString &peer, qint64 total)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    Session &session = *it->second;
    // A session that already ended (the requester went at once) is not listed.
    if (!session.thread && !isRunning(session))
        return;
    session.info.name = name;
    session.info.peer = peer;
    session.info.total = total;
    session.info.state = TransferState::Running;
    session.listed = true;
    ensureTimer();
    Q_EMIT transferAdded(id);
}

void FileTransferEngine::sessionEnded(int id, TransferState state, const QString &error,
                                      const QSet<QString> &completed, const QSet<QString> &partials)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    Session &session = *it->second;
    session.info.state = state;
    session.info.error = error;
    session.endedMs = nowMs();
    session.info.done = session.shared ? session.shared->done.load() : session.info.done;
    session.info.resumed = session.shared ? session.shared->resumed.load() : session.info.resumed;
    if (session.shared && session.shared->total.load() >= 0)
        session.info.total = session.shared->total.load();
    session.info.speed = 0;
    session.info.secondsLeft = state == TransferState::Done ? 0 : -1;
    if (session.info.direction == TransferDirection::Receive) {
        session.completed = completed;
        session.partials = partials;
    }
    if (session.listed)
        Q_EMIT transferChanged(id);
}

void FileTransferEngine::threadFinished(int id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || !it->second->thread)
        return;
    Session &session = *it->second;
    endThread(session);
    const bool receiving = session.info.direction == TransferDirection::Receive;
    // Connections refused before they listed anything leave nothing behind.
    if (!session.listed && !receiving)
        m_sessions.erase(it);
    if (receiving)
        schedule();
    prune();
}

// The thread has ended or been waited for: its place is free again.
void FileTransferEngine::endThread(Session &session)
{
    session.thread->wait();
    session.thread.reset();
    if (session.info.direction == TransferDirection::Send)
        m_slots.Leave(session.peer);
}

void FileTransferEngine::prune()
{
    const qint64 now = nowMs();
    std::vector<std::pair<qint64, int>> finished;
    for (const auto &[id, session] : m_sessions) {
        if (lingers(*session))
            finished.emplace_back(session->endedMs, id);
    }
    std::sort(finished.begin(), finished.end());
    qsizetype excess = qsizetype(finished.size()) - m_limits.maxFinishedListed;
    for (const auto &[endedMs, id] : finished) {
        if (excess > 0 || now - endedMs >= m_limits.finishedLingerMs) {
            remove(id);
            --excess;
            continue;
        }
        // The oldest one left decides when to look again.
        m_pruneTimer->start(int(std::clamp<qint64>(endedMs + m_limits.finishedLingerMs - now, 0, 3600000)));
        return;
    }
}

void FileTransferEngine::remove(int id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end() || it->second->thread)
        return;
    const Session &session = *it->second;
    if (session.info.direction == TransferDirection::Receive && session.info.state != TransferState::Done)
        removePartialFiles(session.partials);
    const bool listed = session.listed;
    m_sessions.erase(it);
    if (listed)
        Q_EMIT transferRemoved(id);
}

void FileTransferEngine::ensureTimer()
{
    if (!m_timer->isActive())
        m_timer->start();
}

void FileTransferEngine::updateProgress()
{
    const qint64 now = nowMs();
    bool any = false;
    for (auto &[id, session] : m_sessions) {
        if (!isRunning(*session) || session->info.state == TransferState::Waiting || !session->shared)
            continue;
        any = true;
        Session &s = *session;
        const qint64 done = s.shared->done.load();
        s.info.done = done;
        s.info.total = s.shared->total.load();
        s.info.resumed = s.shared->resumed.load();
        if (s.shared->running.load())
            s.info.state = TransferState::Running;
        s.samples.emplace_back(now, done);
        while (s.samples.size() > 2 && now - s.samples.front().first > 3000)
            s.samples.pop_front();
        const auto &[firstMs, firstBytes] = s.samples.front();
        s.info.speed = now > firstMs ? double(done - firstBytes) * 1000.0 / double(now - firstMs) : 0;
        s.info.secondsLeft = s.info.speed > 0 && s.info.total >= done
                                 ? qint64(double(s.info.total - done) / s.info.speed + 0.5)
                                 : -1;
        if (s.listed)
            Q_EMIT transferChanged(id);
    }
    if (!any)
        m_timer->stop();
}
