#pragma once

// Raw UDP peers on loopback that run on threads of their own, for tests and benchmarks that flood a
// copy of the program: a hearer that drains the peer port as fast as packets come (so that a flood
// never makes it miss the one packet a check waits for) and a flooder that sends at a fixed rate.

#include "protocol/ProtocolClassUn.h"
#include "protocol/ProtocolUn.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

namespace RawUdp {

using Clock = std::chrono::steady_clock;

inline constexpr quint16 PeerPort = 54812;

inline sockaddr_in loopbackAddress(const char *ip, quint16 port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, ip, &address.sin_addr);
    return address;
}

// One packet heard: its kind, the ID field of presence packets, and when it came.
struct Heard {
    quint8 kind = 0;
    QString id;
    Clock::time_point at;
};

// Hears everything sent to the peer port on loopback (broadcasts included) and keeps the presence
// packets (NEW, DISCONNECT, UPDATEINFO) with their IDs.
class Hearer {
public:
    Hearer()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        const int buffer = 8 << 20;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        timeval timeout = {0, 50000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        const sockaddr_in any = loopbackAddress("0.0.0.0", PeerPort);
        m_ready = ::bind(m_fd, reinterpret_cast<const sockaddr *>(&any), sizeof any) == 0;
        if (m_ready)
            m_thread = std::thread([this] { run(); });
    }
    ~Hearer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }
    Hearer(const Hearer &) = delete;
    Hearer &operator=(const Hearer &) = delete;

    bool isReady() const { return m_ready; }
    qint64 total() const { return m_total; }

    std::vector<Heard> heard() const
    {
        const std::lock_guard<std::mutex> guard(m_mutex);
        return m_heard;
    }
    void clear()
    {
        const std::lock_guard<std::mutex> guard(m_mutex);
        m_heard.clear();
    }
    // Presence packets of one kind, from one ID (any ID when empty), heard at or after `since`.
    int count(quint8 kind, const QString &id = QString(), Clock::time_point since = {}) const
    {
        const std::lock_guard<std::mutex> guard(m_mutex);
        int n = 0;
        for (const Heard &h : m_heard)
            n += h.kind == kind && (id.isEmpty() || h.id == id) && h.at >= since;
        return n;
    }
    QList<QString> ids(quint8 kind) const
    {
        const std::lock_guard<std::mutex> guard(m_mutex);
        QList<QString> result;
        for (const Heard &h : m_heard) {
            if (h.kind == kind)
                result.append(h.id);
        }
        return result;
    }
    // The first matching packet heard at or after `since`, if any.
    std::optional<Heard> first(quint8 kind, const QString &id, Clock::time_point since) const
    {
        const std::lock_guard<std::mutex> guard(m_mutex);
        for (const Heard &h : m_heard) {
            if (h.kind == kind && h.id == id && h.at >= since)
                return h;
        }
        return std::nullopt;
    }

private:
    void run()
    {
        QByteArray buffer(65536, Qt::Uninitialized);
        while (!m_stop) {
            const ssize_t size = ::recv(m_fd, buffer.data(), size_t(buffer.size()), 0);
            if (size < 0)
                continue;
            ++m_total;
            const QByteArray packet(buffer.constData(), size);
            const quint8 kind = ClassifyPacket(packet);
            if (kind != pkNew && kind != pkDisconnect && kind != pkUpdateInfo)
                continue;
            Heard h{kind, TDataNewMessage(packet).GetID(), Clock::now()};
            const std::lock_guard<std::mutex> guard(m_mutex);
            m_heard.push_back(std::move(h));
        }
    }

    int m_fd = -1;
    bool m_ready = false;
    std::atomic<bool> m_stop = false;
    std::atomic<qint64> m_total = 0;
    mutable std::mutex m_mutex;
    std::vector<Heard> m_heard;
    std::thread m_thread;
};

// Sends packets from its own port to the peer port at about `perSecond`, taking each from `next`,
// until stopped. Runs on its own thread; `next` must not touch Qt objects of other threads.
class Flooder {
public:
    using Next = std::function<QByteArray(std::mt19937 &)>;

    Flooder(const char *destination, int perSecond, Next next)
        : m_destination(loopbackAddress(destination, PeerPort))
        , m_perSecond(perSecond)
        , m_next(std::move(next))
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        const int buffer = 4 << 20;
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        const sockaddr_in local = loopbackAddress("127.0.0.1", 0);
        ::bind(m_fd, reinterpret_cast<const sockaddr *>(&local), sizeof local);
    }
    ~Flooder()
    {
        stop();
        ::close(m_fd);
    }
    Flooder(const Flooder &) = delete;
    Flooder &operator=(const Flooder &) = delete;

    void start()
    {
        m_stop = false;
        m_thread = std::thread([this] { run(); });
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    qint64 sent() const { return m_sent; }

private:
    void run()
    {
        std::mt19937 random(20261209);
        // Bursts every 5 ms keep the rate without a system call per sleep per datagram.
        constexpr auto Step = std::chrono::milliseconds(5);
        const int perStep = std::max(1, m_perSecond / 200);
        auto wake = Clock::now();
        while (!m_stop) {
            for (int i = 0; i < perStep; ++i) {
                const QByteArray packet = m_next(random);
                if (::sendto(m_fd, packet.constData(), size_t(packet.size()), 0,
                             reinterpret_cast<const sockaddr *>(&m_destination), sizeof m_destination) >= 0)
                    ++m_sent;
            }
            wake += Step;
            std::this_thread::sleep_until(wake);
        }
    }

    int m_fd = -1;
    sockaddr_in m_destination;
    int m_perSecond;
    Next m_next;
    std::atomic<bool> m_stop = false;
    std::atomic<qint64> m_sent = 0;
    std::thread m_thread;
};

// A storm's mixture: malformed bytes, truncated and oversized packets, and valid packets that ask
// nothing back (messages to everybody, to nobody known, and to groups that do not list the copy).
inline QByteArray StormPacket(std::mt19937 &random)
{
    static const QByteArray valid[] = {
        "MESSAGE!^:^$<ALIAS>storm</ALIAS><IP>127.0.0.9</IP><ID>{STORM-0000}</ID><MESSAGESTR>rain and "
        "wind</MESSAGESTR>",
        "MESSAGETOUSER!^:^$<ALIAS>storm</ALIAS><ID>{STORM-0001}</ID><FROMUSERID>{NOBODY}</FROMUSERID>"
        "<MESSAGESTR>hi</MESSAGESTR>",
        "MESSAGETOGROUP!^:^$<ID>{STORM-0002}</ID><GROUPID>{G}</GROUPID><FROMUSERID><USERIDSEPARATOR>{X}"
        "<USERIDSEPARATOR></FROMUSERID><MESSAGESTR>x</MESSAGESTR>",
        "DISCONNECT!^:^$<ALIAS>ghost</ALIAS><ID>{STORM-GHOST}</ID>",
    };
    const int pick = int(random() % 10);
    if (pick < 3) {
        QByteArray junk(int(1 + random() % 600), Qt::Uninitialized);
        for (char &c : junk)
            c = char(random());
        return junk;
    }
    if (pick < 5) {
        const QByteArray &base = valid[random() % std::size(valid)];
        return base.left(int(random() % base.size()));
    }
    if (pick == 5)
        return QByteArray(int(8193 + random() % 2000), 'Z');
    return valid[random() % std::size(valid)];
}

} // namespace RawUdp
