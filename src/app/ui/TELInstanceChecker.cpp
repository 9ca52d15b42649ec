#include "app/ui/TELInstanceChecker.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSemaphore>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>

namespace {
constexpr int ReplyTimeoutMs = 2000;
constexpr int RetryMs = 25;
constexpr int ListenTimeoutMs = 2000;
// Requests are one short line; a client that sends more, or keeps many connections, is cut off.
constexpr qint64 MaxRequestBytes = 4096;
constexpr int MaxClients = 16;
const QByteArray ShowRequest = "0400 123 45";
const QByteArray TextRequest = "TEXT ";
const QByteArray Accepted = "1";

QString runtimeDir()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() ? QDir::tempPath() : dir;
}
} // namespace

// The first copy's answering side: a local server on a thread of its own, so that a later copy gets
// its answer while the window thread is still busy. Accepted requests go on to the window thread.
class ELInstanceListener : public QThread {
public:
    using Forward = std::function<void(const QByteArray &)>;

    ELInstanceListener(QString name, Forward forward)
        : m_name(std::move(name))
        , m_forward(std::move(forward))
    {}
    ~ELInstanceListener() override { stop(); }

    // Starts the thread and waits until it listens; false when the socket could not be opened.
    bool startListening()
    {
        start();
        if (!m_ready.tryAcquire(1, ListenTimeoutMs))
            return false;
        return m_listening;
    }
    bool listening() const { return m_listening && isRunning(); }
    void stop()
    {
        quit();
        wait();
    }

protected:
    void run() override
    {
        QLocalServer server;
        server.setSocketOptions(QLocalServer::UserAccessOption);
        // A copy that crashed leaves its socket file behind; the lock says it is no longer in use.
        QLocalServer::removeServer(m_name);
        m_listening = server.listen(m_name);
        m_ready.release();
        if (!m_listening)
            return;
        QObject::connect(&server, &QLocalServer::newConnection, &server, [this, &server] { accept(server); });
        exec();
        server.close();
    }

private:
    void accept(QLocalServer &server)
    {
        while (QLocalSocket *client = server.nextPendingConnection()) {
            if (server.findChildren<QLocalSocket *>().size() > MaxClients) {
                client->abort();
                client->deleteLater();
                continue;
            }
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] { answer(client); });
        }
    }

    void answer(QLocalSocket *client)
    {
        while (client->canReadLine()) {
            const QByteArray line = client->readLine(MaxRequestBytes).trimmed();
            if (!line.startsWith(TextRequest) && !line.startsWith("0400 "))
                continue;
            client->write(Accepted + '\n');
            client->flush();
            m_forward(line);
        }
        if (client->bytesAvailable() > MaxRequestBytes)
            client->abort();
    }

    const QString m_name;
    const Forward m_forward;
    QSemaphore m_ready;
    std::atomic<bool> m_listening = false;
};

TELInstanceChecker::TELInstanceChecker(const QString &identifier, const QString &scope, QObject *parent)
    : QObject(parent)
    , m_identifier(identifier)
{
    const QByteArray key = (identifier + u'\n' + scope + u'\n' + QDir::homePath()).toUtf8();
    m_serverName =
        QStringLiteral("perixchat-") +
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(24));
}

TELInstanceChecker::~TELInstanceChecker()
{
    ReleaseFirstInstance();
}

TELInstanceChecker::LockResult TELInstanceChecker::takeLock()
{
    auto lock =
        std::make_unique<QLockFile>(QDir(runtimeDir()).filePath(m_serverName + QStringLiteral(".lock")));
    // Never stale by age: only a holder that is no longer running gives the lock up.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return lock->error() == QLockFile::LockFailedError ? LockResult::HeldByOther : LockResult::Unusable;
    m_lock = std::move(lock);
    m_claimed = true;
    // The forward runs on the listener's thread, which ends before this object does; the request is
    // handled on the window thread once its event loop runs.
    m_listener = std::make_unique<ELInstanceListener>(m_serverName, [this](const QByteArray &line) {
        QMetaObject::invokeMethod(
            this, [this, line] { handleRequest(line); }, Qt::QueuedConnection);
    });
    m_listener->startListening();
    return LockResult::Taken;
}

bool TELInstanceChecker::ClaimFirstInstance()
{
    if (m_claimed)
        return true;
    // A lock that cannot be used at all counts as being the first copy.
    return takeLock() != LockResult::HeldByOther;
}

bool TELInstanceChecker::RequestShow(int waitMs)
{
    if (m_claimed)
        return false;
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        // The first copy may hold the lock for a moment before it listens: ask again until it answers.
        const int remaining = int(std::clamp<qint64>(deadline.remainingTime(), 1, ReplyTimeoutMs));
        if (send(ShowRequest, remaining))
            return true;
        // The first copy may also have ended meanwhile; then this copy is the first.
        if (takeLock() == LockResult::Taken)
            return false;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(RetryMs);
    }
}

bool TELInstanceChecker::PostText(const QString &text) const
{
    if (m_claimed)
        throw std::logic_error("InstanceChecker can not post data to self");
    QByteArray line = text.toUtf8();
    line.replace('\n', ' ');
    return send(TextRequest + line, ReplyTimeoutMs);
}

void TELInstanceChecker::StopListening()
{
    if (m_listener)
        m_listener->stop();
}

bool TELInstanceChecker::isListening() const
{
    return m_listener && m_listener->listening();
}

void TELInstanceChecker::ReleaseFirstInstance()
{
    if (!m_claimed)
        return;
    m_listener.reset();
    m_lock.reset();
    m_claimed = false;
}

bool TELInstanceChecker::send(const QByteArray &line, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(line + '\n');
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.readLine().trimmed() == Accepted;
}

void TELInstanceChecker::handleRequest(const QByteArray &line)
{
    if (line.startsWith(TextRequest)) {
        Q_EMIT OnTextReceived(QString::fromUtf8(line.mid(TextRequest.size())));
    } else if (line.split(' ').value(1) == "123") {
        // Only the agreed parameter asks for the window; others are ignored.
        Q_EMIT showRequested();
    }
}
