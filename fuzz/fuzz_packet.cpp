// Feeds arbitrary bytes to the packet reader: the classifier and every getter.
#include "ProtocolClassUn.h"
#include "ProtocolUn.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Packet packet(reinterpret_cast<const char *>(data), qsizetype(size));
    volatile qsizetype sink = ClassifyPacket(packet);

    const TDataNewMessage m(packet);
    const QString texts[] = {m.GetAlias(),
                             m.GetEMail(),
                             m.GetField(),
                             m.GetHouse(),
                             m.GetICQ(),
                             m.GetIP(),
                             m.GetName(),
                             m.GetName2(),
                             m.GetStreet(),
                             m.GetTown(),
                             m.GetWDepartment(),
                             m.GetWField(),
                             m.GetWHouse(),
                             m.GetWName(),
                             m.GetWPost(),
                             m.GetWStreet(),
                             m.GetWTown(),
                             m.GetWTypeWork(),
                             m.GetID(),
                             m.GetMAC(),
                             m.GetInterest(),
                             m.GetMessageStr(),
                             m.GetFromUserID(),
                             m.GetGroupID(),
                             m.GetAutorGroupAliase(),
                             m.GetAutorGroupID(),
                             m.GetAutorGroupIP(),
                             m.GetAutorGroupMAC(),
                             m.GetGroupName()};
    for (const QString &t : texts)
        sink = sink + t.size();
    sink = sink + m.GetColor() + m.GetImageIndex() + m.GetSex() + m.GetOld() + m.IsAutoReply();
    QStringList ids;
    m.GetUserIDList(&ids);
    sink = sink + ids.size() + m.IsUserInList(m.GetID());

    const TDataFileMessage f(packet);
    sink = sink + f.GetClientID().size() + f.GetClientIP().size() + f.GetFileName().size() +
           f.GetNomberFile().size() + f.GetServerID().size() + f.GetServerIP().size();
    return 0;
}
