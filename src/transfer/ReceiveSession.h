#pragma once

#include "transfer/FileTransferEngine.h"
#include "transfer/FileTransferWire.h"
#include "transfer/FreeSpace.h"
#include "transfer/TransferLimits.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

class BackgroundHash;
class IdentityKeys;
class QFile;
class QHostAddress;
class QTcpSocket;
class TransferChannel;
struct ManifestEntry;
struct TransferManifest;
struct TransferOutcome;

// The requester's side of one fetch, run in its own thread: connects to the owner, asks for what
// was offered, and writes each file into a partial file of its own that is renamed once the
// check of the whole content matches (SHA-256; XXH3-128 inside the stream between users with keys).
// Resumes from the partial files an earlier run made.
class ReceiveSession {
public:
    ReceiveSession(const ReceiveRequest &request, std::shared_ptr<FileTransferEngine::Shared> shared,
                   QSet<QString> completed, QSet<QString> partials, const TransferLimits &limits,
                   FreeSpaceSource freeSpace, std::shared_ptr<const IdentityKeys> identity = {});

    TransferOutcome run();

    // Between two tries of a connection the owner refused.
    static constexpr int RefusedRetryGapMs = 100;

private:
    enum class FileResult { Ok, Skipped, Failed, ChannelFailed };

    // Connected, or how the fetch ended.
    std::optional<TransferOutcome> connectTo(const QHostAddress &owner, QTcpSocket &socket);
    QString partialPath(const QString &target, const QString &relative) const;
    // Only a partial file this fetch made itself is ever resumed.
    qint64 resumableSize(const QString &part) const;
    // The free space of the folder is checked, when known, against what is still to be written.
    bool roomFor(qint64 bytes, qint64 reserve) const;
    QString noRoomText(qint64 needed) const;
    void removePartials();
    void discard(QFile &file);

    TransferOutcome receiveAll(TransferChannel &channel, const TransferManifest &manifest);
    // The local target of each entry, all bytes and the bytes still to be written; the error when a
    // path the owner sent cannot be taken.
    QString planTargets(const TransferManifest &manifest, QStringList *targets, qint64 *total,
                        qint64 *needed) const;
    TransferOutcome receiveEntries(TransferChannel &channel, const TransferManifest &manifest,
                                   const QStringList &targets);
    FileResult receiveFile(TransferChannel &channel, qsizetype index, const ManifestEntry &entry,
                           const QString &target, QByteArray &buffer, QString *error);
    // Opens the partial file of the target: a new one, or the one this fetch made before, whose
    // size becomes the offset to resume from.
    bool openPart(const ManifestEntry &entry, const QString &target, QFile &file, qint64 *offset,
                  QString *error);
    FileResult receiveFrames(TransferChannel &channel, qsizetype index, const ManifestEntry &entry,
                             const QString &target, QFile &file, BackgroundHash &hash, qint64 received,
                             QString *error);
    FileResult receiveData(TransferChannel &channel, const ManifestEntry &entry, const QString &target,
                           QFile &file, BackgroundHash &hash, quint32 length, qint64 *received,
                           QString *error);
    FileResult endOfFile(TransferChannel &channel, qsizetype index, const ManifestEntry &entry,
                         const QString &target, QFile &file, BackgroundHash &hash,
                         TransferWire::FrameType type, quint32 length, qint64 received, QString *error);
    // Everything written stays below the chosen folder, whose own path is the user's choice.
    bool makeFolder(const QString &folder);

    TransferOutcome channelEnd(const TransferChannel &channel);
    TransferOutcome end(TransferState state, const QString &error);

    ReceiveRequest m_request;
    std::shared_ptr<FileTransferEngine::Shared> m_shared;
    QSet<QString> m_completed;
    QSet<QString> m_partials;
    const TransferLimits m_limits;
    const FreeSpaceSource m_freeSpace;
    const std::shared_ptr<const IdentityKeys> m_identity;
    qint64 m_left = 0; // bytes still to be written by this run
};
