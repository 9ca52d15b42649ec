#pragma once

#include "crypto/IdentityKeys.h"
#include "crypto/ReplayCache.h"
#include "net/PacketTransport.h"
#include "peers/KeyPins.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class PacketDispatcher;
class PacketSealer;
struct Talk;

// How a packet that reached the talks was carried.
enum class PacketMark {
    Plain,       // a user without keys, as the design sends it
    Sealed,      // sealed for us under the user's pinned key
    Signed,      // in plain text, with a companion signed by the user's pinned key
    NotVerified, // claims a user with a key, but neither sealed nor signed by it
    KeyChanged,  // sealed or signed under a key that is not the pinned one, not accepted yet
};

// How a talk travels as a whole.
enum class TalkSeal {
    Broadcast,    // the talk with everybody: plain text, signed where the sender has keys
    Sealed,       // every addressee has keys: each packet sealed for each of them
    NotEncrypted, // an addressee without keys: plain text
};

// One datagram a design packet became.
struct WireDatagram {
    QByteArray bytes;
    // Null: to every destination of the transport (broadcast); else to that host alone.
    QHostAddress to;
    // A sealed datagram: the one user who can open it.
    QString recipient;
};

// Our peers' keys on the wire: announces the local user's key after each NEW and UPDATEINFO, seals
// the talk packets for addressees that have keys, signs the other broadcasts with a companion, and
// takes our packet kinds apart on the way in, so that the talks only ever see design packets, each
// with its mark. It stands between the peer and its transport: the registry and the talks send
// through it, and the received packets come to receive() from the queue.
//
// Without keys of its own it passes everything as it is: a peer without keys is a design peer.
class SecureChannel : public PacketTransport {
    Q_OBJECT
public:
    static constexpr qsizetype MaxAnnouncedKeys = 4096;
    static constexpr qsizetype MaxGroupRosters = 256;
    static constexpr qsizetype MaxCompanions = 256;
    static constexpr qint64 CompanionLifeMs = 60 * 1000;
    // A user's announcements reach the pins (and the settings file) at most this often.
    static constexpr qint64 PinIntervalMs = 2000;

    SecureChannel(const SettingsStore &store, PacketTransport &inner, PacketDispatcher &dispatcher,
                  QObject *parent = nullptr);
    ~SecureChannel() override;

    // The local user's keys; the channel works from start() on.
    void setIdentity(const IdentityKeys &keys);
    void start(const QString &ownId);
    bool hasKeys() const { return m_sealer != nullptr; }
    QString ownId() const { return m_ownId; }
    // The local user's fingerprint; empty without keys.
    QString ownFingerprint() const;
    // Time in milliseconds since 1970; tests set their own clock.
    void setClock(std::function<qint64()> nowMs) { m_now = std::move(nowMs); }

    // What is known of another user's keys.
    KeyTrust trust(const QString &userId) const;
    // The key the user announced in this run (the last that held), if any.
    std::optional<PeerPublicKeys> announcedKeys(const QString &userId) const;
    // The key packets to the user are sealed with: the pinned one, else the announced one.
    std::optional<PeerPublicKeys> sealingKeys(const QString &userId) const;
    bool canSeal(const QString &userId) const;
    TalkSeal talkSeal(const Talk &talk) const;
    const KeyPins *pins() const { return m_pins.get(); }
    // The user's new key replaces the pinned one; the "verified" mark. False when nothing changed.
    bool acceptKey(const QString &userId);
    bool setVerified(const QString &userId, bool verified);

    // The datagrams a design packet of the local user becomes; empty when it cannot go at all (a
    // sealed packet that would not fit a datagram). The delivery of these bytes is the transport's.
    QList<WireDatagram> wrap(const Packet &packet);

    // PacketTransport: the peer's sends go through wrap().
    bool SendPacket(const Packet &packet) override;
    QString LocalIP() const override { return m_inner.LocalIP(); }
    bool hasPendingInput() const override { return m_inner.hasPendingInput(); }
    bool SendTo(const QHostAddress &address, const QByteArray &datagram) override
    {
        return m_inner.SendTo(address, datagram);
    }
    QList<QHostAddress> Destinations() const override { return m_inner.Destinations(); }

    // A received packet, from the queue: ours are taken apart, design packets go to the dispatcher.
    void receive(const Packet &packet);
    // The mark of the packet being dispatched now (Plain outside a dispatch).
    PacketMark currentMark() const { return m_current; }
    // The keys that opened the sealed packet being dispatched now; nothing outside such a dispatch.
    std::optional<PeerPublicKeys> currentKeys() const { return m_currentKeys; }
    // A packet the peer made itself and handles as received (a vanished peer's DISCONNECT).
    void vouch(const Packet &packet);
    // Where own group messages go when nothing comes back from the network: the peer's queue.
    void setLocalDelivery(std::function<void(const Packet &)> deliver)
    {
        m_localDelivery = std::move(deliver);
    }
    // Keys are pinned only for users the peer lists as online, so that a flood of made-up
    // announcements never reaches the settings file; without a check every user counts.
    void setOnlineCheck(std::function<bool(const QString &)> online) { m_online = std::move(online); }
    // The talks delivered a message during the current dispatch.
    void noteDelivered(int talkId, const QString &senderId);

    // Counters for tests and the status.
    int dropped() const { return m_dropped; }

Q_SIGNALS:
    // The user's key state may have changed (a first key, a change, an acceptance, the mark).
    void keyStateChanged(const QString &userId);
    // A message reached that talk with that mark (after the talks showed it).
    void messageMarked(int talkId, const QString &senderId, PacketMark mark);
    // The sealed datagrams of that packet went to the network, one for each user (datagram, user):
    // what their receipts are echoes of.
    void sealedSent(const QByteArray &packet, const QList<QPair<QByteArray, QString>> &datagrams);

private:
    struct KeyChoice {
        PeerPublicKeys keys;
        PacketMark mark;
    };
    // The keys a packet from the user may be checked with, the trusted first.
    QList<KeyChoice> checkingKeys(const QString &userId) const;
    void takeKey(const Packet &packet);
    void gatherPinWrites();
    void takeSealed(const Packet &packet);
    void takeCompanion(const Packet &packet);
    void takePlain(const Packet &packet);
    void dispatch(const Packet &packet, PacketMark mark);
    void drop() { ++m_dropped; }
    QList<WireDatagram> sealFor(const QStringList &recipients, const Packet &packet);
    QList<WireDatagram> signedPlain(const Packet &packet);
    QHostAddress addressOf(const QString &userId) const;
    void rememberAddress(const QString &userId, const QHostAddress &address);
    qint64 now() const { return m_now(); }

    SettingsStore m_store;
    PacketTransport &m_inner;
    PacketDispatcher &m_dispatcher;
    std::optional<IdentityKeys> m_identity;
    std::unique_ptr<PacketSealer> m_sealer;
    std::unique_ptr<KeyPins> m_pins;
    // Pins noted in this turn of the event loop reach the settings file in one write at its end.
    std::optional<SettingsStore::Batch> m_pinWrites;
    QString m_ownId;
    std::function<qint64()> m_now;
    std::function<void(const Packet &)> m_localDelivery;
    std::function<bool(const QString &)> m_online;
    struct Observed {
        PeerPublicKeys keys;
        // When the user last announced another key than before; 0 before the first change.
        qint64 changedMs = 0;
    };
    QHash<QString, Observed> m_observed;
    ReplayCache m_sealedReplays;
    ReplayCache m_companionReplays;
    QHash<QString, PeerPublicKeys> m_announced;
    std::deque<QString> m_announcedOrder;
    QHash<QString, QHostAddress> m_addresses;
    // Members of the group talks the local user sent to, by group ID (the author's close goes to them).
    QHash<QString, QStringList> m_rosters;
    std::deque<QString> m_rosterOrder;
    struct Companion {
        QByteArray digest;
        QString senderId;
        PacketMark mark;
        qint64 takenMs;
    };
    std::deque<Companion> m_companions;
    QList<QByteArray> m_vouched;
    PacketMark m_current = PacketMark::Plain;
    std::optional<PeerPublicKeys> m_currentKeys;
    bool m_dispatching = false;
    QList<QPair<int, QString>> m_delivered;
    int m_dropped = 0;
};
