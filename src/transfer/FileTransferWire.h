#pragma once

#include "transfer/TransferPaths.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The bytes of a transfer connection. The requester opens it right after its FILETO; every message
// is a frame: one type byte, the payload length as 4 bytes big-endian, the payload. Control payloads
// are CBOR maps; data payloads are raw file bytes.
namespace TransferWire {

inline constexpr int Version = 1;
inline constexpr int HeaderSize = 5;
inline constexpr quint32 MaxRequestPayload = 64 * 1024;
inline constexpr quint32 MaxControlPayload = 16 * 1024 * 1024;
inline constexpr quint32 MaxDataPayload = 1024 * 1024;
inline constexpr int DataChunk = 1024 * 1024 - HeaderSize;

enum FrameType : quint8 {
    Request = 1,  // requester: {v, path, client, number}
    Refused = 2,  // owner: {reason}; the owner closes
    Manifest = 3, // owner: {dir, entries: [{p, d, s}]}
    Get = 4,      // requester: {i, o}: entry i from byte o on
    Data = 5,     // owner: bytes of the entry asked for
    FileEnd = 6,  // owner: {size, sha256} of the whole entry, the bytes before o included
    Skip = 7,     // owner: {i, reason}: the entry cannot be served
    Done = 8,     // requester: nothing more; either side closes
    Hello = 9,    // between users with keys, before anything else: {v, client, nonce} / {nonce}
};

QByteArray FrameHeader(FrameType type, quint32 length);
QByteArray Frame(FrameType type, QByteArrayView payload);
// False for an unknown type or a length above the type's limit.
bool ParseHeader(QByteArrayView header, FrameType *type, quint32 *length);
quint32 PayloadLimit(FrameType type);

struct RequestMessage {
    int version = Version;
    QString path;
    QString clientId;
    QString number;
};
QByteArray EncodeRequest(const RequestMessage &m);
std::optional<RequestMessage> DecodeRequest(QByteArrayView payload);

QByteArray EncodeRefused(const QString &reason);
std::optional<QString> DecodeRefused(QByteArrayView payload);

QByteArray EncodeManifest(const TransferManifest &m);
// Nothing for malformed CBOR, negative sizes or more entries than allowed; paths are checked by the
// receiver, which must treat them as foreign.
std::optional<TransferManifest> DecodeManifest(QByteArrayView payload);

struct GetMessage {
    qint64 entry = 0;
    qint64 offset = 0;
};
QByteArray EncodeGet(const GetMessage &m);
std::optional<GetMessage> DecodeGet(QByteArrayView payload);

struct FileEndMessage {
    qint64 size = 0;
    QByteArray sha256;
    QByteArray xxh3; // instead of sha256, inside the stream between users with keys
};
QByteArray EncodeFileEnd(const FileEndMessage &m);
std::optional<FileEndMessage> DecodeFileEnd(QByteArrayView payload);

struct SkipMessage {
    qint64 entry = 0;
    QString reason;
};
QByteArray EncodeSkip(const SkipMessage &m);
std::optional<SkipMessage> DecodeSkip(QByteArrayView payload);

// The clear greeting of a connection between users with keys; the owner's has no client.
inline constexpr int SealedVersion = 2;
inline constexpr qsizetype HelloNonceBytes = 32;
struct HelloMessage {
    int version = SealedVersion;
    QString clientId;
    QByteArray nonce;
};
QByteArray EncodeHello(const HelloMessage &m);
// Nothing for malformed CBOR or a nonce of another size.
std::optional<HelloMessage> DecodeHello(QByteArrayView payload);

} // namespace TransferWire
