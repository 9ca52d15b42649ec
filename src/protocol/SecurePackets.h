#pragma once

#include "protocol/ProtocolUn.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The packet kinds that only our peers speak: key announcements, sealed talk packets and the
// signatures of broadcast packets. Their headers end in the usual marker, so a peer that knows only
// the eleven kinds classifies them 0 and ignores them. After the header the bytes are binary:
//
//   u8      one byte
//   u64be   eight bytes, big-endian (times: milliseconds since 1970-01-01 UTC, two's complement)
//   id      u8 length (1..64), then that many bytes of UTF-8: a user ID as the design packets carry it
//
// KEY       "PERIXKEY!^:^$" u8 version=1, id user, 32 box key (X25519), 32 sign key (Ed25519),
//           u64be time, 64 signature (Ed25519 by the sign key over KeySignedBytes)
// SEALED    "PERIXSEALED!^:^$" u8 version=1, id recipient, id sender, 24 nonce, box (the rest:
//           16 MAC + encrypted SealedContent)
// SIGN      "PERIXSIGN!^:^$" u8 version=1, id sender, u64be time, 32 digest (BLAKE2b-256 of the
//           exact bytes of the signed packet), 64 signature (Ed25519 over CompanionSignedBytes)
//
// SealedContent, the plaintext inside a box: u64be time, 64 signature (Ed25519 by the sender over
// SealedSignedBytes), then the design packet's bytes (at least one).
//
// Each signature covers a label of its own ("PerixChat key v1", "PerixChat sealed v1", "PerixChat
// signature v1", each followed by one zero byte), so that no signature of one kind is valid for
// another. Readers take a packet only when every length is exact; none reads beyond its input.
namespace SecurePacket {
inline constexpr char KeyHeader[] = "PERIXKEY!^:^$";
inline constexpr char SealedHeader[] = "PERIXSEALED!^:^$";
inline constexpr char SignatureHeader[] = "PERIXSIGN!^:^$";
inline constexpr quint8 Version = 1;

inline constexpr qsizetype KeyBytes = 32;
inline constexpr qsizetype SignatureBytes = 64;
inline constexpr qsizetype NonceBytes = 24;
inline constexpr qsizetype MacBytes = 16;
inline constexpr qsizetype DigestBytes = 32;
inline constexpr qsizetype TimeBytes = 8;
inline constexpr qsizetype MaxIdBytes = 64;
// The receive buffer of every peer: a longer datagram never arrives.
inline constexpr qsizetype MaxDatagram = 8192;
} // namespace SecurePacket

enum class SecureKind : quint8 {
    None = 0,
    Key = 1,
    Sealed = 2,
    Signature = 3,
};

// The kind of one of our packets by its exact header; None for everything else, design packets included.
SecureKind ClassifySecurePacket(QByteArrayView packet);

// Both public keys of a user: X25519 to encrypt for it, Ed25519 to check its signatures.
struct PeerPublicKeys {
    QByteArray box;
    QByteArray sign;

    bool isValid() const
    {
        return box.size() == SecurePacket::KeyBytes && sign.size() == SecurePacket::KeyBytes;
    }
    friend bool operator==(const PeerPublicKeys &, const PeerPublicKeys &) = default;
};

struct KeyAnnouncement {
    QString userId;
    PeerPublicKeys keys;
    qint64 timeMs = 0;
    QByteArray signature;
};
// Empty when a field does not fit its format.
Packet BuildKeyPacket(const KeyAnnouncement &announcement);
std::optional<KeyAnnouncement> ReadKeyPacket(QByteArrayView packet);
// Empty for an ID that cannot travel.
QByteArray KeySignedBytes(const QString &userId, const PeerPublicKeys &keys, qint64 timeMs);

struct SealedEnvelope {
    QString recipientId;
    QString senderId;
    QByteArray nonce;
    QByteArray box;
};
Packet BuildSealedPacket(const SealedEnvelope &envelope);
std::optional<SealedEnvelope> ReadSealedPacket(QByteArrayView packet);

struct SealedContent {
    qint64 timeMs = 0;
    QByteArray signature;
    Packet packet;
};
QByteArray BuildSealedContent(const SealedContent &content);
std::optional<SealedContent> ReadSealedContent(QByteArrayView plain);
QByteArray SealedSignedBytes(const QString &senderId, const QString &recipientId, qint64 timeMs,
                             QByteArrayView packet);

struct SignatureCompanion {
    QString senderId;
    qint64 timeMs = 0;
    QByteArray digest;
    QByteArray signature;
};
Packet BuildSignaturePacket(const SignatureCompanion &companion);
std::optional<SignatureCompanion> ReadSignaturePacket(QByteArrayView packet);
QByteArray CompanionSignedBytes(const QString &senderId, qint64 timeMs, QByteArrayView digest);

// The size of the SEALED datagram that carries a design packet of packetBytes between two IDs of
// these lengths (in UTF-8 bytes).
qsizetype SealedPacketSize(qsizetype senderIdBytes, qsizetype recipientIdBytes, qsizetype packetBytes);
// The longest design packet that, sealed between these two users, still fits one datagram; 0 when
// an ID cannot travel.
qsizetype MaxSealablePacket(const QString &senderId, const QString &recipientId);

// The user ID that a design packet names as its sender: ID for the presence and talk packets,
// CLIENTID for FILETO, AUTORGROUPID for a rename or a deletion of a group; empty for kind 0.
QString ClaimedSenderId(QByteArrayView packet);
