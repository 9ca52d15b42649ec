// Feeds arbitrary bytes to the packet reader: the classifier and every getter, each checked against
// the search for its single tag.
#include "protocol/ProtocolClassUn.h"
#include "protocol/ProtocolUn.h"
#include "protocol/RetryNotice.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Packet packet(reinterpret_cast<const char *>(data), qsizetype(size));
    volatile qsizetype sink = ClassifyPacket(packet);

    const TDataNewMessage m(packet);
    const TDataFileMessage f(packet);
    struct Text {
        PacketField field;
        QString value;
    };
    const Text texts[] = {{PacketField::Alias, m.GetAlias()},
                          {PacketField::EMail, m.GetEMail()},
                          {PacketField::Field, m.GetField()},
                          {PacketField::House, m.GetHouse()},
                          {PacketField::ICQ, m.GetICQ()},
                          {PacketField::IP, m.GetIP()},
                          {PacketField::Name, m.GetName()},
                          {PacketField::Name2, m.GetName2()},
                          {PacketField::Street, m.GetStreet()},
                          {PacketField::Town, m.GetTown()},
                          {PacketField::WDepartment, m.GetWDepartment()},
                          {PacketField::WField, m.GetWField()},
                          {PacketField::WHouse, m.GetWHouse()},
                          {PacketField::WName, m.GetWName()},
                          {PacketField::WPost, m.GetWPost()},
                          {PacketField::WStreet, m.GetWStreet()},
                          {PacketField::WTown, m.GetWTown()},
                          {PacketField::WTypeWork, m.GetWTypeWork()},
                          {PacketField::ID, m.GetID()},
                          {PacketField::MAC, m.GetMAC()},
                          {PacketField::Interest, m.GetInterest()},
                          {PacketField::MessageStr, m.GetMessageStr()},
                          {PacketField::FromUserID, m.GetFromUserID()},
                          {PacketField::GroupID, m.GetGroupID()},
                          {PacketField::AutorGroupAliase, m.GetAutorGroupAliase()},
                          {PacketField::AutorGroupID, m.GetAutorGroupID()},
                          {PacketField::AutorGroupIP, m.GetAutorGroupIP()},
                          {PacketField::AutorGroupMAC, m.GetAutorGroupMAC()},
                          {PacketField::GroupName, m.GetGroupName()},
                          {PacketField::ClientID, f.GetClientID()},
                          {PacketField::ClientIP, f.GetClientIP()},
                          {PacketField::FileName, f.GetFileName()},
                          {PacketField::NomberFile, f.GetNomberFile()},
                          {PacketField::ServerID, f.GetServerID()},
                          {PacketField::ServerIP, f.GetServerIP()}};
    // The one-pass reader must read what a search for the single tag reads.
    for (const Text &t : texts) {
        const QString single = GetTagValue(packet, PacketFieldTag(t.field));
        if (t.value != single || t.value.isNull() != single.isNull())
            std::abort();
        sink = sink + t.value.size();
    }
    if (m.GetColor() != ParseIntegerRule(GetTagValue(packet, Tag::Color)) ||
        m.GetImageIndex() != ParsePictureNumberRule(GetTagValue(packet, Tag::ImageIndex)) ||
        m.GetSex() != ParseIntegerRule(GetTagValue(packet, Tag::Sex)) ||
        m.GetOld() != ParseIntegerRule(GetTagValue(packet, Tag::Old)) ||
        m.IsAutoReply() != packet.contains(AutoReplyMarker))
        std::abort();
    QStringList ids;
    m.GetUserIDList(&ids);
    sink = sink + ids.size() + m.IsUserInList(m.GetID());
    // A retry notice is exactly what the builder makes of its digest, up to the case of the digits.
    if (const std::optional<PacketDigest> digest = ReadRetryNotice(packet)) {
        const Packet built = BuildRetryNotice(*digest);
        if (built.size() != packet.size() || built.compare(packet, Qt::CaseInsensitive) != 0)
            std::abort();
    }
    return 0;
}
