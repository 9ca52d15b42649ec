#include "transfer/TransferChannel.h"

#include "crypto/TransferKeys.h"

#include <QtEndian>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#ifdef Q_OS_LINUX
#include <sys/sendfile.h>
#endif

#include <algorithm>
#include <cerrno>

using namespace TransferWire;

namespace {

QDeadlineTimer earlier(const QDeadlineTimer &a, const QDeadlineTimer &b)
{
    return b.deadlineNSecs() < a.deadlineNSecs() ? b : a;
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

} // namespace

TransferChannel::TransferChannel(qintptr descriptor, const std::atomic<bool> &cancel,
                                 const TransferLimits &limits)
    : m_fd(int(descriptor))
    , m_cancel(cancel)
    , m_stallMs(limits.stallMs)
    , m_frameMs(limits.frameDeadlineMs)
{
    // Whole frames are written at once; a small one held back for an acknowledgement would
    // cost every short file the 40 ms of a delayed ACK.
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

TransferChannel::~TransferChannel() = default;

void TransferChannel::seal(std::unique_ptr<SecretStreamWriter> writer,
                           std::unique_ptr<SecretStreamReader> reader)
{
    m_writer = std::move(writer);
    m_reader = std::move(reader);
}

bool TransferChannel::peerFinished() const
{
    return m_reader && m_reader->finished();
}

bool TransferChannel::readRaw(char *data, qint64 size)
{
    if (!waitFor(POLLIN, QDeadlineTimer(m_stallMs)))
        return false;
    m_frame = QDeadlineTimer(m_frameMs);
    return readExact(data, size);
}

QString TransferChannel::statusText() const
{
    switch (m_status) {
    case Status::Ok:
        return {};
    case Status::Cancelled:
        return QStringLiteral("Cancelled");
    case Status::Closed:
        return QStringLiteral("The connection was closed by the other side");
    case Status::TimedOut:
        return QStringLiteral("The other side stopped answering or is too slow");
    case Status::Protocol:
        return QStringLiteral("The other side sent something this program does not understand");
    case Status::Forged:
        return QStringLiteral("The data did not come from the user's key or was changed on the way");
    }
    return {};
}

bool TransferChannel::fail(Status status)
{
    if (m_status == Status::Ok)
        m_status = status;
    return false;
}

bool TransferChannel::readExact(char *data, qint64 size)
{
    if (m_reader && !m_frameIn.isEmpty()) {
        if (size > m_frameIn.size() - m_frameAt)
            return fail(Status::Protocol);
        std::copy_n(m_frameIn.constData() + m_frameAt, size, data);
        m_frameAt += size;
        return true;
    }
    qint64 got = 0;
    while (got < size) {
        if (m_cancel.load())
            return fail(Status::Cancelled);
        const ssize_t n = ::recv(m_fd, data + got, size_t(size - got), 0);
        if (n > 0) {
            got += n;
            continue;
        }
        if (n == 0 || !wouldBlock())
            return fail(Status::Closed);
        if (!waitFor(POLLIN, m_frame))
            return false;
    }
    return true;
}

bool TransferChannel::readHeader(FrameType *type, quint32 *length, QDeadlineTimer endBy)
{
    if (!waitFor(POLLIN, earlier(QDeadlineTimer(m_stallMs), endBy)))
        return false;
    m_frame = earlier(QDeadlineTimer(m_frameMs), endBy);
    if (m_reader)
        return readChunk(type, length);
    char header[HeaderSize];
    if (!readExact(header, HeaderSize))
        return false;
    if (!ParseHeader(QByteArrayView(header, HeaderSize), type, length))
        return fail(Status::Protocol);
    return true;
}

// One chunk of the stream, opened into the frame it carries; the payload is read from it after.
bool TransferChannel::readChunk(FrameType *type, quint32 *length)
{
    m_frameIn.resize(0);
    m_frameAt = 0;
    char prefix[ChunkLengthSize];
    if (!readExact(prefix, ChunkLengthSize))
        return false;
    const quint32 size = qFromBigEndian<quint32>(prefix);
    if (size < quint32(HeaderSize + SecretStreamWriter::ChunkOverhead) ||
        size > HeaderSize + MaxControlPayload + SecretStreamWriter::ChunkOverhead)
        return fail(Status::Protocol);
    m_sealedIn.resize(size);
    if (!readExact(m_sealedIn.data(), size))
        return false;
    if (!m_reader->pull(m_sealedIn, &m_frameIn))
        return fail(Status::Forged);
    if (!ParseHeader(m_frameIn, type, length) || *length != quint32(m_frameIn.size() - HeaderSize)) {
        m_frameIn.resize(0);
        return fail(Status::Protocol);
    }
    m_frameAt = HeaderSize;
    return true;
}

void TransferChannel::awaitClose()
{
    const QDeadlineTimer deadline(std::min(m_stallMs, 1000));
    char sink[256];
    while (waitFor(POLLIN, deadline)) {
        const ssize_t n = ::recv(m_fd, sink, sizeof(sink), 0);
        if (n == 0 || (n < 0 && !wouldBlock()))
            return;
    }
}

bool TransferChannel::readPayload(quint32 length, QByteArray *payload)
{
    payload->resize(length);
    return readExact(payload->data(), length);
}

bool TransferChannel::readControl(std::initializer_list<FrameType> expected, FrameType *type,
                                  QByteArray *payload, QDeadlineTimer endBy)
{
    quint32 length = 0;
    if (!readHeader(type, &length, endBy))
        return false;
    if (std::find(expected.begin(), expected.end(), *type) == expected.end())
        return fail(Status::Protocol);
    return readPayload(length, payload);
}

bool TransferChannel::write(QByteArrayView data)
{
    if (!m_writer)
        return send(data, {});
    // A whole frame per chunk; the requester's Done ends its stream.
    const bool final = !data.isEmpty() && quint8(data.front()) == Done;
    if (!m_writer->push(data, &m_sealedOut, final))
        return fail(Status::Protocol);
    char prefix[ChunkLengthSize];
    qToBigEndian(quint32(m_sealedOut.size()), prefix);
    return send(QByteArrayView(prefix, ChunkLengthSize), m_sealedOut);
}

bool TransferChannel::send(QByteArrayView first, QByteArrayView second)
{
    const QDeadlineTimer deadline(m_frameMs);
    const qint64 total = first.size() + second.size();
    qint64 sent = 0;
    while (sent < total) {
        if (m_cancel.load())
            return fail(Status::Cancelled);
        iovec pieces[2];
        int count = 0;
        if (sent < first.size())
            pieces[count++] = {const_cast<char *>(first.data() + sent), size_t(first.size() - sent)};
        const qint64 intoSecond = std::max<qint64>(0, sent - first.size());
        if (intoSecond < second.size())
            pieces[count++] = {const_cast<char *>(second.data() + intoSecond),
                               size_t(second.size() - intoSecond)};
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = size_t(count);
        const ssize_t n = ::sendmsg(m_fd, &message, MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && !wouldBlock())
            return fail(Status::Closed);
        if (!waitFor(POLLOUT, deadline))
            return false;
    }
    return true;
}

bool TransferChannel::writeFromFile(int fileFd, qint64 offset, qint64 size)
{
#ifdef Q_OS_LINUX
    const QDeadlineTimer deadline(m_frameMs);
    off_t position = off_t(offset);
    const off_t end = off_t(offset + size);
    while (position < end) {
        if (m_cancel.load())
            return fail(Status::Cancelled);
        const ssize_t n = ::sendfile(m_fd, fileFd, &position, size_t(end - position));
        if (n > 0)
            continue;
        if (n == 0)
            return fail(Status::Closed); // the file shrank under us
        if (!wouldBlock())
            return fail(Status::Closed);
        if (!waitFor(POLLOUT, deadline))
            return false;
    }
    return true;
#else
    Q_UNUSED(fileFd);
    Q_UNUSED(offset);
    Q_UNUSED(size);
    return fail(Status::Closed);
#endif
}

bool TransferChannel::waitFor(short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        if (m_cancel.load())
            return fail(Status::Cancelled);
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return fail(Status::TimedOut);
        pollfd p{m_fd, events, 0};
        const int r = ::poll(&p, 1, left < 0 ? WaitSliceMs : int(std::min<qint64>(left, WaitSliceMs)));
        if (r < 0 && errno != EINTR)
            return fail(Status::Closed);
        if (r > 0)
            return (p.revents & (POLLERR | POLLNVAL)) ? fail(Status::Closed) : true;
    }
}
