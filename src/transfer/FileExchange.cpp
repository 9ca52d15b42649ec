#include "transfer/FileExchange.h"

#include "net/PacketDispatcher.h"
#include "protocol/ProtocolClassUn.h"
#include "talks/TalkCore.h"
#include "transfer/FileReferences.h"

#include <QFileInfo>

FileExchange::FileExchange(PacketTransport *transport, std::function<LocalIdentity()> identity, bool loopback,
                           quint16 port, QObject *parent)
    : QObject(parent)
    , m_identity(identity)
    , m_share(new FileShare(transport, std::move(identity), loopback, port, this))
{}

FileExchange::~FileExchange() = default;

void FileExchange::attach(TalkCore &talks, PacketDispatcher &dispatcher)
{
    dispatcher.setHandler(pkFileTo, [this](const Packet &p) { m_share->ProcessFileTo(p); });
    // Connect notices are read as well: the transcript shows them the same way.
    const auto shown = [this](int id, const QString &senderId, const QString &ip, const QString &body, qint32,
                              int picture, const QString &alias) {
        textShown(id, senderId, ip, body, picture, alias);
    };
    connect(&talks, &TalkCore::messageForTalk, this, shown);
    connect(&talks, &TalkCore::noticeForTalk, this, shown);
    connect(&talks, &TalkCore::messageSending, this, [this](int, const QString &body) { sending(body); });
    connect(&talks, &TalkCore::messageSent, this, &FileExchange::sent);
}

QList<int> FileExchange::recordsShown(int talkId) const
{
    return talkId == m_lastTalk ? m_lastRecords : QList<int>();
}

bool FileExchange::isOwnFile(int record) const
{
    const std::optional<RLFile> file = m_records.at(record);
    return file && file->IsOwn && m_share->offers().Find(file->Path).has_value();
}

int FileExchange::Request(int record, const QString &folder, std::optional<ExistingChoice> choice,
                          const QString &ownerName)
{
    const std::optional<RLFile> file = m_records.at(record);
    if (!file || isOwnFile(record))
        return -1;
    const QString peer = ownerName.isEmpty() || ownerName == file->OwnerIP
                             ? file->OwnerIP
                             : QStringLiteral("%1 (%2)").arg(ownerName, file->OwnerIP);
    return m_share->Request(OfferedFile{record, file->Path, file->OwnerID, file->OwnerIP, peer}, folder,
                            choice);
}

void FileExchange::textShown(int talkId, const QString &senderId, const QString &ip, const QString &body,
                             int picture, const QString &alias)
{
    m_lastTalk = talkId;
    m_lastRecords.clear();
    const QList<RLFile> found = ScanFileReferences(body);
    if (found.isEmpty())
        return;
    const QString myId = m_identity ? m_identity().id : QString();
    for (RLFile record : found) {
        // A peer can name any ID: a reference is mine only when I offered its path.
        record.IsOwn = !myId.isEmpty() && record.OwnerID == myId &&
                       (m_share->offers().Find(record.Path).has_value() ||
                        (senderId == myId && m_sending.contains(record.Path)));
        m_lastRecords.append(m_records.append(record));
    }
    if (!myId.isEmpty() && senderId != myId)
        Q_EMIT filesReceived(talkId, senderId, m_lastRecords, ip, alias.isEmpty() ? ip : alias, picture);
}

QStringList FileExchange::ownPaths(const QString &body) const
{
    QStringList paths;
    const QString myId = m_identity ? m_identity().id : QString();
    for (const RLFile &reference : ScanFileReferences(body)) {
        if (!myId.isEmpty() && reference.OwnerID == myId && !reference.Path.isEmpty())
            paths.append(reference.Path);
    }
    return paths;
}

void FileExchange::sending(const QString &body)
{
    m_sending = ownPaths(body);
    // A receiver on another computer may connect the moment the text reaches it, before the send
    // has even returned here: a port that only listens once the offers are listed would refuse it.
    // The offers themselves are listed right after the send, before any request is handled.
    for (const QString &path : std::as_const(m_sending)) {
        if (QFileInfo::exists(path)) {
            m_share->ServeBeforeOffering();
            break;
        }
    }
}

void FileExchange::sent(int talkId, SendResult result)
{
    const QStringList paths = std::exchange(m_sending, {});
    if (result != SendResult::Sent || paths.isEmpty())
        return;
    m_share->Offer(paths);
    Q_EMIT filesOffered(talkId, paths);
}
