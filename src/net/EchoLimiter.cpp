#include "net/EchoLimiter.h"

#include <algorithm>

namespace {
constexpr qint64 FullMilliTokens = qint64(EchoLimiter::Burst) * 1000;
} // namespace

void EchoLimiter::refill(Source &source, qint64 nowMs)
{
    // A clock that went back refills nothing and is taken as the new start.
    const qint64 elapsed = std::max<qint64>(0, nowMs - source.refilledMs);
    source.milliTokens = std::min(FullMilliTokens, source.milliTokens + elapsed * PerSecond);
    source.refilledMs = nowMs;
}

void EchoLimiter::sweep(qint64 nowMs)
{
    if (m_sweptMs >= 0 && nowMs - m_sweptMs < SweepSpacingMs && nowMs >= m_sweptMs)
        return;
    m_sweptMs = nowMs;
    for (auto it = m_sources.begin(); it != m_sources.end();) {
        refill(*it, nowMs);
        const bool idle = it->milliTokens >= FullMilliTokens && nowMs - it->lastEchoMs >= SameBytesGapMs;
        it = idle ? m_sources.erase(it) : std::next(it);
    }
}

bool EchoLimiter::allow(const QHostAddress &address, quint16 port, QByteArrayView bytes, qint64 nowMs)
{
    bool ipv4 = false;
    const quint32 ip = address.toIPv4Address(&ipv4);
    if (!ipv4)
        return false;
    const Key key(ip, port);
    auto it = m_sources.find(key);
    if (it == m_sources.end()) {
        if (m_sources.size() >= MaxSources)
            sweep(nowMs);
        if (m_sources.size() >= MaxSources)
            return false;
        Source fresh;
        fresh.refilledMs = nowMs;
        it = m_sources.insert(key, fresh);
    }
    Source &source = *it;
    refill(source, nowMs);
    const PacketDigest digest = PacketDigest::of(bytes);
    if (source.echoed && source.lastBytes == digest && nowMs - source.lastEchoMs < SameBytesGapMs &&
        nowMs >= source.lastEchoMs)
        return false;
    if (source.milliTokens < 1000)
        return false;
    source.milliTokens -= 1000;
    source.lastBytes = digest;
    source.lastEchoMs = nowMs;
    source.echoed = true;
    return true;
}
