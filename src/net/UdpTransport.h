#pragma once

#include "PacketTransport.h"

#include <QString>

class QUdpSocket;

inline constexpr quint16 PeerPort = 54812;
inline constexpr qsizetype MaxDatagramSize = 8192;

struct TransportConfig {
    // Local address 127.0.0.1 and broadcast 127.255.255.255, so that copies on one machine hear each other.
    bool loopback = false;
    quint16 port = PeerPort;
    // File contents go over TCP on this port; every copy of a network must use the same.
    quint16 transferPort = PeerPort;
};

// The two UDP endpoints: IdUDPServer receives on the peer port of every interface and echoes each
// datagram to its source; IdUDPClient only sends, to the broadcast address of the local /24 network.
class UdpTransport : public PacketTransport {
    Q_OBJECT
public:
    explicit UdpTransport(const TransportConfig &config, QObject *parent = nullptr);
    ~UdpTransport() override;

    // Opens or closes both endpoints; false when any step failed (the endpoints stay as far as they got).
    bool SetTransportOpen(bool open);
    bool isOpen() const;

    // One datagram to the broadcast address; false for an empty or oversized packet or a refused send.
    bool SendPacket(const Packet &packet) override;

    // The local address, looked up afresh by every call.
    QString LocalIP() const override;
    QString BroadcastAddress() const { return m_broadcastAddress; }
    quint16 SenderPort() const;
    const TransportConfig &config() const { return m_config; }

private:
    void IdUDPServerUDPRead();

    TransportConfig m_config;
    QUdpSocket *m_server;
    QUdpSocket *m_client;
    QString m_broadcastAddress;
};
