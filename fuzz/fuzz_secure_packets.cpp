// Feeds arbitrary bytes to the readers of our own packets and to what checks them: the key
// announcement, the opener of sealed packets (with the keys the seeds were sealed with, at the time
// they were made, so that mutations reach the box and the signature) and the signature companion.
// A packet a reader takes must be built back byte for byte, and nothing may open twice.
#include "crypto/PacketSealer.h"
#include "protocol/ProtocolUn.h"
#include "protocol/SecurePackets.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The keys and the time of the seeds in corpus/secure.
const QString SenderId = QStringLiteral("{5EED0001-0000-0000-0000-000000000000}");
const QString RecipientId = QStringLiteral("{5EED0002-0000-0000-0000-000000000000}");
constexpr qint64 SeedTime = 1900000000000;

IdentityKeys seedKeys(char seed)
{
    return *IdentityKeys::fromSecrets(QByteArray(32, seed), QByteArray(32, char(seed + 1)));
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const IdentityKeys sender = seedKeys('s');
    static const IdentityKeys recipient = seedKeys('r');
    static PacketSealer opener(RecipientId, recipient);

    const QByteArrayView packet(reinterpret_cast<const char *>(data), qsizetype(size));
    const SecureKind kind = ClassifySecurePacket(packet);
    check(kind == SecureKind::None || ClassifyPacket(packet) == pkUnknown);
    int taken = 0;

    if (const std::optional<KeyAnnouncement> key = ReadKeyPacket(packet)) {
        ++taken;
        check(kind == SecureKind::Key && BuildKeyPacket(*key) == packet);
        const PacketCheck verified = VerifyKeyAnnouncement(*key, SeedTime);
        check(verified != PacketCheck::Ok || key->keys.isValid());
    }
    if (const std::optional<SealedEnvelope> envelope = ReadSealedPacket(packet)) {
        ++taken;
        check(kind == SecureKind::Sealed && BuildSealedPacket(*envelope) == packet);
        ReplayCache replays;
        const OpenedPacket opened = opener.open(*envelope, sender.publicKeys(), SeedTime, replays);
        if (opened.check == PacketCheck::Ok) {
            check(!opened.packet.isEmpty() &&
                  opened.packet.size() <= MaxSealablePacket(SenderId, RecipientId));
            check(opener.open(*envelope, sender.publicKeys(), SeedTime, replays).check ==
                  PacketCheck::Replayed);
        } else {
            check(opened.packet.isEmpty());
        }
    }
    if (const std::optional<SignatureCompanion> companion = ReadSignaturePacket(packet)) {
        ++taken;
        check(kind == SecureKind::Signature && BuildSignaturePacket(*companion) == packet);
        ReplayCache replays;
        if (VerifyCompanion(*companion, sender.publicKeys(), SeedTime, replays) == PacketCheck::Ok)
            check(VerifyCompanion(*companion, sender.publicKeys(), SeedTime, replays) ==
                  PacketCheck::Replayed);
    }
    check(taken <= 1);
    if (const std::optional<SealedContent> content = ReadSealedContent(packet))
        check(BuildSealedContent(*content) == packet);
    volatile qsizetype sink = ClaimedSenderId(packet).size();
    (void)sink;
    return 0;
}
