// The talk packets that other users send: which talk each belongs to, the filters that drop it, and the
// talks they open, change and close.
#include "talks/TalkCore.h"

#include "net/PacketDispatcher.h"
#include "peers/PeerList.h"
#include "protocol/ConstUnit.h"
#include "protocol/ProtocolClassUn.h"

void TalkCore::attachDispatcher(PacketDispatcher &dispatcher)
{
    dispatcher.setHandler(pkMessage, [this](const Packet &p) { ProcessMessage(p); });
    dispatcher.setHandler(pkMessageToGroup, [this](const Packet &p) { ProcessGroupMessage(p); });
    dispatcher.setHandler(pkMessageToUser, [this](const Packet &p) { ProcessUserMessage(p); });
    dispatcher.setHandler(pkUpdateInfoToGroup, [this](const Packet &p) { ProcessUpdateInfoToGroup(p); });
    dispatcher.setHandler(pkMessageToGroupRename, [this](const Packet &p) { ProcessGroupRename(p); });
    dispatcher.setHandler(pkMessageToGroupDelete, [this](const Packet &p) { ProcessGroupDelete(p); });
    dispatcher.setHandler(pkMessageToPrivateDelete, [this](const Packet &p) { ProcessPrivateDelete(p); });
}

bool TalkCore::isSenderBlocked(const QString &id) const
{
    if (id.isEmpty() || !m_peers)
        return false;
    for (int i = 1; i < m_peers->count(); ++i) {
        const RUserID *peer = m_peers->GetPeer(i);
        if (peer->Online == 1 && peer->ID == id && peer->Blocked)
            return true;
    }
    return false;
}

bool TalkCore::roomForIncomingTalk()
{
    if (count() < MaxTalkPages) {
        m_talkLimitNoticed = false;
        return true;
    }
    // One notice while the limit holds, not one per refused packet.
    if (!m_talkLimitNoticed)
        Q_EMIT talkLimitReached(MaxTalkPages);
    m_talkLimitNoticed = true;
    return false;
}

void TalkCore::notifyMessage(int id, const QString &alias, int picture, const QString &ip)
{
    Q_EMIT noticeRequested(id, ConstUnit::text(ConstUnit::Text::MessageFromUser), alias, picture, ip);
    Q_EMIT soundRequested(SoundNewMessage);
}

int TalkCore::deliver(const QList<int> &talkIds, const TDataNewMessage &m)
{
    int last = NoTalk;
    for (int talkId : talkIds) {
        // A talk may have gone while the message reached the ones before it.
        if (!find(talkId))
            continue;
        showLine(talkId, false, m.GetID(), m.GetIP(), m.GetMessageStr(), m.GetColor(), m.GetImageIndex(),
                 m.GetAlias());
        last = talkId;
    }
    return last;
}

void TalkCore::ProcessMessage(const Packet &text)
{
    const TDataNewMessage m(text);
    const QString id = m.GetID();
    if (isSenderBlocked(id))
        return;
    const Talk *everybody = talkAt(0);
    const int target = everybody ? everybody->id : NoTalk;
    deliver({target}, m);
    notifyMessage(target, m.GetAlias(), m.GetImageIndex(), m.GetIP());
}

void TalkCore::ProcessGroupMessage(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    const QString id = m.GetID();
    if (!me || isSenderBlocked(id) || !m.IsUserInList(me->ID))
        return;
    const QString myId = me->ID;
    const QString groupId = m.GetGroupID();
    QList<int> matching;
    for (int i = 1; i < count(); ++i) {
        const Talk &t = *m_talks[size_t(i)];
        if (t.isGroup() && t.data.GroupID == groupId)
            matching.append(t.id);
    }
    int lastTalk = deliver(matching, m);
    if (matching.isEmpty()) {
        if (m_notTalkGroup || !roomForIncomingTalk())
            return;
        TalkData data;
        data.PeerID = m.GetAutorGroupID();
        data.PeerIP = m.GetAutorGroupIP();
        data.PeerMAC = m.GetAutorGroupMAC();
        data.AuthorAlias = DisplayName(m.GetAutorGroupAliase(), data.PeerIP);
        data.GroupName = m.GetGroupName();
        data.GroupID = groupId;
        const bool mine = data.PeerID == myId;
        data.kind = mine ? tkOwnGroup : tkMemberGroup;
        data.Caption = mine ? data.GroupName : MemberGroupCaption(data.AuthorAlias, data.GroupName);
        lastTalk = CreateTalk(data, GroupPicture);
        QStringList ids;
        m.GetUserIDList(&ids);
        for (const QString &member : std::as_const(ids))
            addMemberById(lastTalk, member);
        deliver({lastTalk}, m);
    }
    notifyMessage(lastTalk, m.GetAlias(), m.GetImageIndex(), m.GetIP());
}

void TalkCore::ProcessUserMessage(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    if (!me || m.GetFromUserID() != me->ID)
        return;
    const QString id = m.GetID();
    QList<int> matching;
    for (int i = 1; i < count(); ++i) {
        const Talk &t = *m_talks[size_t(i)];
        if (t.data.kind == tkPrivate && t.data.PeerID == id)
            matching.append(t.id);
    }
    int lastTalk = deliver(matching, m);
    if (matching.isEmpty()) {
        if (isSenderBlocked(id) || m_notTalkPrivate)
            return;
        const int peerIndex = m_peers->findOnline(id);
        if (peerIndex < 0 || !roomForIncomingTalk())
            return;
        lastTalk = openPrivateTalk(peerIndex);
        setPrivateInputsLocked(m_answeringMachine);
        deliver({lastTalk}, m);
    }
    notifyMessage(lastTalk, m.GetAlias(), m.GetImageIndex(), m.GetIP());
    if (!m.IsAutoReply())
        Q_EMIT autoReplyRequested(lastTalk);
}

void TalkCore::ProcessUpdateInfoToGroup(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    const int id = FindTalkByGroupID(m.GetGroupID());
    const Talk *t = find(id);
    if (!me || !t || t->data.PeerID == me->ID)
        return;
    QStringList ids;
    m.GetUserIDList(&ids);
    if (!ids.contains(me->ID)) {
        destroyTalk(id);
        return;
    }
    QStringList gone;
    for (const TalkMember &member : t->members) {
        if (!ids.contains(member.userId))
            gone.append(member.userId);
    }
    for (const QString &userId : std::as_const(gone))
        removeTalkMember(id, userId);
    for (const QString &userId : std::as_const(ids))
        addMemberById(id, userId);
}

void TalkCore::ProcessGroupRename(const Packet &text)
{
    const TDataNewMessage m(text);
    const QString author = DisplayName(m.GetAutorGroupAliase(), m.GetAutorGroupIP());
    const QString groupName = m.GetGroupName();
    const QString groupId = m.GetGroupID();
    for (int talkId : talkIds()) {
        Talk *t = find(talkId);
        if (!t || !t->isGroup() || t->data.GroupID != groupId)
            continue;
        t->data.AuthorAlias = author;
        t->data.GroupName = groupName;
        setCaption(talkId, t->data.kind == tkOwnGroup ? groupName : MemberGroupCaption(author, groupName));
    }
}

void TalkCore::closeAfterGroupNotice(int id, const QString &authorAlias)
{
    const Talk *t = find(id);
    if (!t)
        return;
    if (m_questions)
        m_questions->ShowGroupClosed(authorAlias, t->data.Caption);
    // The notice may have run an event loop in which the talk went: destroyTalk finds it again.
    destroyTalk(id);
}

void TalkCore::closeAfterPrivateQuestion(int id, const QString &alias, bool closeUnlessLeave)
{
    if (!find(id))
        return;
    const PrivateCloseAnswer answer =
        m_questions ? m_questions->AskPrivateClose(alias) : PrivateCloseAnswer::Close;
    const bool close =
        closeUnlessLeave ? answer != PrivateCloseAnswer::Leave : answer == PrivateCloseAnswer::Close;
    if (close)
        destroyTalk(id);
}

void TalkCore::ProcessGroupDelete(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    const int id = FindTalkByGroupID(m.GetGroupID());
    const Talk *t = find(id);
    if (!me || !t || t->data.PeerID == me->ID)
        return;
    closeAfterGroupNotice(id, DisplayName(m.GetAutorGroupAliase(), m.GetAutorGroupIP()));
}

void TalkCore::ProcessPrivateDelete(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    if (!me || m.GetFromUserID() != me->ID)
        return;
    int id = NoTalk;
    for (int i = 1; i < count(); ++i) {
        const Talk &t = *m_talks[size_t(i)];
        if (t.data.kind == tkPrivate && t.data.PeerID == m.GetID())
            id = t.id;
    }
    closeAfterPrivateQuestion(id, DisplayName(m.GetAlias(), m.GetIP()), false);
}
