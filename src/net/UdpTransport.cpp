#include "UdpTransport.h"

#include "IPUn.h"

#include <QTimer>
#include <QUdpSocket>
#include <QVariant>

namespace {
constexpr int KernelReceiveBuffer = 1 << 20;
}

UdpTransport::UdpTransport(const TransportConfig &config, QObject *parent)
    : PacketTransport(parent)
    , m_config(config)
    , m_server(new QUdpSocket(this))
    , m_client(new QUdpSocket(this))
{
    m_server->setObjectName(QStringLiteral("IdUDPServer"));
    m_client->setObjectName(QStringLiteral("IdUDPClient"));
    connect(m_server, &QUdpSocket::readyRead, this, &UdpTransport::IdUDPServerUDPRead);
}

UdpTransport::~UdpTransport() = default;

QString UdpTransport::LocalIP() const
{
    return m_config.loopback ? QStringLiteral("127.0.0.1") : GetLocalIP();
}

bool UdpTransport::isOpen() const
{
    return m_server->state() == QAbstractSocket::BoundState;
}

quint16 UdpTransport::SenderPort() const
{
    return m_client->localPort();
}

bool UdpTransport::SetTransportOpen(bool open)
{
    m_broadcastAddress =
        m_config.loopback ? QStringLiteral("127.255.255.255") : GetBroadcastAddress(LocalIP());
    bool ok = true;
    if (open) {
        // The sending socket gets its own port from the system; it must never be the receiving one.
        if (m_client->state() != QAbstractSocket::BoundState)
            ok = m_client->bind(QHostAddress::AnyIPv4, 0) && ok;
        if (m_server->state() != QAbstractSocket::BoundState) {
            ok = m_server->bind(QHostAddress::AnyIPv4, m_config.port,
                                QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint) &&
                 ok;
            if (m_server->state() == QAbstractSocket::BoundState)
                m_server->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                          QVariant(KernelReceiveBuffer));
        }
    } else {
        m_client->close();
        m_server->close();
    }
    return ok;
}

bool UdpTransport::SendPacket(const Packet &packet)
{
    if (packet.isEmpty() || packet.size() > MaxDatagramSize || m_broadcastAddress.isEmpty())
        return false;
    if (m_client->state() != QAbstractSocket::BoundState)
        return false;
    const QHostAddress destination(m_broadcastAddress);
    if (destination.isNull())
        return false;
    return m_client->writeDatagram(packet, destination, m_config.port) == packet.size();
}

void UdpTransport::IdUDPServerUDPRead()
{
    m_readPending = false;
    QElapsedTimer batch;
    batch.start();
    // One byte more than the largest datagram we take: a read that fills it was too large.
    QByteArray buffer(MaxDatagramSize + 1, Qt::Uninitialized);
    for (int read = 0;; ++read) {
        if (!isOpen())
            return;
        if (read >= ReadBatchDatagrams || batch.elapsed() >= ReadBatchMs) {
            // The rest waits for the next turn of the event loop.
            if (!m_readPending && m_server->hasPendingDatagrams()) {
                m_readPending = true;
                QTimer::singleShot(0, this, &UdpTransport::IdUDPServerUDPRead);
            }
            return;
        }
        // Read until the socket says there is nothing: only a read re-arms the socket's notifier, and
        // a wake-up without a datagram (an ICMP error, say) must not leave it unarmed.
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 size = m_server->readDatagram(buffer.data(), buffer.size(), &sender, &senderPort);
        if (size < 0)
            return;
        if (size > MaxDatagramSize)
            continue; // too large for the receive buffer: dropped unseen
        try {
            const Packet text(buffer.constData(), size);
            echo(text, sender, senderPort);
            Q_EMIT packetReceived(text);
        } catch (...) {
        }
    }
}

void UdpTransport::echo(const Packet &text, const QHostAddress &sender, quint16 port)
{
    // A datagram from the peer port itself comes from another receiving socket: echoing it would
    // start an endless exchange of echoes between the two.
    if (port == m_config.port || port == 0)
        return;
    if (!m_clock.isValid())
        m_clock.start();
    if (m_echoLimiter.allow(sender, port, m_clock.elapsed()))
        m_server->writeDatagram(text, sender, port);
}
