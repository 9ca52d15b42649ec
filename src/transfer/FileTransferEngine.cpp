#include "transfer/FileTransferEngine.h"

#include "transfer/DownloadQueue.h"
#include "transfer/FileOffers.h"
#include "transfer/FileTransferWire.h"
#include "transfer/ReceiveSession.h"
#include "transfer/SendSession.h"
#include "transfer/TransferFileOps.h"
#include "transfer/TransferPaths.h"
#include "transfer/TransferShared.h"

#include <QDir>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>

#include <deque>
#include <functional>

using namespace TransferWire;
using TransferOps::nowMs;
using TransferOps::removePartialFiles;

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

QHostAddress peerAddressOf(qintptr descriptor)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (::getpeername(int(descriptor), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr *>(&address));
}

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
    session->thread.reset(
        QThread::create([reports = std::move(reports), offers = m_offers, gate = m_gate, places = &m_slots,
                         shared = session->shared, &rateLimit = m_rateLimit, limits = m_limits,
                         identity = m_identity, descriptor]() mutable {
            SendSession(std::move(reports), offers, gate, places, shared, rateLimit, limits, identity)
                .run(descriptor);
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
                                          limits = m_limits, freeSpace = m_freeSpace, identity = m_identity] {
        const TransferOutcome outcome =
            ReceiveSession(request, shared, completed, partials, limits, freeSpace, identity).run();
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
