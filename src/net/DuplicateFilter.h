#pragma once

#include "protocol/PacketDigest.h"

#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>

#include <deque>

// Keeps a retry of our peers from being shown twice. Every datagram received is remembered by its
// sender (address and port: the sending socket of one copy) and the digest of its bytes for WindowMs.
// A retry notice from a sender announces that its next datagram with that digest is a copy; that copy
// is dropped when the same bytes already came from the same sender within the window. Nothing else is
// ever dropped: two equal datagrams without a notice are two messages, whether they came by broadcast
// or to our address alone (a computer listed under the further addresses gets every packet by unicast).
// A lost notice costs a double, never a message.
//
// Time is passed in. Memory is bounded: at most MaxRecords sightings and MaxNotices notices; the
// oldest go first, so under a flood the window only shrinks.
class DuplicateFilter {
public:
    static constexpr qint64 WindowMs = 120 * 1000;
    // Two minutes of 540 datagrams a second, about 5 MB; 250 busy peers send a few dozen.
    static constexpr int MaxRecords = 65536;
    // A notice is followed by its copy at once; it is worth nothing after this.
    static constexpr qint64 NoticeLifeMs = 2000;
    static constexpr int MaxNotices = 1024;

    enum class Verdict {
        Deliver, // handle it as usual
        Drop,    // an announced copy of something already received: echo it, but handle nothing
        Notice,  // a retry notice: taken here, nothing to handle
    };

    Verdict take(const QHostAddress &sender, quint16 port, QByteArrayView bytes, qint64 nowMs);

    int recordCount() const { return int(m_order.size()); }
    int noticeCount() const { return int(m_notices.size()); }

private:
    struct Key {
        quint32 ip = 0;
        quint16 port = 0;
        PacketDigest digest;
        friend bool operator==(const Key &, const Key &) = default;
    };
    friend size_t qHash(const Key &key, size_t seed) noexcept
    {
        return qHashMulti(seed, key.ip, key.port, key.digest);
    }
    struct Sighting {
        Key key;
        qint64 ms = 0;
    };

    void expire(qint64 nowMs);

    // The last sighting of each key; m_order holds every sighting in arrival order.
    QHash<Key, qint64> m_lastSeen;
    std::deque<Sighting> m_order;
    QHash<Key, qint64> m_notices;
    std::deque<Sighting> m_noticeOrder;
};
