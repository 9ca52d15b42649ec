#pragma once

#include "crypto/Sodium.h"
#include "protocol/SecurePackets.h"

#include <QByteArrayView>

#include <optional>

// The local user's long-term keys: an X25519 pair to encrypt and agree keys, an Ed25519 pair to sign.
// The secret halves never leave this object but through the key file.
class IdentityKeys {
public:
    using BoxSecret = SecretBytes<32>;
    using SignSeed = SecretBytes<32>;
    using SignSecret = SecretBytes<64>;

    // Fresh random keys; nothing without libsodium.
    static std::optional<IdentityKeys> generate();
    // The keys made from the two 32-byte secrets the key file keeps; nothing for other sizes.
    static std::optional<IdentityKeys> fromSecrets(QByteArrayView boxSecret, QByteArrayView signSeed);

    const PeerPublicKeys &publicKeys() const { return m_public; }
    const BoxSecret &boxSecret() const { return m_boxSecret; }
    // libsodium's 64-byte form: the seed followed by the public key.
    const SignSecret &signSecret() const { return m_signSecret; }
    SignSeed signSeed() const;

private:
    IdentityKeys() = default;

    BoxSecret m_boxSecret;
    SignSecret m_signSecret;
    PeerPublicKeys m_public;
};
