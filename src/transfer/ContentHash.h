#pragma once

#include "transfer/Sha256.h"
#include "transfer/Xxh3.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The whole-content check of a transfer: SHA-256 on the plain wire, where the bytes could be anyone's
// and only a cryptographic hash shows a change; XXH3-128 inside the authenticated stream between two
// users with keys, where nobody else can choose the bytes and the check only has to catch our own
// mistakes (a wrong offset, a file changed while it was read) at memory speed.
class ContentHash {
public:
    enum class Kind { Sha256, Xxh3 };

    // Only the hash of the kind is made: SHA-256 loads libcrypto, which a sealed transfer never needs.
    explicit ContentHash(Kind kind = Kind::Sha256)
        : m_kind(kind)
    {
        if (kind == Kind::Xxh3)
            m_xxh3.emplace();
        else
            m_sha.emplace();
    }

    Kind kind() const { return m_kind; }
    void addData(QByteArrayView data)
    {
        if (m_xxh3)
            m_xxh3->addData(data);
        else
            m_sha->addData(data);
    }
    // The digest; the hash starts over afterwards.
    QByteArray result() { return m_xxh3 ? m_xxh3->result() : m_sha->result(); }

private:
    Kind m_kind;
    std::optional<Sha256> m_sha;
    std::optional<Xxh3> m_xxh3;
};
