#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class IdentityKeys;

// What the file share needs of the users' keys; the peer fills it from its secure channel. Without it
// (or without own keys) every transfer takes the plain wire.
struct TransferKeyring {
    std::shared_ptr<const IdentityKeys> own;
    // The box key a fetch from that owner is sealed to (its pinned key, else the one it announced);
    // empty: the owner has no keys, and the FILETO and the transfer go as the design has them.
    std::function<QByteArray(const QString &ownerId)> ownerKey;
    // The box key that opened the FILETO being handled, when it came sealed under a trusted key.
    std::function<QByteArray()> requesterKey;
    // The user has keys: a FILETO in plain text that claims it is not taken.
    std::function<bool(const QString &userId)> hasKeys;
};
