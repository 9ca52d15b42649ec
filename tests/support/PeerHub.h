#pragma once

#include "net/PacketTransport.h"
#include "support/CorePeer.h"

#include <QHostAddress>
#include <QList>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class PeerHub;

// A peer's endpoints on the hub: a broadcast reaches every peer of the hub (the sender too, as on a
// real network), a datagram to one host reaches the peer there, and every datagram is echoed to its
// sender, as the real transport does. Nothing touches a socket.
class HubTransport : public PacketTransport {
    Q_OBJECT
public:
    HubTransport(PeerHub *hub, const QHostAddress &address);
    ~HubTransport() override;

    bool SendPacket(const Packet &packet) override;
    QString LocalIP() const override { return m_address.toString(); }
    bool SendTo(const QHostAddress &address, const QByteArray &datagram) override;
    QList<QHostAddress> Destinations() const override;

    QHostAddress address() const { return m_address; }
    // Stopped like a process under SIGSTOP: it reads, echoes and sends nothing; what reaches it waits
    // and is read when it goes on.
    void setStopped(bool stopped);
    bool isStopped() const { return m_stopped; }
    // Datagrams handed to the hub, and those of them that went to one host alone.
    int sentCount() const { return m_sent; }
    // The port of its sending socket, as receivers see it: each peer's own, also on a shared host.
    quint16 senderPort() const { return m_port; }
    // Datagrams that reached its receiving side and were handed on to the peer, and echoes it got.
    int readCount() const { return m_read; }

private:
    friend class PeerHub;
    void arrive(const QByteArray &datagram, const QHostAddress &from, const QPointer<HubTransport> &sender);
    void read(const QByteArray &datagram, const QHostAddress &from, const QPointer<HubTransport> &sender);

    QPointer<PeerHub> m_hub;
    QHostAddress m_address;
    quint16 m_port = 0;
    bool m_stopped = false;
    int m_sent = 0;
    int m_read = 0;
    struct Waiting {
        QByteArray datagram;
        QHostAddress from;
        QPointer<HubTransport> sender;
    };
    QList<Waiting> m_waiting;
};

// An in-process network of complete peers: each has its own settings file and data folder and its
// own made-up loopback host address (127.77.0.N, never given to a socket) unless it shares another's, and they find each other, talk, leave and
// vanish as over UDP, with a short probe period.
class PeerHub : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultProbePeriodMs = 200;
    // Datagrams waiting for a stopped peer at most; more are lost, as a full socket buffer loses them.
    static constexpr int MaxWaiting = 4096;

    explicit PeerHub(int probePeriodMs = DefaultProbePeriodMs, QObject *parent = nullptr);
    ~PeerHub() override;

    // A new peer, not started; on a host of its own, or on the host of another peer.
    CorePeer &addPeer(const QString &alias, const CorePeer *sameHostAs = nullptr);
    int count() const { return int(m_peers.size()); }
    CorePeer &peer(int index) const { return *m_peers.at(size_t(index)); }
    HubTransport &transportOf(const CorePeer &peer) const;
    QHostAddress broadcastAddress() const;

    // Starts the peers one after another and waits until each lists all others (bounded).
    bool startAll(int timeoutMs = 5000);
    bool allSeeEachOther() const;
    // Removes a peer as a crash would: no goodbye.
    void crash(CorePeer &peer);
    // Loses the datagrams for which the rule says true: from one host to another (the same host for a
    // peer's own broadcast), an echo or not, as a lossy network would.
    using DropRule = std::function<bool(const QHostAddress &from, const QHostAddress &to,
                                        const QByteArray &datagram, bool echo)>;
    void setDropRule(DropRule rule) { m_dropRule = std::move(rule); }
    bool drops(const QHostAddress &from, const QHostAddress &to, const QByteArray &datagram, bool echo) const
    {
        return m_dropRule && m_dropRule(from, to, datagram, echo);
    }

private:
    friend class HubTransport;
    void broadcast(HubTransport *from, const QByteArray &datagram);
    bool unicast(HubTransport *from, const QHostAddress &to, const QByteArray &datagram);

    int m_probePeriodMs;
    int m_nextHost = 1;
    quint16 m_nextPort = 40000;
    DropRule m_dropRule;
    std::vector<std::unique_ptr<CorePeer>> m_peers;
};
