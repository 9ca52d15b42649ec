#pragma once

#include "EchoLimiter.h"
#include "PacketTransport.h"

#include <QElapsedTimer>
#include <QString>

class QHostAddress;
class QUdpSocket;

inline constexpr quint16 PeerPort = 54812;
inline constexpr qsizetype MaxDatagramSize = 8192;
// Datagrams read in one turn of the event loop, and the time that may take; the rest wait for the
// next turn, so that a flood never starves timers, painting or the termination signals.
inline constexpr int ReadBatchDatagrams = 32;
inline constexpr int ReadBatchMs = 4;

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
    void echo(const Packet &text, const QHostAddress &sender, quint16 port);

    TransportConfig m_config;
    QUdpSocket *m_server;
    QUdpSocket *m_client;
    QString m_broadcastAddress;
    EchoLimiter m_echoLimiter;
    QElapsedTimer m_clock;
    bool m_readPending = false;
};
