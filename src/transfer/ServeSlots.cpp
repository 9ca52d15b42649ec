#include "transfer/ServeSlots.h"

#include "transfer/TransferLimits.h"

#include <QMutexLocker>

QString ServeSlots::key(const QHostAddress &peer)
{
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

ServeSlots::Admission ServeSlots::Enter(const QHostAddress &peer, const TransferLimits &limits)
{
    QMutexLocker lock(&m_mutex);
    const QString address = key(peer);
    if (m_perAddress.value(address) >= limits.maxConnectionsPerAddress)
        return Admission::AddressFull;
    if (m_connections >= limits.maxConnections)
        return Admission::Full;
    ++m_perAddress[address];
    ++m_connections;
    return Admission::Admitted;
}

bool ServeSlots::StartServing(int maxServing)
{
    QMutexLocker lock(&m_mutex);
    if (m_serving >= maxServing)
        return false;
    ++m_serving;
    return true;
}

void ServeSlots::StopServing()
{
    QMutexLocker lock(&m_mutex);
    if (m_serving > 0)
        --m_serving;
}

void ServeSlots::Leave(const QHostAddress &peer)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_perAddress.find(key(peer));
    if (it == m_perAddress.end())
        return;
    if (--*it <= 0)
        m_perAddress.erase(it);
    --m_connections;
}

int ServeSlots::connections() const
{
    QMutexLocker lock(&m_mutex);
    return m_connections;
}

int ServeSlots::serving() const
{
    QMutexLocker lock(&m_mutex);
    return m_serving;
}

int ServeSlots::connectionsFrom(const QHostAddress &peer) const
{
    QMutexLocker lock(&m_mutex);
    return m_perAddress.value(key(peer));
}
