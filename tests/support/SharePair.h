#pragma once

#include "support/RecordingTransport.h"
#include "transfer/FileShare.h"
#include "transfer/FileTransferEngine.h"
#include "transfer/TransferLimits.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// An owner and a requester on loopback, each with its file share, the requester's FILETO handed
// straight to the owner.
struct SharePair {
    SharePair(const QString &ownerId, const QString &askerId, quint16 ownerPort,
              const TransferLimits &limits);

    // The requester, fetching from that port.
    void addAsker(quint16 port);
    int request(const QString &path, const QString &saveDir, std::optional<ExistingChoice> choice = {}) const;
    TransferInfo info(int id) const;
    bool ended(int id) const;

    static inline const QString Loopback = QStringLiteral("127.0.0.1");
    const QString ownerId;
    const QString askerId;
    TransferLimits limits;
    RecordingTransport ownerTransport{Loopback};
    RecordingTransport askerTransport{Loopback};
    std::unique_ptr<FileShare> owner;
    std::unique_ptr<FileShare> asker;
};
