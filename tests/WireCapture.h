#pragma once

#include "NetnsLab.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <sys/socket.h>
#include <unistd.h>

// Every frame that crosses the namespace it was opened in, kept for the test to search.
class WireCapture {
public:
    WireCapture(const QString &ns, int bufferBytes)
    {
        ScopedNetns inside(ns);
        if (!inside.ok())
            return;
        m_fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL));
        if (m_fd >= 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    }
    ~WireCapture()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    WireCapture(const WireCapture &) = delete;
    WireCapture &operator=(const WireCapture &) = delete;

    bool ok() const { return m_fd >= 0; }
    // Reads what waits; bounded by the frames the buffer can hold.
    void drain()
    {
        char buffer[65536];
        for (int i = 0; i < 100000; ++i) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            m_frames.append(QByteArray(buffer, int(n)));
            m_bytes += n;
        }
    }
    bool contains(const QByteArray &words) const { return count(words) > 0; }
    int count(const QByteArray &words) const
    {
        return int(std::count_if(m_frames.cbegin(), m_frames.cend(),
                                 [&](const QByteArray &frame) { return frame.contains(words); }));
    }
    qint64 bytes() const { return m_bytes; }

private:
    int m_fd = -1;
    QList<QByteArray> m_frames;
    qint64 m_bytes = 0;
};
