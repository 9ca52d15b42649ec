#pragma once

#include "protocol/ProtocolUn.h"

#include <QObject>
#include <QString>

// Sends a packet to every peer and delivers the packets that arrive.
class PacketTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // False when the packet could not be handed to the network.
    virtual bool SendPacket(const Packet &packet) = 0;
    // The local user's IPv4 address as the peers should see it.
    virtual QString LocalIP() const = 0;
    // True while received datagrams wait to be read; a quiet transport shows what arrived at once.
    virtual bool hasPendingInput() const { return false; }

Q_SIGNALS:
    void packetReceived(const Packet &packet);
};
