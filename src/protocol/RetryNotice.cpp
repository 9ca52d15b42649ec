#include "protocol/RetryNotice.h"

namespace {
constexpr QByteArrayView Open("<DIGEST>");
constexpr QByteArrayView Close("</DIGEST>");
constexpr qsizetype DigestDigits = 32;
} // namespace

Packet BuildRetryNotice(const PacketDigest &digest)
{
    return QByteArray(RetryNoticeHeader) + Open.toByteArray() + digest.toHex() + Close.toByteArray();
}

std::optional<PacketDigest> ReadRetryNotice(QByteArrayView datagram)
{
    const QByteArrayView header(RetryNoticeHeader);
    if (datagram.size() != header.size() + Open.size() + DigestDigits + Close.size())
        return std::nullopt;
    if (!datagram.startsWith(header) || datagram.sliced(header.size(), Open.size()) != Open ||
        !datagram.endsWith(Close))
        return std::nullopt;
    return PacketDigest::fromHex(datagram.sliced(header.size() + Open.size(), DigestDigits));
}
