// Keys, sealed talks and signatures between complete peers on the in-process hub: Anna and Boris have
// keys, Clara is a peer without keys (a design peer) and also plays the forger on the wire.
#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "app/Delivery.h"
#include "app/SecureChannel.h"
#include "crypto/IdentityKeys.h"
#include "crypto/PacketSealer.h"
#include "peers/PeerRegistry.h"
#include "protocol/SecurePackets.h"
#include "protocol/SendMessageUn.h"
#include "support/PeerHub.h"
#include "support/Wait.h"
#include "talks/MessageText.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Shown {
    int talk;
    QString senderId;
    QString text;
    PacketMark mark;
};

// What one peer showed and what reached its socket.
struct Watch {
    QList<Shown> shown;
    // The marks the channel reported after the talks showed the messages, in order.
    QList<PacketMark> marks;
    QList<QByteArray> heard;

    explicit Watch(PeerHub &hub, CorePeer &peer)
    {
        SecureChannel *channel = peer.core().secure();
        QObject::connect(
            peer.talks(), &TalkCore::messageForTalk, peer.talks(),
            [this, channel](int id, const QString &sender, const QString &, const QString &body) {
                shown.append({id, sender, MessageText::PlainText(body), channel->currentMark()});
            });
        QObject::connect(channel, &SecureChannel::messageMarked, peer.talks(),
                         [this](int, const QString &, PacketMark mark) { marks.append(mark); });
        QObject::connect(&hub.transportOf(peer), &PacketTransport::packetReceived, peer.talks(),
                         [this](const QByteArray &datagram) { heard.append(datagram); });
    }
    int count(const QString &text) const
    {
        return int(
            std::count_if(shown.cbegin(), shown.cend(), [&](const Shown &s) { return s.text == text; }));
    }
    std::optional<PacketMark> markOf(const QString &text) const
    {
        for (const Shown &s : shown) {
            if (s.text == text)
                return s.mark;
        }
        return std::nullopt;
    }
    bool heardInPlain(const QByteArray &words) const
    {
        return std::any_of(heard.cbegin(), heard.cend(),
                           [&](const QByteArray &d) { return d.contains(words); });
    }
    QList<QByteArray> heardOf(SecureKind kind) const
    {
        QList<QByteArray> out;
        for (const QByteArray &d : heard) {
            if (ClassifySecurePacket(d) == kind)
                out.append(d);
        }
        return out;
    }
};

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

class TestSealedTalks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void keysArePinnedAndStored();
    void privateTalkIsSealedAndUnicast();
    void groupTalkIsSealedPerMember();
    void peerWithoutKeysTalksPlainAndIsShownSo();
    void talkWithEverybodyCarriesCompanions();
    void forgedAndReplayedPacketsAreMarkedOrDropped();
    void changedKeyIsMarkedUntilAccepted();
    void memberTakenOutOfASealedGroupLearnsIt();
    void keysOfUsersNotOnlineAreNotPinned();
    void sealedPrivateMessageHasReceiptAndRetries();

private:
    PeerHub *m_hub = nullptr;
    CorePeer *anna = nullptr;
    CorePeer *boris = nullptr;
    CorePeer *clara = nullptr;
    std::unique_ptr<Watch> seenByAnna, seenByBoris, seenByClara;
};

void TestSealedTalks::init()
{
    m_hub = new PeerHub();
    anna = &m_hub->addPeer(QStringLiteral("Anna"));
    boris = &m_hub->addPeer(QStringLiteral("Boris"));
    clara = &m_hub->addPeer(QStringLiteral("Clara"));
    anna->core().secure()->setIdentity(*IdentityKeys::generate());
    boris->core().secure()->setIdentity(*IdentityKeys::generate());
    seenByAnna = std::make_unique<Watch>(*m_hub, *anna);
    seenByBoris = std::make_unique<Watch>(*m_hub, *boris);
    seenByClara = std::make_unique<Watch>(*m_hub, *clara);
    QVERIFY(m_hub->startAll());
    QVERIFY(waitUntil([this] {
        return anna->core().secure()->canSeal(boris->id()) && boris->core().secure()->canSeal(anna->id());
    }));
}

void TestSealedTalks::cleanup()
{
    seenByAnna.reset();
    seenByBoris.reset();
    seenByClara.reset();
    delete m_hub;
    m_hub = nullptr;
}

void TestSealedTalks::keysArePinnedAndStored()
{
    SecureChannel &a = *anna->core().secure();
    QCOMPARE(a.trust(boris->id()), KeyTrust::Pinned);
    QCOMPARE(a.trust(clara->id()), KeyTrust::Unknown);
    QVERIFY(!a.canSeal(clara->id()));
    QVERIFY(!clara->core().secure()->hasKeys());
    // The pin is in Anna's settings, with the key Boris announced.
    const KeyPins stored(anna->store());
    QCOMPARE(stored.state(boris->id()), KeyTrust::Pinned);
    QCOMPARE(stored.pin(boris->id())->pinned, *a.announcedKeys(boris->id()));
    // Both fingerprints are eight groups of five digits, and Anna sees the one Boris has.
    const QString own = boris->core().secure()->ownFingerprint();
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{5}( \\d{5}){7}$")).match(own).hasMatch());
    // Clara, without keys, heard the keys too: design peers ignore them.
    QVERIFY(seenByClara->heardOf(SecureKind::Key).size() >= 2);
    QVERIFY(a.setVerified(boris->id(), true));
    QCOMPARE(KeyPins(anna->store()).state(boris->id()), KeyTrust::Verified);
}

void TestSealedTalks::privateTalkIsSealedAndUnicast()
{
    QCOMPARE(anna->core().sendToUser(anna->indexOf(boris->id()), QStringLiteral("sealed private words")),
             SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByBoris->count(QStringLiteral("sealed private words")) == 1; }));
    QCOMPARE(seenByBoris->markOf(QStringLiteral("sealed private words")), PacketMark::Sealed);
    const int talk = boris->talks()->FindPrivateTalk(anna->id());
    QCOMPARE(boris->core().secure()->talkSeal(*boris->talks()->talk(talk)), TalkSeal::Sealed);
    // Boris answers; the auto-reply and the close notice go sealed as well.
    QCOMPARE(boris->talks()->sendBody(talk, MessageText::FromPlainText(QStringLiteral("sealed answer"))),
             SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("sealed answer")) == 1; }));
    QCOMPARE(seenByAnna->markOf(QStringLiteral("sealed answer")), PacketMark::Sealed);
    boris->talks()->CloseTalk(talk);
    QVERIFY(waitUntil([this] { return anna->talks()->FindPrivateTalk(boris->id()) == TalkCore::NoTalk; }));
    settle(100);
    for (const Watch *w : {seenByAnna.get(), seenByBoris.get(), seenByClara.get()}) {
        QVERIFY(!w->heardInPlain("sealed private words"));
        QVERIFY(!w->heardInPlain("sealed answer"));
        QVERIFY(!w->heardInPlain("MESSAGETOPRIVATEDELETE"));
    }
    // Each peer has a host of its own: the sealed packets went to the addressee alone.
    QCOMPARE(seenByClara->heardOf(SecureKind::Sealed).size(), 0);
    QCOMPARE(seenByBoris->heardOf(SecureKind::Sealed).size(), 1);
}

void TestSealedTalks::groupTalkIsSealedPerMember()
{
    PeerRegistry *registry = anna->registry();
    const int group = registry->CreateGroup(QStringLiteral("Keys only"), QStringLiteral("{9A}"), false, 0);
    QVERIFY(registry->MoveUser(anna->indexOf(boris->id()), group));
    QCOMPARE(anna->core().sendToGroup(group, QStringLiteral("sealed group words")), SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByBoris->count(QStringLiteral("sealed group words")) == 1; }));
    QCOMPARE(seenByBoris->markOf(QStringLiteral("sealed group words")), PacketMark::Sealed);
    // Nothing comes back from the network, yet the author sees its own message once.
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("sealed group words")) == 1; }));
    const int own = anna->talks()->FindOwnGroupTalk(group);
    QCOMPARE(anna->core().secure()->talkSeal(*anna->talks()->talk(own)), TalkSeal::Sealed);
    // Clara joins the group: the talk is plain from now on and says so; she reads the next message.
    QVERIFY(registry->MoveUser(anna->indexOf(clara->id()), group));
    QCOMPARE(anna->core().secure()->talkSeal(*anna->talks()->talk(own)), TalkSeal::NotEncrypted);
    QCOMPARE(anna->core().sendToGroup(group, QStringLiteral("plain group words")), SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByClara->count(QStringLiteral("plain group words")) == 1; }));
    QVERIFY(waitUntil([this] { return seenByBoris->count(QStringLiteral("plain group words")) == 1; }));
    QCOMPARE(seenByBoris->markOf(QStringLiteral("plain group words")), PacketMark::Signed);
    QVERIFY(!seenByClara->heardInPlain("sealed group words"));
    QVERIFY(!seenByBoris->heardInPlain("sealed group words"));
    QVERIFY(seenByClara->heardInPlain("plain group words"));
}

void TestSealedTalks::peerWithoutKeysTalksPlainAndIsShownSo()
{
    QCOMPARE(anna->core().sendToUser(anna->indexOf(clara->id()), QStringLiteral("words for Clara")),
             SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByClara->count(QStringLiteral("words for Clara")) == 1; }));
    QVERIFY(seenByClara->heardInPlain("words for Clara"));
    const int talk = anna->talks()->FindPrivateTalk(clara->id());
    QCOMPARE(anna->core().secure()->talkSeal(*anna->talks()->talk(talk)), TalkSeal::NotEncrypted);
    const int back = clara->talks()->FindPrivateTalk(anna->id());
    QCOMPARE(clara->talks()->sendBody(back, MessageText::FromPlainText(QStringLiteral("plain answer"))),
             SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("plain answer")) == 1; }));
    QCOMPARE(seenByAnna->markOf(QStringLiteral("plain answer")), PacketMark::Plain);
}

void TestSealedTalks::talkWithEverybodyCarriesCompanions()
{
    QCOMPARE(boris->core().sendToAll(QStringLiteral("hello everybody")), SendResult::Sent);
    QVERIFY(waitUntil([this] {
        return seenByAnna->count(QStringLiteral("hello everybody")) == 1 &&
               seenByClara->count(QStringLiteral("hello everybody")) == 1;
    }));
    QCOMPARE(seenByAnna->markOf(QStringLiteral("hello everybody")), PacketMark::Signed);
    // The design peer heard the design packet as it always was, beside a companion it ignores.
    QVERIFY(seenByClara->heardInPlain("hello everybody"));
    QVERIFY(!seenByClara->heardOf(SecureKind::Signature).isEmpty());
}

void TestSealedTalks::forgedAndReplayedPacketsAreMarkedOrDropped()
{
    HubTransport &forger = m_hub->transportOf(*clara);
    const RUserID *borisEntry = clara->registry()->GetPeer(clara->indexOf(boris->id()));
    QVERIFY(borisEntry);
    const WireIdentity asBoris = WireIdentity::fromEntry(*borisEntry);
    // A MESSAGE and a MESSAGETOUSER that claim Boris, from Clara's computer: shown, marked.
    forger.SendPacket(
        BuildMessagePacket(asBoris, MessageText::FromPlainText(QStringLiteral("forged to all"))));
    forger.SendPacket(BuildUserMessagePacket(
        anna->id(), asBoris, MessageText::FromPlainText(QStringLiteral("forged private")), false));
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("forged private")) == 1; }));
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("forged to all")) == 1; }));
    QCOMPARE(seenByAnna->markOf(QStringLiteral("forged private")), PacketMark::NotVerified);
    QCOMPARE(seenByAnna->markOf(QStringLiteral("forged to all")), PacketMark::NotVerified);
    // A DISCONNECT that claims Boris cannot carry a mark: dropped, Boris stays.
    forger.SendPacket(BuildDisconnectPacket(*borisEntry));
    settle(150);
    QVERIFY(anna->indexOf(boris->id()) > 0);

    // A sealed packet seen before, cut short, with a flipped bit or sealed for someone else.
    QCOMPARE(anna->core().sendToUser(anna->indexOf(boris->id()), QStringLiteral("only once")),
             SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByBoris->count(QStringLiteral("only once")) == 1; }));
    const QList<QByteArray> sealed = seenByBoris->heardOf(SecureKind::Sealed);
    QVERIFY(!sealed.isEmpty());
    const QByteArray original = sealed.last();
    QByteArray flipped = original;
    flipped[flipped.size() - 3] = char(flipped.at(flipped.size() - 3) ^ 0x10);
    const QHostAddress borisHost = m_hub->transportOf(*boris).address();
    const int droppedBefore = boris->core().secure()->dropped();
    forger.SendTo(borisHost, original);
    forger.SendTo(borisHost, original.left(original.size() - 7));
    forger.SendTo(borisHost, flipped);
    forger.SendTo(m_hub->transportOf(*anna).address(), original);
    QVERIFY(
        waitUntil([this, droppedBefore] { return boris->core().secure()->dropped() == droppedBefore + 3; }));
    QVERIFY(waitUntil([this] { return anna->core().secure()->dropped() >= 1; }));
    settle(100);
    QCOMPARE(seenByBoris->count(QStringLiteral("only once")), 1);
    // Anna shows her own copy when she sends; the packet sealed for Boris adds nothing.
    QCOMPARE(seenByAnna->count(QStringLiteral("only once")), 1);

    // A companion replayed with its message shows the message as not verified.
    QCOMPARE(boris->core().sendToAll(QStringLiteral("said once")), SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("said once")) == 1; }));
    const QByteArray companion = seenByClara->heardOf(SecureKind::Signature).last();
    QByteArray message;
    for (const QByteArray &d : seenByClara->heard) {
        if (d.contains("said once"))
            message = d;
    }
    QVERIFY(!message.isEmpty());
    seenByAnna->marks.clear();
    seenByAnna->shown.clear();
    forger.SendPacket(companion);
    forger.SendPacket(message);
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("said once")) == 1; }));
    QCOMPARE(seenByAnna->markOf(QStringLiteral("said once")), PacketMark::NotVerified);
    // The mark also reaches the windows, after the message.
    QCOMPARE(seenByAnna->marks, QList<PacketMark>{PacketMark::NotVerified});
}

void TestSealedTalks::changedKeyIsMarkedUntilAccepted()
{
    SecureChannel &a = *anna->core().secure();
    const PeerPublicKeys original = *a.announcedKeys(boris->id());
    const PeerPublicKeys annaKeys = *boris->core().secure()->announcedKeys(anna->id());
    // Someone announces another key for Boris's ID.
    const IdentityKeys other = *IdentityKeys::generate();
    PacketSealer impostor(boris->id(), other);
    QSignalSpy changes(&a, &SecureChannel::keyStateChanged);
    m_hub->transportOf(*clara).SendPacket(impostor.announceKey(now()));
    QVERIFY(waitUntil([&] { return a.trust(boris->id()) == KeyTrust::Changed; }));
    QVERIFY(!changes.isEmpty());
    QCOMPARE(changes.last().at(0).toString(), boris->id());
    // What it seals for Anna is shown, marked.
    const RUserID *borisEntry = anna->registry()->GetPeer(anna->indexOf(boris->id()));
    const Packet inner =
        BuildUserMessagePacket(anna->id(), WireIdentity::fromEntry(*borisEntry),
                               MessageText::FromPlainText(QStringLiteral("new key words")), false);
    m_hub->transportOf(*clara).SendPacket(impostor.seal(anna->id(), annaKeys, inner, now()));
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("new key words")) == 1; }));
    QCOMPARE(seenByAnna->markOf(QStringLiteral("new key words")), PacketMark::KeyChanged);
    // Anna still seals to the pinned key: the real Boris reads her, the new key does not.
    QCOMPARE(*a.sealingKeys(boris->id()), original);
    QCOMPARE(anna->core().sendToUser(anna->indexOf(boris->id()), QStringLiteral("to the pinned key")),
             SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByBoris->count(QStringLiteral("to the pinned key")) == 1; }));
    // The real Boris's packets still open as sealed while the change waits.
    QCOMPARE(boris->core().sendToUser(boris->indexOf(anna->id()), QStringLiteral("real Boris")),
             SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("real Boris")) == 1; }));
    QCOMPARE(seenByAnna->markOf(QStringLiteral("real Boris")), PacketMark::Sealed);
    // Accepted: the new key is the pinned one, stored, and its packets are no longer marked.
    QVERIFY(a.acceptKey(boris->id()));
    QCOMPARE(a.trust(boris->id()), KeyTrust::Pinned);
    QCOMPARE(KeyPins(anna->store()).pin(boris->id())->pinned, other.publicKeys());
    m_hub->transportOf(*clara).SendPacket(impostor.seal(
        anna->id(), annaKeys,
        BuildUserMessagePacket(anna->id(), WireIdentity::fromEntry(*borisEntry),
                               MessageText::FromPlainText(QStringLiteral("accepted words")), false),
        now()));
    QVERIFY(waitUntil([this] { return seenByAnna->count(QStringLiteral("accepted words")) == 1; }));
    QCOMPARE(seenByAnna->markOf(QStringLiteral("accepted words")), PacketMark::Sealed);
}

void TestSealedTalks::memberTakenOutOfASealedGroupLearnsIt()
{
    PeerRegistry *registry = anna->registry();
    const int group = registry->CreateGroup(QStringLiteral("Pair"), QStringLiteral("{9B}"), false, 0);
    QVERIFY(registry->MoveUser(anna->indexOf(boris->id()), group));
    QCOMPARE(anna->core().sendToGroup(group, QStringLiteral("pair words")), SendResult::Sent);
    QVERIFY(waitUntil([this] { return seenByBoris->count(QStringLiteral("pair words")) == 1; }));
    const QString groupId = anna->talks()->talk(anna->talks()->FindOwnGroupTalk(group))->data.GroupID;
    QVERIFY(boris->talks()->FindTalkByGroupID(groupId) != TalkCore::NoTalk);
    // Boris leaves the contact group: the update that no longer names him still reaches him, sealed.
    QVERIFY(registry->MoveUser(anna->indexOf(boris->id()), 1));
    QVERIFY(waitUntil([&] { return boris->talks()->FindTalkByGroupID(groupId) == TalkCore::NoTalk; }));
    QVERIFY(!seenByClara->heardInPlain("UPDATEINFOTOGROUP_"));
    QVERIFY(!seenByBoris->heardInPlain("UPDATEINFOTOGROUP_"));
}

void TestSealedTalks::keysOfUsersNotOnlineAreNotPinned()
{
    const QString stranger = QStringLiteral("{57A4A6E0-0000-0000-0000-000000000001}");
    const IdentityKeys keys = *IdentityKeys::generate();
    m_hub->transportOf(*clara).SendPacket(PacketSealer(stranger, keys).announceKey(now()));
    SecureChannel &a = *anna->core().secure();
    QVERIFY(waitUntil([&] { return a.announcedKeys(stranger).has_value(); }));
    QCOMPARE(a.trust(stranger), KeyTrust::Unknown);
    QVERIFY(!KeyPins(anna->store()).pin(stranger).has_value());
    // A key that does not hold under its own signature is not even announced.
    QByteArray bad =
        PacketSealer(QStringLiteral("{57A4A6E0-0000-0000-0000-000000000002}"), keys).announceKey(now());
    bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 1);
    const int dropped = a.dropped();
    m_hub->transportOf(*clara).SendPacket(bad);
    QVERIFY(waitUntil([&] { return a.dropped() == dropped + 1; }));
    QVERIFY(!a.announcedKeys(QStringLiteral("{57A4A6E0-0000-0000-0000-000000000002}")));
}

// The first two sealed copies to Boris are lost: the retries carry the same sealed bytes, Boris shows the
// message once, and Anna learns that it was delivered.
void TestSealedTalks::sealedPrivateMessageHasReceiptAndRetries()
{
    int lost = 0;
    m_hub->setDropRule([&lost](const QHostAddress &, const QHostAddress &, const QByteArray &datagram, bool echo) {
        if (echo || ClassifySecurePacket(datagram) != SecureKind::Sealed || lost >= 2)
            return false;
        ++lost;
        return true;
    });
    QSignalSpy settled(anna->core().delivery(), &Delivery::messageSettled);
    const int k = anna->core().findPeers(boris->id()).value(0, -1);
    QVERIFY(k > 0);
    QCOMPARE(anna->core().sendToUser(k, QStringLiteral("through the loss")), SendResult::Sent);
    QVERIFY(waitUntil([&] { return settled.size() == 1; }, 8000));
    QCOMPARE(lost, 2);
    QCOMPARE(settled.first().at(2).toStringList(), QStringList{boris->id()});
    QVERIFY(settled.first().at(3).toStringList().isEmpty());
    QCOMPARE(seenByBoris->count(QStringLiteral("through the loss")), 1);
    QCOMPARE(seenByBoris->markOf(QStringLiteral("through the loss")), std::optional(PacketMark::Sealed));
    QVERIFY(!seenByClara->heardInPlain("through the loss"));
}

QTEST_GUILESS_MAIN(TestSealedTalks)
#include "test_sealedtalks.moc"
