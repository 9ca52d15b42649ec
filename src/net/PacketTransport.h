#pragma once

#include "ProtocolUn.h"

#include <QObject>

// Sends a packet to every peer and delivers the packets that arrive.
class PacketTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // False when the packet could not be handed to the network.
    virtual bool SendPacket(const Packet &packet) = 0;

Q_SIGNALS:
    void packetReceived(const Packet &packet);
};
