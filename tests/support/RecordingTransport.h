#pragma once

#include "net/PacketTransport.h"

#include <QList>
#include <utility>

// A transport without a network (its addresses are made up and never reach a socket): it keeps what is sent and delivers what the test hands it.
class RecordingTransport : public PacketTransport {
    Q_OBJECT
public:
    explicit RecordingTransport(const QString &localIp = QStringLiteral("127.9.8.7"), QObject *parent = nullptr);

    bool SendPacket(const Packet &packet) override;
    QString LocalIP() const override { return m_localIp; }
    bool SendTo(const QHostAddress &address, const QByteArray &datagram) override;
    QList<QHostAddress> Destinations() const override { return {QHostAddress(QStringLiteral("127.9.8.255"))}; }

    // As if the packet arrived from that address.
    void deliver(const Packet &packet, const QHostAddress &from = QHostAddress(QStringLiteral("127.0.0.5")),
                 quint16 port = 40000);
    void clear();

    QList<Packet> sent;
    QList<std::pair<QHostAddress, QByteArray>> sentTo;
    // While true, every send fails.
    bool failing = false;

Q_SIGNALS:
    // Every packet handed to SendPacket, as it was sent; a test may hand it on to another peer.
    void packetSent(const Packet &packet);

private:
    QString m_localIp;
};
