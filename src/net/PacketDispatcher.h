#pragma once

#include "protocol/ProtocolUn.h"

#include <array>
#include <functional>

// Routes a received packet to the handler of its kind; kind 0 and kinds without a handler are ignored.
class PacketDispatcher {
public:
    using Handler = std::function<void(const Packet &)>;

    using Observer = std::function<void(quint8 kind)>;

    void setHandler(quint8 kind, Handler handler);
    // Called with the kind of every packet that has a handler, just before the handler runs.
    void setBeforeDispatch(Observer observer) { m_before = std::move(observer); }
    void DispatchPacket(const Packet &packet) const;

private:
    std::array<Handler, PacketKindCount> m_handlers;
    Observer m_before;
};
