#include "crypto/PacketSealer.h"

#include <sodium.h>

using namespace SecurePacket;

static_assert(crypto_box_NONCEBYTES == NonceBytes);
static_assert(crypto_box_MACBYTES == MacBytes);
static_assert(crypto_box_BEFORENMBYTES == 32);
static_assert(crypto_sign_BYTES == SignatureBytes);

namespace {

// Peers talked to at once; beyond it the shared keys are made anew.
constexpr qsizetype MaxSharedKeys = 1024;

const unsigned char *bytes(QByteArrayView view)
{
    return reinterpret_cast<const unsigned char *>(view.data());
}

unsigned char *bytes(QByteArray &array)
{
    return reinterpret_cast<unsigned char *>(array.data());
}

bool verify(QByteArrayView signature, QByteArrayView message, const QByteArray &signKey)
{
    return signature.size() == SignatureBytes && signKey.size() == KeyBytes &&
           crypto_sign_verify_detached(bytes(signature), bytes(message), quint64(message.size()),
                                       bytes(signKey)) == 0;
}

} // namespace

PacketSealer::PacketSealer(const QString &ownId, const IdentityKeys &keys)
    : m_ownId(ownId)
    , m_keys(keys)
{}

PacketSealer::~PacketSealer() = default;

const SecretBytes<32> *PacketSealer::sharedKey(const QByteArray &peerBoxKey)
{
    if (peerBoxKey.size() != KeyBytes)
        return nullptr;
    if (const auto found = m_sharedKeys.constFind(peerBoxKey); found != m_sharedKeys.constEnd())
        return &found.value();
    SecretBytes<32> key;
    // Fails for the few public keys that would give a known shared key.
    if (crypto_box_beforenm(key.data(), bytes(peerBoxKey), m_keys.boxSecret().data()) != 0)
        return nullptr;
    if (m_sharedKeys.size() >= MaxSharedKeys)
        m_sharedKeys.clear();
    return &m_sharedKeys.insert(peerBoxKey, key).value();
}

QByteArray PacketSealer::sign(QByteArrayView message) const
{
    QByteArray signature(SignatureBytes, Qt::Uninitialized);
    crypto_sign_detached(bytes(signature), nullptr, bytes(message), quint64(message.size()),
                         m_keys.signSecret().data());
    return signature;
}

Packet PacketSealer::seal(const QString &recipientId, const PeerPublicKeys &recipient, QByteArrayView packet,
                          qint64 nowMs)
{
    if (!SodiumReady() || !recipient.isValid() || packet.isEmpty() ||
        packet.size() > MaxSealablePacket(m_ownId, recipientId))
        return {};
    const QByteArray message = SealedSignedBytes(m_ownId, recipientId, nowMs, packet);
    const SecretBytes<32> *key = sharedKey(recipient.box);
    if (message.isEmpty() || !key)
        return {};
    const QByteArray content = BuildSealedContent({nowMs, sign(message), packet.toByteArray()});
    SealedEnvelope envelope{recipientId, m_ownId, QByteArray(NonceBytes, Qt::Uninitialized),
                            QByteArray(MacBytes + content.size(), Qt::Uninitialized)};
    randombytes_buf(envelope.nonce.data(), size_t(NonceBytes));
    if (crypto_box_easy_afternm(bytes(envelope.box), bytes(content), quint64(content.size()),
                                bytes(envelope.nonce), key->data()) != 0)
        return {};
    return BuildSealedPacket(envelope);
}

OpenedPacket PacketSealer::open(const SealedEnvelope &envelope, const PeerPublicKeys &sender, qint64 nowMs,
                                ReplayCache &replays)
{
    OpenedPacket opened;
    opened.senderId = envelope.senderId;
    if (!SodiumReady()) {
        opened.check = PacketCheck::NoCrypto;
        return opened;
    }
    if (envelope.nonce.size() != NonceBytes || envelope.box.size() <= MacBytes) {
        opened.check = PacketCheck::Malformed;
        return opened;
    }
    if (envelope.recipientId != m_ownId) {
        opened.check = PacketCheck::NotForUs;
        return opened;
    }
    if (replays.seen(envelope.nonce)) {
        opened.check = PacketCheck::Replayed;
        return opened;
    }
    const SecretBytes<32> *key = sender.isValid() ? sharedKey(sender.box) : nullptr;
    QByteArray plain(envelope.box.size() - MacBytes, Qt::Uninitialized);
    if (!key || crypto_box_open_easy_afternm(bytes(plain), bytes(envelope.box), quint64(envelope.box.size()),
                                             bytes(envelope.nonce), key->data()) != 0) {
        opened.check = PacketCheck::Forged;
        return opened;
    }
    std::optional<SealedContent> content = ReadSealedContent(plain);
    if (!content) {
        opened.check = PacketCheck::Malformed;
        return opened;
    }
    opened.timeMs = content->timeMs;
    opened.check = CheckPacketTime(content->timeMs, nowMs);
    if (opened.check != PacketCheck::Ok)
        return opened;
    const QByteArray message =
        SealedSignedBytes(envelope.senderId, m_ownId, content->timeMs, content->packet);
    if (message.isEmpty() || !verify(content->signature, message, sender.sign)) {
        opened.check = PacketCheck::Forged;
        return opened;
    }
    opened.check = replays.admit(envelope.nonce, content->timeMs, nowMs);
    if (opened.check == PacketCheck::Ok)
        opened.packet = std::move(content->packet);
    return opened;
}

Packet PacketSealer::announceKey(qint64 nowMs) const
{
    const QByteArray message = KeySignedBytes(m_ownId, m_keys.publicKeys(), nowMs);
    if (message.isEmpty() || !SodiumReady())
        return {};
    return BuildKeyPacket({m_ownId, m_keys.publicKeys(), nowMs, sign(message)});
}

Packet PacketSealer::signCompanion(QByteArrayView packet, qint64 nowMs) const
{
    const QByteArray digest = PacketDigest(packet);
    const QByteArray message = CompanionSignedBytes(m_ownId, nowMs, digest);
    if (message.isEmpty())
        return {};
    return BuildSignaturePacket({m_ownId, nowMs, digest, sign(message)});
}

PacketCheck VerifyKeyAnnouncement(const KeyAnnouncement &announcement, qint64 nowMs)
{
    if (!SodiumReady())
        return PacketCheck::NoCrypto;
    const QByteArray message = KeySignedBytes(announcement.userId, announcement.keys, announcement.timeMs);
    if (message.isEmpty())
        return PacketCheck::Malformed;
    if (const PacketCheck time = CheckPacketTime(announcement.timeMs, nowMs); time != PacketCheck::Ok)
        return time;
    return verify(announcement.signature, message, announcement.keys.sign) ? PacketCheck::Ok
                                                                           : PacketCheck::Forged;
}

QByteArray PacketDigest(QByteArrayView packet)
{
    if (!SodiumReady())
        return {};
    QByteArray digest(DigestBytes, Qt::Uninitialized);
    crypto_generichash(bytes(digest), size_t(DigestBytes), bytes(packet), quint64(packet.size()), nullptr, 0);
    return digest;
}

PacketCheck VerifyCompanion(const SignatureCompanion &companion, const PeerPublicKeys &sender, qint64 nowMs,
                            ReplayCache &replays)
{
    if (!SodiumReady())
        return PacketCheck::NoCrypto;
    const QByteArray message = CompanionSignedBytes(companion.senderId, companion.timeMs, companion.digest);
    if (message.isEmpty())
        return PacketCheck::Malformed;
    if (const PacketCheck time = CheckPacketTime(companion.timeMs, nowMs); time != PacketCheck::Ok)
        return time;
    if (replays.seen(companion.signature))
        return PacketCheck::Replayed;
    if (!verify(companion.signature, message, sender.sign))
        return PacketCheck::Forged;
    return replays.admit(companion.signature, companion.timeMs, nowMs);
}
