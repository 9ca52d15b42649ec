// The peer registry inside the peer, with no window and no socket: presence packets in, answers and
// signals out (the talk core's notices included), contact groups in the store.
#include "app/ChatCore.h"
#include "net/PacketDispatcher.h"
#include "peers/GroupBoxStorageUn.h"
#include "peers/PeerRegistry.h"
#include "protocol/ConstUnit.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "settings/SettingsStore.h"
#include "settings/TMyUserData.h"
#include "support/CorePeer.h"
#include "support/EventLog.h"
#include "support/RecordingTransport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace GroupStorage;

namespace {

Packet presence(const QString &id, const QString &alias, bool isNew, const QString &ip = "127.0.0.5",
                qint32 color = 255)
{
    RUserID u;
    u.ID = id;
    u.Alias = alias;
    u.IP = ip;
    u.PictureIndex = 14;
    u.Color = color;
    u.Town = QStringLiteral("Springfield");
    u.Age = 33;
    return BuildPresencePacket(u, isNew);
}

Packet byePacket(const QString &id, const QString &alias)
{
    RUserID u;
    u.ID = id;
    u.Alias = alias;
    u.IP = QStringLiteral("127.0.0.5");
    u.PictureIndex = 14;
    return BuildDisconnectPacket(u);
}

QString peerId(int n)
{
    return QStringLiteral("{%1-AAAA-BBBB-CCCC-DDDDEEEEFFFF}").arg(n, 8, 10, QLatin1Char('0'));
}

QString connectLine(const QString &name)
{
    return "append 0 User \"" + name + "\" is connect...";
}

QList<int> members(const PeerRegistry &r, int group)
{
    const ContactGroup *g = r.group(group);
    return g ? g->members : QList<int>{-1};
}

} // namespace

class TestRegistry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void localEntryAndItsPackets();
    void ownEchoesChangeNothing();
    void newPeerIsAnsweredPlacedAndAnnounced();
    void knownPeerNewIsOnlyAnswered();
    void updateInfoFromUnknownAddsAndAnswers();
    void updateInfoRefreshesKnownPeer();
    void disconnectAndReturn();
    void departureEndsTheNoticeBatchFirst();
    void arrivalsOfATurnAreShownOnceAFrame();
    void blankAliasShowsIp();
    void storedGroupPlacement();
    void anonymousUsersAreBounded();
    void fullListReusesOfflineThenStalest();
    void placesStayRightAfterRemovals();
    void groupNumbersAvoidStoredSections();
    void renameSendsAndStoresOnlyStoredGroups();
    void deleteMovesMembersBackAndTellsPeers();
    void moveBlockAndBadList();
    void storeAndReload();
    void loadedGroupWithTakenNumberIsRewritten();
    void collapsedStatesAreStoredOnlyForStoredGroups();
    void dispatcherReportsKindBeforeHandler();

private:
    void makeRegistry();

    std::unique_ptr<CorePeer> m_peer;
    RecordingTransport *m_transport = nullptr;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<EventLog> m_log;
    PeerRegistry *m_registry = nullptr;
};

void TestRegistry::init()
{
    m_peer = std::make_unique<CorePeer>(QStringLiteral("Me"), std::make_unique<RecordingTransport>());
    m_transport = &m_peer->transportAs<RecordingTransport>();
    m_store = std::make_unique<SettingsStore>(m_peer->store());
    m_registry = m_peer->registry();
    m_log = std::make_unique<EventLog>(m_registry, m_peer->talks());
}

void TestRegistry::cleanup()
{
    m_log.reset();
    m_registry = nullptr;
    m_peer.reset();
    m_store.reset();
}

// The peer as it runs: entry 0, the talk with everybody, the groups, NEW; then a clean slate.
void TestRegistry::makeRegistry()
{
    m_peer->start();
    m_transport->clear();
    m_log->clear();
}

void TestRegistry::localEntryAndItsPackets()
{
    RecordingTransport transport;
    PeerRegistry empty(*m_store, &transport);
    empty.SendPresence(true);
    empty.SendDisconnect();
    QVERIFY(transport.sent.isEmpty());

    PeerRegistry registry(*m_store, &transport);
    EventLog log(&registry, nullptr);
    QSignalSpy built(&registry, &PeerRegistry::localEntryChanged);
    registry.BuildLocalEntry();
    QCOMPARE(built.size(), 1);
    QCOMPARE(log.events, QStringList{"identity Me"});
    const RUserID *me = registry.local();
    QVERIFY(me);
    QCOMPARE(me->Alias, QStringLiteral("Me"));
    QCOMPARE(me->IP, QStringLiteral("127.9.8.7"));
    QCOMPARE(me->GroupNumber, -1);
    QCOMPARE(me->ID.size(), 38);

    registry.SendPresence(true);
    registry.SendPresence(false);
    registry.SendDisconnect();
    QCOMPARE(transport.sent.size(), 3);
    QCOMPARE(transport.sent[0], BuildPresencePacket(*me, true));
    QCOMPARE(transport.sent[1], BuildPresencePacket(*me, false));
    QCOMPARE(transport.sent[2], BuildDisconnectPacket(*me));
    QCOMPARE(ClassifyPacket(transport.sent[0]), quint8(pkNew));
    QCOMPARE(ClassifyPacket(transport.sent[1]), quint8(pkUpdateInfo));
    QCOMPARE(ClassifyPacket(transport.sent[2]), quint8(pkDisconnect));

    // The peer does the same when it starts: the NEW of entry 0 and nothing else on the broadcast.
    makeRegistry();
    m_peer->stop();
    QCOMPARE(m_transport->sent, QList<Packet>{BuildDisconnectPacket(*m_registry->local())});
}

void TestRegistry::ownEchoesChangeNothing()
{
    makeRegistry();
    const RUserID me = *m_registry->local();
    m_registry->ProcessNewPacket(BuildPresencePacket(me, true));
    m_registry->ProcessUpdateInfoPacket(BuildPresencePacket(me, false));
    m_registry->ProcessDisconnectPacket(BuildDisconnectPacket(me));
    QCOMPARE(m_registry->peers().count(), 1);
    QVERIFY(m_transport->sent.isEmpty());
    QVERIFY(m_log->events.isEmpty());
}

void TestRegistry::newPeerIsAnsweredPlacedAndAnnounced()
{
    makeRegistry();
    QSignalSpy added(m_registry, &PeerRegistry::memberAdded);
    QSignalSpy arrived(m_registry, &PeerRegistry::peerArrived);
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));

    QCOMPARE(m_transport->sent, QList<Packet>{BuildPresencePacket(*m_registry->local(), false)});
    const RUserID *x = m_registry->GetPeer(1);
    QVERIFY(x);
    QCOMPARE(x->ID, peerId(1));
    QCOMPARE(x->Alias, QStringLiteral("Xena"));
    QCOMPARE(x->IP, QStringLiteral("127.0.0.5"));
    QCOMPARE(x->PictureIndex, 14);
    QCOMPARE(x->Color, 255);
    QCOMPARE(x->Town, QStringLiteral("Springfield"));
    QCOMPARE(x->Age, quint8(33));
    QCOMPARE(x->Online, quint8(1));
    QCOMPARE(x->Blocked, quint8(0));
    QCOMPARE(x->GroupNumber, MainGroupNumber);
    QCOMPARE(members(*m_registry, MainGroupNumber), QList<int>{1});
    const std::optional<PeerPlace> place = m_registry->FindPeer(peerId(1));
    QVERIFY(place);
    QCOMPARE(place->peerIndex, 1);
    QCOMPARE(place->groupNumber, MainGroupNumber);
    QCOMPARE(place->position, 0);
    QCOMPARE(added.size(), 1);
    QCOMPARE(added[0], (QList<QVariant>{MainGroupNumber, 1}));
    QCOMPARE(arrived.size(), 1);

    // The notices go out at once, inside one batch that ends with the turn.
    const QStringList expected{"begin",   "added 1 1", "notify Xena 0", connectLine("Xena"),
                               "sound 0", "arrived 1"};
    QCOMPARE(m_log->events, expected);
    m_registry->ProcessNewPacket(presence(peerId(2), "Yuri", true));
    QCOMPARE(m_log->events.count("begin"), 1);
    QVERIFY(!m_log->events.contains("end"));
    QTRY_COMPARE(m_log->events.count("end"), 1);
    QCOMPARE(m_log->events.last(), QStringLiteral("end"));
}

void TestRegistry::knownPeerNewIsOnlyAnswered()
{
    makeRegistry();
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));
    m_transport->sent.clear();
    m_log->events.clear();
    m_registry->ProcessNewPacket(presence(peerId(1), "Changed", true));
    QCOMPARE(m_transport->sent, QList<Packet>{BuildPresencePacket(*m_registry->local(), false)});
    QCOMPARE(m_registry->peers().count(), 2);
    QCOMPARE(m_registry->GetPeer(1)->Alias, QStringLiteral("Xena"));
    QCOMPARE(members(*m_registry, MainGroupNumber), QList<int>{1});
    QVERIFY(m_log->events.isEmpty());
}

void TestRegistry::updateInfoFromUnknownAddsAndAnswers()
{
    makeRegistry();
    m_registry->ProcessUpdateInfoPacket(presence(peerId(1), "Xena", false));
    QCOMPARE(m_transport->sent, QList<Packet>{BuildPresencePacket(*m_registry->local(), false)});
    QCOMPARE(m_registry->peers().count(), 2);
    QVERIFY(m_log->events.contains(connectLine("Xena")));
    QVERIFY(m_log->events.contains("sound 0"));
    QVERIFY(m_log->events.contains("notify Xena 0"));
}

void TestRegistry::updateInfoRefreshesKnownPeer()
{
    makeRegistry();
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));
    m_transport->sent.clear();
    m_log->events.clear();
    QSignalSpy updated(m_registry, &PeerRegistry::peerUpdated);
    m_registry->ProcessUpdateInfoPacket(presence(peerId(1), "Xena Warrior", false, "10.0.0.6", 0x123456));
    QVERIFY(m_transport->sent.isEmpty());
    QCOMPARE(m_log->events, QStringList{"renamed Xena Warrior 14"});
    QCOMPARE(updated.size(), 1);
    const RUserID *x = m_registry->GetPeer(1);
    QCOMPARE(x->Alias, QStringLiteral("Xena Warrior"));
    QCOMPARE(x->IP, QStringLiteral("10.0.0.6"));
    QCOMPARE(x->Color, 0x123456);
    QCOMPARE(x->GroupNumber, MainGroupNumber);
    QCOMPARE(x->Online, quint8(1));
    QCOMPARE(m_registry->peers().count(), 2);
}

void TestRegistry::disconnectAndReturn()
{
    makeRegistry();
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));
    QTRY_VERIFY(m_log->events.contains("end"));
    m_log->events.clear();
    m_transport->sent.clear();
    QSignalSpy removed(m_registry, &PeerRegistry::memberRemoved);
    QSignalSpy left(m_registry, &PeerRegistry::peerLeft);
    m_registry->ProcessDisconnectPacket(byePacket(peerId(1), "Xena"));
    const QStringList expected{"notify Xena 0", "append 0 User \"Xena\" is disconnect...",
                               "sound 1",       "leaving 1",
                               "removed 1 1",   "left Xena"};
    QCOMPARE(m_log->events, expected);
    QVERIFY(m_transport->sent.isEmpty());
    QCOMPARE(removed.size(), 1);
    QCOMPARE(left.size(), 1);
    QCOMPARE(m_registry->GetPeer(1)->Online, quint8(0));
    QVERIFY(members(*m_registry, MainGroupNumber).isEmpty());
    QVERIFY(!m_registry->FindPeer(peerId(1)));

    // A second DISCONNECT finds nobody; the return is a new entry.
    m_log->events.clear();
    m_registry->ProcessDisconnectPacket(byePacket(peerId(1), "Xena"));
    QVERIFY(m_log->events.isEmpty());
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));
    QCOMPARE(m_registry->peers().count(), 3);
    QCOMPARE(m_registry->GetPeer(1)->Online, quint8(0));
    QCOMPARE(m_registry->GetPeer(2)->Online, quint8(1));
    QCOMPARE(m_registry->FindPeer(peerId(1))->peerIndex, 2);
    QCOMPARE(members(*m_registry, MainGroupNumber), QList<int>{2});
}

void TestRegistry::departureEndsTheNoticeBatchFirst()
{
    makeRegistry();
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));
    m_registry->ProcessNewPacket(presence(peerId(2), "Yuri", true));
    m_registry->ProcessDisconnectPacket(byePacket(peerId(1), "Xena"));
    const qsizetype end = m_log->events.indexOf("end");
    QVERIFY(end > 0);
    QCOMPARE(m_log->events.count("end"), 1);
    // The departure's notice comes right after the batch, before its group and talks change.
    QCOMPARE(m_log->events.indexOf("notify Xena 0", end), end + 1);
    QVERIFY(m_log->events.indexOf("leaving 1") > end + 1);
    QVERIFY(m_log->events.indexOf(connectLine("Yuri")) < end);
    QTest::qWait(5);
    QCOMPARE(m_log->events.count("end"), 1);
}

void TestRegistry::arrivalsOfATurnAreShownOnceAFrame()
{
    makeRegistry();
    QSignalSpy flushed(m_registry, &PeerRegistry::arrivalsFlushed);
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= 3; ++i)
        m_registry->ProcessNewPacket(presence(peerId(i), QStringLiteral("P%1").arg(i), true));
    QCOMPARE(m_log->events.count("begin"), 1);
    QVERIFY(m_registry->arrivalsPending());
    QCoreApplication::processEvents();
    QVERIFY(!m_log->events.contains("end"));
    // Left alone, the batch ends by itself one frame after the first arrival, all three at once.
    QTRY_COMPARE(flushed.count(), 1);
    QVERIFY(clock.elapsed() >= PeerRegistry::FrameMs * 9 / 10);
    QCOMPARE(m_log->events.count("end"), 1);
    QVERIFY(!m_registry->arrivalsPending());
    for (int i = 1; i <= 3; ++i)
        QVERIFY(m_log->events.indexOf(connectLine(QStringLiteral("P%1").arg(i))) <
                m_log->events.indexOf("end"));
    // Flushed on demand (nothing more waits to be read), an arrival is shown at once.
    m_registry->ProcessNewPacket(presence(peerId(4), "P4", true));
    m_registry->FlushNotices();
    QCOMPARE(flushed.count(), 2);
    QCOMPARE(m_log->events.count("end"), 2);
    QTest::qWait(PeerRegistry::FrameMs * 2);
    QCOMPARE(flushed.count(), 2);
}

void TestRegistry::blankAliasShowsIp()
{
    makeRegistry();
    m_registry->ProcessNewPacket(presence(peerId(1), "   ", true, "10.0.0.77"));
    QVERIFY(m_log->events.contains(connectLine("10.0.0.77")));
    QVERIFY(m_log->events.contains("notify " + QStringLiteral("   ") + " 0"));
    QCOMPARE(DisplayName(*m_registry->GetPeer(1)), QStringLiteral("10.0.0.77"));
}

void TestRegistry::storedGroupPlacement()
{
    WriteStoredGroup(*m_store, {5, false, "Friends", "{GROUP-FIVE}"});
    StoreUserGroup(*m_store, peerId(1), 5);
    StoreUserGroup(*m_store, peerId(2), 9);
    makeRegistry();
    QVERIFY(m_registry->group(5));
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));
    m_registry->ProcessNewPacket(presence(peerId(2), "Yuri", true));
    QCOMPARE(m_registry->GetPeer(1)->GroupNumber, 5);
    QCOMPARE(members(*m_registry, 5), QList<int>{1});
    QVERIFY(m_log->events.contains("added 5 1"));
    // The stored group no longer exists: the main group takes the user.
    QCOMPARE(m_registry->GetPeer(2)->GroupNumber, MainGroupNumber);
    QCOMPARE(members(*m_registry, MainGroupNumber), QList<int>{2});
    QCOMPARE(m_registry->FindPeer(peerId(2))->groupNumber, MainGroupNumber);
}

void TestRegistry::anonymousUsersAreBounded()
{
    makeRegistry();
    for (int i = 0; i < PeerList::MaxAnonymous + 4; ++i)
        m_registry->ProcessNewPacket(presence(QString(), QStringLiteral("anon %1").arg(i), true));
    // Each one is a newcomer and is answered; the oldest make way for the newest.
    QCOMPARE(m_transport->sent.size(), PeerList::MaxAnonymous + 4);
    QCOMPARE(m_registry->peers().anonymousOnline(), PeerList::MaxAnonymous);
    QCOMPARE(m_registry->peers().count(), PeerList::MaxAnonymous + 1);
    QCOMPARE(members(*m_registry, MainGroupNumber).size(), PeerList::MaxAnonymous);
    QVERIFY(m_log->events.contains("removed 1 1"));
    QCOMPARE(m_registry->GetPeer(1)->Alias, QStringLiteral("anon 16"));
}

void TestRegistry::fullListReusesOfflineThenStalest()
{
    makeRegistry();
    for (int i = 1; i < PeerList::MaxEntries; ++i)
        m_registry->ProcessNewPacket(presence(peerId(i), QStringLiteral("P%1").arg(i), true));
    QVERIFY(m_registry->peers().isFull());
    m_registry->ProcessDisconnectPacket(byePacket(peerId(10), "P10"));
    m_registry->ProcessNewPacket(presence(peerId(90000), "Newcomer", true));
    QCOMPARE(m_registry->peers().count(), PeerList::MaxEntries);
    QCOMPARE(m_registry->FindPeer(peerId(90000))->peerIndex, 10);

    // Full of online users: the one heard from longest ago that nobody holds goes quietly.
    m_registry->HoldPeer(1);
    m_log->events.clear();
    m_registry->ProcessNewPacket(presence(peerId(90001), "Another", true));
    QCOMPARE(m_registry->peers().count(), PeerList::MaxEntries);
    QVERIFY(m_registry->FindPeer(peerId(1)));
    QVERIFY(!m_registry->FindPeer(peerId(2)));
    QCOMPARE(m_registry->FindPeer(peerId(90001))->peerIndex, 2);
    QVERIFY(!m_log->events.contains("left P2"));
    QCOMPARE(members(*m_registry, MainGroupNumber).size(), PeerList::MaxEntries - 1);
}

void TestRegistry::placesStayRightAfterRemovals()
{
    makeRegistry();
    for (int i = 1; i <= 6; ++i)
        m_registry->ProcessNewPacket(presence(peerId(i), QStringLiteral("P%1").arg(i), true));
    m_registry->ProcessDisconnectPacket(byePacket(peerId(2), "P2"));
    QVERIFY(m_registry->MoveUser(4, BadListNumber));
    QCOMPARE(members(*m_registry, MainGroupNumber), (QList<int>{1, 3, 5, 6}));
    QCOMPARE(m_registry->FindPeer(peerId(1))->position, 0);
    QCOMPARE(m_registry->FindPeer(peerId(3))->position, 1);
    QCOMPARE(m_registry->FindPeer(peerId(5))->position, 2);
    QCOMPARE(m_registry->FindPeer(peerId(6))->position, 3);
    QCOMPARE(m_registry->FindPeer(peerId(4))->groupNumber, BadListNumber);
    QCOMPARE(m_registry->FindPeer(peerId(4))->position, 0);
    QVERIFY(m_registry->MoveUser(1, BadListNumber));
    QCOMPARE(m_registry->FindPeer(peerId(1))->position, 1);
    QCOMPARE(m_registry->FindPeer(peerId(6))->position, 2);
    QVERIFY(!m_registry->PlaceOf(2));
    QVERIFY(!m_registry->PlaceOf(0));
    QVERIFY(!m_registry->PlaceOf(99));
}

void TestRegistry::groupNumbersAvoidStoredSections()
{
    makeRegistry();
    QSignalSpy added(m_registry, &PeerRegistry::groupAdded);
    const int first = m_registry->CreateNewGroup();
    QCOMPARE(first, 3);
    QCOMPARE(added.size(), 1);
    QCOMPARE(m_registry->group(3)->caption, QStringLiteral(" "));
    QCOMPARE(m_registry->group(3)->groupId.size(), 38);
    // A new group is written at shutdown only.
    QVERIFY(!HasStoredGroup(*m_store, 3));
    WriteStoredGroup(*m_store, {4, false, "Old", "{OLD}"});
    QCOMPARE(m_registry->CreateNewGroup(), 5);
    QCOMPARE(m_registry->AllocateGroupNumber(9), 9);
    QCOMPARE(m_registry->AllocateGroupNumber(3), 6);
    QCOMPARE(m_registry->groups().size(), 4);
}

void TestRegistry::renameSendsAndStoresOnlyStoredGroups()
{
    makeRegistry();
    const int number = m_registry->CreateNewGroup();
    const QString groupId = m_registry->group(number)->groupId;
    const WireIdentity me = WireIdentity::fromEntry(*m_registry->local());
    QSignalSpy renamed(m_registry, &PeerRegistry::groupRenamed);
    QVERIFY(m_registry->RenameGroup(number, "  Work  "));
    QCOMPARE(m_registry->group(number)->caption, QStringLiteral("Work"));
    QCOMPARE(m_transport->sent, QList<Packet>{BuildContactGroupRenamePacket(groupId, me, "Work")});
    QCOMPARE(ClassifyPacket(m_transport->sent[0]), quint8(pkMessageToGroupRename));
    QCOMPARE(renamed.size(), 1);
    QVERIFY(!HasStoredGroup(*m_store, number));

    // A blank name leaves one blank, and the peers still hear of it.
    m_transport->sent.clear();
    QVERIFY(m_registry->RenameGroup(number, "   "));
    QCOMPARE(m_registry->group(number)->caption, QStringLiteral(" "));
    QCOMPARE(m_transport->sent, QList<Packet>{BuildContactGroupRenamePacket(groupId, me, " ")});

    // The fixed groups keep their names and nothing is sent.
    m_transport->sent.clear();
    QVERIFY(!m_registry->RenameGroup(MainGroupNumber, "X"));
    QVERIFY(!m_registry->RenameGroup(BadListNumber, "X"));
    QVERIFY(!m_registry->RenameGroup(42, "X"));
    QVERIFY(m_transport->sent.isEmpty());
    QCOMPARE(m_registry->group(MainGroupNumber)->caption, ConstUnit::text(ConstUnit::Text::MainGroup));

    // A group that is already stored is written again, all four values.
    WriteStoredGroup(*m_store, {number, false, "Before", groupId});
    QVERIFY(m_registry->SetCollapsed(number, true));
    QVERIFY(m_registry->RenameGroup(number, "Home"));
    const QString section = GroupSection(number);
    QCOMPARE(section, QStringLiteral("3_GROUPBOX!>!"));
    QCOMPARE(m_store->readInt(section, "TagNumber_Value", -1, -1), 3);
    QCOMPARE(m_store->readBool(section, "Collapse_Value", false, false), true);
    QCOMPARE(m_store->readString(section, "Caption_Value"), QStringLiteral("Home"));
    QCOMPARE(m_store->readString(section, "GroupID"), groupId);
}

void TestRegistry::deleteMovesMembersBackAndTellsPeers()
{
    makeRegistry();
    for (int i = 1; i <= 4; ++i)
        m_registry->ProcessNewPacket(presence(peerId(i), QStringLiteral("P%1").arg(i), true));
    const int work = m_registry->CreateNewGroup();
    m_registry->RenameGroup(work, "Work");
    const QString groupId = m_registry->group(work)->groupId;
    for (int k : {1, 2, 3})
        QVERIFY(m_registry->MoveUser(k, work));
    QCOMPARE(members(*m_registry, work), (QList<int>{1, 2, 3}));
    WriteStoredGroup(*m_store, {work, false, "Work", groupId});
    m_transport->sent.clear();
    m_log->events.clear();
    QSignalSpy removedGroup(m_registry, &PeerRegistry::groupRemoved);

    QVERIFY(m_registry->DeleteGroup(work));
    QCOMPARE(m_transport->sent, QList<Packet>{BuildContactGroupDeletePacket(
                                   groupId, WireIdentity::fromEntry(*m_registry->local()), "Work")});
    QCOMPARE(ClassifyPacket(m_transport->sent[0]), quint8(pkMessageToGroupDelete));
    // Last member first, each to the end of the main group.
    QCOMPARE(members(*m_registry, MainGroupNumber), (QList<int>{4, 3, 2, 1}));
    const QStringList expected{"removed 3 3", "added 1 3", "removed 3 2", "added 1 2",
                               "removed 3 1", "added 1 1", "group-removed 3"};
    QCOMPARE(m_log->events, expected);
    for (int i : {1, 2, 3})
        QCOMPARE(StoredGroupOfUser(*m_store, peerId(i)), MainGroupNumber);
    QVERIFY(!HasStoredGroup(*m_store, work));
    QVERIFY(!m_registry->group(work));
    QCOMPARE(removedGroup.size(), 1);
    QCOMPARE(m_registry->GetPeer(2)->GroupNumber, MainGroupNumber);

    m_transport->sent.clear();
    QVERIFY(!m_registry->DeleteGroup(MainGroupNumber));
    QVERIFY(!m_registry->DeleteGroup(BadListNumber));
    QVERIFY(!m_registry->DeleteGroup(work));
    QVERIFY(m_transport->sent.isEmpty());
    QCOMPARE(m_registry->groups().size(), 2);
}

void TestRegistry::moveBlockAndBadList()
{
    makeRegistry();
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));
    m_log->events.clear();
    QVERIFY(m_registry->AddToBadList(1));
    QCOMPARE(m_log->events, (QStringList{"removed 1 1", "added 2 1"}));
    QCOMPARE(m_store->readInt(peerId(1) + "UserGroup_", "GroupNomber", -1, -1), BadListNumber);
    QCOMPARE(m_registry->GetPeer(1)->GroupNumber, BadListNumber);
    QVERIFY(!m_registry->AddToBadList(1));
    QVERIFY(!m_registry->MoveUser(1, 77));
    QVERIFY(!m_registry->MoveUser(0, MainGroupNumber));

    m_log->events.clear();
    const QStringList sectionsBefore = m_store->sections();
    QSignalSpy blocked(m_registry, &PeerRegistry::blockedChanged);
    QVERIFY(m_registry->SetBlocked(1, true));
    QCOMPARE(m_registry->GetPeer(1)->Blocked, quint8(1));
    QCOMPARE(m_log->events, QStringList{"blocked 1 1"});
    QCOMPARE(blocked.size(), 1);
    QCOMPARE(m_store->sections(), sectionsBefore);
    QVERIFY(!m_registry->SetBlocked(0, true));

    // Back after a disconnect: unblocked, in the group it was put in.
    m_registry->ProcessDisconnectPacket(byePacket(peerId(1), "Xena"));
    m_registry->ProcessNewPacket(presence(peerId(1), "Xena", true));
    QCOMPARE(m_registry->GetPeer(2)->Blocked, quint8(0));
    QCOMPARE(m_registry->GetPeer(2)->GroupNumber, BadListNumber);
    QCOMPARE(members(*m_registry, BadListNumber), QList<int>{2});
}

void TestRegistry::storeAndReload()
{
    makeRegistry();
    const int work = m_registry->CreateNewGroup();
    m_registry->RenameGroup(work, "Work");
    const int home = m_registry->CreateNewGroup();
    m_registry->RenameGroup(home, "Home");
    m_registry->SetCollapsed(work, true);
    m_registry->SetCollapsed(MainGroupNumber, true);
    const QList<ContactGroup> before = m_registry->groups();
    m_registry->StoreGroups();

    QCOMPARE(m_store->readString(MainGroupIDSection, "GroupID"), before[0].groupId);
    QCOMPARE(m_store->readString(BadGroupIDSection, "GroupID"), before[1].groupId);
    QCOMPARE(m_store->readBool(MainCollapseSection, "Collapse_Value", false, false), true);
    QVERIFY(m_store->contains(BadCollapseSection, "Collapse_Value"));
    QCOMPARE(m_store->readBool(BadCollapseSection, "Collapse_Value", true, true), false);
    QCOMPARE(m_store->readInt("3_GROUPBOX!>!", "TagNumber_Value", -1, -1), 3);
    QCOMPARE(m_store->readBool("3_GROUPBOX!>!", "Collapse_Value", false, false), true);
    QCOMPARE(m_store->readString("3_GROUPBOX!>!", "Caption_Value"), QStringLiteral("Work"));
    QCOMPARE(m_store->readString("4_GROUPBOX!>!", "Caption_Value"), QStringLiteral("Home"));
    QCOMPARE(m_store->readString("4_GROUPBOX!>!", "GroupID"), before[3].groupId);

    PeerRegistry again(*m_store, m_transport);
    again.BuildLocalEntry();
    again.LoadGroups();
    again.RestoreCollapsed();
    QCOMPARE(again.groups().size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        QCOMPARE(again.groups()[i].number, before[i].number);
        QCOMPARE(again.groups()[i].caption, before[i].caption);
        QCOMPARE(again.groups()[i].groupId, before[i].groupId);
        QCOMPARE(again.groups()[i].collapsed, before[i].collapsed);
    }
    QCOMPARE(again.local()->ID, m_registry->local()->ID);
}

void TestRegistry::loadedGroupWithTakenNumberIsRewritten()
{
    WriteStoredGroup(*m_store, {3, false, "First", "{FIRST}"});
    WriteStoredGroup(*m_store, {7, false, "Second", "{SECOND}"});
    // Edited by hand: the second section claims the number of the first.
    m_store->writeInt(GroupSection(7), "TagNumber_Value", 3);
    makeRegistry();
    QCOMPARE(m_registry->groups().size(), 4);
    QCOMPARE(m_registry->groups()[2].caption, QStringLiteral("First"));
    QCOMPARE(m_registry->groups()[2].number, 3);
    const ContactGroup &second = m_registry->groups()[3];
    QCOMPARE(second.caption, QStringLiteral("Second"));
    QVERIFY(second.number != 3);
    QCOMPARE(m_store->readString(GroupSection(second.number), "Caption_Value"), QStringLiteral("Second"));
    QCOMPARE(m_store->readInt(GroupSection(second.number), "TagNumber_Value", -1, -1), second.number);
}

void TestRegistry::collapsedStatesAreStoredOnlyForStoredGroups()
{
    WriteStoredGroup(*m_store, {3, false, "Stored", "{STORED}"});
    makeRegistry();
    const int fresh = m_registry->CreateNewGroup();
    m_registry->SetCollapsed(3, true);
    m_registry->SetCollapsed(fresh, true);
    m_registry->SetCollapsed(BadListNumber, true);
    QSignalSpy collapsed(m_registry, &PeerRegistry::groupCollapsedChanged);
    QVERIFY(m_registry->SetCollapsed(BadListNumber, true));
    QCOMPARE(collapsed.size(), 0);
    m_registry->StoreCollapsed();
    QCOMPARE(m_store->readBool(GroupSection(3), "Collapse_Value", false, false), true);
    QVERIFY(!HasStoredGroup(*m_store, fresh));
    QCOMPARE(m_store->readBool(BadCollapseSection, "Collapse_Value", false, false), true);
    QCOMPARE(m_store->readBool(MainCollapseSection, "Collapse_Value", true, true), false);

    PeerRegistry again(*m_store, m_transport);
    again.LoadGroups();
    QSignalSpy restored(&again, &PeerRegistry::groupCollapsedChanged);
    again.RestoreCollapsed();
    QVERIFY(again.group(3)->collapsed);
    QVERIFY(again.group(BadListNumber)->collapsed);
    QVERIFY(!again.group(MainGroupNumber)->collapsed);
    QCOMPARE(restored.size(), 2);
}

void TestRegistry::dispatcherReportsKindBeforeHandler()
{
    PacketDispatcher dispatcher;
    QStringList seen;
    dispatcher.setBeforeDispatch([&seen](quint8 kind) { seen.append("before " + QString::number(kind)); });
    dispatcher.setHandler(pkDisconnect, [&seen](const Packet &) { seen.append("disconnect"); });
    dispatcher.DispatchPacket(byePacket(peerId(1), "Xena"));
    dispatcher.DispatchPacket(presence(peerId(1), "Xena", true));
    dispatcher.DispatchPacket("garbage");
    QCOMPARE(seen, (QStringList{"before 6", "disconnect"}));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "test_registry.moc"
