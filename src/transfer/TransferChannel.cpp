#include "transfer/TransferChannel.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
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
    char header[HeaderSize];
    if (!readExact(header, HeaderSize))
        return false;
    if (!ParseHeader(QByteArrayView(header, HeaderSize), type, length))
        return fail(Status::Protocol);
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
    const QDeadlineTimer deadline(m_frameMs);
    qint64 sent = 0;
    while (sent < data.size()) {
        if (m_cancel.load())
            return fail(Status::Cancelled);
        const ssize_t n = ::send(m_fd, data.data() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
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
