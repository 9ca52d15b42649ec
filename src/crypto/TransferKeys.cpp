#include "crypto/TransferKeys.h"

#include <sodium.h>

static_assert(crypto_kx_SESSIONKEYBYTES == 32);
static_assert(crypto_kx_PUBLICKEYBYTES == SecurePacket::KeyBytes);
static_assert(crypto_kx_SECRETKEYBYTES == IdentityKeys::BoxSecret::size());
static_assert(crypto_secretstream_xchacha20poly1305_KEYBYTES == 32);
static_assert(crypto_secretstream_xchacha20poly1305_HEADERBYTES == SecretStreamWriter::HeaderBytes);
static_assert(crypto_secretstream_xchacha20poly1305_ABYTES == SecretStreamWriter::ChunkOverhead);
static_assert(crypto_generichash_KEYBYTES_MAX >= 32);

namespace {

constexpr char SaltLabel[] = "PerixChat transfer v1";

const unsigned char *bytes(QByteArrayView view)
{
    return reinterpret_cast<const unsigned char *>(view.data());
}

bool salted(SecretBytes<32> *key, QByteArrayView salt)
{
    QByteArray input(SaltLabel, sizeof SaltLabel);
    input += salt;
    SecretBytes<32> result;
    if (crypto_generichash(result.data(), result.size(), bytes(input), quint64(input.size()), key->data(),
                           key->size()) != 0)
        return false;
    *key = result;
    return true;
}

} // namespace

std::optional<TransferKeys> DeriveTransferKeys(const IdentityKeys &own, const QByteArray &peerBoxKey,
                                               TransferRole role, QByteArrayView salt)
{
    if (!SodiumReady() || peerBoxKey.size() != SecurePacket::KeyBytes || salt.size() < MinTransferSaltBytes ||
        salt.size() > MaxTransferSaltBytes)
        return std::nullopt;
    const unsigned char *ownPublic = bytes(own.publicKeys().box);
    TransferKeys keys;
    const int result = role == TransferRole::Requester
                           ? crypto_kx_client_session_keys(keys.receive.data(), keys.send.data(), ownPublic,
                                                           own.boxSecret().data(), bytes(peerBoxKey))
                           : crypto_kx_server_session_keys(keys.receive.data(), keys.send.data(), ownPublic,
                                                           own.boxSecret().data(), bytes(peerBoxKey));
    if (result != 0 || !salted(&keys.send, salt) || !salted(&keys.receive, salt))
        return std::nullopt;
    return keys;
}

struct SecretStreamWriter::State {
    crypto_secretstream_xchacha20poly1305_state state;
    ~State() { WipeMemory(&state, sizeof state); }
};

SecretStreamWriter::SecretStreamWriter()
    : m_state(std::make_unique<State>())
{}

SecretStreamWriter::~SecretStreamWriter() = default;

QByteArray SecretStreamWriter::start(const SecretBytes<32> &key)
{
    if (!SodiumReady() || m_started)
        return {};
    QByteArray header(HeaderBytes, Qt::Uninitialized);
    if (crypto_secretstream_xchacha20poly1305_init_push(
            &m_state->state, reinterpret_cast<unsigned char *>(header.data()), key.data()) != 0)
        return {};
    m_started = true;
    return header;
}

QByteArray SecretStreamWriter::push(QByteArrayView chunk, bool final)
{
    QByteArray out;
    return push(chunk, &out, final) ? out : QByteArray();
}

bool SecretStreamWriter::push(QByteArrayView chunk, QByteArray *out, bool final)
{
    if (!m_started || m_finished)
        return false;
    out->resize(chunk.size() + ChunkOverhead);
    const unsigned char tag = final ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                    : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    if (crypto_secretstream_xchacha20poly1305_push(
            &m_state->state, reinterpret_cast<unsigned char *>(out->data()), nullptr, bytes(chunk),
            quint64(chunk.size()), nullptr, 0, tag) != 0) {
        out->resize(0);
        return false;
    }
    m_finished = final;
    return true;
}

struct SecretStreamReader::State {
    crypto_secretstream_xchacha20poly1305_state state;
    ~State() { WipeMemory(&state, sizeof state); }
};

SecretStreamReader::SecretStreamReader()
    : m_state(std::make_unique<State>())
{}

SecretStreamReader::~SecretStreamReader() = default;

bool SecretStreamReader::start(const SecretBytes<32> &key, QByteArrayView header)
{
    if (!SodiumReady() || m_started || header.size() != SecretStreamWriter::HeaderBytes)
        return false;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&m_state->state, bytes(header), key.data()) != 0)
        return false;
    m_started = true;
    return true;
}

std::optional<QByteArray> SecretStreamReader::pull(QByteArrayView chunk)
{
    QByteArray out;
    if (!pull(chunk, &out))
        return std::nullopt;
    return out;
}

bool SecretStreamReader::pull(QByteArrayView chunk, QByteArray *out)
{
    out->resize(0);
    if (!m_started || m_finished || m_failed)
        return false;
    if (chunk.size() < SecretStreamWriter::ChunkOverhead) {
        m_failed = true;
        return false;
    }
    out->resize(chunk.size() - SecretStreamWriter::ChunkOverhead);
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(
            &m_state->state, reinterpret_cast<unsigned char *>(out->data()), nullptr, &tag, bytes(chunk),
            quint64(chunk.size()), nullptr, 0) != 0) {
        out->resize(0);
        m_failed = true;
        return false;
    }
    if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
        m_finished = true;
    } else if (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE) {
        // Only this wrapper writes to the stream, and it never uses the other tags.
        out->resize(0);
        m_failed = true;
        return false;
    }
    return true;
}
