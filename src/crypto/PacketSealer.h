#pragma once

#include "crypto/IdentityKeys.h"
#include "crypto/ReplayCache.h"
#include "protocol/SecurePackets.h"

#include <QHash>
#include <QString>

// A design packet taken out of a SEALED packet.
struct OpenedPacket {
    PacketCheck check = PacketCheck::Malformed;
    // The design packet's bytes, when check is Ok.
    Packet packet;
    QString senderId;
    qint64 timeMs = 0;
};

// Seals the local user's design packets for one addressee each, and opens the packets sealed for
// the local user.
//
// Sealing signs SealedSignedBytes (sender ID, recipient ID, time, the packet) with the sender's
// Ed25519 key and encrypts time, signature and packet with crypto_box (X25519, XSalsa20-Poly1305)
// from the sender's X25519 key to the recipient's, under a random 24-byte nonce. The box keeps the
// text to the two of them and turns away any packet that neither of them made for one Poly1305
// check, before a signature is looked at; its shared key is made once per peer and kept. The
// signature ties the text, both IDs and the time to the sender's signing key, so a recipient cannot
// pass a packet on as sent to someone else, and the clear IDs cannot be changed.
class PacketSealer {
public:
    PacketSealer(const QString &ownId, const IdentityKeys &keys);
    ~PacketSealer();
    PacketSealer(const PacketSealer &) = delete;
    PacketSealer &operator=(const PacketSealer &) = delete;

    const QString &ownId() const { return m_ownId; }
    const PeerPublicKeys &publicKeys() const { return m_keys.publicKeys(); }

    // The SEALED packet that carries the design packet to that user; empty when it would not fit a
    // datagram (see MaxSealablePacket), an ID cannot travel or the key cannot be used.
    Packet seal(const QString &recipientId, const PeerPublicKeys &recipient, QByteArrayView packet,
                qint64 nowMs);
    // Opens a SEALED packet with the keys the caller holds for the sender its envelope names. Checks,
    // cheapest first: the recipient, the replay cache, the box, the time, the signature; only then is
    // the packet remembered in the replay cache.
    OpenedPacket open(const SealedEnvelope &envelope, const PeerPublicKeys &sender, qint64 nowMs,
                      ReplayCache &replays);

    // The local user's KEY packet.
    Packet announceKey(qint64 nowMs) const;
    // The SIGN packet for a design packet the local user broadcasts; empty when it cannot be made.
    Packet signCompanion(QByteArrayView packet, qint64 nowMs) const;

private:
    // The crypto_box key shared with a peer; nullptr for a key that cannot be used.
    const SecretBytes<32> *sharedKey(const QByteArray &peerBoxKey);
    QByteArray sign(QByteArrayView message) const;

    QString m_ownId;
    IdentityKeys m_keys;
    QHash<QByteArray, SecretBytes<32>> m_sharedKeys;
};

// Ok when the announcement is signed by its own Ed25519 key and its time lies within the window.
// Whether that key is the one pinned for the user is the pins' question.
PacketCheck VerifyKeyAnnouncement(const KeyAnnouncement &announcement, qint64 nowMs);

// The BLAKE2b-256 hash of a packet's exact bytes, as a SIGN packet names it; empty without libsodium.
QByteArray PacketDigest(QByteArrayView packet);

// Ok when the companion is signed with the sender's key, lies within the window and was not taken
// before (it is remembered then). The caller still matches its digest and sender ID with the packet.
PacketCheck VerifyCompanion(const SignatureCompanion &companion, const PeerPublicKeys &sender, qint64 nowMs,
                            ReplayCache &replays);
