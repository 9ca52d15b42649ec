#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A packet is the UTF-8 payload of one datagram: a header such as "NEW!^:^$"
// followed by tagged fields.
using Packet = QByteArray;

enum PacketKind : quint8 {
    pkUnknown = 0,
    pkNew = 1,
    pkMessage = 2,
    pkMessageToGroup = 3,
    pkMessageToUser = 4,
    pkFileTo = 5,
    pkDisconnect = 6,
    pkUpdateInfo = 7,
    pkUpdateInfoToGroup = 8,
    pkMessageToGroupRename = 9,
    pkMessageToGroupDelete = 10,
    pkMessageToPrivateDelete = 11,
};

inline constexpr int PacketKindCount = 12;
inline constexpr char HeaderMarker[] = "!^:^$";

// The exact header bytes of a kind, or an empty view for kind 0 and out-of-range numbers.
QByteArrayView PacketHeader(int kind);

// The kind of a packet, 0 when its text up to the first header marker is no known header.
quint8 ClassifyPacket(QByteArrayView packet);
