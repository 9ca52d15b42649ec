#include "transfer/FileTransferWire.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QtEndian>

namespace TransferWire {

namespace {

std::optional<QCborMap> readMap(QByteArrayView payload)
{
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(payload.toByteArray(), &error);
    if (error.error != QCborError::NoError || !value.isMap())
        return std::nullopt;
    return value.toMap();
}

QByteArray writeMap(const QCborMap &map)
{
    return map.toCborValue().toCbor();
}

QLatin1StringView key(const char *name)
{
    return QLatin1StringView(name);
}

} // namespace

QByteArray FrameHeader(FrameType type, quint32 length)
{
    QByteArray header(HeaderSize, Qt::Uninitialized);
    header[0] = char(type);
    qToBigEndian(length, header.data() + 1);
    return header;
}

QByteArray Frame(FrameType type, QByteArrayView payload)
{
    QByteArray frame = FrameHeader(type, quint32(payload.size()));
    frame.append(payload);
    return frame;
}

quint32 PayloadLimit(FrameType type)
{
    switch (type) {
    case Request:
        return MaxRequestPayload;
    case Data:
        return MaxDataPayload;
    case Done:
        return 0;
    case Hello:
        return 1024;
    case Refused:
    case Manifest:
    case Get:
    case FileEnd:
    case Skip:
        return MaxControlPayload;
    }
    return 0;
}

bool ParseHeader(QByteArrayView header, FrameType *type, quint32 *length)
{
    if (header.size() < HeaderSize)
        return false;
    const quint8 raw = quint8(header.at(0));
    if (raw < Request || raw > Hello)
        return false;
    const auto t = FrameType(raw);
    const quint32 l = qFromBigEndian<quint32>(header.data() + 1);
    if (l > PayloadLimit(t))
        return false;
    *type = t;
    *length = l;
    return true;
}

QByteArray EncodeRequest(const RequestMessage &m)
{
    QCborMap map;
    map.insert(key("v"), m.version);
    map.insert(key("path"), m.path);
    map.insert(key("client"), m.clientId);
    map.insert(key("number"), m.number);
    return writeMap(map);
}

std::optional<RequestMessage> DecodeRequest(QByteArrayView payload)
{
    const std::optional<QCborMap> map = readMap(payload);
    if (!map || !map->value(key("path")).isString() || !map->value(key("client")).isString())
        return std::nullopt;
    RequestMessage m;
    m.version = int(map->value(key("v")).toInteger());
    m.path = map->value(key("path")).toString();
    m.clientId = map->value(key("client")).toString();
    m.number = map->value(key("number")).toString();
    return m;
}

QByteArray EncodeRefused(const QString &reason)
{
    QCborMap map;
    map.insert(key("reason"), reason);
    return writeMap(map);
}

std::optional<QString> DecodeRefused(QByteArrayView payload)
{
    const std::optional<QCborMap> map = readMap(payload);
    if (!map)
        return std::nullopt;
    return map->value(key("reason")).toString();
}

QByteArray EncodeManifest(const TransferManifest &m)
{
    QCborArray entries;
    for (const ManifestEntry &e : m.entries) {
        QCborMap entry;
        entry.insert(key("p"), e.relative);
        entry.insert(key("d"), e.isDir);
        entry.insert(key("s"), e.size);
        entries.append(entry);
    }
    QCborMap map;
    map.insert(key("dir"), m.isDir);
    map.insert(key("entries"), entries);
    return writeMap(map);
}

std::optional<TransferManifest> DecodeManifest(QByteArrayView payload)
{
    const std::optional<QCborMap> map = readMap(payload);
    if (!map || !map->value(key("entries")).isArray())
        return std::nullopt;
    const QCborArray entries = map->value(key("entries")).toArray();
    if (entries.size() > TransferPath::MaxEntries)
        return std::nullopt;
    TransferManifest m;
    m.isDir = map->value(key("dir")).toBool();
    m.entries.reserve(entries.size());
    for (const QCborValue &value : entries) {
        if (!value.isMap())
            return std::nullopt;
        const QCborMap entry = value.toMap();
        if (!entry.value(key("p")).isString() || !entry.value(key("s")).isInteger())
            return std::nullopt;
        ManifestEntry e{entry.value(key("p")).toString(), entry.value(key("d")).toBool(),
                        entry.value(key("s")).toInteger()};
        if (e.size < 0)
            return std::nullopt;
        m.entries.append(e);
    }
    return m;
}

QByteArray EncodeGet(const GetMessage &m)
{
    QCborMap map;
    map.insert(key("i"), m.entry);
    map.insert(key("o"), m.offset);
    return writeMap(map);
}

std::optional<GetMessage> DecodeGet(QByteArrayView payload)
{
    const std::optional<QCborMap> map = readMap(payload);
    if (!map || !map->value(key("i")).isInteger() || !map->value(key("o")).isInteger())
        return std::nullopt;
    GetMessage m{map->value(key("i")).toInteger(), map->value(key("o")).toInteger()};
    if (m.entry < 0 || m.offset < 0)
        return std::nullopt;
    return m;
}

QByteArray EncodeFileEnd(const FileEndMessage &m)
{
    QCborMap map;
    map.insert(key("size"), m.size);
    if (m.xxh3.isEmpty())
        map.insert(key("sha256"), m.sha256);
    else
        map.insert(key("xxh3"), m.xxh3);
    return writeMap(map);
}

std::optional<FileEndMessage> DecodeFileEnd(QByteArrayView payload)
{
    const std::optional<QCborMap> map = readMap(payload);
    if (!map || !map->value(key("size")).isInteger())
        return std::nullopt;
    const QCborValue sha = map->value(key("sha256"));
    const QCborValue xxh3 = map->value(key("xxh3"));
    if (!sha.isByteArray() && !xxh3.isByteArray())
        return std::nullopt;
    return FileEndMessage{map->value(key("size")).toInteger(), sha.toByteArray(), xxh3.toByteArray()};
}

QByteArray EncodeSkip(const SkipMessage &m)
{
    QCborMap map;
    map.insert(key("i"), m.entry);
    map.insert(key("reason"), m.reason);
    return writeMap(map);
}

std::optional<SkipMessage> DecodeSkip(QByteArrayView payload)
{
    const std::optional<QCborMap> map = readMap(payload);
    if (!map || !map->value(key("i")).isInteger())
        return std::nullopt;
    return SkipMessage{map->value(key("i")).toInteger(), map->value(key("reason")).toString()};
}

QByteArray EncodeHello(const HelloMessage &m)
{
    QCborMap map;
    if (!m.clientId.isEmpty()) {
        map.insert(key("v"), m.version);
        map.insert(key("client"), m.clientId);
    }
    map.insert(key("nonce"), m.nonce);
    return writeMap(map);
}

std::optional<HelloMessage> DecodeHello(QByteArrayView payload)
{
    const std::optional<QCborMap> map = readMap(payload);
    if (!map || !map->value(key("nonce")).isByteArray())
        return std::nullopt;
    HelloMessage m;
    m.version = int(map->value(key("v")).toInteger());
    m.clientId = map->value(key("client")).toString();
    m.nonce = map->value(key("nonce")).toByteArray();
    if (m.nonce.size() != HelloNonceBytes)
        return std::nullopt;
    return m;
}

} // namespace TransferWire
