#include "net/PacketQueue.h"

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
    if (size() >= Capacity) {
        ++m_dropped;
        return false;
    }
    if (m_urgent && m_urgent(packet))
        m_urgentPackets.push_back(packet);
    else
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
    if (m_draining || size() == 0)
        return;
    if (m_gate && !m_gate()) {
        schedule(BlockedRetryMs);
        return;
    }
    m_draining = true;
    Q_EMIT sliceStarted();
    QElapsedTimer slice;
    slice.start();
    for (int handled = 0; size() > 0 && handled < SlicePackets && slice.elapsed() < m_sliceMs; ++handled) {
        if (m_gate && !m_gate())
            break;
        std::deque<Packet> &lane = m_urgentPackets.empty() ? m_packets : m_urgentPackets;
        const Packet packet = std::move(lane.front());
        lane.pop_front();
        try {
            if (m_handler)
                m_handler(packet);
        } catch (...) {
        }
    }
    m_draining = false;
    Q_EMIT sliceEnded();
    if (size() > 0)
        schedule(m_gate && !m_gate() ? BlockedRetryMs : 0);
    else
        Q_EMIT emptied();
}
