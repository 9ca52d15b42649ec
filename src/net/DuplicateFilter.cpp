#include "net/DuplicateFilter.h"

#include "protocol/RetryNotice.h"

void DuplicateFilter::expire(qint64 nowMs)
{
    const auto drop = [](std::deque<Sighting> &order, QHash<Key, qint64> &last) {
        const Sighting &oldest = order.front();
        const auto it = last.constFind(oldest.key);
        // A later sighting of the same key keeps it.
        if (it != last.cend() && *it == oldest.ms)
            last.erase(it);
        order.pop_front();
    };
    while (!m_order.empty() && (int(m_order.size()) > MaxRecords || nowMs - m_order.front().ms > WindowMs))
        drop(m_order, m_lastSeen);
    while (!m_noticeOrder.empty() &&
           (int(m_noticeOrder.size()) > MaxNotices || nowMs - m_noticeOrder.front().ms > NoticeLifeMs))
        drop(m_noticeOrder, m_notices);
}

DuplicateFilter::Verdict DuplicateFilter::take(const QHostAddress &sender, quint16 port, QByteArrayView bytes,
                                               qint64 nowMs)
{
    bool ipv4 = false;
    const quint32 ip = sender.toIPv4Address(&ipv4);
    if (const std::optional<PacketDigest> announced = ReadRetryNotice(bytes)) {
        if (ipv4) {
            const Key key{ip, port, *announced};
            m_notices.insert(key, nowMs);
            m_noticeOrder.push_back({key, nowMs});
            expire(nowMs);
        }
        return Verdict::Notice;
    }
    if (!ipv4)
        return Verdict::Deliver;
    // A clock that went back would keep records for ever: start again instead.
    if (!m_order.empty() && nowMs < m_order.back().ms) {
        m_lastSeen.clear();
        m_order.clear();
    }
    if (!m_noticeOrder.empty() && nowMs < m_noticeOrder.back().ms) {
        m_notices.clear();
        m_noticeOrder.clear();
    }
    expire(nowMs);
    const Key key{ip, port, PacketDigest::of(bytes)};
    const bool seen = m_lastSeen.contains(key);
    // One notice announces one copy.
    const bool announced = m_notices.remove(key) > 0;
    m_lastSeen.insert(key, nowMs);
    m_order.push_back({key, nowMs});
    expire(nowMs);
    return seen && announced ? Verdict::Drop : Verdict::Deliver;
}
