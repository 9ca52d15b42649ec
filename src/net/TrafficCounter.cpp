#include "net/TrafficCounter.h"

void TrafficCounter::sample(qint64 nowMs, quint64 receivedTotal, quint64 sentTotal)
{
    m_latest = {nowMs, receivedTotal, sentTotal};
    m_any = true;
    if (m_history.empty() || nowMs - m_history.back().ms >= SampleSpacingMs)
        m_history.push_back(m_latest);
    // Keep the newest sample that is a minute old or older, and everything after it.
    while (m_history.size() > 1 && nowMs - m_history[1].ms >= WindowMs)
        m_history.pop_front();
}

const TrafficCounter::Sample *TrafficCounter::base() const
{
    return m_history.empty() ? nullptr : &m_history.front();
}

quint64 TrafficCounter::receivedLastMinute() const
{
    const Sample *from = base();
    return m_any && from && m_latest.received >= from->received ? m_latest.received - from->received : 0;
}

quint64 TrafficCounter::sentLastMinute() const
{
    const Sample *from = base();
    return m_any && from && m_latest.sent >= from->sent ? m_latest.sent - from->sent : 0;
}
