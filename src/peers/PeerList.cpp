#include "PeerList.h"

#include "ProtocolClassUn.h"

RUserID *TPeerList::GetPeer(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_entries[size_t(index)].get();
}

int TPeerList::append(std::unique_ptr<RUserID> entry)
{
    if (!entry || isFull())
        return -1;
    m_entries.push_back(std::move(entry));
    return count() - 1;
}

int TPeerList::findOnline(const QString &id) const
{
    for (int i = 1; i < count(); ++i) {
        const RUserID &entry = *m_entries[size_t(i)];
        if (entry.Online == 1 && entry.ID == id)
            return i;
    }
    return -1;
}

QString DisplayName(const QString &alias, const QString &ip)
{
    return alias.trimmed().isEmpty() ? ip : alias;
}

QString DisplayName(const RUserID &entry)
{
    return DisplayName(entry.Alias, entry.IP);
}

void FillProfileFromPacket(RUserID &entry, const TDataNewMessage &packet)
{
    entry.Alias = packet.GetAlias();
    entry.PictureIndex = packet.GetImageIndex();
    entry.IP = packet.GetIP();
    entry.MAC = packet.GetMAC();
    entry.ICQ = packet.GetICQ();
    entry.FirstName = packet.GetName();
    entry.SecondName = packet.GetName2();
    entry.EMail = packet.GetEMail();
    entry.Color = packet.GetColor();
    entry.Street = packet.GetStreet();
    entry.Town = packet.GetTown();
    entry.House = packet.GetHouse();
    entry.Field = packet.GetField();
    entry.WorkStreet = packet.GetWStreet();
    entry.WorkTown = packet.GetWTown();
    entry.WorkHouse = packet.GetWHouse();
    entry.WorkField = packet.GetWField();
    entry.WorkName = packet.GetWName();
    entry.WorkDepartment = packet.GetWDepartment();
    entry.WorkType = packet.GetWTypeWork();
    entry.WorkPost = packet.GetWPost();
    entry.Sex = quint8(packet.GetSex());
    entry.Age = quint8(packet.GetOld());
    entry.Interest = packet.GetInterest();
}
