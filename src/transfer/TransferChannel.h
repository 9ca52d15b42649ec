#pragma once

#include "transfer/FileTransferWire.h"
#include "transfer/TransferLimits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>

#include <atomic>
#include <initializer_list>
#include <memory>

class SecretStreamReader;
class SecretStreamWriter;

// Blocking reads and writes on the descriptor of a connected socket owned by a transfer thread.
// The bytes go straight between the kernel and the caller's buffer: a socket object's own buffers
// would add a copy and an allocation per chunk, which at loopback speed cost more than the copy
// itself. Each wait is a short slice that looks at the cancel flag. The other side must keep up:
// the next frame has to begin within the stall time, and a frame, once begun, has to be through
// within the frame time; a trickle of bytes does not push either deadline back.
//
// Between users with keys the channel is sealed after the greeting: each frame, header and payload,
// travels as one chunk of an authenticated stream (a 4-byte big-endian length, then the chunk), and
// the requester's Done carries the stream's final tag.
class TransferChannel {
public:
    enum class Status { Ok, Cancelled, Closed, TimedOut, Protocol, Forged };
    static constexpr int WaitSliceMs = 100;
    static constexpr int ChunkLengthSize = 4;

    TransferChannel(qintptr descriptor, const std::atomic<bool> &cancel, const TransferLimits &limits);
    ~TransferChannel();
    TransferChannel(const TransferChannel &) = delete;
    TransferChannel &operator=(const TransferChannel &) = delete;

    // Every frame from now on goes through these streams.
    void seal(std::unique_ptr<SecretStreamWriter> writer, std::unique_ptr<SecretStreamReader> reader);
    bool isSealed() const { return m_reader != nullptr; }
    // The other side's stream ended with its final tag.
    bool peerFinished() const;
    // Bytes outside any frame (a stream header); they must begin within the stall time.
    bool readRaw(char *data, qint64 size);

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
    // Both pieces in one go, as far as the socket takes them.
    bool send(QByteArrayView first, QByteArrayView second);
    bool readChunk(TransferWire::FrameType *type, quint32 *length);

    int m_fd;
    const std::atomic<bool> &m_cancel;
    int m_stallMs;
    int m_frameMs;
    QDeadlineTimer m_frame;
    Status m_status = Status::Ok;
    std::unique_ptr<SecretStreamWriter> m_writer;
    std::unique_ptr<SecretStreamReader> m_reader;
    // Reused from frame to frame: the chunk as it came and the frame it opened to.
    QByteArray m_sealedIn;
    QByteArray m_sealedOut;
    QByteArray m_frameIn;
    qsizetype m_frameAt = 0;
};
