#include "support/SharePair.h"

#include "protocol/ProtocolClassUn.h"

SharePair::SharePair(const QString &ownerId, const QString &askerId, quint16 ownerPort,
                     const TransferLimits &limits)
    : ownerId(ownerId)
    , askerId(askerId)
    , limits(limits)
{
    owner = std::make_unique<FileShare>(
        &ownerTransport,
        [ownerId] {
            return LocalIdentity{ownerId, Loopback};
        },
        true, ownerPort);
    owner->engine().setLimits(limits);
    QObject::connect(&askerTransport, &RecordingTransport::packetSent, &askerTransport,
                     [this](const Packet &p) {
                         if (owner && ClassifyPacket(p) == pkFileTo)
                             owner->ProcessFileTo(p);
                     });
}

void SharePair::addAsker(quint16 port)
{
    asker = std::make_unique<FileShare>(
        &askerTransport,
        [id = askerId] {
            return LocalIdentity{id, Loopback};
        },
        true, port);
    asker->engine().setLimits(limits);
}

int SharePair::request(const QString &path, const QString &saveDir,
                       std::optional<ExistingChoice> choice) const
{
    return asker->Request(OfferedFile{7, path, ownerId, Loopback, QStringLiteral("Owner")}, saveDir, choice);
}

TransferInfo SharePair::info(int id) const
{
    return asker->engine().info(id).value_or(TransferInfo{});
}

bool SharePair::ended(int id) const
{
    const TransferState s = info(id).state;
    return s == TransferState::Done || s == TransferState::Failed || s == TransferState::Cancelled;
}
