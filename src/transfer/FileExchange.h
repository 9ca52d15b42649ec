#pragma once

#include "transfer/FileRecords.h"
#include "transfer/FileShare.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class PacketDispatcher;
class PacketTransport;
class TalkCore;
enum class SendResult;

// The peer's side of file offers: the records of the references in what the talks show, the
// offers of what the user sends, the FILETO requests of other users and the transfers. Windows and
// the headless peer observe it by talk and record numbers and ask it to fetch.
class FileExchange : public QObject {
    Q_OBJECT
public:
    FileExchange(PacketTransport *transport, std::function<LocalIdentity()> identity, bool loopback,
                 quint16 port, QObject *parent = nullptr);
    ~FileExchange() override;

    // Reads what the talks show and send, and takes the FILETO packets. Attached when the peer is
    // made, before any window: the records of a text exist by the time a window shows it.
    void attach(TalkCore &talks, PacketDispatcher &dispatcher);

    FileShare &share() { return *m_share; }
    const FileRecordList &records() const { return m_records; }
    // The records made from the latest text shown in the talk, in the order of its references.
    QList<int> recordsShown(int talkId) const;
    // Mine by the record and offered in this run: only such a file may be opened or saved here.
    bool isOwnFile(int record) const;
    // Lists a fetch of another user's record into the folder (see FileShare::Request); the owner's
    // name is shown with its address. The transfer's id, or -1 when nothing was listed.
    int Request(int record, const QString &folder, std::optional<ExistingChoice> choice,
                const QString &ownerName = QString());

Q_SIGNALS:
    // Another user's text in the talk offered these records; name is the alias, or else the IP.
    void filesReceived(int talkId, const QString &senderId, const QList<int> &records, const QString &ip,
                       const QString &name, int picture);
    // A text of the user's went out in the talk with these references; they are served from now on.
    void filesOffered(int talkId, const QStringList &paths);

private:
    void textShown(int talkId, const QString &senderId, const QString &ip, const QString &body, int picture,
                   const QString &alias);
    void sending(const QString &body);
    void sent(int talkId, SendResult result);
    // The paths of the references in a text of the user's.
    QStringList ownPaths(const QString &body) const;

    std::function<LocalIdentity()> m_identity;
    FileShare *m_share;
    FileRecordList m_records;
    int m_lastTalk = -1;
    QList<int> m_lastRecords;
    // While a text of the user's goes out: a private one is shown before it is sent, and its
    // references are the user's although not offered yet.
    QStringList m_sending;
};
