#include "net/EchoLimiter.h"

bool EchoLimiter::allow(const QHostAddress &address, quint16 port, qint64 nowMs)
{
    const qint64 second = nowMs / 1000;
    if (second != m_second) {
        m_second = second;
        m_counts.clear();
    }
    bool ipv4 = false;
    const quint32 ip = address.toIPv4Address(&ipv4);
    if (!ipv4)
        return false;
    const QPair<quint32, quint16> key(ip, port);
    auto it = m_counts.find(key);
    if (it == m_counts.end()) {
        if (m_counts.size() >= MaxSources)
            return false;
        it = m_counts.insert(key, 0);
    }
    if (*it >= EchoesPerSecond)
        return false;
    ++*it;
    return true;
}
