#include "net/UdpTransport.h"

#include "net/IPUn.h"
#include "protocol/ProtocolClassUn.h"

#include <QNetworkProxy>
#include <QTimer>
#include <QUdpSocket>
#include <QVariant>

namespace {
constexpr int KernelReceiveBuffer = 1 << 20;
constexpr char LoopbackIP[] = "127.0.0.1";
constexpr char LoopbackBroadcast[] = "127.255.255.255";
} // namespace

UdpTransport::UdpTransport(const TransportConfig &config, QObject *parent)
    : PacketTransport(parent)
    , m_config(config)
    , m_server(new QUdpSocket(this))
    , m_client(new QUdpSocket(this))
{
    m_server->setObjectName(QStringLiteral("IdUDPServer"));
    m_client->setObjectName(QStringLiteral("IdUDPClient"));
    // Peers are on this network: a proxy of the system's settings has no part in it, and asking
    // for one costs a lookup on every bind.
    m_server->setProxy(QNetworkProxy::NoProxy);
    m_client->setProxy(QNetworkProxy::NoProxy);
    connect(m_server, &QUdpSocket::readyRead, this, &UdpTransport::IdUDPServerUDPRead);
    connect(m_client, &QUdpSocket::readyRead, this, &UdpTransport::IdUDPClientUDPRead);
}

UdpTransport::~UdpTransport() = default;

QString UdpTransport::LocalIP() const
{
    return m_config.loopback ? QString::fromLatin1(LoopbackIP) : choice().ip;
}

const NetChoice &UdpTransport::choice() const
{
    if (!m_choiceKnown && !m_config.loopback) {
        m_choice = ChooseLocalNetwork(m_userInterface);
        m_choiceKnown = true;
    }
    return m_choice;
}

void UdpTransport::RefreshAddresses()
{
    m_choiceKnown = false;
    m_broadcastAddress = m_config.loopback ? QString::fromLatin1(LoopbackBroadcast) : choice().broadcast;
    m_broadcast = QHostAddress(m_broadcastAddress);
}

void UdpTransport::setNetworkChoice(const QString &interfaceName)
{
    m_userInterface = interfaceName;
    RefreshAddresses();
}

void UdpTransport::setExtraAddresses(const QList<QHostAddress> &addresses)
{
    m_extraAddresses = addresses;
}

bool UdpTransport::allowed(const QHostAddress &address) const
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    // --loopback keeps every datagram on this machine, whatever the settings list.
    return !m_config.loopback || address.isLoopback();
}

QList<QHostAddress> UdpTransport::Destinations() const
{
    QList<QHostAddress> result;
    const QHostAddress &broadcast = m_broadcast;
    if (!m_broadcastAddress.isEmpty() && allowed(broadcast))
        result.append(broadcast);
    for (const QHostAddress &address : m_extraAddresses) {
        if (allowed(address) && !result.contains(address))
            result.append(address);
    }
    return result;
}

bool UdpTransport::hasPendingInput() const
{
    return m_readPending || (isOpen() && m_server->hasPendingDatagrams());
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
    RefreshAddresses();
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

bool UdpTransport::write(const QByteArray &datagram, const QHostAddress &address)
{
    if (m_client->writeDatagram(datagram, address, m_config.port) != datagram.size())
        return false;
    ++m_sent;
    return true;
}

bool UdpTransport::SendPacket(const Packet &packet)
{
    if (packet.isEmpty() || packet.size() > MaxDatagramSize)
        return false;
    if (m_client->state() != QAbstractSocket::BoundState)
        return false;
    const QList<QHostAddress> destinations = Destinations();
    if (destinations.isEmpty())
        return false;
    // A further address that cannot be reached must not make a message look unsent; the broadcast
    // address of the local network decides when there is one.
    const QHostAddress &broadcast = m_broadcast;
    bool any = false;
    bool broadcastFailed = false;
    for (const QHostAddress &destination : destinations) {
        const bool sent = write(packet, destination);
        any = any || sent;
        if (!sent && destination == broadcast)
            broadcastFailed = true;
    }
    if (any)
        Q_EMIT packetBroadcast(packet);
    return any && !broadcastFailed;
}

bool UdpTransport::SendTo(const QHostAddress &address, const QByteArray &datagram)
{
    if (datagram.isEmpty() || datagram.size() > MaxDatagramSize || !allowed(address) || address.isNull())
        return false;
    if (m_client->state() != QAbstractSocket::BoundState)
        return false;
    return write(datagram, address);
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
        ++m_received;
        if (size > MaxDatagramSize)
            continue; // too large for the receive buffer: dropped unseen
        try {
            const Packet text(buffer.constData(), size);
            echo(text, sender, senderPort);
            if (!admit(sender, senderPort, text))
                continue;
            const quint8 kind = ClassifyPacket(text);
            if (kind == pkNew || kind == pkUpdateInfo)
                Q_EMIT presenceSource(TDataNewMessage(text).GetID(), sender);
            Q_EMIT packetReceived(text);
        } catch (...) {
        }
    }
}

void UdpTransport::IdUDPClientUDPRead()
{
    m_echoReadPending = false;
    QElapsedTimer batch;
    batch.start();
    // An echo is the receipt of a packet of any size, so it is read whole; anything larger than a
    // packet is not an echo of ours.
    QByteArray buffer(MaxDatagramSize + 1, Qt::Uninitialized);
    for (int read = 0;; ++read) {
        if (m_client->state() != QAbstractSocket::BoundState)
            return;
        if (read >= ReadBatchDatagrams || batch.elapsed() >= ReadBatchMs) {
            if (!m_echoReadPending && m_client->hasPendingDatagrams()) {
                m_echoReadPending = true;
                QTimer::singleShot(0, this, &UdpTransport::IdUDPClientUDPRead);
            }
            return;
        }
        QHostAddress sender;
        const qint64 size = m_client->readDatagram(buffer.data(), buffer.size(), &sender, nullptr);
        if (size < 0)
            return;
        ++m_received;
        // Only counted, never handled: an echo of a packet must not be taken for the packet itself.
        if (size <= MaxDatagramSize)
            Q_EMIT echoReceived(sender, QByteArray(buffer.constData(), size));
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
    if (m_echoLimiter.allow(sender, port, text, m_clock.elapsed()) &&
        m_server->writeDatagram(text, sender, port) == text.size())
        ++m_sent;
}
