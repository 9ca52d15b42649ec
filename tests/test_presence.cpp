#include "PeerHarness.h"

#include "peers/GroupBoxStorageUn.h"
#include "peers/ui/fmEditorUn.h"
#include "protocol/Guid.h"

#include "app/ChatCore.h"
#include "app/ui/TELInstanceChecker.h"
#include "features/ui/MessageBox.h"
#include "features/ui/StatusPanels.h"
#include "net/PacketTransport.h"
#include "peers/PeerList.h"
#include "peers/PeerRegistry.h"
#include "peers/UserListHooks.h"
#include "peers/ui/UserGroupBox.h"
#include "protocol/SendMessageUn.h"
#include <QAction>
#include <QToolButton>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"

namespace {

// Records what the user list sends, without any network.
class RecordingTransport : public PacketTransport {
public:
    bool SendPacket(const Packet &packet) override
    {
        sent.append(packet);
        return true;
    }
    QString LocalIP() const override { return QStringLiteral("10.9.8.7"); }
    QList<Packet> sent;
};

// Records the reactions of the user list in their order.
class RecordingHooks : public UserListHooks {
public:
    int SenderTextStyle(const QString &, qint32) override { return 7; }
    bool IsPeerReferenced(int peerIndex) const override { return referenced.contains(peerIndex); }
    QList<int> referenced;
    void ShowLocalIdentity(const RUserID &) override { events.append("identity"); }
    void Notify(const QString &, const QString &alias, int sheet, int, const QString &) override
    {
        events.append("notify " + alias + " " + QString::number(sheet));
    }
    void AppendMessage(int sheet, const QString &, const QString &, const QString &body, qint32, int,
                       const QString &) override
    {
        events.append("append " + QString::number(sheet) + " " + body);
    }
    void NotifyTalks(int peer, const QString &, bool connected, const QString &, qint32, int,
                     const QString &) override
    {
        events.append(QString("talks %1 %2").arg(peer).arg(connected));
    }
    void PlayEventSound(int event) override { events.append("sound " + QString::number(event)); }
    void MemberAdded(int group, int peer) override
    {
        events.append(QString("added %1 %2").arg(group).arg(peer));
    }
    void MemberRemoved(int group, int peer) override
    {
        events.append(QString("removed %1 %2").arg(group).arg(peer));
    }
    void PeerRenamed(const QString &, const QString &name, int) override { events.append("renamed " + name); }
    void PeerLeft(const QString &name, const QString &) override { events.append("left " + name); }
    void CloseOwnGroupTalk(int group) override { events.append("close " + QString::number(group)); }
    void SetMemberBlocked(int peer, bool blocked) override
    {
        events.append(QString("blocked %1 %2").arg(peer).arg(blocked));
    }
    QStringList events;
};

QByteArray newPacket(const QString &id, const QString &alias, const QString &ip = QStringLiteral("10.0.0.5"))
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
    u.IP = QStringLiteral("10.0.0.5");
    return BuildDisconnectPacket(u);
}

const QString PeerX = QStringLiteral("{0000000X-1111-2222-3333-444444444444}");

} // namespace

class TestPresence : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    // The user list alone, driven with packets.
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

    // Complete peers over UDP on loopback.
    void peersDiscoverEachOtherWhicheverStartsFirst();
    void restartWithoutDisconnect();
    void aliasChangeRenamesNode();
    void disconnectRemovesNodeRejoinAddsEntry();
    void rawPeerGetsExactUpdateInfo();
    void manyArrivalsInOneTurnShowAsSingleOnes();
    void aLoneArrivalIsShownWithoutWaitingForTheFrame();

    // The program itself.
    void secondCopyEndsAndShowsFirst();
    void terminationSendsOneDisconnect();

private:
    std::unique_ptr<TfmUserList> makeList(const QTemporaryDir &dir);
    RecordingTransport m_transport;
    RecordingHooks m_hooks;
    std::unique_ptr<SettingsStore> m_store;
};

void TestPresence::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
}

std::unique_ptr<TfmUserList> TestPresence::makeList(const QTemporaryDir &dir)
{
    m_store = std::make_unique<SettingsStore>(dir.filePath("s.ini"));
    TSetUserData(*m_store).SetAlias("Me");
    m_transport.sent.clear();
    m_hooks.events.clear();
    auto list = std::make_unique<TfmUserList>(*m_store, &m_transport, &m_hooks, nullptr, true);
    list->Create(false);
    return list;
}

void TestPresence::ownEchoChangesNothing()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    QCOMPARE(m_transport.sent.size(), 1); // the NEW of the start
    QCOMPARE(ClassifyPacket(m_transport.sent.first()), quint8(pkNew));
    const RUserID local = *list->GetPeer(0);
    QCOMPARE(local.IP, QStringLiteral("10.9.8.7"));
    QCOMPARE(local.TextStyle, 7);
    QCOMPARE(local.GroupNumber, -1);
    m_hooks.events.clear();
    list->ProcessNewPacket(BuildPresencePacket(local, true));
    list->ProcessUpdateInfoPacket(BuildPresencePacket(local, false));
    list->ProcessDisconnectPacket(BuildDisconnectPacket(local));
    QCOMPARE(m_transport.sent.size(), 1);
    QCOMPARE(list->peers().count(), 1);
    QVERIFY(m_hooks.events.isEmpty());
}

void TestPresence::newPeerReactionsInOrder()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    m_hooks.events.clear();
    list->ProcessNewPacket(newPacket(PeerX, "Xena"));
    QCOMPARE(list->peers().count(), 2);
    const RUserID *x = list->GetPeer(1);
    QCOMPARE(x->ID, PeerX);
    QCOMPARE(x->Online, quint8(1));
    QCOMPARE(x->GroupNumber, GroupStorage::MainGroupNumber);
    QCOMPARE(x->PictureIndex, 14);
    QCOMPARE(x->TextStyle, 7);
    QCOMPARE(m_transport.sent.size(), 2);
    QCOMPARE(ClassifyPacket(m_transport.sent.last()), quint8(pkUpdateInfo));
    QCOMPARE(m_hooks.events,
             (QStringList{"added 1 1", "notify Xena 0", "append 0 User \"\u2068Xena\u2069\" is connect...",
                          "talks 1 1", "sound 0"}));
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 1);
    QCOMPARE(list->mainGroup()->tree()->topLevelItem(0)->text(0), QStringLiteral("\u2068Xena\u2069"));
    QCOMPARE(NodePeerIndex(list->mainGroup()->tree()->topLevelItem(0)), 1);
}

void TestPresence::knownPeerNewIsAnsweredOnly()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    list->ProcessNewPacket(newPacket(PeerX, "Xena"));
    m_hooks.events.clear();
    const qsizetype sent = m_transport.sent.size();
    list->ProcessNewPacket(newPacket(PeerX, "Other name"));
    QCOMPARE(m_transport.sent.size(), sent + 1);
    QCOMPARE(ClassifyPacket(m_transport.sent.last()), quint8(pkUpdateInfo));
    QCOMPARE(list->peers().count(), 2);
    QCOMPARE(list->GetPeer(1)->Alias, QStringLiteral("Xena"));
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 1);
    QVERIFY(m_hooks.events.isEmpty());
}

void TestPresence::updateInfoFromUnknownAddsPeer()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    RUserID u;
    u.ID = PeerX;
    u.Alias = "Xena";
    list->ProcessUpdateInfoPacket(BuildPresencePacket(u, false));
    QCOMPARE(list->peers().count(), 2);
    QVERIFY(m_hooks.events.contains("sound 0"));
    QVERIFY(m_hooks.events.contains("append 0 User \"\u2068Xena\u2069\" is connect..."));
    QCOMPARE(ClassifyPacket(m_transport.sent.last()), quint8(pkUpdateInfo));
}

void TestPresence::updateInfoRefreshesEntryAndNode()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    list->ProcessNewPacket(newPacket(PeerX, "Xena"));
    m_hooks.events.clear();
    const qsizetype sent = m_transport.sent.size();
    RUserID u;
    u.ID = PeerX;
    u.Alias = "Xena Warrior";
    u.IP = "10.0.0.6";
    u.Town = "Amphipolis";
    u.PictureIndex = 20;
    list->ProcessUpdateInfoPacket(BuildPresencePacket(u, false));
    const RUserID *x = list->GetPeer(1);
    QCOMPARE(x->Alias, QStringLiteral("Xena Warrior"));
    QCOMPARE(x->Town, QStringLiteral("Amphipolis"));
    QCOMPARE(x->IP, QStringLiteral("10.0.0.6"));
    QCOMPARE(x->PictureIndex, 20);
    QCOMPARE(x->Online, quint8(1));
    QCOMPARE(list->mainGroup()->tree()->topLevelItem(0)->text(0), QStringLiteral("\u2068Xena Warrior\u2069"));
    QCOMPARE(m_transport.sent.size(), sent); // no answer
    QCOMPARE(m_hooks.events, QStringList{"renamed Xena Warrior"});
}

void TestPresence::disconnectKeepsEntryOffline()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    list->ProcessNewPacket(newPacket(PeerX, "Xena"));
    m_hooks.events.clear();
    list->ProcessDisconnectPacket(disconnectPacket(PeerX, "Xena"));
    QCOMPARE(list->peers().count(), 2);
    QCOMPARE(list->GetPeer(1)->Online, quint8(0));
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 0);
    QCOMPARE(m_hooks.events,
             (QStringList{"talks 1 0", "removed 1 1", "notify Xena 0",
                          "append 0 User \"\u2068Xena\u2069\" is disconnect...", "sound 1", "left Xena"}));
    // A second DISCONNECT finds no node and does nothing.
    m_hooks.events.clear();
    list->ProcessDisconnectPacket(disconnectPacket(PeerX, "Xena"));
    QVERIFY(m_hooks.events.isEmpty());
}

void TestPresence::rejoinAppendsNewEntry()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    list->ProcessNewPacket(newPacket(PeerX, "Xena"));
    list->ProcessDisconnectPacket(disconnectPacket(PeerX, "Xena"));
    list->ProcessNewPacket(newPacket(PeerX, "Xena"));
    QCOMPARE(list->peers().count(), 3);
    QCOMPARE(list->GetPeer(1)->Online, quint8(0));
    QCOMPARE(list->GetPeer(2)->Online, quint8(1));
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 1);
    QCOMPARE(NodePeerIndex(list->mainGroup()->tree()->topLevelItem(0)), 2);
    const std::optional<PeerNode> node = list->FindPeerNode(PeerX);
    QVERIFY(node.has_value());
    QCOMPARE(NodePeerIndex(node->item), 2);
}

void TestPresence::blankAliasShowsIp()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    m_hooks.events.clear();
    list->ProcessNewPacket(newPacket(PeerX, "   ", "10.0.0.77"));
    QCOMPARE(list->mainGroup()->tree()->topLevelItem(0)->text(0), QStringLiteral("\u206810.0.0.77\u2069"));
    QVERIFY(m_hooks.events.contains("append 0 User \"\u206810.0.0.77\u2069\" is connect..."));
    QCOMPARE(DisplayName(*list->GetPeer(1)), QStringLiteral("10.0.0.77"));
    QCOMPARE(DisplayName(" Bo ", "1.2.3.4"), QStringLiteral(" Bo "));
}

void TestPresence::storedGroupPlacement()
{
    QTemporaryDir dir;
    {
        SettingsStore store(dir.filePath("s.ini"));
        GroupStorage::WriteStoredGroup(store, {3, false, "Friends", "{G3}"});
        GroupStorage::StoreUserGroup(store, PeerX, 3);
        GroupStorage::StoreUserGroup(store, "{DELETED-GROUP}", 9);
    }
    auto list = makeList(dir);
    QVERIFY(list->groupByNumber(3));
    QCOMPARE(list->groupByNumber(3)->caption(), QStringLiteral("Friends"));
    list->ProcessNewPacket(newPacket(PeerX, "Xena"));
    QCOMPARE(list->GetPeer(1)->GroupNumber, 3);
    QCOMPARE(list->groupByNumber(3)->tree()->topLevelItemCount(), 1);
    // A stored group that no longer exists puts the user in the main group.
    list->ProcessNewPacket(newPacket("{DELETED-GROUP}", "Yan"));
    QCOMPARE(list->GetPeer(2)->GroupNumber, GroupStorage::MainGroupNumber);
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), 1);
}

void TestPresence::floodOfNewUsersIsCapped()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    // Users without an ID are each a newcomer, but only a few of them stay at once.
    for (int i = 0; i < 5000; ++i)
        list->ProcessNewPacket(newPacket(QString(), QStringLiteral("Anonymous %1").arg(i)));
    QCOMPARE(list->peers().anonymousOnline(), PeerList::MaxAnonymous);
    QCOMPARE(list->peers().count(), 1 + PeerList::MaxAnonymous);
    QCOMPARE(list->mainGroup()->tree()->topLevelItemCount(), PeerList::MaxAnonymous);

    const QString leaver = NewRegistryGuid();
    list->ProcessNewPacket(newPacket(leaver, QStringLiteral("Leaver")));
    list->ProcessDisconnectPacket(newPacket(leaver, QStringLiteral("Leaver")));
    // Far more made-up users than the list holds.
    for (int i = 0; i < 10000; ++i)
        list->ProcessNewPacket(newPacket(NewRegistryGuid(), QStringLiteral("Flood %1").arg(i)));
    QCOMPARE(list->peers().count(), PeerList::MaxEntries);
    QVERIFY(list->mainGroup()->tree()->topLevelItemCount() <= PeerList::MaxEntries - 1);

    // A real newcomer is still listed, and so is a user who left and comes back.
    for (const QString &id : {NewRegistryGuid(), leaver}) {
        list->ProcessNewPacket(newPacket(id, QStringLiteral("Real")));
        const int k = list->peers().findOnline(id);
        QVERIFY(k > 0);
        QVERIFY(list->FindPeerNode(id).has_value());
        QCOMPARE(list->peers().count(), PeerList::MaxEntries);
    }
    // Known users still get their answers.
    const int known = list->peers().findOnline(leaver);
    const qsizetype sent = m_transport.sent.size();
    list->ProcessNewPacket(newPacket(list->GetPeer(known)->ID, "again"));
    QCOMPARE(m_transport.sent.size(), sent + 1);
    QCOMPARE(ClassifyPacket(m_transport.sent.last()), quint8(pkUpdateInfo));
}

void TestPresence::heldEntriesAreNotReused()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    const QString member = NewRegistryGuid();
    list->ProcessNewPacket(newPacket(member, QStringLiteral("Member")));
    const int k = list->peers().findOnline(member);
    m_hooks.referenced = {k};
    list->ProcessDisconnectPacket(newPacket(member, QStringLiteral("Member")));
    for (int i = 0; i < PeerList::MaxEntries + 100; ++i)
        list->ProcessNewPacket(newPacket(NewRegistryGuid(), QStringLiteral("Flood %1").arg(i)));
    // A member item still names entry k: it keeps its user.
    QCOMPARE(list->GetPeer(k)->ID, member);
    m_hooks.referenced.clear();
}

void TestPresence::groupCommandsOnTheUserList()
{
    QTemporaryDir dir;
    auto list = makeList(dir);
    list->setMainActions({});
    const QString ids[] = {PeerX, "{PEER-Y}", "{PEER-Z}"};
    for (const QString &id : ids)
        list->ProcessNewPacket(newPacket(id, "User " + id));
    TfmEditor::setAutoAnswer(QStringLiteral("Work"));
    m_transport.sent.clear();
    UserGroupBox *work = list->CreateNewGroup(false);
    TfmEditor::clearAutoAnswer();
    QCOMPARE(work->Tag(), 3);
    QCOMPARE(m_transport.sent.size(), 1);
    QCOMPARE(ClassifyPacket(m_transport.sent.first()), quint8(pkMessageToGroupRename));
    QCOMPARE(TDataNewMessage(m_transport.sent.first()).GetGroupName(), QStringLiteral("Work"));
    for (int k = 1; k <= 3; ++k) {
        list->selectPeer(k);
        list->MoveTargetUserTo(work->Tag());
    }
    QCOMPARE(work->tree()->topLevelItemCount(), 3);

    // Delete and rename do nothing on the fixed groups.
    list->mainGroup()->captionButton()->setFocus();
    m_hooks.events.clear();
    m_transport.sent.clear();
    list->DeleteGroup();
    list->RenameGroup();
    QVERIFY(m_hooks.events.isEmpty());
    QVERIFY(m_transport.sent.isEmpty());
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
    QCOMPARE(GroupStorage::StoredGroupOfUser(*m_store, ids[1]), GroupStorage::BadListNumber);
    list->selectPeer(2);
    list->AddToBadList();
    QCOMPARE(list->badList()->tree()->topLevelItemCount(), 1);

    // Deleting a group tells the peers, moves its users to the end of the main group in reverse order,
    // stores 1 as their group, erases its section and closes its own talk.
    GroupStorage::WriteStoredGroup(*m_store, {work->Tag(), false, work->caption(), work->Hint()});
    QVERIFY(GroupStorage::HasStoredGroup(*m_store, 3));
    work->captionButton()->setFocus();
    m_hooks.events.clear();
    m_transport.sent.clear();
    list->DeleteGroup();
    QVERIFY(!list->groupByNumber(3));
    QVERIFY(!GroupStorage::HasStoredGroup(*m_store, 3));
    QCOMPARE(m_transport.sent.size(), 1);
    QCOMPARE(ClassifyPacket(m_transport.sent.first()), quint8(pkMessageToGroupDelete));
    QCOMPARE(TDataNewMessage(m_transport.sent.first()).GetGroupName(), QStringLiteral("Work"));
    QCOMPARE(m_hooks.events.first(), QStringLiteral("removed 3 3"));
    QVERIFY(m_hooks.events.contains("close 3"));
    QTreeWidget *main = list->mainGroup()->tree();
    QCOMPARE(main->topLevelItemCount(), 2);
    QCOMPARE(NodePeerIndex(main->topLevelItem(0)), 3);
    QCOMPARE(NodePeerIndex(main->topLevelItem(1)), 1);
    QCOMPARE(GroupStorage::StoredGroupOfUser(*m_store, PeerX), GroupStorage::MainGroupNumber);

    // Deactive dims the node, blocks the entry and tells the talks; Activate undoes it.
    list->selectPeer(1);
    list->DeactiveUser();
    QCOMPARE(list->GetPeer(1)->Blocked, quint8(1));
    QVERIFY(m_hooks.events.contains("blocked 1 1"));
    list->selectPeer(1);
    list->PreparePopup(main);
    QCOMPARE(list->userAction("actDeactiveUser")->text(), QStringLiteral("Activate"));
    list->DeactiveUser();
    QCOMPARE(list->GetPeer(1)->Blocked, quint8(0));
}

void TestPresence::peersDiscoverEachOtherWhicheverStartsFirst()
{
    TestPeer anna("Anna"), boris("Boris"), clara("Clara");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] {
        return anna.nodeTexts() == QStringList{"Boris"} && boris.nodeTexts() == QStringList{"Anna"};
    }));
    clara.start();
    QVERIFY(waitUntil(
        [&] { return anna.onlineCount() == 2 && boris.onlineCount() == 2 && clara.onlineCount() == 2; }));
    QVERIFY(waitUntil([&] { return anna.nodeTexts().size() == 2 && clara.nodeTexts().size() == 2; }));
    QStringList claraSees = clara.nodeTexts();
    claraSees.sort();
    QCOMPARE(claraSees, (QStringList{"Anna", "Boris"}));
    QCOMPARE(anna.nodeTexts(), (QStringList{"Boris", "Clara"}));
    QTest::qWait(300);
    // Nobody was added twice.
    QCOMPARE(anna.userList()->peers().count(), 3);
    QCOMPARE(boris.userList()->peers().count(), 3);
    QCOMPARE(clara.userList()->peers().count(), 3);
    const RUserID *borisAtAnna = anna.userList()->GetPeer(anna.userList()->peers().findOnline(boris.id()));
    QVERIFY(borisAtAnna);
    QCOMPARE(borisAtAnna->IP, QStringLiteral("127.0.0.1"));
    // The notice reached the talk with everybody.
    QVERIFY(anna.mainWindow()
                ->findChild<QTextEdit *>("reAllMessage")
                ->toPlainText()
                .contains("User \"\u2068Clara\u2069\" is connect..."));
    clara.close();
    boris.close();
    anna.close();
}

void TestPresence::restartWithoutDisconnect()
{
    TestPeer anna("Anna"), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1 && boris.onlineCount() == 1; }));
    const QString borisDir = boris.dataDir();
    boris.vanish();
    TestPeer borisAgain(QString(), borisDir);
    borisAgain.start();
    QVERIFY(waitUntil([&] { return borisAgain.onlineCount() == 1; }));
    QTest::qWait(300);
    QCOMPARE(anna.userList()->peers().count(), 2);
    QCOMPARE(anna.nodeTexts(), QStringList{"Boris"});
    QCOMPARE(borisAgain.nodeTexts(), QStringList{"Anna"});
    borisAgain.close();
    anna.close();
}

void TestPresence::aliasChangeRenamesNode()
{
    TestPeer anna("Anna"), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.nodeTexts() == QStringList{"Boris"}; }));
    RUserID *local = boris.userList()->GetPeer(0);
    TSetUserData(boris.store(), local).SetAlias("Bob");
    QCOMPARE(local->Alias, QStringLiteral("Bob"));
    boris.userList()->SendPresence(false);
    QVERIFY(waitUntil([&] { return anna.nodeTexts() == QStringList{"Bob"}; }));
    QCOMPARE(anna.userList()->peers().count(), 2);
    boris.close();
    anna.close();
}

void TestPresence::disconnectRemovesNodeRejoinAddsEntry()
{
    TestPeer anna("Anna"), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    const QString borisDir = boris.dataDir();
    boris.close();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }));
    QVERIFY(anna.nodeTexts().isEmpty());
    QCOMPARE(anna.userList()->GetPeer(1)->Online, quint8(0));
    TestPeer borisAgain(QString(), borisDir);
    borisAgain.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    QCOMPARE(anna.userList()->peers().count(), 3);
    // Arrivals are shown once a frame, a moment after they count as online.
    QVERIFY(waitUntil([&] { return !anna.nodeTexts().isEmpty(); }));
    QCOMPARE(anna.nodeTexts(), QStringList{"Boris"});
    QVERIFY(anna.mainWindow()
                ->findChild<QTextEdit *>("reAllMessage")
                ->toPlainText()
                .contains("User \"\u2068Boris\u2069\" is disconnect..."));
    borisAgain.close();
    anna.close();
}

void TestPresence::rawPeerGetsExactUpdateInfo()
{
    RawPeer raw;
    QVERIFY(raw.isReady());
    TestPeer anna("Anna");
    TSetUserData(anna.store()).SetTown("Kazan");
    TSetUserData(anna.store()).SetImageIndex("12");
    anna.start();
    const QString annaId = anna.id();
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkNew, annaId).size() == 1; }));
    raw.clear();

    raw.send(newPacket(PeerX, "Xena"));
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkUpdateInfo, annaId).size() == 1; }));
    QTest::qWait(300); // the program also hears its own answer: it must not react to it
    const QList<QByteArray> answers = raw.heardFrom(pkUpdateInfo, annaId);
    QCOMPARE(answers.size(), 1);
    RUserID expected;
    expected.Alias = "Anna";
    expected.PictureIndex = 12;
    expected.IP = "127.0.0.1";
    expected.ID = annaId;
    expected.Town = "Kazan";
    QCOMPARE(answers.first(), BuildPresencePacket(expected, false));
    QCOMPARE(answers.first(),
             "UPDATEINFO!^:^$<ALIAS>Anna</ALIAS><IMAGEINDEX>12</IMAGEINDEX><IP>127.0.0.1</IP><ID>" +
                 annaId.toUtf8() + "</ID><COLOR>0</COLOR><TOWN>Kazan</TOWN><SEX>0</SEX><OLD>0</OLD>");
    // Nothing else came from the program: only the raw peer's own NEW and that answer.
    QCOMPARE(raw.heard().size(), 2);
    QCOMPARE(anna.userList()->peers().count(), 2);
    anna.close();
}

// Arrivals wait for one another only while more of them wait to be read.
void TestPresence::aLoneArrivalIsShownWithoutWaitingForTheFrame()
{
    RawPeer raw;
    QVERIFY(raw.isReady());
    TestPeer anna("Anna");
    anna.start();
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkNew, anna.id()).size() == 1; }));
    PeerRegistry *registry = anna.mainWindow()->chat()->registry();
    QElapsedTimer clock;
    qint64 arrivedAt = -1;
    qint64 shownAt = -1;
    connect(registry, &PeerRegistry::peerArrived, this, [&] { arrivedAt = clock.elapsed(); });
    connect(registry, &PeerRegistry::arrivalsFlushed, this, [&] { shownAt = clock.elapsed(); });
    clock.start();
    // Waiting for the frame would take at least 0.95 of it; a busy machine may delay one try.
    qint64 fastest = -1;
    for (int i = 0; i < 3 && (fastest < 0 || fastest >= PeerRegistry::FrameMs * 8 / 10); ++i) {
        arrivedAt = shownAt = -1;
        RUserID u;
        u.ID = QStringLiteral("{%1-1111-0000-0000-000000000000}").arg(i, 8, 10, QLatin1Char('0'));
        u.Alias = QStringLiteral("Lone %1").arg(i);
        u.IP = QStringLiteral("127.0.4.1");
        raw.send(BuildPresencePacket(u, false));
        QVERIFY(waitUntil([&] { return shownAt >= 0; }));
        QVERIFY(arrivedAt >= 0 && shownAt >= arrivedAt);
        if (fastest < 0 || shownAt - arrivedAt < fastest)
            fastest = shownAt - arrivedAt;
        QVERIFY(anna.nodeTexts().contains(u.Alias));
    }
    QVERIFY2(fastest < PeerRegistry::FrameMs * 8 / 10, qPrintable(QString::number(fastest)));
    anna.close();
}

void TestPresence::manyArrivalsInOneTurnShowAsSingleOnes()
{
    RawPeer raw;
    QVERIFY(raw.isReady());
    TestPeer anna("Anna");
    anna.start();
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkNew, anna.id()).size() == 1; }));
    constexpr int Peers = 40;
    QStringList aliases;
    for (int i = 0; i < Peers; ++i) {
        aliases.append(QStringLiteral("P%1").arg(i, 2, 10, QLatin1Char('0')));
        raw.send(BuildPresencePacket(
            [&] {
                RUserID u;
                u.ID = QStringLiteral("{%1-0000-0000-0000-000000000000}").arg(i, 8, 10, QLatin1Char('0'));
                u.Alias = aliases.last();
                u.IP = QStringLiteral("127.0.3.%1").arg(i + 1);
                return u;
            }(),
            false));
    }
    QVERIFY(waitUntil([&] { return anna.nodeTexts().size() == Peers; }));
    // Nodes in arrival order, one connect line each in the talk with everybody, in the same order.
    QCOMPARE(anna.nodeTexts(), aliases);
    QTextEdit *all = anna.mainWindow()->talks()->frame(0)->reAllMessage();
    const QString text = withoutIsolates(all->toPlainText());
    qsizetype at = 0;
    for (const QString &alias : aliases) {
        const QString line = "User \"" + alias + "\" is connect...";
        QCOMPARE(text.count(line), 1);
        const qsizetype next = text.indexOf(line);
        QVERIFY2(next > at, qPrintable(alias));
        at = next;
    }
    // The batch ended: the last line is laid out and shown.
    QTextDocument *doc = all->document();
    QVERIFY(doc->lastBlock().layout()->lineCount() > 0);
    QVERIFY(all->verticalScrollBar()->maximum() > 0);
    QCOMPARE(all->verticalScrollBar()->value(), all->verticalScrollBar()->maximum());
    // The status bar shows the last arrival, as it would after arrivals one by one.
    QVERIFY(withoutIsolates(anna.mainWindow()->statusPanels()->panelText(StatusPanels::NoticePanel))
                .contains("[P39]"));
    // Every arrival was answered once.
    QCOMPARE(raw.heardFrom(pkUpdateInfo, anna.id()).size(), Peers);
    anna.close();
}

void TestPresence::secondCopyEndsAndShowsFirst()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath("settings.ini");
    // This process plays the first copy for that settings file.
    TELInstanceChecker first(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier),
                             QFileInfo(settings).absoluteFilePath());
    QVERIFY(first.ClaimFirstInstance());
    QSignalSpy shows(&first, &TELInstanceChecker::showRequested);
    QSignalSpy texts(&first, &TELInstanceChecker::OnTextReceived);
    RawPeer raw;
    QVERIFY(raw.isReady());

    QProcess second;
    second.start(QStringLiteral(PERIXCHAT_BINARY),
                 {"--loopback", "--settings", settings, "--data-dir", dir.path()});
    QVERIFY(second.waitForStarted(5000));
    QVERIFY(waitUntil([&] { return second.state() == QProcess::NotRunning; }, 10000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(shows.count(), 1);
    QCOMPARE(texts.count(), 1);
    QCOMPARE(texts.first().first().toString(), QStringLiteral("Restart of appendix Perix Chat"));
    QTest::qWait(200);
    QVERIFY(raw.heard().isEmpty());
    QVERIFY(!QFile::exists(settings));

    // A copy with another settings file is another user and starts.
    QTemporaryDir other;
    TELInstanceChecker otherUser(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier),
                                 QFileInfo(other.filePath("settings.ini")).absoluteFilePath());
    QVERIFY(otherUser.ClaimFirstInstance());
    QVERIFY(otherUser.holdsClaim());
}

void TestPresence::terminationSendsOneDisconnect()
{
    RawPeer raw;
    QVERIFY(raw.isReady());
    QTemporaryDir dir;
    TSetUserData(SettingsStore(dir.filePath("settings.ini"))).SetAlias("Dora");
    const QString doraId = TMyUserData(SettingsStore(dir.filePath("settings.ini"))).GetID();
    QProcess program;
    program.start(QStringLiteral(PERIXCHAT_BINARY),
                  {"--loopback", "--settings", dir.filePath("settings.ini"), "--data-dir", dir.path()});
    QVERIFY(program.waitForStarted(5000));
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkNew, doraId).size() == 1; }, 10000));
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 0);
    QTest::qWait(200);
    QCOMPARE(raw.heardFrom(pkDisconnect, doraId).size(), 1);
    QVERIFY(raw.heardFrom(pkDisconnect, doraId)
                .first()
                .startsWith("DISCONNECT!^:^$<ALIAS>Dora</ALIAS><IP>127.0.0.1</IP>"));
}

QTEST_MAIN(TestPresence)
#include "test_presence.moc"
