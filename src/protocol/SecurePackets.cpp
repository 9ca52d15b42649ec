#include "protocol/SecurePackets.h"

#include "protocol/ProtocolClassUn.h"

#include <QtEndian>

using namespace SecurePacket;

namespace {

constexpr char KeyLabel[] = "PerixChat key v1";
constexpr char SealedLabel[] = "PerixChat sealed v1";
constexpr char SignatureLabel[] = "PerixChat signature v1";

// The UTF-8 bytes of an ID that can travel: 1..MaxIdBytes long; empty otherwise.
QByteArray idBytes(const QString &id)
{
    const QByteArray bytes = id.toUtf8();
    return bytes.size() <= MaxIdBytes ? bytes : QByteArray();
}

void appendId(QByteArray &out, const QByteArray &id)
{
    out.append(char(id.size()));
    out.append(id);
}

void appendTime(QByteArray &out, qint64 timeMs)
{
    char bytes[TimeBytes];
    qToBigEndian(quint64(timeMs), bytes);
    out.append(bytes, TimeBytes);
}

QByteArray labelled(const char *label, qsizetype reserve)
{
    QByteArray out;
    out.reserve(qsizetype(qstrlen(label)) + 1 + reserve);
    out.append(label);
    out.append('\0');
    return out;
}

// Reads the binary fields of one packet front to back; every read fails once one has failed.
class Reader {
public:
    explicit Reader(QByteArrayView bytes)
        : m_rest(bytes)
    {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_rest.isEmpty(); }
    qsizetype remaining() const { return m_rest.size(); }

    QByteArrayView take(qsizetype n)
    {
        if (!m_ok || n < 0 || n > m_rest.size()) {
            m_ok = false;
            return {};
        }
        const QByteArrayView part = m_rest.first(n);
        m_rest = m_rest.sliced(n);
        return part;
    }
    QByteArray bytes(qsizetype n) { return take(n).toByteArray(); }
    quint8 byte()
    {
        const QByteArrayView b = take(1);
        return m_ok ? quint8(b[0]) : 0;
    }
    qint64 time()
    {
        const QByteArrayView b = take(TimeBytes);
        return m_ok ? qint64(qFromBigEndian<quint64>(b.data())) : 0;
    }
    // An ID of 1..MaxIdBytes bytes of valid UTF-8.
    QString id()
    {
        const quint8 length = byte();
        if (length == 0 || length > MaxIdBytes)
            m_ok = false;
        const QByteArrayView b = take(length);
        if (!m_ok)
            return {};
        QString text = QString::fromUtf8(b);
        if (text.toUtf8() != b) {
            m_ok = false;
            return {};
        }
        return text;
    }
    // The packet must begin with the header and the version this reader knows.
    bool header(const char *header)
    {
        const QByteArrayView h(header);
        if (take(h.size()) != h)
            m_ok = false;
        if (byte() != Version)
            m_ok = false;
        return m_ok;
    }

private:
    QByteArrayView m_rest;
    bool m_ok = true;
};

QByteArray startPacket(const char *header, qsizetype reserve)
{
    QByteArray out;
    out.reserve(qsizetype(qstrlen(header)) + 1 + reserve);
    out.append(header);
    out.append(char(Version));
    return out;
}

constexpr qsizetype headerLength(const char *header)
{
    qsizetype n = 0;
    while (header[n])
        ++n;
    return n;
}

} // namespace

SecureKind ClassifySecurePacket(QByteArrayView packet)
{
    const qsizetype marker = packet.indexOf(QByteArrayView(HeaderMarker));
    if (marker < 0)
        return SecureKind::None;
    const QByteArrayView header = packet.first(marker + qsizetype(sizeof(HeaderMarker) - 1));
    if (header == QByteArrayView(KeyHeader))
        return SecureKind::Key;
    if (header == QByteArrayView(SealedHeader))
        return SecureKind::Sealed;
    if (header == QByteArrayView(SignatureHeader))
        return SecureKind::Signature;
    return SecureKind::None;
}

QByteArray KeySignedBytes(const QString &userId, const PeerPublicKeys &keys, qint64 timeMs)
{
    const QByteArray id = idBytes(userId);
    if (id.isEmpty() || !keys.isValid())
        return {};
    QByteArray out = labelled(KeyLabel, 1 + id.size() + 2 * KeyBytes + TimeBytes);
    appendId(out, id);
    out.append(keys.box);
    out.append(keys.sign);
    appendTime(out, timeMs);
    return out;
}

Packet BuildKeyPacket(const KeyAnnouncement &a)
{
    const QByteArray id = idBytes(a.userId);
    if (id.isEmpty() || !a.keys.isValid() || a.signature.size() != SignatureBytes)
        return {};
    Packet out = startPacket(KeyHeader, 1 + id.size() + 2 * KeyBytes + TimeBytes + SignatureBytes);
    appendId(out, id);
    out.append(a.keys.box);
    out.append(a.keys.sign);
    appendTime(out, a.timeMs);
    out.append(a.signature);
    return out;
}

std::optional<KeyAnnouncement> ReadKeyPacket(QByteArrayView packet)
{
    if (packet.size() > MaxDatagram)
        return std::nullopt;
    Reader r(packet);
    r.header(KeyHeader);
    KeyAnnouncement a;
    a.userId = r.id();
    a.keys.box = r.bytes(KeyBytes);
    a.keys.sign = r.bytes(KeyBytes);
    a.timeMs = r.time();
    a.signature = r.bytes(SignatureBytes);
    if (!r.ok() || !r.atEnd())
        return std::nullopt;
    return a;
}

Packet BuildSealedPacket(const SealedEnvelope &e)
{
    const QByteArray recipient = idBytes(e.recipientId);
    const QByteArray sender = idBytes(e.senderId);
    if (recipient.isEmpty() || sender.isEmpty() || e.nonce.size() != NonceBytes ||
        e.box.size() < MacBytes + TimeBytes + SignatureBytes + 1)
        return {};
    Packet out = startPacket(SealedHeader, 2 + recipient.size() + sender.size() + NonceBytes + e.box.size());
    appendId(out, recipient);
    appendId(out, sender);
    out.append(e.nonce);
    out.append(e.box);
    if (out.size() > MaxDatagram)
        return {};
    return out;
}

std::optional<SealedEnvelope> ReadSealedPacket(QByteArrayView packet)
{
    if (packet.size() > MaxDatagram)
        return std::nullopt;
    Reader r(packet);
    r.header(SealedHeader);
    SealedEnvelope e;
    e.recipientId = r.id();
    e.senderId = r.id();
    e.nonce = r.bytes(NonceBytes);
    if (r.remaining() < MacBytes + TimeBytes + SignatureBytes + 1)
        return std::nullopt;
    e.box = r.bytes(r.remaining());
    if (!r.ok())
        return std::nullopt;
    return e;
}

QByteArray BuildSealedContent(const SealedContent &c)
{
    if (c.signature.size() != SignatureBytes || c.packet.isEmpty())
        return {};
    QByteArray out;
    out.reserve(TimeBytes + SignatureBytes + c.packet.size());
    appendTime(out, c.timeMs);
    out.append(c.signature);
    out.append(c.packet);
    return out;
}

std::optional<SealedContent> ReadSealedContent(QByteArrayView plain)
{
    Reader r(plain);
    SealedContent c;
    c.timeMs = r.time();
    c.signature = r.bytes(SignatureBytes);
    if (!r.ok() || r.atEnd())
        return std::nullopt;
    c.packet = r.bytes(r.remaining());
    return c;
}

QByteArray SealedSignedBytes(const QString &senderId, const QString &recipientId, qint64 timeMs,
                             QByteArrayView packet)
{
    const QByteArray sender = idBytes(senderId);
    const QByteArray recipient = idBytes(recipientId);
    if (sender.isEmpty() || recipient.isEmpty())
        return {};
    QByteArray out = labelled(SealedLabel, 2 + sender.size() + recipient.size() + TimeBytes + packet.size());
    appendId(out, sender);
    appendId(out, recipient);
    appendTime(out, timeMs);
    out.append(packet);
    return out;
}

QByteArray CompanionSignedBytes(const QString &senderId, qint64 timeMs, QByteArrayView digest)
{
    const QByteArray sender = idBytes(senderId);
    if (sender.isEmpty() || digest.size() != DigestBytes)
        return {};
    QByteArray out = labelled(SignatureLabel, 1 + sender.size() + TimeBytes + DigestBytes);
    appendId(out, sender);
    appendTime(out, timeMs);
    out.append(digest);
    return out;
}

Packet BuildSignaturePacket(const SignatureCompanion &c)
{
    const QByteArray sender = idBytes(c.senderId);
    if (sender.isEmpty() || c.digest.size() != DigestBytes || c.signature.size() != SignatureBytes)
        return {};
    Packet out = startPacket(SignatureHeader, 1 + sender.size() + TimeBytes + DigestBytes + SignatureBytes);
    appendId(out, sender);
    appendTime(out, c.timeMs);
    out.append(c.digest);
    out.append(c.signature);
    return out;
}

std::optional<SignatureCompanion> ReadSignaturePacket(QByteArrayView packet)
{
    if (packet.size() > MaxDatagram)
        return std::nullopt;
    Reader r(packet);
    r.header(SignatureHeader);
    SignatureCompanion c;
    c.senderId = r.id();
    c.timeMs = r.time();
    c.digest = r.bytes(DigestBytes);
    c.signature = r.bytes(SignatureBytes);
    if (!r.ok() || !r.atEnd())
        return std::nullopt;
    return c;
}

qsizetype SealedPacketSize(qsizetype senderIdBytes, qsizetype recipientIdBytes, qsizetype packetBytes)
{
    return headerLength(SealedHeader) + 1 + 1 + recipientIdBytes + 1 + senderIdBytes + NonceBytes + MacBytes +
           TimeBytes + SignatureBytes + packetBytes;
}

qsizetype MaxSealablePacket(const QString &senderId, const QString &recipientId)
{
    const QByteArray sender = idBytes(senderId);
    const QByteArray recipient = idBytes(recipientId);
    if (sender.isEmpty() || recipient.isEmpty())
        return 0;
    return MaxDatagram - SealedPacketSize(sender.size(), recipient.size(), 0);
}

QString ClaimedSenderId(QByteArrayView packet)
{
    switch (ClassifyPacket(packet)) {
    case pkUnknown:
        return {};
    case pkFileTo:
        return GetTagValue(packet, Tag::ClientID);
    case pkMessageToGroupRename:
    case pkMessageToGroupDelete:
        return GetTagValue(packet, Tag::AutorGroupID);
    default:
        return GetTagValue(packet, Tag::ID);
    }
}
