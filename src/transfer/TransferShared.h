#pragma once

#include "transfer/FileTransferEngine.h"

#include <QSet>
#include <QString>

#include <atomic>

// What a transfer thread and the engine share while the thread runs.
struct FileTransferEngine::Shared {
    std::atomic<bool> cancel{false};
    std::atomic<bool> running{false}; // past the request: the owner has listed what it sends
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{-1};
    std::atomic<qint64> resumed{0};
    QSet<QString> partials; // set by a receiving thread as it ends; read once it has been waited for
};

// How a transfer thread ended.
struct TransferOutcome {
    TransferState state = TransferState::Failed;
    QString error;
    QSet<QString> completed;
    QSet<QString> partials;
};
