#include "app/TransferKeysOf.h"

#include "app/SecureChannel.h"

TransferKeyring TransferKeysOf(const SecureChannel &channel, const std::optional<IdentityKeys> &identity)
{
    TransferKeyring keys;
    if (identity)
        keys.own = std::make_shared<const IdentityKeys>(*identity);
    const SecureChannel *secure = &channel;
    keys.ownerKey = [secure](const QString &ownerId) {
        const std::optional<PeerPublicKeys> peer = secure->sealingKeys(ownerId);
        return peer ? peer->box : QByteArray();
    };
    keys.requesterKey = [secure] {
        const std::optional<PeerPublicKeys> peer = secure->currentKeys();
        return peer && secure->currentMark() == PacketMark::Sealed ? peer->box : QByteArray();
    };
    keys.hasKeys = [secure](const QString &userId) {
        return secure->hasKeys() &&
               (secure->trust(userId) != KeyTrust::Unknown || secure->announcedKeys(userId).has_value());
    };
    return keys;
}
