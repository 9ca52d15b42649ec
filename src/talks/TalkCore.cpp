#include "talks/TalkCore.h"

#include "features/RemoteText.h"
#include "net/PacketTransport.h"
#include "peers/PeerList.h"
#include "protocol/ConstUnit.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"

#include <algorithm>

namespace {
GroupTalkWire groupWire(const TalkData &data)
{
    return {data.GroupID, data.PeerID, data.PeerIP, data.PeerMAC, data.AuthorAlias, data.GroupName};
}
} // namespace

QString MemberGroupCaption(const QString &authorAlias, const QString &groupName)
{
    return u'[' + authorAlias + QStringLiteral("] ") + groupName;
}

int Talk::memberPosition(const QString &userId) const
{
    for (int i = 0; i < members.size(); ++i) {
        if (members.at(i).userId == userId)
            return i;
    }
    return -1;
}

bool Talk::isGroup() const
{
    return data.kind == tkOwnGroup || data.kind == tkMemberGroup;
}

bool Talk::hasMemberIndex(int peerIndex) const
{
    return std::any_of(members.cbegin(), members.cend(),
                       [peerIndex](const TalkMember &member) { return member.peerIndex == peerIndex; });
}

TalkCore::TalkCore(PacketTransport *transport, ChatQuestions *questions, QObject *parent)
    : QObject(parent)
    , m_transport(transport)
    , m_questions(questions)
{}

QList<int> TalkCore::talkIds() const
{
    QList<int> ids;
    ids.reserve(count());
    for (const auto &talk : m_talks)
        ids.append(talk->id);
    return ids;
}

Talk *TalkCore::find(int id)
{
    for (const auto &talk : m_talks) {
        if (talk->id == id)
            return talk.get();
    }
    return nullptr;
}

const Talk *TalkCore::talk(int id) const
{
    return const_cast<TalkCore *>(this)->find(id);
}

const Talk *TalkCore::talkAt(int position) const
{
    return position >= 0 && position < count() ? m_talks[size_t(position)].get() : nullptr;
}

int TalkCore::positionOf(int id) const
{
    for (int i = 0; i < count(); ++i) {
        if (m_talks[size_t(i)]->id == id)
            return i;
    }
    return -1;
}

const RUserID *TalkCore::local() const
{
    return m_peers ? m_peers->GetPeer(0) : nullptr;
}

WireIdentity TalkCore::localWire() const
{
    const RUserID *me = local();
    return me ? WireIdentity::fromEntry(*me) : WireIdentity{};
}

int TalkCore::FindPrivateTalk(const QString &userId) const
{
    for (const auto &talk : m_talks) {
        if (talk->data.kind == tkPrivate && talk->data.PeerID == userId)
            return talk->id;
    }
    return NoTalk;
}

int TalkCore::FindOwnGroupTalk(int tag) const
{
    for (const auto &talk : m_talks) {
        if (talk->data.kind == tkOwnGroup && talk->data.GroupTag == tag)
            return talk->id;
    }
    return NoTalk;
}

int TalkCore::FindTalkByGroupID(const QString &groupId) const
{
    for (const auto &talk : m_talks) {
        if (talk->isGroup() && talk->data.GroupID == groupId)
            return talk->id;
    }
    return NoTalk;
}

QString TalkCore::userIDList(int id) const
{
    const Talk *t = talk(id);
    const RUserID *me = local();
    QStringList ids;
    for (const TalkMember &member : t ? t->members : QList<TalkMember>()) {
        if (member.peerIndex > 0 && !ids.contains(member.userId))
            ids.append(member.userId);
    }
    return BuildUserIDList(me ? me->ID : QString(), ids);
}

int TalkCore::CreateTalk(const TalkData &data, int picture)
{
    auto talk = std::make_unique<Talk>();
    talk->id = m_nextId++;
    talk->picture = picture;
    talk->data = data;
    const int id = talk->id;
    m_talks.push_back(std::move(talk));
    Q_EMIT talkCreated(id);
    return find(id) ? id : NoTalk;
}

int TalkCore::openPrivateTalk(int peerIndex)
{
    const RUserID *peer = m_peers ? m_peers->GetPeer(peerIndex) : nullptr;
    if (!peer || peerIndex <= 0)
        return NoTalk;
    if (const int existing = FindPrivateTalk(peer->ID); existing != NoTalk)
        return existing;
    TalkData data;
    data.kind = tkPrivate;
    data.PeerIP = peer->IP;
    data.PeerID = peer->ID;
    data.PeerMAC = peer->MAC;
    data.Caption = DisplayName(*peer);
    return CreateTalk(data, peer->PictureIndex);
}

int TalkCore::openOwnGroupTalk(int groupNumber, const QString &caption, const QString &groupId,
                               const QList<int> &memberPeerIndexes)
{
    const RUserID *me = local();
    if (!me)
        return NoTalk;
    if (const int existing = FindOwnGroupTalk(groupNumber); existing != NoTalk)
        return existing;
    TalkData data;
    data.kind = tkOwnGroup;
    data.PeerIP = me->IP;
    data.PeerID = me->ID;
    data.PeerMAC = me->MAC;
    data.GroupTag = groupNumber;
    data.GroupID = groupId;
    data.AuthorAlias = me->Alias;
    data.GroupName = caption;
    data.Caption = caption;
    const int id = CreateTalk(data, GroupPicture);
    for (int peerIndex : memberPeerIndexes)
        addTalkMember(id, peerIndex);
    return id;
}

void TalkCore::setCaption(int id, const QString &caption)
{
    Talk *t = find(id);
    if (!t)
        return;
    t->data.Caption = caption;
    Q_EMIT captionChanged(id);
}

bool TalkCore::send(const Packet &packet)
{
    return !packet.isEmpty() && m_transport && m_transport->SendPacket(packet);
}

SendResult TalkCore::sendBody(int id, const QString &body, bool fromAutoReply, bool showPrivate)
{
    Q_EMIT messageSending(id, body);
    const SendResult result = sendBodyNow(id, body, fromAutoReply, showPrivate);
    Q_EMIT messageSent(id, result);
    return result;
}

SendResult TalkCore::sendBodyNow(int id, const QString &body, bool fromAutoReply, bool showPrivate)
{
    const Talk *t = find(id);
    const RUserID *me = local();
    if (!t || !me)
        return SendResult::Unsent;
    const WireIdentity wire = localWire();
    const TalkData &data = t->data;
    Packet packet;
    bool showOwn = false;
    switch (data.kind) {
    case tkAllUsers:
        packet = BuildMessagePacket(wire, body);
        break;
    case tkOwnGroup:
        // A talk re-created from its own echo has no contact group to speak for.
        if (data.GroupTag != -1)
            packet = BuildGroupMessagePacket(userIDList(id), groupWire(data), wire, body);
        break;
    case tkMemberGroup:
        packet = BuildGroupMessagePacket(userIDList(id), groupWire(data), wire, body);
        break;
    case tkPrivate:
        packet = BuildUserMessagePacket(data.PeerID, wire, body, fromAutoReply);
        // The echo of a private message is dropped here (it is not addressed to me), so it is shown now.
        showOwn = showPrivate;
        break;
    }
    if (showOwn)
        showLine(id, false, me->ID, me->IP, body, me->Color, me->PictureIndex, me->Alias);
    if (packet.isEmpty())
        return SendResult::Nothing;
    if (!m_transport)
        return SendResult::Unsent;
    return m_transport->SendPacket(packet) ? SendResult::Sent : SendResult::Failed;
}

void TalkCore::destroyTalk(int id)
{
    if (positionOf(id) <= 0)
        return;
    Q_EMIT talkClosing(id);
    const int position = positionOf(id);
    if (position <= 0)
        return;
    m_talks.erase(m_talks.begin() + position);
    Q_EMIT talkClosed(id);
}

void TalkCore::CloseTalk(int id)
{
    const Talk *t = find(id);
    if (!t || positionOf(id) <= 0)
        return;
    if (t->data.kind == tkPrivate)
        send(BuildPrivateDeletePacket(t->data.PeerID, localWire()));
    else if (t->data.kind == tkOwnGroup)
        send(BuildGroupTalkDeletePacket(groupWire(t->data)));
    destroyTalk(id);
}

void TalkCore::SendMemberUpdate(int id)
{
    const Talk *t = find(id);
    const RUserID *me = local();
    if (!t || !me || t->data.PeerID != me->ID)
        return;
    send(BuildUpdateInfoToGroupPacket(userIDList(id), groupWire(t->data), localWire()));
}

void TalkCore::addTalkMember(int id, int peerIndex)
{
    Talk *t = find(id);
    const RUserID *peer = m_peers ? m_peers->GetPeer(peerIndex) : nullptr;
    if (!t || !peer || peerIndex <= 0)
        return;
    const int online = m_peers->findOnline(peer->ID);
    if (online < 0)
        return;
    // Membership is by user: a member who came back as a new entry stays one member.
    if (const int position = t->memberPosition(peer->ID); position >= 0) {
        TalkMember &member = t->members[position];
        if (member.peerIndex == peerIndex)
            return;
        const int oldIndex = member.peerIndex;
        member.peerIndex = peerIndex;
        Q_EMIT talkMemberMoved(id, peer->ID, oldIndex, peerIndex);
        return;
    }
    t->members.append({peer->ID, peerIndex, m_peers->GetPeer(online)->Blocked != 0});
    Q_EMIT talkMemberAdded(id, peer->ID, peerIndex);
}

void TalkCore::addMemberById(int id, const QString &userId)
{
    const int peerIndex = m_peers ? m_peers->findOnline(userId) : -1;
    if (peerIndex >= 0)
        addTalkMember(id, peerIndex);
}

void TalkCore::removeTalkMember(int id, const QString &userId)
{
    Talk *t = find(id);
    const int position = t ? t->memberPosition(userId) : -1;
    if (position < 0)
        return;
    const int peerIndex = t->members.at(position).peerIndex;
    t->members.removeAt(position);
    Q_EMIT talkMemberRemoved(id, userId, peerIndex);
}

void TalkCore::memberAdded(int groupNumber, int peerIndex)
{
    const int id = FindOwnGroupTalk(groupNumber);
    if (id == NoTalk)
        return;
    addTalkMember(id, peerIndex);
    SendMemberUpdate(id);
}

void TalkCore::memberRemoved(int groupNumber, int peerIndex)
{
    const int id = FindOwnGroupTalk(groupNumber);
    const Talk *t = find(id);
    if (!t)
        return;
    const RUserID *peer = m_peers ? m_peers->GetPeer(peerIndex) : nullptr;
    for (const TalkMember &member : t->members) {
        if (member.peerIndex == peerIndex || (peer && peerIndex > 0 && member.userId == peer->ID)) {
            const QString userId = member.userId;
            removeTalkMember(id, userId);
            break;
        }
    }
    SendMemberUpdate(id);
}

void TalkCore::peerRenamed(const QString &id, const QString &displayName, int picture)
{
    if (Talk *t = find(FindPrivateTalk(id))) {
        t->picture = picture;
        setCaption(t->id, displayName);
    }
    // Member items show the peer's name and picture; a member group talk names its author.
    for (int talkId : talkIds()) {
        Talk *t = find(talkId);
        if (!t || positionOf(talkId) == 0)
            continue;
        if (const int position = t->memberPosition(id); position >= 0)
            Q_EMIT talkMemberRenamed(talkId, t->members.at(position).peerIndex, displayName, picture);
        t = find(talkId);
        if (t && t->data.kind == tkMemberGroup && t->data.PeerID == id) {
            t->data.AuthorAlias = displayName;
            setCaption(talkId, MemberGroupCaption(displayName, t->data.GroupName));
        }
    }
}

void TalkCore::peerLeft(const QString &displayName, const QString &id)
{
    QList<int> concerned;
    for (int i = count() - 1; i >= 1; --i) {
        const Talk &t = *m_talks[size_t(i)];
        if (t.data.PeerID == id && (t.data.kind == tkPrivate || t.data.kind == tkMemberGroup))
            concerned.append(t.id);
    }
    // Each question may run an event loop in which other talks close: every talk is found again.
    for (int talkId : std::as_const(concerned)) {
        const Talk *t = find(talkId);
        if (!t)
            continue;
        if (t->data.kind == tkPrivate)
            closeAfterPrivateQuestion(talkId, displayName, true);
        else
            closeAfterGroupNotice(talkId, displayName);
    }
}

int TalkCore::allUsersTalk() const
{
    const Talk *first = talkAt(0);
    return first && first->data.kind == tkAllUsers ? first->id : NoTalk;
}

void TalkCore::peerPresence(int peerIndex, const QString &ip, bool connected, const QString &id, qint32 color,
                            int picture, const QString &alias)
{
    const QString format =
        ConstUnit::text(connected ? ConstUnit::Text::ConnectUser : ConstUnit::Text::DisconnectUser);
    const QString body = ConstUnit::Format(format, {RemoteText::isolateIn(DisplayName(alias, ip), format)});
    QList<int> concerned;
    for (int i = 1; i < count(); ++i) {
        const Talk &t = *m_talks[size_t(i)];
        if ((t.data.kind == tkPrivate && t.data.PeerID == id) || t.hasMemberIndex(peerIndex))
            concerned.append(t.id);
    }
    const int everybody = allUsersTalk();
    Q_EMIT noticeRequested(everybody, format, alias, picture, ip);
    if (everybody != NoTalk)
        showLine(everybody, true, id, ip, body, color, picture, alias);
    for (int talkId : std::as_const(concerned)) {
        if (find(talkId))
            showLine(talkId, true, id, ip, body, color, picture, alias);
    }
    Q_EMIT soundRequested(connected ? SoundUserConnect : SoundUserDisconnect);
}

void TalkCore::closeOwnGroupTalk(int groupNumber)
{
    destroyTalk(FindOwnGroupTalk(groupNumber));
}

void TalkCore::setMemberBlocked(int peerIndex, bool blocked)
{
    for (int talkId : talkIds()) {
        Talk *t = find(talkId);
        if (!t)
            continue;
        for (TalkMember &member : t->members) {
            if (member.peerIndex == peerIndex)
                member.blocked = blocked;
        }
        if (t->hasMemberIndex(peerIndex))
            Q_EMIT talkMemberBlocked(talkId, peerIndex, blocked);
    }
}

QString MailAddressList(const PeerList &peers, int groupNumber)
{
    QString list;
    for (int i = 1; i < peers.count(); ++i) {
        const RUserID *peer = peers.GetPeer(i);
        if (peer->Online != 1 || peer->EMail.isEmpty())
            continue;
        if (groupNumber != -1 && peer->GroupNumber != groupNumber)
            continue;
        list += peer->EMail + u';';
    }
    if (list.endsWith(u';'))
        list.chop(1);
    return list;
}
