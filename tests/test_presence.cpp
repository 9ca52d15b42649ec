// The peer's presence in process, without a socket: the user-list window on a peer driven with packets,
// and peers on the in-process hub that arrive, stop answering and come back.
#include "app/ChatCore.h"
#include "peers/GroupBoxStorageUn.h"
#include "peers/PeerList.h"
#include "peers/PeerRegistry.h"
#include "peers/PresenceProbe.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/ui/fmEditorUn.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/ConstUnit.h"
#include "protocol/Guid.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "settings/TMyUserData.h"
#include "support/CorePeer.h"
#include "support/EventLog.h"
#include "support/PeerHub.h"
#include "support/RecordingTransport.h"
#include "support/Wait.h"
#include "talks/TalkCore.h"

#include <QAction>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace {

QByteArray newPacket(const QString &id, const QString &alias, const QString &ip = QStringLiteral("127.0.0.5"))
{
    RUserID u;
    u.ID = id;
    u.Alias = alias;
    u.IP = ip;
    u.PictureIndex = 14;
    u.Color = 255;
    return BuildPresencePacket(u, true);
}

QByteArray disconnectPacket(const QString &id, const QString &alias)
{
    RUserID u;
    u.ID = id;
    u.Alias = alias;
    u.IP = QStringLiteral("127.0.0.5");
    return BuildDisconnectPacket(u);
}

const QString PeerX = QStringLiteral("{0000000X-1111-2222-3333-444444444444}");

} // namespace

class TestPresence : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // The user list on a peer, driven with packets.
    void ownEchoChangesNothing();
    void newPeerReactionsInOrder();
    void knownPeerNewIsAnsweredOnly();
    void updateInfoFromUnknownAddsPeer();
    void updateInfoRefreshesEntryAndNode();
    void disconnectKeepsEntryOffline();
    void rejoinAppendsNewEntry();
    void blankAliasShowsIp();
    void storedGroupPlacement();
    void floodOfNewUsersIsCapped();
    void heldEntriesAreNotReused();
    void groupCommandsOnTheUserList();

    // Complete peers on the in-process hub.
    void peersOnTheHubFindEachOther();
    void stoppedPeerLeavesAndComesBack();
    void peerStoppedRightAfterArrivingLeavesInTime();
    void copyThatEndedStaysWhileItsHostEchoes();

private:
    // The peer starts with the user list watching its registry.
    std::unique_ptr<TfmUserList> makeList();

    std::unique_ptr<CorePeer> m_peer;
    RecordingTransport *m_transport = nullptr;
    std::unique_ptr<EventLog> m_log;
};

void TestPresence::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestPresence::init()
{
    m_peer = std::make_unique<CorePeer>(QStringLiteral("Me"), std::make_unique<RecordingTransport>());
    m_transport = &m_peer->transportAs<RecordingTransport>();
    m_log = std::make_unique<EventLog>(m_peer->registry(), m_peer->talks());
}

void TestPresence::cleanup()
{
    m_log.reset();
    m_peer.reset();
}

std::unique_ptr<TfmUserList> TestPresence::makeList()
{
    auto list = std::make_unique<TfmUserList>(m_peer->context().store, m_peer->registry(), nullptr, true);
    list->Create(false);
    m_peer->start();
    m_log->clear();
    return list;
}

void TestPresence::ownEchoChangesNothing()
{
    auto list = makeList();
    QCOMPARE(m_transport->sent.size(), 1); // the NEW of the start
    QCOMPARE(ClassifyPacket(m_transport->sent.first()), quint8(pkNew));
    const RUserID local = *list->registry()->GetPeer(0);
    QCOMPARE(local.IP, QStringLiteral("127.9.8.7"));
    QCOMPARE(local.GroupNumber, -1);
    m_log->events.clear();
    list->registry()->ProcessNewPacket(BuildPresencePacket(local, true));
    list->registry()->ProcessUpdateInfoPacket(BuildPresencePacket(local, false));
    list->registry()->ProcessDisconnectPacket(BuildDisconnectPacket(local));
    QCOMPARE(m_transport->sent.size(), 1);
    QCOMPARE(list->registry()->peers().count(), 1);
    QVERIFY(m_log->events.isEmpty());
}

void TestPresence::newPeerReactionsInOrder()
{
    auto list = makeList();
    m_log->events.clear();
    list->registry()->ProcessNewPacket(newPacket(PeerX, "Xena"));
    QCOMPARE(list->registry()->peers().count(), 2);
    const RUserID *x = list->registry()->GetPeer(1);
    QCOMPARE(x->ID, PeerX);
    QCOMPARE(x->Online, quint8(1));
    QCOMPARE(x->GroupNumber, GroupStorage::MainGroupNumber);
    QCOMPARE(x->PictureIndex, 14);
    QCOMPARE(m_transport->sent.size(), 2);
    QCOMPARE(ClassifyPacket(m_transport->sent.last()), quint8(pkUpdateInfo));
    QCOMPARE(m_log->events,
             (QStringList{"begin", "added 1 1", "notify Xena 0",
                          "append 0 User \"Xena\" is connect...", "sound 0", "arrived 1"}));
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 1);
    QCOMPARE(list->mainGroup()->tree()->topLevelItem(0)->text(0), QStringLiteral("\u2068Xena\u2069"));
    QCOMPARE(NodePeerIndex(list->mainGroup()->tree()->topLevelItem(0)), 1);
}

void TestPresence::knownPeerNewIsAnsweredOnly()
{
    auto list = makeList();
    list->registry()->ProcessNewPacket(newPacket(PeerX, "Xena"));
    m_log->events.clear();
    const qsizetype sent = m_transport->sent.size();
    list->registry()->ProcessNewPacket(newPacket(PeerX, "Other name"));
    QCOMPARE(m_transport->sent.size(), sent + 1);
    QCOMPARE(ClassifyPacket(m_transport->sent.last()), quint8(pkUpdateInfo));
    QCOMPARE(list->registry()->peers().count(), 2);
    QCOMPARE(list->registry()->GetPeer(1)->Alias, QStringLiteral("Xena"));
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 1);
    QVERIFY(m_log->events.isEmpty());
}

void TestPresence::updateInfoFromUnknownAddsPeer()
{
    auto list = makeList();
    RUserID u;
    u.ID = PeerX;
    u.Alias = "Xena";
    list->registry()->ProcessUpdateInfoPacket(BuildPresencePacket(u, false));
    QCOMPARE(list->registry()->peers().count(), 2);
    QVERIFY(m_log->events.contains("sound 0"));
    QVERIFY(m_log->events.contains("append 0 User \"Xena\" is connect..."));
    QCOMPARE(ClassifyPacket(m_transport->sent.last()), quint8(pkUpdateInfo));
}

void TestPresence::updateInfoRefreshesEntryAndNode()
{
    auto list = makeList();
    list->registry()->ProcessNewPacket(newPacket(PeerX, "Xena"));
    m_log->events.clear();
    const qsizetype sent = m_transport->sent.size();
    RUserID u;
    u.ID = PeerX;
    u.Alias = "Xena Warrior";
    u.IP = "10.0.0.6";
    u.Town = "Amphipolis";
    u.PictureIndex = 20;
    list->registry()->ProcessUpdateInfoPacket(BuildPresencePacket(u, false));
    const RUserID *x = list->registry()->GetPeer(1);
    QCOMPARE(x->Alias, QStringLiteral("Xena Warrior"));
    QCOMPARE(x->Town, QStringLiteral("Amphipolis"));
    QCOMPARE(x->IP, QStringLiteral("10.0.0.6"));
    QCOMPARE(x->PictureIndex, 20);
    QCOMPARE(x->Online, quint8(1));
    QCOMPARE(list->mainGroup()->tree()->topLevelItem(0)->text(0), QStringLiteral("\u2068Xena Warrior\u2069"));
    QCOMPARE(m_transport->sent.size(), sent); // no answer
    QCOMPARE(m_log->events, QStringList{"renamed Xena Warrior 20"});
}

void TestPresence::disconnectKeepsEntryOffline()
{
    auto list = makeList();
    list->registry()->ProcessNewPacket(newPacket(PeerX, "Xena"));
    m_log->events.clear();
    list->registry()->ProcessDisconnectPacket(disconnectPacket(PeerX, "Xena"));
    QCOMPARE(list->registry()->peers().count(), 2);
    QCOMPARE(list->registry()->GetPeer(1)->Online, quint8(0));
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 0);
    QCOMPARE(m_log->events,
             (QStringList{"end", "notify Xena 0", "append 0 User \"Xena\" is disconnect...",
                          "sound 1", "leaving 1", "removed 1 1", "left Xena"}));
    // A second DISCONNECT finds no node and does nothing.
    m_log->events.clear();
    list->registry()->ProcessDisconnectPacket(disconnectPacket(PeerX, "Xena"));
    QVERIFY(m_log->events.isEmpty());
}

void TestPresence::rejoinAppendsNewEntry()
{
    auto list = makeList();
    list->registry()->ProcessNewPacket(newPacket(PeerX, "Xena"));
    list->registry()->ProcessDisconnectPacket(disconnectPacket(PeerX, "Xena"));
    list->registry()->ProcessNewPacket(newPacket(PeerX, "Xena"));
    QCOMPARE(list->registry()->peers().count(), 3);
    QCOMPARE(list->registry()->GetPeer(1)->Online, quint8(0));
    QCOMPARE(list->registry()->GetPeer(2)->Online, quint8(1));
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 1);
    QCOMPARE(NodePeerIndex(list->mainGroup()->tree()->topLevelItem(0)), 2);
    const std::optional<PeerNode> node = list->FindPeerNode(PeerX);
    QVERIFY(node.has_value());
    QCOMPARE(NodePeerIndex(node->item), 2);
}

void TestPresence::blankAliasShowsIp()
{
    auto list = makeList();
    m_log->events.clear();
    list->registry()->ProcessNewPacket(newPacket(PeerX, "   ", "10.0.0.77"));
    QCOMPARE(list->mainGroup()->tree()->topLevelItem(0)->text(0), QStringLiteral("\u206810.0.0.77\u2069"));
    QVERIFY(m_log->events.contains("append 0 User \"10.0.0.77\" is connect..."));
    QCOMPARE(DisplayName(*list->registry()->GetPeer(1)), QStringLiteral("10.0.0.77"));
    QCOMPARE(DisplayName(" Bo ", "1.2.3.4"), QStringLiteral(" Bo "));
}

void TestPresence::storedGroupPlacement()
{
    {
        const SettingsStore store = m_peer->store();
        GroupStorage::WriteStoredGroup(store, {3, false, "Friends", "{G3}"});
        GroupStorage::StoreUserGroup(store, PeerX, 3);
        GroupStorage::StoreUserGroup(store, "{DELETED-GROUP}", 9);
    }
    auto list = makeList();
    QVERIFY(list->groupByNumber(3));
    QCOMPARE(list->groupByNumber(3)->caption(), QStringLiteral("Friends"));
    list->registry()->ProcessNewPacket(newPacket(PeerX, "Xena"));
    QCOMPARE(list->registry()->GetPeer(1)->GroupNumber, 3);
    QCOMPARE(list->groupByNumber(3)->tree()->topLevelItemCount(), 1);
    // A stored group that no longer exists puts the user in the main group.
    list->registry()->ProcessNewPacket(newPacket("{DELETED-GROUP}", "Yan"));
    QCOMPARE(list->registry()->GetPeer(2)->GroupNumber, GroupStorage::MainGroupNumber);
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 1);
}

void TestPresence::floodOfNewUsersIsCapped()
{
    auto list = makeList();
    // Users without an ID are each a newcomer, but only a few of them stay at once.
    for (int i = 0; i < 5000; ++i)
        list->registry()->ProcessNewPacket(newPacket(QString(), QStringLiteral("Anonymous %1").arg(i)));
    QCOMPARE(list->registry()->peers().anonymousOnline(), PeerList::MaxAnonymous);
    QCOMPARE(list->registry()->peers().count(), 1 + PeerList::MaxAnonymous);
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), PeerList::MaxAnonymous);

    const QString leaver = NewRegistryGuid();
    list->registry()->ProcessNewPacket(newPacket(leaver, QStringLiteral("Leaver")));
    list->registry()->ProcessDisconnectPacket(newPacket(leaver, QStringLiteral("Leaver")));
    // Far more made-up users than the list holds.
    for (int i = 0; i < 10000; ++i)
        list->registry()->ProcessNewPacket(newPacket(NewRegistryGuid(), QStringLiteral("Flood %1").arg(i)));
    QCOMPARE(list->registry()->peers().count(), PeerList::MaxEntries);
    QVERIFY(list->mainGroup()->tree()->topLevelItemCount() <= PeerList::MaxEntries - 1);

    // A real newcomer is still listed, and so is a user who left and comes back.
    for (const QString &id : {NewRegistryGuid(), leaver}) {
        list->registry()->ProcessNewPacket(newPacket(id, QStringLiteral("Real")));
        const int k = list->registry()->peers().findOnline(id);
        QVERIFY(k > 0);
        QVERIFY(list->FindPeerNode(id).has_value());
        QCOMPARE(list->registry()->peers().count(), PeerList::MaxEntries);
    }
    // Known users still get their answers.
    const int known = list->registry()->peers().findOnline(leaver);
    const qsizetype sent = m_transport->sent.size();
    list->registry()->ProcessNewPacket(newPacket(list->registry()->GetPeer(known)->ID, "again"));
    QCOMPARE(m_transport->sent.size(), sent + 1);
    QCOMPARE(ClassifyPacket(m_transport->sent.last()), quint8(pkUpdateInfo));
}

void TestPresence::heldEntriesAreNotReused()
{
    auto list = makeList();
    const QString member = NewRegistryGuid();
    list->registry()->ProcessNewPacket(newPacket(member, QStringLiteral("Member")));
    const int k = list->registry()->peers().findOnline(member);
    list->registry()->HoldPeer(k);
    list->registry()->ProcessDisconnectPacket(newPacket(member, QStringLiteral("Member")));
    for (int i = 0; i < PeerList::MaxEntries + 100; ++i)
        list->registry()->ProcessNewPacket(newPacket(NewRegistryGuid(), QStringLiteral("Flood %1").arg(i)));
    // A member item still names entry k: it keeps its user.
    QCOMPARE(list->registry()->GetPeer(k)->ID, member);
    list->registry()->ReleasePeer(k);
}

void TestPresence::groupCommandsOnTheUserList()
{
    auto list = makeList();
    list->setMainActions({});
    const QString ids[] = {PeerX, "{PEER-Y}", "{PEER-Z}"};
    for (const QString &id : ids)
        list->registry()->ProcessNewPacket(newPacket(id, "User " + id));
    TfmEditor::setAutoAnswer(QStringLiteral("Work"));
    m_transport->sent.clear();
    UserGroupBox *work = list->CreateNewGroup(false);
    TfmEditor::clearAutoAnswer();
    QCOMPARE(work->Tag(), 3);
    QCOMPARE(m_transport->sent.size(), 1);
    QCOMPARE(ClassifyPacket(m_transport->sent.first()), quint8(pkMessageToGroupRename));
    QCOMPARE(TDataNewMessage(m_transport->sent.first()).GetGroupName(), QStringLiteral("Work"));
    for (int k = 1; k <= 3; ++k) {
        list->selectPeer(k);
        list->MoveTargetUserTo(work->Tag());
    }
    QCOMPARE(work->tree()->topLevelItemCount(), 3);

    // Delete and rename do nothing on the fixed groups.
    list->mainGroup()->captionButton()->setFocus();
    m_log->events.clear();
    m_transport->sent.clear();
    list->DeleteGroup();
    list->RenameGroup();
    QVERIFY(m_log->events.isEmpty());
    QVERIFY(m_transport->sent.isEmpty());
    QVERIFY(list->groupByNumber(GroupStorage::MainGroupNumber));

    // Collapse toggles the target group; an empty group is 60 pixels high.
    list->CollapseToggle();
    QVERIFY(list->mainGroup()->isCollapsed());
    list->CollapseToggle();
    QCOMPARE(list->mainGroup()->height(), 60);

    // "Add to bad list" moves the selected user, and does nothing on a user already there.
    list->selectPeer(2);
    list->AddToBadList();
    QCOMPARE(list->badList()->tree()->topLevelItemCount(), 1);
    QCOMPARE(GroupStorage::StoredGroupOfUser(m_peer->store(), ids[1]), GroupStorage::BadListNumber);
    list->selectPeer(2);
    list->AddToBadList();
    QCOMPARE(list->badList()->tree()->topLevelItemCount(), 1);

    // Deleting a group tells the peers, moves its users to the end of the main group in reverse order,
    // stores 1 as their group, erases its section and closes its own talk.
    GroupStorage::WriteStoredGroup(m_peer->store(), {work->Tag(), false, work->caption(), work->Hint()});
    QVERIFY(GroupStorage::HasStoredGroup(m_peer->store(), 3));
    work->captionButton()->setFocus();
    m_log->events.clear();
    m_transport->sent.clear();
    list->DeleteGroup();
    QVERIFY(!list->groupByNumber(3));
    QVERIFY(!GroupStorage::HasStoredGroup(m_peer->store(), 3));
    QCOMPARE(m_transport->sent.size(), 1);
    QCOMPARE(ClassifyPacket(m_transport->sent.first()), quint8(pkMessageToGroupDelete));
    QCOMPARE(TDataNewMessage(m_transport->sent.first()).GetGroupName(), QStringLiteral("Work"));
    QCOMPARE(m_log->events.first(), QStringLiteral("removed 3 3"));
    QVERIFY(m_log->events.contains("group-removed 3"));
    QTreeWidget *main = list->mainGroup()->tree();
    QCOMPARE(main->topLevelItemCount(), 2);
    QCOMPARE(NodePeerIndex(main->topLevelItem(0)), 3);
    QCOMPARE(NodePeerIndex(main->topLevelItem(1)), 1);
    QCOMPARE(GroupStorage::StoredGroupOfUser(m_peer->store(), PeerX), GroupStorage::MainGroupNumber);

    // Deactive dims the node, blocks the entry and tells the talks; Activate undoes it.
    list->selectPeer(1);
    list->DeactiveUser();
    QCOMPARE(list->registry()->GetPeer(1)->Blocked, quint8(1));
    QVERIFY(m_log->events.contains("blocked 1 1"));
    list->selectPeer(1);
    list->PreparePopup(main);
    QCOMPARE(list->userAction("actDeactiveUser")->text(), QStringLiteral("Activate"));
    list->DeactiveUser();
    QCOMPARE(list->registry()->GetPeer(1)->Blocked, quint8(0));
}

void TestPresence::peersOnTheHubFindEachOther()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    CorePeer &clara = hub.addPeer(QStringLiteral("Clara"));
    EventLog annaLog(anna.registry(), anna.talks());
    EventLog claraLog(clara.registry(), clara.talks());
    QVERIFY(hub.startAll());
    QStringList seen = anna.online();
    seen.sort();
    QCOMPARE(seen, (QStringList{"Boris", "Clara"}));
    // Each user came once, with one connect line in the talk with everybody.
    settle(300);
    QCOMPARE(anna.registry()->peers().count(), 3);
    QCOMPARE(boris.registry()->peers().count(), 3);
    QCOMPARE(clara.registry()->peers().count(), 3);
    QCOMPARE(annaLog.of("append").size(), 2);
    QVERIFY(annaLog.events.contains("append 0 User \"Clara\" is connect..."));
    // The addresses are the hosts' own.
    QCOMPARE(anna.registry()->GetPeer(anna.indexOf(boris.id()))->IP, hub.transportOf(boris).LocalIP());

    QCOMPARE(anna.core().sendToAll(QStringLiteral("Hello all")), SendResult::Sent);
    QVERIFY(waitUntil([&] { return !claraLog.of("message").isEmpty(); }));
    QCOMPARE(claraLog.of("message"), QStringList{"message 0 Hello all"});
    QCOMPARE(clara.core().sendToUser(clara.indexOf(anna.id()), QStringLiteral("Just you")), SendResult::Sent);
    QVERIFY(waitUntil([&] { return annaLog.of("message").size() == 2; }));
    QVERIFY(annaLog.events.contains("message 1 Just you"));
    QCOMPARE(anna.talks()->FindPrivateTalk(clara.id()), anna.talks()->talkAt(1)->id);
    QCOMPARE(boris.talks()->count(), 1);
}

void TestPresence::stoppedPeerLeavesAndComesBack()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    // Several periods with echoes: nothing happens.
    settle(5 * PeerHub::DefaultProbePeriodMs);
    QCOMPARE(anna.online(), QStringList{"Boris"});
    QVERIFY(anna.core().probe()->probesSent() >= 3);

    EventLog log(anna.registry(), anna.talks());
    QElapsedTimer stopped;
    hub.transportOf(boris).setStopped(true);
    stopped.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }, 3 * PeerHub::DefaultProbePeriodMs + 2000));
    QVERIFY2(stopped.elapsed() <= 3 * PeerHub::DefaultProbePeriodMs + 1000,
             qPrintable(QString::number(stopped.elapsed())));
    // Gone as if it had said goodbye.
    QCOMPARE(log.events, (QStringList{"notify Boris 0", "append 0 User \"Boris\" is disconnect...",
                                      "sound 1", "leaving 1", "removed 1 1", "left Boris"}));
    QCOMPARE(anna.core().probe()->vanishedHostCount(), 1);

    // It goes on: it echoes what waited, is greeted, and answers with its profile.
    log.clear();
    hub.transportOf(boris).setStopped(false);
    QVERIFY(waitUntil([&] { return anna.online() == QStringList{"Boris"}; }, 5000));
    QCOMPARE(anna.registry()->peers().count(), 3);
    QVERIFY(log.events.contains("append 0 User \"Boris\" is connect..."));
    QVERIFY(waitUntil([&] { return boris.online() == QStringList{"Anna"}; }, 5000));
}

// However soon after its arrival a peer stops, it leaves within three probe periods and a second.
void TestPresence::peerStoppedRightAfterArrivingLeavesInTime()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    anna.start();
    QVERIFY(waitUntil([&] { return anna.registry()->local() != nullptr; }));
    QElapsedTimer sinceArrival;
    qint64 leftAfter = -1;
    connect(anna.registry(), &PeerRegistry::peerArrived, this, [&] {
        hub.transportOf(boris).setStopped(true);
        sinceArrival.start();
    });
    connect(anna.registry(), &PeerRegistry::peerLeft, this, [&] { leftAfter = sinceArrival.elapsed(); });
    boris.start();
    QVERIFY(waitUntil([&] { return leftAfter >= 0; }, 3 * PeerHub::DefaultProbePeriodMs + 3000));
    QVERIFY2(leftAfter <= 3 * PeerHub::DefaultProbePeriodMs + 1000, qPrintable(QString::number(leftAfter)));
    // Three probes went unanswered first.
    QVERIFY2(leftAfter >= 2 * PeerHub::DefaultProbePeriodMs, qPrintable(QString::number(leftAfter)));
}

void TestPresence::copyThatEndedStaysWhileItsHostEchoes()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    CorePeer &bea = hub.addPeer(QStringLiteral("Bea"), &boris);
    QVERIFY(hub.startAll());
    QVERIFY(waitUntil([&] { return anna.core().probe()->hostCount() == 1; }));
    // Bea ends without a goodbye; Boris's copy on the same host still echoes.
    hub.crash(bea);
    settle(6 * PeerHub::DefaultProbePeriodMs);
    QCOMPARE(anna.onlineCount(), 2);
    // The host falls silent: both leave together.
    hub.transportOf(boris).setStopped(true);
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }, 3 * PeerHub::DefaultProbePeriodMs + 2000));
    QCOMPARE(anna.core().probe()->vanishedHostCount(), 1);
}

QTEST_MAIN(TestPresence)
#include "test_presence.moc"
