#include "net/PacketDispatcher.h"

void PacketDispatcher::setHandler(quint8 kind, Handler handler)
{
    if (kind > pkUnknown && kind < PacketKindCount)
        m_handlers[kind] = std::move(handler);
}

void PacketDispatcher::DispatchPacket(const Packet &packet) const
{
    const quint8 kind = ClassifyPacket(packet);
    if (kind == pkUnknown || !m_handlers[kind])
        return;
    // A handler's failure costs only its own datagram.
    try {
        if (m_before)
            m_before(kind);
        m_handlers[kind](packet);
    } catch (...) {
    }
}
