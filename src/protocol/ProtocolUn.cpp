#include "protocol/ProtocolUn.h"

#include <array>

namespace {

constexpr std::array<QByteArrayView, PacketKindCount> Headers = {
    QByteArrayView(),
    QByteArrayView("NEW!^:^$"),
    QByteArrayView("MESSAGE!^:^$"),
    QByteArrayView("MESSAGETOGROUP!^:^$"),
    QByteArrayView("MESSAGETOUSER!^:^$"),
    QByteArrayView("FILETO!^:^$"),
    QByteArrayView("DISCONNECT!^:^$"),
    QByteArrayView("UPDATEINFO!^:^$"),
    QByteArrayView("UPDATEINFOTOGROUP_!^:^$"),
    QByteArrayView("MESSAGETOGROUPRENAME!^:^$"),
    QByteArrayView("MESSAGETOGROUPDELETE!^:^$"),
    QByteArrayView("MESSAGETOPRIVATEDELETE!^:^$"),
};

} // namespace

QByteArrayView PacketHeader(int kind)
{
    if (kind <= 0 || kind >= PacketKindCount)
        return {};
    return Headers[static_cast<size_t>(kind)];
}

quint8 ClassifyPacket(QByteArrayView packet)
{
    const qsizetype marker = packet.indexOf(QByteArrayView(HeaderMarker));
    if (marker < 0)
        return pkUnknown;
    const QByteArrayView header = packet.first(marker + qsizetype(sizeof(HeaderMarker) - 1));
    for (int kind = 1; kind < PacketKindCount; ++kind) {
        if (header == Headers[static_cast<size_t>(kind)])
            return static_cast<quint8>(kind);
    }
    return pkUnknown;
}
