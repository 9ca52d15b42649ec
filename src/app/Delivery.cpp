#include "app/Delivery.h"

#include "net/PacketTransport.h"
#include "peers/PeerList.h"
#include "peers/PeerRegistry.h"
#include "peers/PresenceProbe.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/RetryNotice.h"
#include "protocol/SendMessageUn.h"
#include "talks/TalkCore.h"

#include <QDateTime>

namespace {

quint32 ipv4(const QHostAddress &address)
{
    bool ok = false;
    const quint32 ip = address.toIPv4Address(&ok);
    return ok ? ip : 0;
}

ReceiptTracker::Hooks trackerHooks(PacketTransport &transport, const QElapsedTimer &clock)
{
    ReceiptTracker::Hooks hooks;
    hooks.now = [&clock] {
        return clock.elapsed();
    };
    hooks.sendTo = [&transport](const QHostAddress &to, const QByteArray &bytes) {
        return transport.SendTo(to, bytes);
    };
    // Not SendPacket: a retry is no new packet to track.
    hooks.broadcast = [&transport](const QByteArray &bytes) {
        bool any = false;
        for (const QHostAddress &to : transport.Destinations())
            any = transport.SendTo(to, bytes) || any;
        return any;
    };
    return hooks;
}

} // namespace

Delivery::Delivery(PacketTransport &transport, PeerRegistry *registry, TalkCore *talks, PresenceProbe *probe,
                   const QString &outboxPath, int probePeriodMs, QObject *parent)
    : QObject(parent)
    , m_transport(transport)
    , m_registry(registry)
    , m_talks(talks)
    , m_probe(probe)
    , m_tracker(trackerHooks(transport, m_clock), this)
    , m_listed(probePeriodMs)
    , m_outbox(outboxPath)
    , m_transportAlive(&transport)
{
    m_clock.start();
    m_housekeeping.setInterval(HousekeepingMs);
    connect(&m_housekeeping, &QTimer::timeout, this, &Delivery::housekeeping);
    connect(&m_transport, &PacketTransport::packetBroadcast, this, &Delivery::broadcastSent);
    connect(&m_transport, &PacketTransport::echoReceived, this,
            [this](const QHostAddress &from, const QByteArray &payload) {
                m_tracker.EchoReceived(from, payload);
                m_newRepeat.EchoReceived(from, payload, now());
            });
    connect(&m_transport, &PacketTransport::presenceSource, this,
            [this](const QString &, const QHostAddress &from) { m_newRepeat.HeardFrom(from); });
    m_transport.setReceiveFilter([this](const QHostAddress &from, quint16 port, const QByteArray &datagram) {
        return filter(from, port, datagram);
    });
    connect(&m_tracker, &ReceiptTracker::delivered, this, [this](quint64 packet, const QStringList &users) {
        const auto it = m_open.constFind(packet);
        if (it != m_open.cend() && it->isMessage)
            Q_EMIT messageDelivered(it->talkId, it->messageId, users);
    });
    connect(&m_tracker, &ReceiptTracker::settled, this, &Delivery::settled);
    connect(m_registry, &PeerRegistry::peerArrived, this, &Delivery::userHeard);
    connect(m_registry, &PeerRegistry::peerUpdated, this, &Delivery::userHeard);
}

Delivery::~Delivery()
{
    if (m_transportAlive)
        m_transportAlive->setReceiveFilter({});
}

void Delivery::start()
{
    if (m_running)
        return;
    m_running = true;
    const Outbox::LoadReport report = m_outbox.load(QDateTime::currentDateTimeUtc());
    for (const OutboxEntry &entry : report.expired)
        Q_EMIT waitingDropped(entry.id, true);
    if (const RUserID *local = m_registry->local()) {
        m_newBytes = BuildPresencePacket(*local, true);
        m_newRepeat.start(m_newBytes, QHostAddress(m_transport.LocalIP()), now());
    }
    m_sweptMs = m_listedMs = now();
    m_tracker.start();
    m_housekeeping.start();
}

void Delivery::stop()
{
    if (!m_running)
        return;
    // Messages from the outbox still without a verdict wait again (their file kept them all along).
    for (const Sent &sent : std::as_const(m_open)) {
        if (sent.waitingId != 0)
            m_outbox.finishSending(sent.waitingId, false);
    }
    m_running = false;
    m_housekeeping.stop();
    m_tracker.stop();
}

void Delivery::labelNext(int talkId, const QStringList &addresseeIds, const QString &body)
{
    m_label = Label{talkId, addresseeIds, body};
}

bool Delivery::filter(const QHostAddress &from, quint16 port, const QByteArray &datagram)
{
    const qint64 t = now();
    if (ListedCheck::IsProbe(datagram))
        m_listed.ProbeReceived(from, t);
    return m_duplicates.take(from, port, datagram, t) == DuplicateFilter::Verdict::Deliver;
}

QHostAddress Delivery::addressOf(const QString &userId) const
{
    const int k = m_registry->peers().findOnline(userId);
    const RUserID *peer = m_registry->GetPeer(k);
    if (!peer)
        return {};
    if (m_probe) {
        const QHostAddress target = m_probe->TargetOf({peer->ID, peer->IP});
        if (!target.isNull())
            return target;
    }
    return QHostAddress(peer->IP);
}

QList<ReceiptTarget> Delivery::targetsFor(const QStringList &userIds, QStringList *offline) const
{
    const PeerList &peers = m_registry->peers();
    QList<ReceiptTarget> targets;
    QHash<quint32, qsizetype> byAddress;
    for (const QString &id : userIds) {
        const QHostAddress address = addressOf(id);
        const quint32 ip = ipv4(address);
        if (ip == 0) {
            offline->append(id);
            continue;
        }
        const auto it = byAddress.constFind(ip);
        if (it != byAddress.cend()) {
            targets[*it].userIds.append(id);
            continue;
        }
        byAddress.insert(ip, targets.size());
        targets.append({address, {id}, 1});
    }
    if (targets.isEmpty())
        return targets;
    // Every copy at a computer echoes, this one's own copy too.
    QHash<quint32, int> copies;
    copies[ipv4(QHostAddress(m_transport.LocalIP()))] += 1;
    for (int k = 1; k < peers.count(); ++k) {
        const RUserID *peer = peers.GetPeer(k);
        if (peer && peer->Online == 1)
            copies[ipv4(addressOf(peer->ID))] += 1;
    }
    for (ReceiptTarget &target : targets)
        target.copies = std::max<int>(copies.value(ipv4(target.address)), int(target.userIds.size()));
    return targets;
}

bool Delivery::describe(const QByteArray &bytes, Sent &sent) const
{
    const RUserID *local = m_registry->local();
    const QString me = local ? local->ID : QString();
    const auto everybody = [this] {
        QStringList ids;
        const PeerList &peers = m_registry->peers();
        for (int k = 1; k < peers.count(); ++k) {
            const RUserID *peer = peers.GetPeer(k);
            if (peer && peer->Online == 1 && !ids.contains(peer->ID))
                ids.append(peer->ID);
        }
        return ids;
    };
    const auto listed = [&me](const TDataNewMessage &m) {
        QStringList ids;
        m.GetUserIDList(&ids);
        ids.removeAll(me);
        ids.removeDuplicates();
        return ids;
    };
    const quint8 kind = ClassifyPacket(bytes);
    switch (kind) {
    case pkMessage: {
        sent.talkId = m_talks->allUsersTalk();
        sent.isMessage = true;
        sent.addressees = everybody();
        return true;
    }
    case pkMessageToGroup: {
        const TDataNewMessage m(bytes);
        sent.talkId = m_talks->FindTalkByGroupID(m.GetGroupID());
        sent.isMessage = true;
        sent.addressees = listed(m);
        return true;
    }
    case pkMessageToUser: {
        const TDataNewMessage m(bytes);
        sent.addressees = {m.GetFromUserID()};
        sent.talkId = m_talks->FindPrivateTalk(m.GetFromUserID());
        sent.isMessage = true;
        sent.isPrivate = true;
        sent.body = m.GetMessageStr();
        return true;
    }
    case pkUpdateInfoToGroup:
    case pkMessageToGroupRename:
    case pkMessageToGroupDelete: {
        const TDataNewMessage m(bytes);
        sent.talkId = m_talks->FindTalkByGroupID(m.GetGroupID());
        sent.addressees = m.GetFromUserID().isEmpty() ? everybody() : listed(m);
        return true;
    }
    case pkMessageToPrivateDelete: {
        const TDataNewMessage m(bytes);
        sent.addressees = {m.GetFromUserID()};
        return true;
    }
    case pkFileTo: {
        const TDataFileMessage m(bytes);
        sent.addressees = {m.GetClientID() == me ? m.GetServerID() : m.GetClientID()};
        return true;
    }
    default:
        return false;
    }
}

void Delivery::broadcastSent(const QByteArray &bytes)
{
    if (!m_receipts) {
        m_label.reset();
        return;
    }
    Sent sent;
    const std::optional<Label> label = std::exchange(m_label, std::nullopt);
    if (!describe(bytes, sent)) {
        if (!label)
            return;
        sent.talkId = label->talkId;
        sent.addressees = label->addressees;
        sent.body = label->body;
        sent.isMessage = label->talkId >= 0;
        const Talk *talk = m_talks->talk(label->talkId);
        sent.isPrivate = talk && talk->data.kind == tkPrivate;
    }
    sent.addressees.removeAll(QString());
    sent.bytes = bytes;
    track(std::move(sent));
}

void Delivery::sealedSent(const QByteArray &packet, const QList<QPair<QByteArray, QString>> &datagrams)
{
    Sent base;
    if (!m_receipts || datagrams.isEmpty() || !describe(packet, base))
        return;
    if (datagrams.size() == 1 && base.isPrivate) {
        base.addressees = QStringList{datagrams.first().second};
        base.bytes = datagrams.first().first;
        track(std::move(base));
        return;
    }
    quint64 messageId = 0;
    if (base.isMessage) {
        QStringList users;
        for (const auto &datagram : datagrams)
            users.append(datagram.second);
        messageId = m_nextMessage++;
        m_sealedMessages.insert(messageId, SealedMessage{base.talkId, int(datagrams.size()), {}, {}});
        Q_EMIT messageSending(base.talkId, messageId, users);
    }
    for (const auto &datagram : datagrams) {
        Sent part = base;
        part.isMessage = false;
        part.partOf = messageId;
        part.addressees = QStringList{datagram.second};
        part.bytes = datagram.first;
        track(std::move(part));
    }
}

void Delivery::partSettled(const Sent &part, const QStringList &delivered, const QStringList &missing)
{
    const auto it = m_sealedMessages.find(part.partOf);
    if (it == m_sealedMessages.end())
        return;
    it->delivered += delivered;
    it->missing += missing;
    if (--it->pending > 0)
        return;
    const SealedMessage done = *it;
    m_sealedMessages.erase(it);
    Q_EMIT messageSettled(done.talkId, part.partOf, done.delivered, done.missing);
}

void Delivery::track(Sent sent)
{
    const QList<ReceiptTarget> targets = targetsFor(sent.addressees, &sent.offline);
    if (sent.isMessage) {
        sent.messageId = m_resending ? m_resending : m_nextMessage++;
        sent.waitingId = std::exchange(m_sendingWaiting, 0);
        // The waiting message's new number first: whoever shows it moves its state there.
        if (sent.waitingId)
            Q_EMIT waitingSent(sent.waitingId, sent.messageId);
        Q_EMIT messageSending(sent.talkId, sent.messageId, sent.addressees);
    }
    const quint64 packet = m_tracker.track(sent.bytes, targets);
    if (packet == 0) {
        // Nobody online to wait for: the verdict is known now.
        const quint64 key = ~quint64(0) - m_immediate++;
        m_open.insert(key, std::move(sent));
        settled(key, {}, {});
        return;
    }
    m_open.insert(packet, std::move(sent));
}

void Delivery::settled(quint64 packet, const QStringList &delivered, const QStringList &notDelivered)
{
    const auto it = m_open.find(packet);
    if (it == m_open.end())
        return;
    Sent sent = std::move(*it);
    m_open.erase(it);
    QStringList missing = notDelivered + sent.offline;
    missing.removeDuplicates();
    if (sent.partOf != 0)
        partSettled(sent, delivered, missing);
    if (!sent.isMessage)
        return;
    Q_EMIT messageSettled(sent.talkId, sent.messageId, delivered, missing);
    // A message that waited goes back whoever sends it: the user was told it would wait.
    if (sent.waitingId != 0) {
        if (m_outbox.finishSending(sent.waitingId, missing.isEmpty()) && !missing.isEmpty())
            Q_EMIT messageWaiting(sent.talkId, sent.messageId, sent.waitingId, missing.first(),
                                  nameOf(sent, missing.first()));
        return;
    }
    if (missing.isEmpty())
        return;
    if (sent.isPrivate && m_keepUndelivered && !sent.body.isEmpty()) {
        wait(sent, missing.first());
        return;
    }
    m_resendable.push_back(std::move(sent));
    while (int(m_resendable.size()) > MaxResendable)
        m_resendable.pop_front();
}

QString Delivery::nameOf(const Sent &sent, const QString &userId) const
{
    QString name;
    const PeerList &peers = m_registry->peers();
    for (int k = 1; k < peers.count() && name.isEmpty(); ++k) {
        const RUserID *peer = peers.GetPeer(k);
        if (peer && peer->ID == userId)
            name = DisplayName(*peer);
    }
    if (name.isEmpty()) {
        const Talk *talk = m_talks->talk(sent.talkId);
        name = talk ? talk->data.Caption : userId;
    }
    return name;
}

void Delivery::wait(const Sent &sent, const QString &userId)
{
    const QString name = nameOf(sent, userId);
    const Outbox::AddResult added = m_outbox.add(userId, name, sent.body, QDateTime::currentDateTimeUtc());
    if (added.result != Outbox::Added::Stored && added.result != Outbox::Added::NotStored)
        return;
    if (added.result == Outbox::Added::NotStored)
        Q_EMIT outboxNotStored(m_outbox.path());
    Q_EMIT messageWaiting(sent.talkId, sent.messageId, added.id, userId, name);
}

std::optional<qint64> Delivery::queue(int talkId, const QString &userId, const QString &name,
                                      const QString &body)
{
    const Outbox::AddResult added = m_outbox.add(userId, name, body, QDateTime::currentDateTimeUtc());
    if (added.result != Outbox::Added::Stored && added.result != Outbox::Added::NotStored)
        return std::nullopt;
    if (added.result == Outbox::Added::NotStored)
        Q_EMIT outboxNotStored(m_outbox.path());
    Q_EMIT messageWaiting(talkId, 0, added.id, userId, name);
    return added.id;
}

bool Delivery::cancelWaiting(qint64 waitingId)
{
    if (!m_outbox.cancel(waitingId))
        return false;
    Q_EMIT waitingDropped(waitingId, false);
    return true;
}

bool Delivery::resend(quint64 messageId)
{
    const auto it = std::find_if(m_resendable.begin(), m_resendable.end(),
                                 [messageId](const Sent &s) { return s.messageId == messageId; });
    if (it == m_resendable.end())
        return false;
    const Sent sent = std::move(*it);
    m_resendable.erase(it);
    // Those who have it drop the copy, and echo it all the same.
    const QByteArray notice = BuildRetryNotice(PacketDigest::of(sent.bytes));
    for (const QHostAddress &to : m_transport.Destinations())
        m_transport.SendTo(to, notice);
    m_resending = messageId;
    m_label = Label{sent.talkId, sent.addressees, sent.body};
    const bool ok = m_transport.SendPacket(sent.bytes);
    m_resending = 0;
    m_label.reset();
    return ok;
}

void Delivery::userHeard(int peerIndex)
{
    const RUserID *peer = m_registry->GetPeer(peerIndex);
    if (!peer || !m_running)
        return;
    const QString id = peer->ID;
    const bool waiting = std::any_of(m_outbox.entries().cbegin(), m_outbox.entries().cend(),
                                     [&id](const OutboxEntry &e) { return e.addresseeId == id; });
    // Not inside the registry's handling of the packet: the talks hear of the arrival first.
    if (waiting)
        QTimer::singleShot(0, this, [this, id] { sendWaiting(id); });
}

void Delivery::sendWaiting(const QString &userId)
{
    const int k = m_registry->peers().findOnline(userId);
    if (k <= 0 || !m_running)
        return;
    const QList<OutboxEntry> due = m_outbox.startSending(userId);
    for (const OutboxEntry &entry : due) {
        const int talk = m_talks->openPrivateTalk(k);
        // The user may have it already (only the receipts were lost): announced, a copy is dropped there.
        if (const RUserID *local = m_registry->local()) {
            const Packet expected =
                BuildUserMessagePacket(userId, WireIdentity::fromEntry(*local), entry.body, false);
            m_transport.SendTo(addressOf(userId), BuildRetryNotice(PacketDigest::of(expected)));
        }
        m_sendingWaiting = entry.id;
        const SendResult result =
            talk == TalkCore::NoTalk ? SendResult::Unsent : m_talks->sendBody(talk, entry.body, false, false);
        const bool untracked = std::exchange(m_sendingWaiting, 0) != 0;
        if (result != SendResult::Sent) {
            if (m_outbox.finishSending(entry.id, false))
                Q_EMIT messageWaiting(talk, 0, entry.id, entry.addresseeId, entry.addresseeName);
        } else if (untracked) {
            // Without receipts it went once, as every message does then.
            m_outbox.finishSending(entry.id, true);
        }
    }
}

void Delivery::housekeeping()
{
    const qint64 t = now();
    if (!m_newBytes.isEmpty() && m_newRepeat.running(t)) {
        const NewRepeat::Actions actions = m_newRepeat.step(t);
        if (actions.broadcast)
            m_transport.SendPacket(m_newBytes);
        for (const QHostAddress &to : actions.unicast)
            m_transport.SendTo(to, m_newBytes);
    }
    if (t - m_listedMs >= ListedCheckMs) {
        m_listedMs = t;
        const RUserID *local = m_registry->local();
        const quint32 self = ipv4(QHostAddress(m_transport.LocalIP()));
        QList<QHostAddress> answering;
        const PeerList &peers = m_registry->peers();
        for (int k = 1; k < peers.count(); ++k) {
            const RUserID *peer = peers.GetPeer(k);
            if (!peer || peer->Online != 1)
                continue;
            const QHostAddress address = addressOf(peer->ID);
            if (ipv4(address) != 0 && ipv4(address) != self && !answering.contains(address))
                answering.append(address);
        }
        const QList<QHostAddress> repair = m_listed.step(answering, t);
        if (local && !repair.isEmpty()) {
            const Packet update = BuildPresencePacket(*local, false);
            for (const QHostAddress &to : repair)
                m_transport.SendTo(to, update);
        }
    }
    if (t - m_sweptMs >= ExpirySweepMs) {
        m_sweptMs = t;
        for (const OutboxEntry &entry : m_outbox.dropExpired(QDateTime::currentDateTimeUtc()))
            Q_EMIT waitingDropped(entry.id, true);
    }
}
