#include "peers/PeerRegistry.h"

#include "net/PacketTransport.h"
#include "peers/GroupBoxStorageUn.h"
#include "peers/UserProfile.h"
#include "protocol/ConstUnit.h"
#include "protocol/Guid.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "settings/SettingsStore.h"
#include "settings/TMyUserData.h"

#include <cstdlib>

using namespace GroupStorage;

PeerRegistry::PeerRegistry(const SettingsStore &store, PacketTransport *transport, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_transport(transport)
{
    m_groups.append({MainGroupNumber, ConstUnit::text(ConstUnit::Text::MainGroup), QString(), false, {}});
    m_groups.append({BadListNumber, ConstUnit::text(ConstUnit::Text::BadList), QString(), false, {}});
    m_noticeTimer.setSingleShot(true);
    connect(&m_noticeTimer, &QTimer::timeout, this, &PeerRegistry::FlushNotices);
}

PeerRegistry::~PeerRegistry()
{
    FlushNotices();
}

void PeerRegistry::openNoticeBatch()
{
    if (m_noticeBatchOpen)
        return;
    m_noticeBatchOpen = true;
    m_storeBatch.emplace(m_store);
    Q_EMIT arrivalsStarted();
    m_noticeTimer.start(FrameMs);
}

void PeerRegistry::FlushNotices()
{
    m_noticeTimer.stop();
    if (!m_noticeBatchOpen)
        return;
    m_noticeBatchOpen = false;
    m_storeBatch.reset();
    Q_EMIT arrivalsFlushed();
}

void PeerRegistry::BuildLocalEntry()
{
    auto entry = std::make_unique<RUserID>(TMyUserData(m_store).ReadLocalEntry());
    entry->IP = m_transport ? m_transport->LocalIP() : QString();
    entry->GroupNumber = -1;
    entry->Blocked = 0;
    if (m_peers.append(std::move(entry)) == 0)
        Q_EMIT localEntryChanged();
}

void PeerRegistry::ApplyLocalProfile(const ProfileFields &fields)
{
    RUserID *me = m_peers.GetPeer(0);
    ApplyProfileFields(m_store, me, fields);
    if (!me)
        return;
    SendPresence(false);
    Q_EMIT localEntryChanged();
}

void PeerRegistry::SetLocalIP(const QString &ip)
{
    RUserID *me = m_peers.GetPeer(0);
    if (!me || me->IP == ip)
        return;
    // The others show the address of the profile; they learn the new one at once.
    me->IP = ip;
    Q_EMIT localEntryChanged();
    SendPresence(false);
}

void PeerRegistry::NoteNewAnswered(const QString &id)
{
    // Bounded: under a flood of made-up IDs the oldest notes are dropped, which costs one extra answer.
    if (m_answeredEarly.size() >= 1024)
        m_answeredEarly.clear();
    if (!id.isEmpty())
        m_answeredEarly.insert(id);
}

void PeerRegistry::LoadGroups()
{
    m_groups[1].groupId = ReadFixedGroupID(m_store, BadGroupIDSection);
    m_groups[0].groupId = ReadFixedGroupID(m_store, MainGroupIDSection);
    for (const StoredGroup &stored : LoadStoredGroups(m_store))
        CreateGroup(stored.caption, stored.groupId, true, stored.number);
    Q_EMIT groupsLoaded();
}

void PeerRegistry::RestoreCollapsed()
{
    for (const ContactGroup &g : QList<ContactGroup>(m_groups)) {
        if (g.number == MainGroupNumber)
            SetCollapsed(g.number, ReadFixedCollapsed(m_store, MainCollapseSection));
        else if (g.number == BadListNumber)
            SetCollapsed(g.number, ReadFixedCollapsed(m_store, BadCollapseSection));
        else
            SetCollapsed(g.number, ReadStoredCollapsed(m_store, g.number));
    }
}

void PeerRegistry::SendPresence(bool isNew)
{
    if (const RUserID *me = local(); me && m_transport)
        m_transport->SendPacket(BuildPresencePacket(*me, isNew));
}

void PeerRegistry::SendDisconnect()
{
    if (const RUserID *me = local(); me && m_transport)
        m_transport->SendPacket(BuildDisconnectPacket(*me));
}

void PeerRegistry::ProcessNewPacket(const Packet &text)
{
    handleNew(TDataNewMessage(text));
}

void PeerRegistry::handleNew(const TDataNewMessage &packet)
{
    const QString id = packet.GetID();
    const RUserID *me = local();
    if (!me || id == me->ID)
        return;
    // An empty ID is never taken for a known user: each such NEW is a newcomer.
    if (const int known = id.isEmpty() ? -1 : m_peers.findOnline(id); known >= 0) {
        m_peers.touch(known);
        if (!m_answeredEarly.remove(id))
            SendPresence(false);
        return;
    }
    const int slot = placeForNewPeer(id.isEmpty());
    if (slot < 0)
        return;
    auto entry = std::make_unique<RUserID>();
    FillProfileFromPacket(*entry, packet);
    entry->ID = id;
    entry->Blocked = 0;
    entry->Online = 1;
    entry->GroupNumber = MainGroupNumber;
    const int k =
        slot == 0 ? m_peers.append(std::move(entry)) : (m_peers.replace(slot, std::move(entry)) ? slot : -1);
    if (k < 0)
        return;
    if (!m_answeredEarly.remove(id))
        SendPresence(false);
    openNoticeBatch();
    addMember(GroupOrMain(StoredGroupOfUser(m_store, id)), k);
    Q_EMIT peerArrived(k);
}

int PeerRegistry::placeForNewPeer(bool anonymous)
{
    const PeerList::Referenced referenced = [this](int k) {
        return isHeld(k);
    };
    // Users without an ID are each a newcomer: a few of them at a time, the oldest makes way.
    if (anonymous && m_peers.anonymousOnline() >= PeerList::MaxAnonymous) {
        const int oldest = m_peers.stalestOnline(referenced, true);
        if (oldest < 0)
            return -1;
        ForgetPeer(oldest);
        return oldest;
    }
    if (!m_peers.isFull())
        return 0;
    if (const int offline = m_peers.reusableSlot(referenced); offline > 0)
        return offline;
    // Full of online users: the one heard from longest ago goes quietly, so that a real newcomer
    // is never refused by a flood of made-up ones.
    const int stalest = m_peers.stalestOnline(referenced);
    if (stalest > 0)
        ForgetPeer(stalest);
    return stalest;
}

void PeerRegistry::ForgetPeer(int peerIndex)
{
    const RUserID *entry = m_peers.GetPeer(peerIndex);
    if (!entry || peerIndex == 0)
        return;
    if (PlaceOf(peerIndex))
        removeMember(peerIndex);
    m_peers.setOnline(peerIndex, false);
}

void PeerRegistry::HoldPeer(int peerIndex)
{
    if (peerIndex > 0)
        ++m_held[peerIndex];
}

void PeerRegistry::ReleasePeer(int peerIndex)
{
    auto held = m_held.find(peerIndex);
    if (held != m_held.end() && --*held <= 0)
        m_held.erase(held);
}

void PeerRegistry::ProcessUpdateInfoPacket(const Packet &text)
{
    const TDataNewMessage packet(text);
    const QString id = packet.GetID();
    // The own answers come back from the broadcast; they are the most frequent packet of a discovery.
    if (const RUserID *me = local(); !me || id == me->ID)
        return;
    const std::optional<PeerPlace> place = FindPeer(id);
    RUserID *entry = place ? m_peers.GetPeer(place->peerIndex) : nullptr;
    if (!entry || place->peerIndex == 0) {
        handleNew(packet);
        return;
    }
    const int k = place->peerIndex;
    m_peers.touch(k);
    FillProfileFromPacket(*entry, packet);
    Q_EMIT peerUpdated(k);
}

void PeerRegistry::ProcessDisconnectPacket(const Packet &text)
{
    const TDataNewMessage packet(text);
    const std::optional<PeerPlace> place = FindPeer(packet.GetID());
    if (!place || place->peerIndex == 0)
        return;
    RUserID farewell;
    farewell.ID = packet.GetID();
    farewell.Alias = packet.GetAlias();
    farewell.IP = packet.GetIP();
    farewell.PictureIndex = packet.GetImageIndex();
    farewell.Color = packet.GetColor();
    // A departure may ask a question (its private talk): what came before it is shown first.
    FlushNotices();
    const int k = place->peerIndex;
    Q_EMIT peerLeaving(k, farewell);
    m_peers.setOnline(k, false);
    removeMember(k);
    Q_EMIT peerLeft(k, farewell);
}

std::optional<PeerPlace> PeerRegistry::FindPeer(const QString &id) const
{
    return PlaceOf(m_peers.findOnline(id));
}

std::optional<PeerPlace> PeerRegistry::PlaceOf(int peerIndex) const
{
    const RUserID *entry = peerIndex > 0 ? m_peers.GetPeer(peerIndex) : nullptr;
    if (!entry || !entry->Online)
        return std::nullopt;
    const int index = groupIndex(entry->GroupNumber);
    if (index < 0)
        return std::nullopt;
    const int position = positionIn(m_groups[index], peerIndex);
    if (position < 0)
        return std::nullopt;
    return PeerPlace{peerIndex, entry->GroupNumber, position};
}

int PeerRegistry::positionIn(const ContactGroup &g, int peerIndex) const
{
    if (m_staleGroups.remove(g.number)) {
        for (int i = 0; i < g.members.size(); ++i)
            m_position.insert(g.members[i], i);
    }
    const int position = m_position.value(peerIndex, -1);
    return position >= 0 && position < g.members.size() && g.members[position] == peerIndex ? position : -1;
}

void PeerRegistry::addMember(int number, int peerIndex)
{
    RUserID *entry = m_peers.GetPeer(peerIndex);
    ContactGroup *g = groupPtr(GroupOrMain(number));
    if (!entry || !g)
        return;
    g->members.append(peerIndex);
    m_position.insert(peerIndex, int(g->members.size()) - 1);
    entry->GroupNumber = g->number;
    Q_EMIT memberAdded(g->number, peerIndex);
}

void PeerRegistry::removeMember(int peerIndex)
{
    const RUserID *entry = m_peers.GetPeer(peerIndex);
    ContactGroup *g = entry ? groupPtr(entry->GroupNumber) : nullptr;
    if (!g)
        return;
    const int position = positionIn(*g, peerIndex);
    if (position < 0)
        return;
    g->members.removeAt(position);
    m_position.remove(peerIndex);
    if (position < g->members.size())
        m_staleGroups.insert(g->number);
    Q_EMIT memberRemoved(g->number, peerIndex);
}

const ContactGroup *PeerRegistry::group(int number) const
{
    const int index = groupIndex(number);
    return index >= 0 ? &m_groups[index] : nullptr;
}

ContactGroup *PeerRegistry::groupPtr(int number)
{
    const int index = groupIndex(number);
    return index >= 0 ? &m_groups[index] : nullptr;
}

int PeerRegistry::groupIndex(int number) const
{
    // A handful of groups: a scan is cheaper than keeping an index in step.
    for (int i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i].number == number)
            return i;
    }
    return -1;
}

bool PeerRegistry::IsFixedGroup(int number)
{
    return number == MainGroupNumber || number == BadListNumber;
}

int PeerRegistry::GroupOrMain(int number) const
{
    return groupIndex(number) >= 0 ? number : MainGroupNumber;
}

int PeerRegistry::AllocateGroupNumber(int requested) const
{
    if (requested != -1 && groupIndex(requested) < 0)
        return requested;
    int n = int(m_groups.size()) + 1;
    while (groupIndex(n) >= 0 || HasStoredGroup(m_store, n))
        ++n;
    return n;
}

int PeerRegistry::CreateGroup(const QString &caption, const QString &groupId, bool loaded,
                              int requestedNumber)
{
    const int number = AllocateGroupNumber(std::abs(requestedNumber));
    ContactGroup g;
    g.number = number;
    g.caption = caption.trimmed().isEmpty() ? QStringLiteral(" ") : caption;
    g.groupId = groupId;
    m_groups.append(g);
    if (loaded && number != requestedNumber)
        WriteStoredGroup(m_store, {number, g.collapsed, g.caption, g.groupId});
    Q_EMIT groupAdded(number);
    return number;
}

int PeerRegistry::CreateNewGroup()
{
    return CreateGroup(QStringLiteral(" "), NewRegistryGuid(), false, -1);
}

bool PeerRegistry::RenameGroup(int number, const QString &caption)
{
    ContactGroup *g = groupPtr(number);
    if (!g || IsFixedGroup(number))
        return false;
    g->caption = NormalizeGroupCaption(caption);
    if (const RUserID *me = local(); me && m_transport)
        m_transport->SendPacket(
            BuildContactGroupRenamePacket(g->groupId, WireIdentity::fromEntry(*me), g->caption));
    if (HasStoredGroup(m_store, number))
        WriteStoredGroup(m_store, {g->number, g->collapsed, g->caption, g->groupId});
    Q_EMIT groupRenamed(number);
    return true;
}

bool PeerRegistry::DeleteGroup(int number)
{
    const ContactGroup *g = group(number);
    if (!g || IsFixedGroup(number))
        return false;
    if (const RUserID *me = local(); me && m_transport)
        m_transport->SendPacket(
            BuildContactGroupDeletePacket(g->groupId, WireIdentity::fromEntry(*me), g->caption));
    const QList<int> members = g->members;
    for (qsizetype i = members.size() - 1; i >= 0; --i)
        MoveUser(members[i], MainGroupNumber);
    EraseStoredGroup(m_store, number);
    const int index = groupIndex(number);
    if (index < 0)
        return false;
    m_groups.removeAt(index);
    m_staleGroups.remove(number);
    Q_EMIT groupRemoved(number);
    return true;
}

bool PeerRegistry::MoveUser(int peerIndex, int targetNumber)
{
    RUserID *entry = m_peers.GetPeer(peerIndex);
    const std::optional<PeerPlace> from = PlaceOf(peerIndex);
    if (!entry || !from || groupIndex(targetNumber) < 0)
        return false;
    removeMember(peerIndex);
    StoreUserGroup(m_store, entry->ID, targetNumber);
    addMember(targetNumber, peerIndex);
    return true;
}

bool PeerRegistry::AddToBadList(int peerIndex)
{
    const std::optional<PeerPlace> place = PlaceOf(peerIndex);
    if (!place || place->groupNumber == BadListNumber)
        return false;
    return MoveUser(peerIndex, BadListNumber);
}

bool PeerRegistry::SetBlocked(int peerIndex, bool blocked)
{
    RUserID *entry = peerIndex > 0 ? m_peers.GetPeer(peerIndex) : nullptr;
    if (!entry)
        return false;
    entry->Blocked = blocked ? 1 : 0;
    Q_EMIT blockedChanged(peerIndex, blocked);
    return true;
}

bool PeerRegistry::SetCollapsed(int number, bool collapsed)
{
    ContactGroup *g = groupPtr(number);
    if (!g)
        return false;
    if (g->collapsed == collapsed)
        return true;
    g->collapsed = collapsed;
    Q_EMIT groupCollapsedChanged(number, collapsed);
    return true;
}

void PeerRegistry::StoreCollapsed() const
{
    WriteFixedCollapsed(m_store, MainCollapseSection, m_groups[0].collapsed);
    WriteFixedCollapsed(m_store, BadCollapseSection, m_groups[1].collapsed);
    for (const ContactGroup &g : m_groups) {
        if (!IsFixedGroup(g.number) && HasStoredGroup(m_store, g.number))
            WriteStoredCollapsed(m_store, g.number, g.collapsed);
    }
}

void PeerRegistry::StoreGroups() const
{
    WriteFixedGroupID(m_store, BadGroupIDSection, m_groups[1].groupId);
    WriteFixedGroupID(m_store, MainGroupIDSection, m_groups[0].groupId);
    for (const ContactGroup &g : m_groups) {
        if (!IsFixedGroup(g.number))
            WriteStoredGroup(m_store, {g.number, g.collapsed, g.caption, g.groupId});
    }
    WriteFixedCollapsed(m_store, MainCollapseSection, m_groups[0].collapsed);
    WriteFixedCollapsed(m_store, BadCollapseSection, m_groups[1].collapsed);
}
