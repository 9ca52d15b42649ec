#include "app/ChatCore.h"

#include "app/AppContext.h"
#include "net/PacketQueue.h"
#include "net/UdpTransport.h"
#include "peers/PeerRegistry.h"
#include "talks/MessageText.h"

ChatCore::ChatCore(AppContext &context, ChatQuestions *questions, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_transport(new UdpTransport(context.transport, this))
    , m_queue(new PacketQueue([this](const Packet &packet) { m_dispatcher.DispatchPacket(packet); }, this))
    , m_talks(new TalkCore(m_transport, questions, this))
    , m_registry(new PeerRegistry(context.store, m_transport, this, this))
{
    m_talks->setPeers(&m_registry->peers());
    connect(m_transport, &PacketTransport::packetReceived, m_queue, &PacketQueue::enqueue);
    // A newcomer's NEW costs little and the newcomer waits for its answer: costly messages queued
    // before it must not hold it.
    m_queue->setUrgent([](const Packet &packet) { return ClassifyPacket(packet) == pkNew; });
    connect(m_queue, &PacketQueue::emptied, this, [this] {
        if (!m_transport->hasPendingInput())
            m_registry->FlushNotices();
    });
    m_dispatcher.setHandler(pkNew, [this](const Packet &p) { m_registry->ProcessNewPacket(p); });
    m_dispatcher.setHandler(pkUpdateInfo,
                            [this](const Packet &p) { m_registry->ProcessUpdateInfoPacket(p); });
    m_dispatcher.setHandler(pkDisconnect,
                            [this](const Packet &p) { m_registry->ProcessDisconnectPacket(p); });
    m_talks->attachDispatcher(m_dispatcher);
    connect(m_talks, &TalkCore::messageForTalk, this,
            [this](int talk, const QString &id, const QString &ip, const QString &body, qint32 color,
                   int picture, const QString &alias) {
                if (m_presenceLines)
                    Q_EMIT noticeForTalk(talk, id, ip, body, color, picture, alias);
                else
                    Q_EMIT messageForTalk(talk, id, ip, body, color, picture, alias);
            });
}

ChatCore::~ChatCore() = default;

bool ChatCore::start()
{
    if (m_running)
        return true;
    if (!m_transport->SetTransportOpen(true))
        return false;
    m_running = true;
    m_registry->BuildLocalEntry();
    TalkData everybody;
    everybody.kind = tkAllUsers;
    everybody.Caption = QStringLiteral("All users");
    m_talks->CreateTalk(everybody, 1);
    m_registry->LoadGroups();
    m_registry->RestoreCollapsed();
    m_registry->SendPresence(true);
    return true;
}

void ChatCore::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_registry->SendDisconnect();
    m_transport->SetTransportOpen(false);
}

SendResult ChatCore::sendToAll(const QString &text)
{
    return m_talks->sendBody(allUsersTalk(), MessageText::FromPlainText(text));
}

SendResult ChatCore::sendToUser(int peerIndex, const QString &text)
{
    const int talk = m_talks->openPrivateTalk(peerIndex);
    if (talk == TalkCore::NoTalk)
        return SendResult::Unsent;
    return m_talks->sendBody(talk, MessageText::FromPlainText(text));
}

SendResult ChatCore::sendToGroup(int groupNumber, const QString &text)
{
    const ContactGroup *group = m_registry->group(groupNumber);
    if (!group)
        return SendResult::Unsent;
    const int talk = m_talks->openOwnGroupTalk(groupNumber, group->caption, group->groupId, group->members);
    if (talk == TalkCore::NoTalk)
        return SendResult::Unsent;
    return m_talks->sendBody(talk, MessageText::FromPlainText(text));
}

QList<int> ChatCore::findPeers(const QString &name) const
{
    const PeerList &peers = m_registry->peers();
    if (const int byId = name.isEmpty() ? -1 : peers.findOnline(name); byId > 0)
        return {byId};
    QList<int> exact;
    QList<int> caseless;
    for (int k = 1; k < peers.count(); ++k) {
        const RUserID *peer = peers.GetPeer(k);
        if (!peer || peer->Online != 1)
            continue;
        if (peer->Alias == name)
            exact.append(k);
        else if (peer->Alias.compare(name, Qt::CaseInsensitive) == 0)
            caseless.append(k);
    }
    return exact.isEmpty() ? caseless : exact;
}

int ChatCore::findGroup(const QString &name) const
{
    for (const ContactGroup &group : m_registry->groups()) {
        if (group.caption.trimmed().compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return group.number;
    }
    bool isNumber = false;
    const int number = name.toInt(&isNumber);
    return isNumber && m_registry->group(number) ? number : 0;
}

int ChatCore::allUsersTalk() const
{
    const Talk *first = m_talks->talkAt(0);
    return first && first->data.kind == tkAllUsers ? first->id : TalkCore::NoTalk;
}

int ChatCore::talkOfSheet(int sheet) const
{
    // The registry speaks of the talk with everybody only.
    return sheet == 0 ? allUsersTalk() : TalkCore::NoTalk;
}

int ChatCore::SenderTextStyle(const QString &id, qint32 color)
{
    return m_textStyle ? m_textStyle(id, color) : 0;
}

void ChatCore::ShowLocalIdentity(const RUserID &)
{
    Q_EMIT localIdentityChanged();
}

void ChatCore::Notify(const QString &format, const QString &alias, int sheet, int picture, const QString &ip)
{
    Q_EMIT noticeRequested(talkOfSheet(sheet), format, alias, picture, ip);
}

void ChatCore::AppendMessage(int sheet, const QString &id, const QString &ip, const QString &body,
                             qint32 color, int picture, const QString &alias)
{
    Q_EMIT noticeForTalk(talkOfSheet(sheet), id, ip, body, color, picture, alias);
}

void ChatCore::NotifyTalks(int peerIndex, const QString &ip, bool connected, const QString &id, qint32 color,
                           int picture, const QString &alias)
{
    m_presenceLines = true;
    m_talks->peerPresence(peerIndex, ip, connected, id, color, picture, alias);
    m_presenceLines = false;
}

void ChatCore::PlayEventSound(int event)
{
    Q_EMIT soundRequested(event);
}

void ChatCore::MemberAdded(int groupNumber, int peerIndex)
{
    m_talks->memberAdded(groupNumber, peerIndex);
}

void ChatCore::MemberRemoved(int groupNumber, int peerIndex)
{
    m_talks->memberRemoved(groupNumber, peerIndex);
}

void ChatCore::PeerRenamed(const QString &id, const QString &displayName, int picture)
{
    m_talks->peerRenamed(id, displayName, picture);
}

void ChatCore::PeerLeft(const QString &displayName, const QString &id)
{
    m_talks->peerLeft(displayName, id);
}

void ChatCore::CloseOwnGroupTalk(int groupNumber)
{
    m_talks->closeOwnGroupTalk(groupNumber);
}

bool ChatCore::IsPeerReferenced(int peerIndex) const
{
    for (int position = 0; position < m_talks->count(); ++position) {
        if (const Talk *talk = m_talks->talkAt(position); talk && talk->hasMemberIndex(peerIndex))
            return true;
    }
    return m_referenced && m_referenced(peerIndex);
}

void ChatCore::SetMemberBlocked(int peerIndex, bool blocked)
{
    m_talks->setMemberBlocked(peerIndex, blocked);
}

void ChatCore::BeginNoticeBatch()
{
    Q_EMIT noticeBatchStarted();
}

void ChatCore::EndNoticeBatch()
{
    Q_EMIT noticeBatchEnded();
}
