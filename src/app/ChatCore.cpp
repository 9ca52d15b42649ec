#include "app/ChatCore.h"

#include "app/AppContext.h"
#include "app/Delivery.h"
#include "app/SecureChannel.h"
#include "app/TalkHistory.h"
#include "app/TransferKeysOf.h"
#include "features/AutoReplyUn.h"
#include "net/PacketQueue.h"
#include "net/PacketTransport.h"
#include "peers/EarlyNewAnswer.h"
#include "peers/PeerRegistry.h"
#include "peers/PresenceProbe.h"
#include "protocol/SendMessageUn.h"
#include "talks/AutoAnswer.h"
#include "talks/MessageText.h"
#include "transfer/FileExchange.h"

ChatCore::ChatCore(AppContext &context, PacketTransport &transport, ChatQuestions *questions, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_transport(transport)
    , m_questions(questions)
    , m_secure(new SecureChannel(context.store, transport, m_dispatcher, this))
    , m_queue(new PacketQueue([this](const Packet &packet) { m_secure->receive(packet); }, this))
    , m_talks(new TalkCore(m_secure, questions, this))
    , m_registry(new PeerRegistry(context.store, m_secure, this))
    , m_probe(nullptr)
    , m_history(new TalkHistory(context.store, context.paths.historyDir(), m_talks, m_registry, this))
    , m_autoReply(new AutoReply(context.store, this))
    , m_autoAnswer(new AutoAnswer(m_talks, m_autoReply, this))
    , m_files(new FileExchange(
          m_secure,
          [this] {
              const RUserID *me = m_registry->local();
              return me ? LocalIdentity{me->ID, me->IP} : LocalIdentity{};
          },
          context.transport.loopback, context.transport.transferPort, this))
{
    m_clock.start();
    m_talks->setPeers(&m_registry->peers());
    connect(&m_transport, &PacketTransport::packetReceived, m_queue, &PacketQueue::enqueue);
    // A newcomer's NEW costs little and the newcomer waits for its answer: costly messages queued
    // before it must not hold it.
    m_queue->setUrgent([](const Packet &packet) { return ClassifyPacket(packet) == pkNew; });
    // While the user answers a question or holds a menu open, packets wait.
    m_queue->setGate([this] { return !m_questions || !m_questions->IsUserBusy(); });
    // Yet a newcomer is answered at once: the question must not hide this user from it.
    auto *earlyAnswer = new EarlyNewAnswer(
        m_registry, [this] { return m_questions && m_questions->IsUserBusy(); }, this);
    connect(&m_transport, &PacketTransport::packetReceived, earlyAnswer, &EarlyNewAnswer::received);
    connect(m_queue, &PacketQueue::emptied, this, [this] {
        if (!m_transport.hasPendingInput())
            m_registry->FlushNotices();
    });
    m_dispatcher.setHandler(pkNew, [this](const Packet &p) { m_registry->ProcessNewPacket(p); });
    m_dispatcher.setHandler(pkUpdateInfo,
                            [this](const Packet &p) { m_registry->ProcessUpdateInfoPacket(p); });
    m_dispatcher.setHandler(pkDisconnect,
                            [this](const Packet &p) { m_registry->ProcessDisconnectPacket(p); });
    // Arrivals are shown together; anything else that reaches the talks shows them first.
    m_dispatcher.setBeforeDispatch([this](quint8 kind) {
        if (kind != pkNew && kind != pkUpdateInfo)
            m_registry->FlushNotices();
    });
    m_talks->attachDispatcher(m_dispatcher);
    if (context.identity)
        m_secure->setIdentity(*context.identity);
    m_secure->setLocalDelivery([this](const Packet &packet) { m_queue->enqueue(packet); });
    m_secure->setOnlineCheck([this](const QString &id) { return m_registry->peers().findOnline(id) > 0; });
    connect(m_talks, &TalkCore::messageForTalk, m_secure,
            [this](int id, const QString &senderId) { m_secure->noteDelivered(id, senderId); });
    m_files->attach(*m_talks, m_dispatcher);
    m_files->share().setKeys(TransferKeysOf(*m_secure, context.identity));
    connectRegistry();
    connectTalks();
    connectProbe();
    const QString dataDir = context.paths.dataDir;
    m_delivery = new Delivery(transport, m_registry, m_talks, m_probe,
                              dataDir.isEmpty() ? QString() : dataDir + QStringLiteral("/Outbox.json"),
                              context.transport.probePeriodMs, this);
    connect(m_secure, &SecureChannel::sealedSent, m_delivery, &Delivery::sealedSent);
}

ChatCore::~ChatCore() = default;

void ChatCore::setQuestions(ChatQuestions *questions)
{
    m_questions = questions;
    m_talks->setQuestions(questions);
}

void ChatCore::connectRegistry()
{
    PeerRegistry *r = m_registry;
    // The registry's events reach the talks in the order the user sees them.
    connect(r, &PeerRegistry::memberAdded, m_talks, &TalkCore::memberAdded);
    connect(r, &PeerRegistry::memberRemoved, m_talks, &TalkCore::memberRemoved);
    connect(r, &PeerRegistry::blockedChanged, m_talks, &TalkCore::setMemberBlocked);
    connect(r, &PeerRegistry::groupRemoved, m_talks, &TalkCore::closeOwnGroupTalk);
    connect(r, &PeerRegistry::peerArrived, this, [this](int k) {
        if (const RUserID *peer = m_registry->GetPeer(k))
            m_talks->peerPresence(k, peer->IP, true, peer->ID, peer->Color, peer->PictureIndex, peer->Alias);
    });
    connect(r, &PeerRegistry::peerUpdated, this, [this](int k) {
        if (const RUserID *peer = m_registry->GetPeer(k))
            m_talks->peerRenamed(peer->ID, DisplayName(*peer), peer->PictureIndex);
    });
    connect(r, &PeerRegistry::peerLeaving, this, [this](int k, const RUserID &farewell) {
        m_talks->peerPresence(k, farewell.IP, false, farewell.ID, farewell.Color, farewell.PictureIndex,
                              farewell.Alias);
    });
    connect(r, &PeerRegistry::peerLeft, this, [this](int, const RUserID &farewell) {
        m_talks->peerLeft(DisplayName(farewell), farewell.ID);
    });
}

void ChatCore::connectTalks()
{
    // A member of a talk holds its peer index: the registry must not give the entry to somebody else.
    connect(m_talks, &TalkCore::talkMemberAdded, m_registry,
            [this](int, const QString &, int k) { m_registry->HoldPeer(k); });
    connect(m_talks, &TalkCore::talkMemberRemoved, m_registry,
            [this](int, const QString &, int k) { m_registry->ReleasePeer(k); });
    connect(m_talks, &TalkCore::talkMemberMoved, m_registry, [this](int, const QString &, int from, int to) {
        m_registry->HoldPeer(to);
        m_registry->ReleasePeer(from);
    });
    connect(m_talks, &TalkCore::talkClosing, m_registry, [this](int id) {
        if (const Talk *talk = m_talks->talk(id)) {
            for (const TalkMember &member : talk->members)
                m_registry->ReleasePeer(member.peerIndex);
        }
    });
}

void ChatCore::connectProbe()
{
    PresenceProbe::Hooks hooks;
    hooks.now = [this] {
        return m_clock.elapsed();
    };
    hooks.onlinePeers = [this] {
        QList<PresenceProbe::Peer> online;
        const PeerList &list = m_registry->peers();
        for (int i = 1; i < list.count(); ++i) {
            const RUserID *entry = list.GetPeer(i);
            if (entry && entry->Online == 1)
                online.append({entry->ID, entry->IP});
        }
        return online;
    };
    hooks.send = [this](const QHostAddress &to, const QByteArray &payload) {
        return m_transport.SendTo(to, payload);
    };
    hooks.testTargets = [this] {
        return m_transport.Destinations();
    };
    m_probe = new PresenceProbe(std::move(hooks), m_context.transport.probePeriodMs, this);
    connect(&m_transport, &PacketTransport::echoReceived, m_probe, &PresenceProbe::EchoReceived);
    connect(&m_transport, &PacketTransport::presenceSource, m_probe, &PresenceProbe::NoteSource);
    connect(m_registry, &PeerRegistry::peerArrived, m_probe, &PresenceProbe::PeersChanged);
    connect(m_probe, &PresenceProbe::peerVanished, this, &ChatCore::vanished);
    connect(m_probe, &PresenceProbe::hostAnswersAgain, this, &ChatCore::greet);
}

void ChatCore::start()
{
    if (m_running)
        return;
    m_running = true;
    m_history->startUp();
    m_registry->BuildLocalEntry();
    if (const RUserID *local = m_registry->local())
        m_secure->start(local->ID);
    if (m_talks->count() == 0) {
        TalkData everybody;
        everybody.kind = tkAllUsers;
        everybody.Caption = QStringLiteral("All users");
        m_talks->CreateTalk(everybody, 1);
    }
    m_registry->LoadGroups();
    m_registry->RestoreCollapsed();
    m_registry->SendPresence(true);
    m_probe->start();
    m_delivery->start();
}

void ChatCore::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_probe->stop();
    m_delivery->stop();
    m_registry->SendDisconnect();
    m_history->writeAll();
}

void ChatCore::vanished(const QString &id)
{
    const RUserID *entry = m_registry->GetPeer(m_registry->peers().findOnline(id));
    // Handled like a received DISCONNECT: never inside a question, and after what arrived before.
    if (entry && m_running) {
        const Packet farewell = BuildDisconnectPacket(*entry);
        m_secure->vouch(farewell);
        m_queue->enqueue(farewell);
    }
}

void ChatCore::greet(const QHostAddress &address)
{
    if (const RUserID *local = m_registry->local(); local && m_running) {
        for (const WireDatagram &datagram : m_secure->wrap(BuildPresencePacket(*local, true)))
            m_transport.SendTo(address, datagram.bytes);
    }
}

void ChatCore::transportChanged(const QString &ipBefore, const QList<QHostAddress> &reachedBefore)
{
    const QString after = m_transport.LocalIP();
    if (after != ipBefore)
        m_registry->SetLocalIP(after);
    const RUserID *local = m_registry->local();
    if (!local)
        return;
    // The users behind a newly added address learn of this one now, not at the next start; their
    // answers bring them into the list.
    const QList<WireDatagram> hello = m_secure->wrap(BuildPresencePacket(*local, true));
    for (const QHostAddress &address : m_transport.Destinations()) {
        if (reachedBefore.contains(address))
            continue;
        for (const WireDatagram &datagram : hello)
            m_transport.SendTo(address, datagram.bytes);
    }
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
