#include "protocol/PacketDigest.h"

#include <xxhash.h>

PacketDigest PacketDigest::of(QByteArrayView bytes)
{
    const XXH128_hash_t hash = XXH3_128bits(bytes.data(), size_t(bytes.size()));
    return {hash.high64, hash.low64};
}

QByteArray PacketDigest::toHex() const
{
    return QByteArray::number(high, 16).rightJustified(16, '0') +
           QByteArray::number(low, 16).rightJustified(16, '0');
}

std::optional<PacketDigest> PacketDigest::fromHex(QByteArrayView hex)
{
    if (hex.size() != 32)
        return std::nullopt;
    for (const char c : hex) {
        const bool digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit)
            return std::nullopt;
    }
    bool highOk = false;
    bool lowOk = false;
    const quint64 high = hex.first(16).toULongLong(&highOk, 16);
    const quint64 low = hex.sliced(16).toULongLong(&lowOk, 16);
    if (!highOk || !lowOk)
        return std::nullopt;
    return PacketDigest{high, low};
}
