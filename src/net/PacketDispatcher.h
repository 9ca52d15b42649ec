#pragma once

#include "ProtocolUn.h"

#include <array>
#include <functional>

// Routes a received packet to the handler of its kind; kind 0 and kinds without a handler are ignored.
class PacketDispatcher {
public:
    using Handler = std::function<void(const Packet &)>;

    void setHandler(quint8 kind, Handler handler);
    void DispatchPacket(const Packet &packet) const;

private:
    std::array<Handler, PacketKindCount> m_handlers;
};
