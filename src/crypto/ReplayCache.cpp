#include "crypto/ReplayCache.h"

#include <limits>

PacketCheck CheckPacketTime(qint64 timeMs, qint64 nowMs)
{
    // The distance in unsigned arithmetic, which cannot overflow for any time a peer makes up.
    if (timeMs < nowMs && quint64(nowMs) - quint64(timeMs) > quint64(MaxPacketAgeMs))
        return PacketCheck::Stale;
    if (timeMs > nowMs && quint64(timeMs) - quint64(nowMs) > quint64(MaxPacketAheadMs))
        return PacketCheck::Ahead;
    return PacketCheck::Ok;
}

ReplayCache::ReplayCache(qsizetype capacity)
    : m_capacity(qMax<qsizetype>(1, capacity))
    , m_floorMs(std::numeric_limits<qint64>::min())
{}

bool ReplayCache::seen(QByteArrayView id) const
{
    return m_times.contains(id.toByteArray());
}

void ReplayCache::prune(qint64 nowMs)
{
    while (!m_byTime.empty() && CheckPacketTime(m_byTime.begin()->first, nowMs) == PacketCheck::Stale) {
        m_times.remove(m_byTime.begin()->second);
        m_byTime.erase(m_byTime.begin());
    }
}

PacketCheck ReplayCache::admit(QByteArrayView id, qint64 timeMs, qint64 nowMs)
{
    const PacketCheck time = CheckPacketTime(timeMs, nowMs);
    if (time != PacketCheck::Ok)
        return time;
    prune(nowMs);
    const QByteArray key = id.toByteArray();
    if (timeMs <= m_floorMs || m_times.contains(key))
        return PacketCheck::Replayed;
    if (m_times.size() >= m_capacity) {
        // Every ID taken after the floor is still here; one older than all of them cannot be told
        // from a replay.
        const auto oldest = m_byTime.begin();
        if (timeMs <= oldest->first)
            return PacketCheck::Replayed;
        m_floorMs = oldest->first;
        m_times.remove(oldest->second);
        m_byTime.erase(oldest);
    }
    m_times.insert(key, timeMs);
    m_byTime.emplace(timeMs, key);
    return PacketCheck::Ok;
}
