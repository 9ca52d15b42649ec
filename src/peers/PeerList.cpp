#include "peers/PeerList.h"

#include "protocol/ProtocolClassUn.h"

#include <algorithm>

RUserID *PeerList::GetPeer(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_entries[size_t(index)].get();
}

int PeerList::append(std::unique_ptr<RUserID> entry)
{
    if (!entry || isFull())
        return -1;
    const bool online = entry->Online == 1;
    entry->Online = 0;
    m_entries.push_back(std::move(entry));
    m_lastHeard.push_back(++m_clock);
    const int index = count() - 1;
    if (online)
        setOnline(index, true);
    return index;
}

bool PeerList::replace(int index, std::unique_ptr<RUserID> entry)
{
    if (!entry || index <= 0 || index >= count())
        return false;
    setOnline(index, false);
    const bool online = entry->Online == 1;
    entry->Online = 0;
    m_entries[size_t(index)] = std::move(entry);
    m_lastHeard[size_t(index)] = ++m_clock;
    if (online)
        setOnline(index, true);
    return true;
}

int PeerList::findOnline(const QString &id) const
{
    const auto found = m_online.constFind(id);
    return found == m_online.cend() || found->isEmpty() ? -1 : found->first();
}

void PeerList::setOnline(int index, bool online)
{
    RUserID *entry = GetPeer(index);
    if (!entry || index == 0 || (entry->Online == 1) == online)
        return;
    entry->Online = online ? 1 : 0;
    QList<int> &indexes = m_online[entry->ID];
    if (online) {
        indexes.insert(std::lower_bound(indexes.begin(), indexes.end(), index), index);
    } else {
        indexes.removeOne(index);
        if (indexes.isEmpty())
            m_online.remove(entry->ID);
    }
}

void PeerList::touch(int index)
{
    if (index > 0 && index < count())
        m_lastHeard[size_t(index)] = ++m_clock;
}

int PeerList::reusableSlot(const Referenced &referenced) const
{
    for (int i = 1; i < count(); ++i) {
        if (m_entries[size_t(i)]->Online != 1 && !(referenced && referenced(i)))
            return i;
    }
    return -1;
}

int PeerList::stalestOnline(const Referenced &referenced, bool anonymousOnly) const
{
    int stalest = -1;
    for (int i = 1; i < count(); ++i) {
        const RUserID &entry = *m_entries[size_t(i)];
        if (entry.Online != 1 || (anonymousOnly && !entry.ID.isEmpty()) || (referenced && referenced(i)))
            continue;
        if (stalest < 0 || m_lastHeard[size_t(i)] < m_lastHeard[size_t(stalest)])
            stalest = i;
    }
    return stalest;
}

int PeerList::anonymousOnline() const
{
    const auto found = m_online.constFind(QString());
    return found == m_online.cend() ? 0 : int(found->size());
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
