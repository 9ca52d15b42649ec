#include "PacketQueue.h"

#include <QElapsedTimer>

PacketQueue::PacketQueue(Handler handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &PacketQueue::drain);
}

bool PacketQueue::enqueue(const Packet &packet)
{
    if (int(m_packets.size()) >= Capacity) {
        ++m_dropped;
        return false;
    }
    m_packets.push_back(packet);
    if (!m_timer.isActive())
        schedule(0);
    return true;
}

void PacketQueue::schedule(int delayMs)
{
    m_timer.start(delayMs);
}

void PacketQueue::drain()
{
    // A handler's dialog runs a nested event loop; packets that arrive meanwhile wait for it.
    if (m_draining || m_packets.empty())
        return;
    if (m_gate && !m_gate()) {
        schedule(BlockedRetryMs);
        return;
    }
    m_draining = true;
    QElapsedTimer slice;
    slice.start();
    for (int handled = 0; !m_packets.empty() && handled < SlicePackets && slice.elapsed() < SliceMs;
         ++handled) {
        if (m_gate && !m_gate())
            break;
        const Packet packet = std::move(m_packets.front());
        m_packets.pop_front();
        try {
            if (m_handler)
                m_handler(packet);
        } catch (...) {
        }
    }
    m_draining = false;
    if (!m_packets.empty())
        schedule(m_gate && !m_gate() ? BlockedRetryMs : 0);
    else
        Q_EMIT emptied();
}
