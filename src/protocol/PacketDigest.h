#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHashFunctions>
#include <QtGlobal>

#include <optional>

// The 128-bit XXH3 digest of a datagram's bytes: what a receipt, a retry notice and the duplicate
// filter compare instead of the bytes themselves. Not a defence against forgery, only a name for bytes.
struct PacketDigest {
    quint64 high = 0;
    quint64 low = 0;

    static PacketDigest of(QByteArrayView bytes);
    // 32 lower-case hexadecimal digits, the high half first.
    QByteArray toHex() const;
    // Exactly 32 hexadecimal digits of either case; nothing else.
    static std::optional<PacketDigest> fromHex(QByteArrayView hex);

    friend bool operator==(const PacketDigest &, const PacketDigest &) = default;
};

inline size_t qHash(const PacketDigest &digest, size_t seed = 0) noexcept
{
    return qHashMulti(seed, digest.high, digest.low);
}
