#pragma once

#include "protocol/ProtocolUn.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// Sends a packet to every peer and delivers the packets that arrive. The presence probe also asks one
// host at a time for an echo; a transport that cannot do so sends nothing and hears no echo.
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
    // One datagram to that host alone, from the socket whose echoes come back as echoReceived.
    virtual bool SendTo(const QHostAddress &address, const QByteArray &datagram)
    {
        Q_UNUSED(address)
        Q_UNUSED(datagram)
        return false;
    }
    // Every address a packet goes to, the broadcast address first.
    virtual QList<QHostAddress> Destinations() const { return {}; }

    // Sees every datagram the receiving socket takes, after its echo and before it is handled; false
    // drops it. The port is that of the sending socket.
    using ReceiveFilter = std::function<bool(const QHostAddress &from, quint16 port, const QByteArray &datagram)>;
    void setReceiveFilter(ReceiveFilter filter) { m_receiveFilter = std::move(filter); }

Q_SIGNALS:
    void packetReceived(const Packet &packet);
    // A datagram that came back to the sending socket: an echo of something it sent.
    void echoReceived(const QHostAddress &from, const QByteArray &payload);
    // A NEW or UPDATEINFO with that ID came from that address.
    void presenceSource(const QString &id, const QHostAddress &from);
    // SendPacket handed these bytes to the network: what the receipts of the packet are echoes of.
    void packetBroadcast(const QByteArray &datagram);

protected:
    bool admit(const QHostAddress &from, quint16 port, const QByteArray &datagram) const
    {
        return !m_receiveFilter || m_receiveFilter(from, port, datagram);
    }

private:
    ReceiveFilter m_receiveFilter;
};
