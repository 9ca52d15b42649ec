// Feeds arbitrary datagrams to the peer's intake of our packets: a channel with keys that has pinned
// the sender of the seeds in corpus/secure (at the seeds' time, so that mutations reach the box, the
// signatures and the checks after them). Whatever it hands on must be one design packet, each sealed
// one at most once, a sealed one only from the user the envelope names; nothing else may reach the
// talks marked as sealed.
#include "app/SecureChannel.h"
#include "crypto/PacketSealer.h"
#include "net/PacketDispatcher.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SecurePackets.h"

#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

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

class NullTransport : public PacketTransport {
public:
    bool SendPacket(const Packet &) override { return true; }
    QString LocalIP() const override { return QStringLiteral("127.0.0.1"); }
};

struct Intake {
    QTemporaryDir folder;
    NullTransport transport;
    PacketDispatcher dispatcher;
    std::unique_ptr<SecureChannel> channel;
    QList<QPair<Packet, PacketMark>> handed;

    Intake()
    {
        channel = std::make_unique<SecureChannel>(SettingsStore(folder.filePath(QStringLiteral("s.ini"))),
                                                  transport, dispatcher);
        channel->setClock([] { return SeedTime; });
        channel->setIdentity(seedKeys('r'));
        channel->start(RecipientId);
        for (int kind = 1; kind < PacketKindCount; ++kind)
            dispatcher.setHandler(quint8(kind), [this](const Packet &p) {
                handed.append({p, channel->currentMark()});
            });
        const IdentityKeys sender = seedKeys('s');
        channel->receive(PacketSealer(SenderId, sender).announceKey(SeedTime));
        check(channel->trust(SenderId) == KeyTrust::Pinned);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Intake intake;
    intake.handed.clear();
    const Packet datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const SecureKind kind = ClassifySecurePacket(datagram);
    intake.channel->receive(datagram);
    check(intake.handed.size() <= 1);
    if (intake.handed.isEmpty())
        return 0;
    const auto &[packet, mark] = intake.handed.first();
    check(ClassifyPacket(packet) != pkUnknown);
    if (kind == SecureKind::Sealed) {
        check(mark == PacketMark::Sealed);
        check(ClaimedSenderId(packet) == SenderId);
        // The same datagram again is a replay.
        intake.handed.clear();
        intake.channel->receive(datagram);
        check(intake.handed.isEmpty());
    } else {
        check(kind == SecureKind::None && packet == datagram);
        // Signed only when a companion of the seeds' sender named these exact bytes.
        check(mark != PacketMark::Sealed && mark != PacketMark::KeyChanged);
    }
    return 0;
}
