#pragma once

#include "transfer/FileTransferWire.h"

#include <QByteArray>
#include <QString>

class IdentityKeys;
class TransferChannel;

// The greeting of a transfer connection between two users with keys. In clear: the requester's
// hello (version, its ID, 32 random bytes), the owner's hello (32 random bytes) with the header of
// its stream, the requester's stream header. Both sides then hold keys that only these two users can
// compute, salted with both nonces, and the channel is sealed. Nothing in the greeting proves a key
// yet: the requester proves its key with its first frame, which the owner can open only with it.
namespace SealedHandshake {

// The requester's side, right after the connection is made. On failure the channel's status tells
// why, or `error` does (the owner refused).
bool Request(TransferChannel &channel, const IdentityKeys &own, const QByteArray &ownerBoxKey,
             const QString &clientId, QString *error);

// The owner's side, once the requester's hello was read and its key found.
bool Answer(TransferChannel &channel, const IdentityKeys &own, const QByteArray &requesterBoxKey,
            const TransferWire::HelloMessage &hello);

QByteArray RandomNonce();

} // namespace SealedHandshake
