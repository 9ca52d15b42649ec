#pragma once

#include "protocol/PacketDigest.h"

#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>

// Every datagram is echoed to its source, and the echo is the sender's receipt, so a burst of a few
// hundred messages must be echoed in full; yet neither an echo service nor a forged source may turn
// the echo into a loop or an amplifier. Each source (address and port) has a bucket of Burst echoes,
// refilled at PerSecond; a datagram whose bytes equal the last one echoed to that source less than
// SameBytesGapMs ago is not echoed again, which ends a loop through an echo service at its second
// round (its rounds come back within milliseconds; retries of our peers are 250 ms apart and more).
// A loop through an echo service slower than that still runs out of tokens when its round trip is
// under 1/PerSecond; a slower one costs at most 1000 / SameBytesGapMs echoes a second, no more than
// the same source could get by sending. One datagram never gets more than one echo.
//
// Time is passed in, so that tests need no clock.
class EchoLimiter {
public:
    static constexpr int Burst = 400;
    static constexpr int PerSecond = 200;
    static constexpr qint64 SameBytesGapMs = 100;
    // Sources tracked at once. A source whose bucket is full again carries no state and may be forgotten;
    // while every place holds a busy source, new sources get no echo.
    static constexpr int MaxSources = 4096;
    // How often a full table is swept for forgettable sources.
    static constexpr qint64 SweepSpacingMs = 250;

    // True when an echo of these bytes to this source may go out now; counts it.
    bool allow(const QHostAddress &address, quint16 port, QByteArrayView bytes, qint64 nowMs);
    int sourceCount() const { return int(m_sources.size()); }

private:
    struct Source {
        // Thousandths of an echo, so that the refill needs no floating point.
        qint64 milliTokens = qint64(Burst) * 1000;
        qint64 refilledMs = 0;
        PacketDigest lastBytes;
        qint64 lastEchoMs = 0;
        bool echoed = false;
    };
    using Key = QPair<quint32, quint16>;

    static void refill(Source &source, qint64 nowMs);
    void sweep(qint64 nowMs);

    QHash<Key, Source> m_sources;
    qint64 m_sweptMs = -1;
};
