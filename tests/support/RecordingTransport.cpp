#include "support/RecordingTransport.h"

#include "protocol/ProtocolClassUn.h"

RecordingTransport::RecordingTransport(const QString &localIp, QObject *parent)
    : PacketTransport(parent)
    , m_localIp(localIp)
{}

bool RecordingTransport::SendPacket(const Packet &packet)
{
    sent.append(packet);
    Q_EMIT packetSent(packet);
    if (!failing)
        Q_EMIT packetBroadcast(packet);
    return !failing;
}

bool RecordingTransport::SendTo(const QHostAddress &address, const QByteArray &datagram)
{
    sentTo.append({address, datagram});
    return !failing;
}

void RecordingTransport::deliver(const Packet &packet, const QHostAddress &from, quint16 port)
{
    if (!admit(from, port, packet))
        return;
    const quint8 kind = ClassifyPacket(packet);
    if (kind == pkNew || kind == pkUpdateInfo)
        Q_EMIT presenceSource(TDataNewMessage(packet).GetID(), from);
    Q_EMIT packetReceived(packet);
}

void RecordingTransport::clear()
{
    sent.clear();
    sentTo.clear();
}
