#pragma once

#include "transfer/FileTransferWire.h"
#include "transfer/TransferLimits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>

#include <atomic>
#include <initializer_list>

// Blocking reads and writes on the descriptor of a connected socket owned by a transfer thread.
// The bytes go straight between the kernel and the caller's buffer: a socket object's own buffers
// would add a copy and an allocation per chunk, which at loopback speed cost more than the copy
// itself. Each wait is a short slice that looks at the cancel flag. The other side must keep up:
// the next frame has to begin within the stall time, and a frame, once begun, has to be through
// within the frame time; a trickle of bytes does not push either deadline back.
class TransferChannel {
public:
    enum class Status { Ok, Cancelled, Closed, TimedOut, Protocol };
    static constexpr int WaitSliceMs = 100;

    TransferChannel(qintptr descriptor, const std::atomic<bool> &cancel, const TransferLimits &limits);

    Status status() const { return m_status; }
    QString statusText() const;
    // Notes the first failure; always false, so that callers can return it.
    bool fail(Status status);

    // Within the deadline of the frame being read.
    bool readExact(char *data, qint64 size);
    // Starts the next frame: it must begin within the stall time and end within the frame time,
    // neither later than endBy.
    bool readHeader(TransferWire::FrameType *type, quint32 *length,
                    QDeadlineTimer endBy = QDeadlineTimer(QDeadlineTimer::Forever));
    bool readPayload(quint32 length, QByteArray *payload);
    // One control frame of one of the expected types.
    bool readControl(std::initializer_list<TransferWire::FrameType> expected, TransferWire::FrameType *type,
                     QByteArray *payload, QDeadlineTimer endBy = QDeadlineTimer(QDeadlineTimer::Forever));
    // Gives the other side a moment to close first; whatever it still sends is dropped.
    void awaitClose();

    // The other side has the frame time to take the bytes.
    bool write(QByteArrayView data);
    // Sends `size` bytes of the open file from `offset` without passing them through this
    // process, where the system allows it; false if the file ended before them.
    bool writeFromFile(int fileFd, qint64 offset, qint64 size);

    static constexpr bool CanWriteFromFile =
#ifdef Q_OS_LINUX
        true;
#else
        false;
#endif

private:
    bool waitFor(short events, const QDeadlineTimer &deadline);

    int m_fd;
    const std::atomic<bool> &m_cancel;
    int m_stallMs;
    int m_frameMs;
    QDeadlineTimer m_frame;
    Status m_status = Status::Ok;
};
