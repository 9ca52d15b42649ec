#include "crypto/IdentityKeys.h"

#include <sodium.h>

#include <cstring>

static_assert(crypto_box_PUBLICKEYBYTES == SecurePacket::KeyBytes);
static_assert(crypto_box_SECRETKEYBYTES == IdentityKeys::BoxSecret::size());
static_assert(crypto_sign_PUBLICKEYBYTES == SecurePacket::KeyBytes);
static_assert(crypto_sign_SECRETKEYBYTES == IdentityKeys::SignSecret::size());
static_assert(crypto_sign_SEEDBYTES == IdentityKeys::SignSeed::size());

namespace {

QByteArray bytes(const unsigned char *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace

std::optional<IdentityKeys> IdentityKeys::generate()
{
    if (!SodiumReady())
        return std::nullopt;
    BoxSecret box;
    SignSeed seed;
    randombytes_buf(box.data(), box.size());
    randombytes_buf(seed.data(), seed.size());
    return fromSecrets(QByteArrayView(box.data(), qsizetype(box.size())),
                       QByteArrayView(seed.data(), qsizetype(seed.size())));
}

std::optional<IdentityKeys> IdentityKeys::fromSecrets(QByteArrayView boxSecret, QByteArrayView signSeed)
{
    if (!SodiumReady() || boxSecret.size() != qsizetype(BoxSecret::size()) ||
        signSeed.size() != qsizetype(SignSeed::size()))
        return std::nullopt;
    IdentityKeys keys;
    std::memcpy(keys.m_boxSecret.data(), boxSecret.data(), BoxSecret::size());
    unsigned char boxPublic[crypto_box_PUBLICKEYBYTES];
    unsigned char signPublic[crypto_sign_PUBLICKEYBYTES];
    if (crypto_scalarmult_base(boxPublic, keys.m_boxSecret.data()) != 0 ||
        crypto_sign_seed_keypair(signPublic, keys.m_signSecret.data(),
                                 reinterpret_cast<const unsigned char *>(signSeed.data())) != 0)
        return std::nullopt;
    keys.m_public.box = bytes(boxPublic, sizeof boxPublic);
    keys.m_public.sign = bytes(signPublic, sizeof signPublic);
    return keys;
}

IdentityKeys::SignSeed IdentityKeys::signSeed() const
{
    SignSeed seed;
    crypto_sign_ed25519_sk_to_seed(seed.data(), m_signSecret.data());
    return seed;
}
