#pragma once

#include "net/EchoLimiter.h"
#include "net/NetInterfaces.h"
#include "net/PacketTransport.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QString>

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
    // How often the host of every online peer is asked for an echo; only tests shorten it.
    int probePeriodMs = 30000;
};

// The two UDP endpoints: IdUDPServer receives on the peer port of every interface and echoes each
// datagram to its source; IdUDPClient sends, to the broadcast address of the local /24 network and to
// the further addresses the user listed, and reads only the echoes that come back to it.
class UdpTransport : public PacketTransport {
    Q_OBJECT
public:
    explicit UdpTransport(const TransportConfig &config, QObject *parent = nullptr);
    ~UdpTransport() override;

    // Opens or closes both endpoints; false when any step failed (the endpoints stay as far as they got).
    bool SetTransportOpen(bool open);
    bool isOpen() const;

    // One datagram to the broadcast address and one to each further address; false for an empty or
    // oversized packet, or when the broadcast (or, without one, every further address) refused it.
    bool SendPacket(const Packet &packet) override;
    bool hasPendingInput() const override;
    // One datagram from the sending socket to that address alone, on the peer port. In loopback mode
    // only addresses of 127.0.0.0/8 are taken.
    bool SendTo(const QHostAddress &address, const QByteArray &datagram) override;

    // The local address chosen when the endpoints were opened or the choice last changed.
    QString LocalIP() const override;
    QString BroadcastAddress() const { return m_broadcastAddress; }
    quint16 SenderPort() const;
    const TransportConfig &config() const { return m_config; }

    // The interface the user chose (empty: automatic) and the further addresses; both take effect at once.
    void setNetworkChoice(const QString &interfaceName);
    QString networkChoice() const { return m_userInterface; }
    void setExtraAddresses(const QList<QHostAddress> &addresses);
    // Looks the interfaces up again and applies the choice.
    void RefreshAddresses();
    // How the local address was found (empty in loopback mode).
    const NetChoice &choice() const;
    // Every address a packet goes to, the broadcast address first; each once.
    QList<QHostAddress> Destinations() const override;

    // Datagrams read from and written to both sockets since the start.
    quint64 datagramsReceived() const { return m_received; }
    quint64 datagramsSent() const { return m_sent; }

private:
    void IdUDPServerUDPRead();
    void IdUDPClientUDPRead();
    void echo(const Packet &text, const QHostAddress &sender, quint16 port);
    bool allowed(const QHostAddress &address) const;
    bool write(const QByteArray &datagram, const QHostAddress &address);

    TransportConfig m_config;
    QUdpSocket *m_server;
    QUdpSocket *m_client;
    QString m_userInterface;
    QList<QHostAddress> m_extraAddresses;
    mutable NetChoice m_choice;
    mutable bool m_choiceKnown = false;
    QString m_broadcastAddress;
    QHostAddress m_broadcast; // parsed once: every send needs it
    EchoLimiter m_echoLimiter;
    QElapsedTimer m_clock;
    bool m_readPending = false;
    bool m_echoReadPending = false;
    quint64 m_received = 0;
    quint64 m_sent = 0;
};
