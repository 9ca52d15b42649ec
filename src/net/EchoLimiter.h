#pragma once

#include <QHash>
#include <QHostAddress>

// Every datagram is echoed to its source, but never more than a few times a second to one source
// address and port: an echo service, or a forged source, cannot turn the echo into a loop or an
// amplifier. Time is passed in, so that tests need no clock.
class EchoLimiter {
public:
    static constexpr int EchoesPerSecond = 20;
    // Distinct sources tracked in one second; echoes to further new sources wait for the next second.
    static constexpr int MaxSources = 4096;

    // True when an echo to this source may go out now; counts it.
    bool allow(const QHostAddress &address, quint16 port, qint64 nowMs);

private:
    qint64 m_second = -1;
    QHash<QPair<quint32, quint16>, int> m_counts;
};
