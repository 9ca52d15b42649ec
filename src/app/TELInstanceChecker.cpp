#include "TELInstanceChecker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <stdexcept>

namespace {
constexpr int ReplyTimeoutMs = 2000;
const QByteArray ShowRequest = "0400 123 45";
const QByteArray TextRequest = "TEXT ";
const QByteArray Accepted = "1";

QString runtimeDir()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() ? QDir::tempPath() : dir;
}
} // namespace

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

bool TELInstanceChecker::ClaimFirstInstance()
{
    if (m_claimed)
        return true;
    auto lock =
        std::make_unique<QLockFile>(QDir(runtimeDir()).filePath(m_serverName + QStringLiteral(".lock")));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return lock->error() != QLockFile::LockFailedError;
    m_lock = std::move(lock);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_serverName);
    if (m_server->listen(m_serverName))
        connect(m_server, &QLocalServer::newConnection, this, &TELInstanceChecker::readRequests);
    m_claimed = true;
    return true;
}

bool TELInstanceChecker::RequestShow() const
{
    return send(ShowRequest);
}

bool TELInstanceChecker::PostText(const QString &text) const
{
    if (m_claimed)
        throw std::logic_error("InstanceChecker can not post data to self");
    QByteArray line = text.toUtf8();
    line.replace('\n', ' ');
    return send(TextRequest + line);
}

void TELInstanceChecker::ReleaseFirstInstance()
{
    if (!m_claimed)
        return;
    if (m_server)
        m_server->close();
    m_lock.reset();
    m_claimed = false;
}

bool TELInstanceChecker::send(const QByteArray &line) const
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(ReplyTimeoutMs))
        return false;
    socket.write(line + '\n');
    if (!socket.waitForBytesWritten(ReplyTimeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(ReplyTimeoutMs))
            return false;
    }
    return socket.readLine().trimmed() == Accepted;
}

void TELInstanceChecker::readRequests()
{
    while (QLocalSocket *client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            while (client->canReadLine()) {
                const QByteArray line = client->readLine().trimmed();
                if (line.startsWith(TextRequest)) {
                    Q_EMIT OnTextReceived(QString::fromUtf8(line.mid(TextRequest.size())));
                } else if (line.startsWith("0400 ")) {
                    // Only the agreed parameter asks for the window; others are ignored.
                    if (line.split(' ').value(1) == "123")
                        Q_EMIT showRequested();
                } else {
                    continue;
                }
                client->write(Accepted + '\n');
                client->flush();
            }
        });
    }
}
