#include "support/PeerHub.h"

#include "protocol/ProtocolClassUn.h"
#include "support/Wait.h"

#include <QMetaObject>

namespace {
const QHostAddress HubBroadcast(QStringLiteral("127.77.0.255"));
} // namespace

HubTransport::HubTransport(PeerHub *hub, const QHostAddress &address)
    : m_hub(hub)
    , m_address(address)
{}

HubTransport::~HubTransport() = default;

bool HubTransport::SendPacket(const Packet &packet)
{
    if (packet.isEmpty())
        return false;
    // A stopped process sends nothing; it does not know it is stopped either.
    if (m_stopped || !m_hub)
        return true;
    ++m_sent;
    m_hub->broadcast(this, packet);
    Q_EMIT packetBroadcast(packet);
    return true;
}

bool HubTransport::SendTo(const QHostAddress &address, const QByteArray &datagram)
{
    if (datagram.isEmpty() || !m_hub)
        return false;
    if (m_stopped)
        return true;
    ++m_sent;
    if (address == HubBroadcast) {
        m_hub->broadcast(this, datagram);
        return true;
    }
    m_hub->unicast(this, address, datagram);
    return true;
}

QList<QHostAddress> HubTransport::Destinations() const
{
    return {HubBroadcast};
}

void HubTransport::setStopped(bool stopped)
{
    if (m_stopped == stopped)
        return;
    m_stopped = stopped;
    if (stopped)
        return;
    // Going on: what waited is read now, in the order it came.
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    for (const Waiting &w : waiting)
        read(w.datagram, w.from, w.sender);
}

void HubTransport::arrive(const QByteArray &datagram, const QHostAddress &from,
                          const QPointer<HubTransport> &sender)
{
    if (!m_stopped) {
        read(datagram, from, sender);
        return;
    }
    if (m_waiting.size() < PeerHub::MaxWaiting)
        m_waiting.append({datagram, from, sender});
}

void HubTransport::read(const QByteArray &datagram, const QHostAddress &from, const QPointer<HubTransport> &sender)
{
    // Every datagram is echoed to the socket it came from; the sender only counts echoes.
    if (sender && !(m_hub && m_hub->drops(m_address, sender->m_address, datagram, true))) {
        QMetaObject::invokeMethod(
            sender.data(),
            [sender, echo = datagram, at = m_address] {
                if (sender && !sender->m_stopped)
                    Q_EMIT sender->echoReceived(at, echo);
            },
            Qt::QueuedConnection);
    }
    if (!admit(from, sender ? sender->m_port : 0, datagram))
        return;
    ++m_read;
    const quint8 kind = ClassifyPacket(datagram);
    if (kind == pkNew || kind == pkUpdateInfo)
        Q_EMIT presenceSource(TDataNewMessage(datagram).GetID(), from);
    Q_EMIT packetReceived(datagram);
}

PeerHub::PeerHub(int probePeriodMs, QObject *parent)
    : QObject(parent)
    , m_probePeriodMs(probePeriodMs)
{}

PeerHub::~PeerHub()
{
    // Later peers go first, as they came.
    while (!m_peers.empty())
        m_peers.pop_back();
}

CorePeer &PeerHub::addPeer(const QString &alias, const CorePeer *sameHostAs)
{
    const QHostAddress address = sameHostAs ? transportOf(*sameHostAs).address()
                                            : QHostAddress(QStringLiteral("127.77.0.%1").arg(m_nextHost++));
    auto transport = std::make_unique<HubTransport>(this, address);
    transport->m_port = m_nextPort++;
    m_peers.push_back(std::make_unique<CorePeer>(alias, std::move(transport), m_probePeriodMs));
    return *m_peers.back();
}

HubTransport &PeerHub::transportOf(const CorePeer &peer) const
{
    return peer.transportAs<HubTransport>();
}

QHostAddress PeerHub::broadcastAddress() const
{
    return HubBroadcast;
}

bool PeerHub::allSeeEachOther() const
{
    for (const auto &peer : m_peers) {
        if (peer->onlineCount() != count() - 1)
            return false;
    }
    return true;
}

bool PeerHub::startAll(int timeoutMs)
{
    for (const auto &peer : m_peers)
        peer->start();
    return waitUntil([this] { return allSeeEachOther(); }, timeoutMs);
}

void PeerHub::crash(CorePeer &peer)
{
    for (auto it = m_peers.begin(); it != m_peers.end(); ++it) {
        if (it->get() == &peer) {
            m_peers.erase(it);
            return;
        }
    }
}

void PeerHub::broadcast(HubTransport *from, const QByteArray &datagram)
{
    const QPointer<HubTransport> sender(from);
    for (const auto &peer : m_peers) {
        QPointer<HubTransport> to(&transportOf(*peer));
        if (drops(from->address(), to->address(), datagram, false))
            continue;
        QMetaObject::invokeMethod(
            to.data(),
            [to, datagram, sender, source = from->address()] {
                if (to)
                    to->arrive(datagram, source, sender);
            },
            Qt::QueuedConnection);
    }
}

bool PeerHub::unicast(HubTransport *from, const QHostAddress &to, const QByteArray &datagram)
{
    // Several peers on one host share its port: the one that came last receives, as the system decides.
    for (auto it = m_peers.rbegin(); it != m_peers.rend(); ++it) {
        QPointer<HubTransport> target(&transportOf(**it));
        if (target->address() != to)
            continue;
        if (drops(from->address(), to, datagram, false))
            return true;
        const QPointer<HubTransport> sender(from);
        QMetaObject::invokeMethod(
            target.data(),
            [target, datagram, sender, source = from->address()] {
                if (target)
                    target->arrive(datagram, source, sender);
            },
            Qt::QueuedConnection);
        return true;
    }
    return false;
}
