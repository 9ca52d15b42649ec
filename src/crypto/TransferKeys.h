#pragma once

#include "crypto/IdentityKeys.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <optional>

// The keys of one transfer connection, one for each direction.
//
// crypto_kx over both users' X25519 keys (the requester as client, the owner as server) gives a pair
// of session keys that only these two users can compute; each is then hashed with the transfer's salt
// (keyed BLAKE2b-256), so that every transfer has keys of its own. The salt should be random bytes of
// both sides (the requester's and the owner's nonce), so that neither can make a transfer reuse keys.
// Whoever can decrypt or produce the other direction's stream proves to hold its user's secret key.
enum class TransferRole { Owner, Requester };

inline constexpr qsizetype MinTransferSaltBytes = 16;
inline constexpr qsizetype MaxTransferSaltBytes = 64;

struct TransferKeys {
    SecretBytes<32> send;
    SecretBytes<32> receive;
};

// Nothing without libsodium, for an unusable peer key or a salt of another size than allowed.
std::optional<TransferKeys> DeriveTransferKeys(const IdentityKeys &own, const QByteArray &peerBoxKey,
                                               TransferRole role, QByteArrayView salt);

// The writing end of a libsodium secretstream (XChaCha20-Poly1305): a 24-byte header first, then one
// encrypted chunk per push, each 17 bytes longer than its plaintext; the last one carries the final tag.
class SecretStreamWriter {
public:
    SecretStreamWriter();
    ~SecretStreamWriter();
    SecretStreamWriter(const SecretStreamWriter &) = delete;
    SecretStreamWriter &operator=(const SecretStreamWriter &) = delete;

    static constexpr qsizetype HeaderBytes = 24;
    static constexpr qsizetype ChunkOverhead = 17;

    // The header for the reader; empty when the stream cannot start.
    QByteArray start(const SecretBytes<32> &key);
    // The encrypted chunk; empty before start, after the final chunk, or on failure.
    QByteArray push(QByteArrayView chunk, bool final = false);
    // The same into a buffer that keeps its memory from chunk to chunk; false on failure.
    bool push(QByteArrayView chunk, QByteArray *out, bool final = false);
    bool finished() const { return m_finished; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    bool m_started = false;
    bool m_finished = false;
};

// The reading end. A chunk that was changed, dropped, repeated, moved or encrypted with another key
// fails, and so does every chunk after it; a stream that stops before the final tag is not finished().
class SecretStreamReader {
public:
    SecretStreamReader();
    ~SecretStreamReader();
    SecretStreamReader(const SecretStreamReader &) = delete;
    SecretStreamReader &operator=(const SecretStreamReader &) = delete;

    // False for a header of the wrong size or without libsodium.
    bool start(const SecretBytes<32> &key, QByteArrayView header);
    // The plaintext of the next chunk; nothing when it does not authenticate or the stream has ended
    // or failed.
    std::optional<QByteArray> pull(QByteArrayView chunk);
    // The same into a buffer that keeps its memory from chunk to chunk; false on failure.
    bool pull(QByteArrayView chunk, QByteArray *out);
    // The final chunk was read.
    bool finished() const { return m_finished; }
    bool failed() const { return m_failed; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    bool m_started = false;
    bool m_finished = false;
    bool m_failed = false;
};
