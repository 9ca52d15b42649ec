#include "app/SecureChannel.h"

#include "crypto/Fingerprint.h"
#include "crypto/PacketSealer.h"
#include "net/PacketDispatcher.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SecurePackets.h"
#include "talks/TalkCore.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>

namespace {

// The FILETO too: sealed, it names its requester by key, and its transfer is sealed by that key.
bool isSealedTalkKind(quint8 kind)
{
    return kind == pkMessageToGroup || kind == pkMessageToUser || kind == pkUpdateInfoToGroup ||
           kind == pkMessageToGroupDelete || kind == pkMessageToPrivateDelete || kind == pkFileTo;
}

// The messages a plain packet may still bring when it cannot be verified: shown, marked.
bool isMarkableKind(quint8 kind)
{
    return kind == pkMessage || kind == pkMessageToGroup || kind == pkMessageToUser;
}

// The control packets that act on a talk or a user and cannot carry a mark: dropped unverified.
bool isGuardedControlKind(quint8 kind)
{
    return kind == pkDisconnect || kind == pkUpdateInfoToGroup || kind == pkMessageToGroupRename ||
           kind == pkMessageToGroupDelete || kind == pkMessageToPrivateDelete;
}

} // namespace

SecureChannel::SecureChannel(const SettingsStore &store, PacketTransport &inner, PacketDispatcher &dispatcher,
                             QObject *parent)
    : PacketTransport(parent)
    , m_store(store)
    , m_inner(inner)
    , m_dispatcher(dispatcher)
    , m_now([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    connect(&m_inner, &PacketTransport::presenceSource, this, &SecureChannel::rememberAddress);
}

SecureChannel::~SecureChannel() = default;

void SecureChannel::setIdentity(const IdentityKeys &keys)
{
    m_identity = keys;
}

void SecureChannel::start(const QString &ownId)
{
    if (!m_identity || ownId.isEmpty() || m_sealer)
        return;
    m_ownId = ownId;
    m_sealer = std::make_unique<PacketSealer>(ownId, *m_identity);
    m_pins = std::make_unique<KeyPins>(m_store);
}

QString SecureChannel::ownFingerprint() const
{
    return m_sealer ? KeyFingerprint(m_sealer->publicKeys()) : QString();
}

KeyTrust SecureChannel::trust(const QString &userId) const
{
    return m_pins ? m_pins->state(userId) : KeyTrust::Unknown;
}

std::optional<PeerPublicKeys> SecureChannel::announcedKeys(const QString &userId) const
{
    const auto found = m_announced.constFind(userId);
    if (found == m_announced.cend())
        return std::nullopt;
    return *found;
}

std::optional<PeerPublicKeys> SecureChannel::sealingKeys(const QString &userId) const
{
    if (!m_sealer || userId.isEmpty() || userId == m_ownId)
        return std::nullopt;
    // A key that changed is not sealed to until the user accepts it: the pinned one stays.
    if (const std::optional<KeyPin> pin = m_pins->pin(userId))
        return pin->pinned;
    return announcedKeys(userId);
}

bool SecureChannel::canSeal(const QString &userId) const
{
    return sealingKeys(userId).has_value();
}

TalkSeal SecureChannel::talkSeal(const Talk &talk) const
{
    switch (talk.data.kind) {
    case tkAllUsers:
        return TalkSeal::Broadcast;
    case tkPrivate:
        return canSeal(talk.data.PeerID) ? TalkSeal::Sealed : TalkSeal::NotEncrypted;
    case tkOwnGroup:
    case tkMemberGroup:
        break;
    }
    bool any = false;
    for (const TalkMember &member : talk.members) {
        if (member.userId == m_ownId)
            continue;
        if (!canSeal(member.userId))
            return TalkSeal::NotEncrypted;
        any = true;
    }
    return any ? TalkSeal::Sealed : TalkSeal::NotEncrypted;
}

bool SecureChannel::acceptKey(const QString &userId)
{
    if (!m_pins || !m_pins->acceptOffered(userId))
        return false;
    Q_EMIT keyStateChanged(userId);
    return true;
}

bool SecureChannel::setVerified(const QString &userId, bool verified)
{
    if (!m_pins || !m_pins->setVerified(userId, verified))
        return false;
    Q_EMIT keyStateChanged(userId);
    return true;
}

QHostAddress SecureChannel::addressOf(const QString &userId) const
{
    const QHostAddress address = m_addresses.value(userId);
    if (address.isNull())
        return {};
    // Copies on one computer share its port, and a datagram to its address reaches only one of them:
    // such a computer is reached by broadcast.
    int users = 0;
    for (const QHostAddress &other : m_addresses) {
        if (other == address && ++users > 1)
            return {};
    }
    return address;
}

void SecureChannel::rememberAddress(const QString &userId, const QHostAddress &address)
{
    if (userId.isEmpty())
        return;
    if (!m_addresses.contains(userId) && m_addresses.size() >= MaxAnnouncedKeys)
        m_addresses.clear();
    m_addresses.insert(userId, address);
}

// Sending.

QList<WireDatagram> SecureChannel::signedPlain(const Packet &packet)
{
    QList<WireDatagram> out;
    const Packet companion = m_sealer->signCompanion(packet, now());
    if (!companion.isEmpty())
        out.append({companion, {}, {}});
    out.append({packet, {}, {}});
    return out;
}

QList<WireDatagram> SecureChannel::sealFor(const QStringList &recipients, const Packet &packet)
{
    QList<WireDatagram> out;
    const qint64 time = now();
    for (const QString &recipient : recipients) {
        const std::optional<PeerPublicKeys> keys = sealingKeys(recipient);
        const Packet sealed = keys ? m_sealer->seal(recipient, *keys, packet, time) : Packet();
        // Too great for a datagram: the design's error, never a plain copy instead.
        if (sealed.isEmpty())
            return {};
        out.append({sealed, addressOf(recipient), recipient});
    }
    return out;
}

QList<WireDatagram> SecureChannel::wrap(const Packet &packet)
{
    const quint8 kind = ClassifyPacket(packet);
    if (!m_sealer || kind == pkUnknown)
        return {{packet, {}, {}}};
    switch (kind) {
    case pkNew:
    case pkUpdateInfo:
        return {{packet, {}, {}}, {m_sealer->announceKey(now()), {}, {}}};
    case pkMessageToUser:
    case pkMessageToPrivateDelete: {
        const QString addressee = TDataNewMessage(packet).GetFromUserID();
        if (canSeal(addressee))
            return sealFor({addressee}, packet);
        return signedPlain(packet);
    }
    case pkMessageToGroup:
    case pkUpdateInfoToGroup: {
        const TDataNewMessage m(packet);
        QStringList ids;
        m.GetUserIDList(&ids);
        ids.removeAll(m_ownId);
        ids.removeDuplicates();
        const QString groupId = m.GetGroupID();
        // A member taken out of the group learns it from the update that no longer lists it.
        QStringList addressees = ids;
        if (kind == pkUpdateInfoToGroup) {
            for (const QString &id : m_rosters.value(groupId)) {
                if (!addressees.contains(id))
                    addressees.append(id);
            }
        }
        if (!m_rosters.contains(groupId)) {
            m_rosterOrder.push_back(groupId);
            if (qsizetype(m_rosterOrder.size()) > MaxGroupRosters) {
                m_rosters.remove(m_rosterOrder.front());
                m_rosterOrder.pop_front();
            }
        }
        m_rosters.insert(groupId, ids);
        if (addressees.isEmpty() || !std::all_of(addressees.cbegin(), addressees.cend(),
                                                 [this](const QString &id) { return canSeal(id); }))
            return signedPlain(packet);
        QList<WireDatagram> out = sealFor(addressees, packet);
        // Nothing comes back from the network for a sealed group message: its own copy goes to the
        // local queue, as the broadcast would have brought it.
        if (!out.isEmpty() && kind == pkMessageToGroup && m_localDelivery) {
            vouch(packet);
            m_localDelivery(packet);
        }
        return out;
    }
    case pkFileTo: {
        const QString owner = TDataFileMessage(packet).GetServerID();
        if (canSeal(owner))
            return sealFor({owner}, packet);
        return signedPlain(packet);
    }
    case pkMessageToGroupDelete: {
        const QStringList ids = m_rosters.value(TDataNewMessage(packet).GetGroupID());
        if (!ids.isEmpty() &&
            std::all_of(ids.cbegin(), ids.cend(), [this](const QString &id) { return canSeal(id); }))
            return sealFor(ids, packet);
        return signedPlain(packet);
    }
    default:
        return signedPlain(packet);
    }
}

bool SecureChannel::SendPacket(const Packet &packet)
{
    if (packet.isEmpty())
        return false;
    const QList<WireDatagram> datagrams = wrap(packet);
    if (datagrams.isEmpty())
        return false;
    bool ok = true;
    QList<QPair<QByteArray, QString>> sealed;
    for (const WireDatagram &datagram : datagrams) {
        const bool sent = datagram.to.isNull() ? m_inner.SendPacket(datagram.bytes)
                                               : m_inner.SendTo(datagram.to, datagram.bytes);
        if (sent && !datagram.recipient.isEmpty())
            sealed.append({datagram.bytes, datagram.recipient});
        // A lost companion only leaves the message marked; the packet itself decides.
        if (ClassifySecurePacket(datagram.bytes) != SecureKind::Signature &&
            ClassifySecurePacket(datagram.bytes) != SecureKind::Key)
            ok = ok && sent;
    }
    if (!sealed.isEmpty())
        Q_EMIT sealedSent(packet, sealed);
    return ok;
}

// Receiving.

void SecureChannel::receive(const Packet &packet)
{
    if (!m_sealer) {
        m_dispatcher.DispatchPacket(packet);
        return;
    }
    switch (ClassifySecurePacket(packet)) {
    case SecureKind::Key:
        takeKey(packet);
        return;
    case SecureKind::Sealed:
        takeSealed(packet);
        return;
    case SecureKind::Signature:
        takeCompanion(packet);
        return;
    case SecureKind::None:
        break;
    }
    takePlain(packet);
}

void SecureChannel::vouch(const Packet &packet)
{
    if (m_vouched.size() >= 64)
        m_vouched.removeFirst();
    m_vouched.append(packet);
}

void SecureChannel::noteDelivered(int talkId, const QString &senderId)
{
    if (m_dispatching && m_current != PacketMark::Plain && m_delivered.size() < 1024)
        m_delivered.append({talkId, senderId});
}

void SecureChannel::dispatch(const Packet &packet, PacketMark mark)
{
    m_current = mark;
    m_dispatching = true;
    m_delivered.clear();
    m_dispatcher.DispatchPacket(packet);
    m_dispatching = false;
    m_current = PacketMark::Plain;
    const QList<QPair<int, QString>> delivered = std::exchange(m_delivered, {});
    for (const auto &[talkId, senderId] : delivered)
        Q_EMIT messageMarked(talkId, senderId, mark);
}

QList<SecureChannel::KeyChoice> SecureChannel::checkingKeys(const QString &userId) const
{
    QList<KeyChoice> choices;
    const std::optional<KeyPin> pin = m_pins->pin(userId);
    if (pin)
        choices.append({pin->pinned, PacketMark::Sealed});
    if (const std::optional<PeerPublicKeys> announced = announcedKeys(userId);
        announced && (!pin || *announced != pin->pinned))
        choices.append({*announced, pin ? PacketMark::KeyChanged : PacketMark::Sealed});
    return choices;
}

void SecureChannel::takeKey(const Packet &packet)
{
    const std::optional<KeyAnnouncement> announcement = ReadKeyPacket(packet);
    if (!announcement || announcement->userId == m_ownId ||
        VerifyKeyAnnouncement(*announcement, now()) != PacketCheck::Ok) {
        drop();
        return;
    }
    const QString &id = announcement->userId;
    const KeyTrust before = m_pins->state(id);
    const std::optional<PeerPublicKeys> previous = announcedKeys(id);
    if (!m_announced.contains(id)) {
        m_announcedOrder.push_back(id);
        if (qsizetype(m_announcedOrder.size()) > MaxAnnouncedKeys) {
            m_announced.remove(m_announcedOrder.front());
            m_announcedOrder.pop_front();
        }
    }
    m_announced.insert(id, announcement->keys);
    const qint64 time = now();
    // The same key again costs nothing; another one may be stored as offered, and a user whose
    // announcements keep changing keys reaches the settings file once per interval at most.
    const auto last = m_observed.constFind(id);
    const bool due = last == m_observed.cend() || last->keys == announcement->keys || last->changedMs == 0 ||
                     time - last->changedMs >= PinIntervalMs || time < last->changedMs;
    if (due && (!m_online || m_online(id))) {
        const bool another = last != m_observed.cend() && last->keys != announcement->keys;
        const qint64 changedMs = another ? time : (last != m_observed.cend() ? last->changedMs : 0);
        if (m_observed.size() >= MaxAnnouncedKeys)
            m_observed.clear();
        m_observed.insert(id, {announcement->keys, changedMs});
        gatherPinWrites();
        m_pins->observe(id, announcement->keys, time / 1000);
    }
    if (m_pins->state(id) != before || previous != announcement->keys)
        Q_EMIT keyStateChanged(id);
}

void SecureChannel::gatherPinWrites()
{
    // A crowd of newcomers announces its keys at once; a write of the whole file for each would cost
    // far more than the checks of the keys.
    if (m_pinWrites)
        return;
    m_pinWrites.emplace(m_store);
    QTimer::singleShot(0, this, [this] { m_pinWrites.reset(); });
}

void SecureChannel::takeSealed(const Packet &packet)
{
    const std::optional<SealedEnvelope> envelope = ReadSealedPacket(packet);
    if (!envelope || envelope->recipientId != m_ownId || envelope->senderId == m_ownId) {
        drop();
        return;
    }
    for (const KeyChoice &choice : checkingKeys(envelope->senderId)) {
        const OpenedPacket opened = m_sealer->open(*envelope, choice.keys, now(), m_sealedReplays);
        if (opened.check == PacketCheck::Forged)
            continue;
        if (opened.check != PacketCheck::Ok)
            break;
        const quint8 kind = ClassifyPacket(opened.packet);
        // The clear sender ID, the one inside and the addressee must agree with the envelope.
        if (!isSealedTalkKind(kind) || ClaimedSenderId(opened.packet) != envelope->senderId)
            break;
        if ((kind == pkMessageToUser || kind == pkMessageToPrivateDelete) &&
            TDataNewMessage(opened.packet).GetFromUserID() != m_ownId)
            break;
        if (kind == pkFileTo && TDataFileMessage(opened.packet).GetServerID() != m_ownId)
            break;
        m_currentKeys = choice.keys;
        dispatch(opened.packet, choice.mark);
        m_currentKeys.reset();
        return;
    }
    drop();
}

void SecureChannel::takeCompanion(const Packet &packet)
{
    const std::optional<SignatureCompanion> companion = ReadSignaturePacket(packet);
    if (!companion || companion->senderId == m_ownId) {
        drop();
        return;
    }
    for (const KeyChoice &choice : checkingKeys(companion->senderId)) {
        const PacketCheck check = VerifyCompanion(*companion, choice.keys, now(), m_companionReplays);
        if (check == PacketCheck::Forged)
            continue;
        if (check != PacketCheck::Ok)
            break;
        if (qsizetype(m_companions.size()) >= MaxCompanions)
            m_companions.pop_front();
        m_companions.push_back({companion->digest, companion->senderId,
                                choice.mark == PacketMark::Sealed ? PacketMark::Signed : choice.mark, now()});
        return;
    }
    drop();
}

void SecureChannel::takePlain(const Packet &packet)
{
    const quint8 kind = ClassifyPacket(packet);
    if (kind == pkUnknown)
        return;
    if (const qsizetype vouched = m_vouched.indexOf(packet); vouched >= 0) {
        m_vouched.removeAt(vouched);
        dispatch(packet, PacketMark::Plain);
        return;
    }
    const QString claimed = ClaimedSenderId(packet);
    const bool hasKey = !claimed.isEmpty() && claimed != m_ownId &&
                        (m_pins->state(claimed) != KeyTrust::Unknown || m_announced.contains(claimed));
    if (!hasKey || kind == pkNew || kind == pkUpdateInfo || kind == pkFileTo) {
        dispatch(packet, PacketMark::Plain);
        return;
    }
    const QByteArray digest = PacketDigest(packet);
    const qint64 time = now();
    while (!m_companions.empty() && time - m_companions.front().takenMs > CompanionLifeMs)
        m_companions.pop_front();
    for (auto it = m_companions.begin(); it != m_companions.end(); ++it) {
        if (it->digest == digest && it->senderId == claimed) {
            const PacketMark mark = it->mark;
            m_companions.erase(it);
            dispatch(packet, mark);
            return;
        }
    }
    if (isMarkableKind(kind)) {
        dispatch(packet, PacketMark::NotVerified);
        return;
    }
    if (isGuardedControlKind(kind)) {
        drop();
        return;
    }
    dispatch(packet, PacketMark::Plain);
}
