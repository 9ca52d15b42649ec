// The talk core alone: no window, the recording transport, a peer list filled here and scripted answers.
#include "net/PacketDispatcher.h"
#include "peers/PeerList.h"
#include "protocol/SendMessageUn.h"
#include "support/RecordingTransport.h"
#include "support/ScriptedQuestions.h"
#include "talks/TalkCore.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString MyId = QStringLiteral("{00000000-0000-0000-0000-0000000000AA}");
const QString BorisId = QStringLiteral("{00000000-0000-0000-0000-0000000000BB}");
const QString ClaraId = QStringLiteral("{00000000-0000-0000-0000-0000000000CC}");
const QString DoraId = QStringLiteral("{00000000-0000-0000-0000-0000000000DD}");
const QByteArray Sep = "<USERIDSEPARATOR>";

struct Event {
    QString what;
    int talk = -1;
    QString text;
};

// One local user (Me) with Boris and Clara online, the core and the talk with everybody.
class Fixture {
public:
    Fixture()
    {
        auto me = user(MyId, QStringLiteral("Me"), QStringLiteral("127.0.0.1"));
        me->MAC = QStringLiteral("M0");
        me->PictureIndex = 4;
        me->Color = 255;
        peers.append(std::move(me));
        boris = addPeer(BorisId, QStringLiteral("Boris"), QStringLiteral("127.0.0.2"));
        clara = addPeer(ClaraId, QStringLiteral("Clara"), QStringLiteral("127.0.0.3"));
        core.setPeers(&peers);
        core.attachDispatcher(dispatcher);
        QObject::connect(&core, &TalkCore::talkCreated, &core, [this](int id) { log({"created", id, {}}); });
        QObject::connect(&core, &TalkCore::talkClosing, &core, [this](int id) { log({"closing", id, {}}); });
        QObject::connect(&core, &TalkCore::talkClosed, &core, [this](int id) { log({"closed", id, {}}); });
        QObject::connect(&core, &TalkCore::messageForTalk, &core,
                         [this](int id, const QString &sender, const QString &, const QString &body) {
                             log({"message", id, sender + u'|' + body});
                         });
        QObject::connect(&core, &TalkCore::noticeForTalk, &core,
                         [this](int id, const QString &sender, const QString &, const QString &body) {
                             log({"line", id, sender + u'|' + body});
                         });
        QObject::connect(&core, &TalkCore::noticeRequested, &core,
                         [this](int id, const QString &, const QString &alias) {
                             log({"notice", id, alias});
                         });
        QObject::connect(&core, &TalkCore::soundRequested, &core, [this](int sound) {
            log({"sound", sound, {}});
        });
        QObject::connect(&core, &TalkCore::autoReplyRequested, &core, [this](int id) {
            log({"autoreply", id, {}});
        });
        QObject::connect(&core, &TalkCore::inputLockChanged, &core, [this](int id, bool locked) {
            log({"lock", locked ? 1 : 0, QString::number(id)});
        });
        QObject::connect(&core, &TalkCore::talkLimitReached, &core, [this](int limit) {
            log({"limit", limit, {}});
        });
        TalkData everybodyData;
        everybodyData.Caption = QStringLiteral("All users");
        everybody = core.CreateTalk(everybodyData, 1);
        events.clear();
    }

    static std::unique_ptr<RUserID> user(const QString &id, const QString &alias, const QString &ip)
    {
        auto entry = std::make_unique<RUserID>();
        entry->ID = id;
        entry->Alias = alias;
        entry->IP = ip;
        entry->PictureIndex = 7;
        entry->Color = 0x102030;
        return entry;
    }

    int addPeer(const QString &id, const QString &alias, const QString &ip)
    {
        const int k = peers.append(user(id, alias, ip));
        peers.setOnline(k, true);
        return k;
    }

    WireIdentity wire(int peerIndex) const { return WireIdentity::fromEntry(*peers.GetPeer(peerIndex)); }

    void receive(const Packet &packet) { dispatcher.DispatchPacket(packet); }

    // A group message from Boris, the author of the group "Friends".
    void groupMessage(const QString &groupId, const QStringList &members, const QString &body = "hi",
                      int from = -1)
    {
        const GroupTalkWire group{groupId, BorisId,  QStringLiteral("127.0.0.2"), QStringLiteral("MB"),
                                  "Boris", "Friends"};
        receive(BuildGroupMessagePacket(BuildUserIDList(BorisId, members), group,
                                        wire(from < 0 ? boris : from), body));
    }

    int memberTalk(const QString &groupId, const QStringList &members)
    {
        groupMessage(groupId, members);
        return core.FindTalkByGroupID(groupId);
    }

    QList<int> memberIndexes(int id) const
    {
        QList<int> indexes;
        for (const TalkMember &member : core.talk(id)->members)
            indexes.append(member.peerIndex);
        return indexes;
    }

    QStringList memberIds(int id) const
    {
        QStringList ids;
        for (const TalkMember &member : core.talk(id)->members)
            ids.append(member.userId);
        return ids;
    }

    QStringList eventsOf(const QString &what) const
    {
        QStringList list;
        for (const Event &e : events) {
            if (e.what == what)
                list.append(QString::number(e.talk) + (e.text.isEmpty() ? QString() : u':' + e.text));
        }
        return list;
    }

    QStringList kinds() const
    {
        QStringList list;
        for (const Event &e : events)
            list.append(e.what);
        return list;
    }

    void log(const Event &e) { events.append(e); }

    PeerList peers;
    RecordingTransport transport{QStringLiteral("127.0.0.1")};
    ScriptedQuestions questions;
    PacketDispatcher dispatcher;
    TalkCore core{&transport, &questions};
    QList<Event> events;
    int everybody = -1;
    int boris = -1;
    int clara = -1;
};

// Fields every talk packet of the local user carries, as they stand on the wire.
QByteArray mySender()
{
    return "<ALIAS>Me</ALIAS><IP>127.0.0.1</IP><ID>" + MyId.toUtf8() +
           "</ID><MAC>M0</MAC><IMAGEINDEX>4</IMAGEINDEX><COLOR>255</COLOR>";
}

} // namespace

class TestTalkCore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void talksKeepTheirIds();
    void messageToEverybody_data();
    void messageToEverybody();
    void groupMessageFilters();
    void groupMessageCreatesMemberTalk();
    void ownEchoMakesTalkThatSendsNothing();
    void userMessageFilters();
    void userMessageCreatesPrivateTalk();
    void pageBoundWithOneNotice();
    void membershipSyncByUserId();
    void updateWithoutMeClosesSilently();
    void authorIgnoresItsEcho();
    void renameGroup();
    void deleteGroup();
    void privateCloseAnsweredBothWays_data();
    void privateCloseAnsweredBothWays();
    void privateCloseTakesTheLastTalk();
    void peerLeftAsksAndCloses();
    void talkClosedWhileQuestionOpen();
    void otherTalkClosedWhileQuestionOpen();
    void exactBytesOfSentMessages();
    void closePacketsByKind();
    void contactGroupCommands();
    void sendFailureAndNoNetwork();
    void presenceNoticesAndBlockedMembers();
    void renamedPeer();
};

void TestTalkCore::talksKeepTheirIds()
{
    Fixture f;
    const int a = f.core.openPrivateTalk(f.boris);
    const int b = f.core.openPrivateTalk(f.clara);
    QVERIFY(a != b && a != f.everybody);
    // Opening again finds the open talk.
    QCOMPARE(f.core.openPrivateTalk(f.boris), a);
    QCOMPARE(f.core.count(), 3);
    f.core.CloseTalk(a);
    QCOMPARE(f.core.count(), 2);
    QVERIFY(!f.core.talk(a));
    QCOMPARE(f.core.talk(b)->data.PeerID, ClaraId);
    QCOMPARE(f.core.positionOf(b), 1);
    QCOMPARE(f.core.talkIds(), (QList<int>{f.everybody, b}));
    // A new talk never takes an old ID.
    const int c = f.core.openPrivateTalk(f.boris);
    QVERIFY(c != a && c != b);
    // The talk with everybody cannot be closed.
    f.core.CloseTalk(f.everybody);
    f.core.destroyTalk(f.everybody);
    QCOMPARE(f.core.positionOf(f.everybody), 0);
    QCOMPARE(f.core.openPrivateTalk(0), TalkCore::NoTalk);
    QCOMPARE(f.core.openPrivateTalk(99), TalkCore::NoTalk);
}

void TestTalkCore::messageToEverybody_data()
{
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<bool>("online");
    QTest::addColumn<bool>("shown");
    QTest::newRow("plain") << false << true << true;
    QTest::newRow("blocked sender") << true << true << false;
    // Only an online entry's flag counts.
    QTest::newRow("blocked entry offline") << true << false << true;
}

void TestTalkCore::messageToEverybody()
{
    QFETCH(bool, blocked);
    QFETCH(bool, online);
    QFETCH(bool, shown);
    Fixture f;
    f.peers.GetPeer(f.boris)->Blocked = blocked ? 1 : 0;
    f.peers.setOnline(f.boris, online);
    f.receive(BuildMessagePacket(f.wire(f.boris), QStringLiteral("hello")));
    if (!shown) {
        QVERIFY(f.events.isEmpty());
        return;
    }
    QCOMPARE(f.kinds(), (QStringList{"message", "notice", "sound"}));
    QCOMPARE(f.eventsOf("message"), QStringList{QString::number(f.everybody) + u':' + BorisId + "|hello"});
    QCOMPARE(f.eventsOf("notice"), QStringList{QString::number(f.everybody) + ":Boris"});
    QCOMPARE(f.events.last().talk, int(SoundNewMessage));
}

void TestTalkCore::groupMessageFilters()
{
    Fixture f;
    const int talk = f.memberTalk(QStringLiteral("{G1}"), {MyId, ClaraId});
    QVERIFY(talk != TalkCore::NoTalk);
    f.events.clear();
    // A list without me is ignored although the talk is open.
    f.groupMessage(QStringLiteral("{G1}"), {ClaraId});
    QVERIFY(f.events.isEmpty());
    // A blocked sender is ignored.
    f.peers.GetPeer(f.boris)->Blocked = 1;
    f.groupMessage(QStringLiteral("{G1}"), {MyId});
    QVERIFY(f.events.isEmpty());
    f.peers.GetPeer(f.boris)->Blocked = 0;
    // "Not talk group" refuses new talks only.
    f.core.setNotTalkGroup(true);
    f.groupMessage(QStringLiteral("{G2}"), {MyId});
    QVERIFY(f.events.isEmpty());
    QCOMPARE(f.core.FindTalkByGroupID(QStringLiteral("{G2}")), TalkCore::NoTalk);
    f.groupMessage(QStringLiteral("{G1}"), {MyId}, QStringLiteral("still here"));
    QCOMPARE(f.eventsOf("message"), QStringList{QString::number(talk) + u':' + BorisId + "|still here"});
    // Every talk of the group gets the message; the notice points at the last.
    TalkData second = f.core.talk(talk)->data;
    const int again = f.core.CreateTalk(second, 2);
    f.events.clear();
    f.groupMessage(QStringLiteral("{G1}"), {MyId}, QStringLiteral("both"));
    QCOMPARE(f.eventsOf("message"), (QStringList{QString::number(talk) + u':' + BorisId + "|both",
                                                 QString::number(again) + u':' + BorisId + "|both"}));
    QCOMPARE(f.eventsOf("notice"), QStringList{QString::number(again) + ":Boris"});
}

void TestTalkCore::groupMessageCreatesMemberTalk()
{
    Fixture f;
    // Dora is not known here: she does not become a member.
    const int talk = f.memberTalk(QStringLiteral("{G1}"), {MyId, ClaraId, DoraId});
    const Talk *t = f.core.talk(talk);
    QVERIFY(t);
    QCOMPARE(t->data.kind, tkMemberGroup);
    QCOMPARE(t->data.Caption, QStringLiteral("[Boris] Friends"));
    QCOMPARE(t->data.GroupTag, -1);
    QCOMPARE(t->data.PeerID, BorisId);
    QCOMPARE(t->data.PeerIP, QStringLiteral("127.0.0.2"));
    QCOMPARE(t->data.PeerMAC, QStringLiteral("MB"));
    QCOMPARE(t->data.GroupName, QStringLiteral("Friends"));
    QCOMPARE(t->picture, TalkCore::GroupPicture);
    QCOMPARE(f.memberIds(talk), (QStringList{BorisId, ClaraId}));
    QCOMPARE(f.kinds(), (QStringList{"created", "message", "notice", "sound"}));

    // An author without an alias is named by the IP.
    Fixture g;
    const GroupTalkWire group{QStringLiteral("{G9}"),      BorisId,
                              QStringLiteral("127.0.0.2"), QString(),
                              QStringLiteral("  "),        QStringLiteral("Club")};
    g.receive(BuildGroupMessagePacket(BuildUserIDList(BorisId, {MyId}), group, g.wire(g.boris), "x"));
    QCOMPARE(g.core.talk(g.core.FindTalkByGroupID("{G9}"))->data.Caption, QStringLiteral("[127.0.0.2] Club"));
}

void TestTalkCore::ownEchoMakesTalkThatSendsNothing()
{
    Fixture f;
    const GroupTalkWire group{QStringLiteral("{MINE}"),    MyId,
                              QStringLiteral("127.0.0.1"), QStringLiteral("M0"),
                              QStringLiteral("Me"),        QStringLiteral("Team")};
    f.receive(BuildGroupMessagePacket(BuildUserIDList(MyId, {BorisId}), group, f.wire(0), "echo"));
    const int talk = f.core.FindTalkByGroupID(QStringLiteral("{MINE}"));
    QVERIFY(talk != TalkCore::NoTalk);
    QCOMPARE(f.core.talk(talk)->data.kind, tkOwnGroup);
    QCOMPARE(f.core.talk(talk)->data.Caption, QStringLiteral("Team"));
    QCOMPARE(f.core.FindOwnGroupTalk(-1), talk);
    QCOMPARE(f.core.sendBody(talk, QStringLiteral("hello")), SendResult::Nothing);
    QVERIFY(f.transport.sent.isEmpty());
}

void TestTalkCore::userMessageFilters()
{
    Fixture f;
    // Not addressed to me.
    f.receive(BuildUserMessagePacket(ClaraId, f.wire(f.boris), "x", false));
    QVERIFY(f.events.isEmpty());
    f.receive(BuildUserMessagePacket(MyId.toLower(), f.wire(f.boris), "x", false));
    QVERIFY(f.events.isEmpty());
    // "Not talk private" and a blocked sender refuse new talks, not the open ones.
    f.core.setNotTalkPrivate(true);
    f.receive(BuildUserMessagePacket(MyId, f.wire(f.boris), "x", false));
    QVERIFY(f.events.isEmpty());
    f.core.setNotTalkPrivate(false);
    f.peers.GetPeer(f.boris)->Blocked = 1;
    f.receive(BuildUserMessagePacket(MyId, f.wire(f.boris), "x", false));
    QVERIFY(f.events.isEmpty());
    // An unknown sender cannot open a talk.
    auto dora = Fixture::user(DoraId, QStringLiteral("Dora"), QStringLiteral("127.0.0.4"));
    f.receive(BuildUserMessagePacket(MyId, WireIdentity::fromEntry(*dora), "x", false));
    QVERIFY(f.events.isEmpty());
    QCOMPARE(f.core.count(), 1);

    // Open talks receive all the same, each of them.
    f.peers.GetPeer(f.boris)->Blocked = 0;
    const int first = f.core.openPrivateTalk(f.boris);
    TalkData data = f.core.talk(first)->data;
    const int second = f.core.CreateTalk(data, 7);
    f.peers.GetPeer(f.boris)->Blocked = 1;
    f.core.setNotTalkPrivate(true);
    f.events.clear();
    f.receive(BuildUserMessagePacket(MyId, f.wire(f.boris), "to both", false));
    QCOMPARE(f.eventsOf("message"), (QStringList{QString::number(first) + u':' + BorisId + "|to both",
                                                 QString::number(second) + u':' + BorisId + "|to both"}));
    QCOMPARE(f.eventsOf("autoreply"), QStringList{QString::number(second)});
    // An automatic answer is not answered.
    f.events.clear();
    f.receive(BuildUserMessagePacket(MyId, f.wire(f.boris), "away", true));
    QCOMPARE(f.eventsOf("message").size(), 2);
    QVERIFY(f.eventsOf("autoreply").isEmpty());
}

void TestTalkCore::userMessageCreatesPrivateTalk()
{
    Fixture f;
    f.core.setAnsweringMachine(true);
    f.receive(BuildUserMessagePacket(MyId, f.wire(f.boris), "hello", false));
    const int talk = f.core.FindPrivateTalk(BorisId);
    QVERIFY(talk != TalkCore::NoTalk);
    // The new talk's input follows the auto-reply before the message is shown and answered.
    QCOMPARE(f.kinds(), (QStringList{"created", "lock", "message", "notice", "sound", "autoreply"}));
    QCOMPARE(f.eventsOf("lock"), QStringList{QStringLiteral("1:%1").arg(f.core.FindPrivateTalk(BorisId))});
    const Talk *t = f.core.talk(talk);
    QCOMPARE(t->data.kind, tkPrivate);
    QCOMPARE(t->data.Caption, QStringLiteral("Boris"));
    QCOMPARE(t->data.PeerIP, QStringLiteral("127.0.0.2"));
    QCOMPARE(t->picture, 7);

    // A peer without an alias gets its IP as the caption.
    f.peers.GetPeer(f.clara)->Alias = QStringLiteral(" ");
    f.receive(BuildUserMessagePacket(MyId, f.wire(f.clara), "hi", false));
    QCOMPARE(f.core.talk(f.core.FindPrivateTalk(ClaraId))->data.Caption, QStringLiteral("127.0.0.3"));
}

void TestTalkCore::pageBoundWithOneNotice()
{
    Fixture f;
    for (int i = 0; i < TalkCore::MaxTalkPages + 20; ++i)
        f.groupMessage(QStringLiteral("{SPAM-%1}").arg(i), {MyId});
    QCOMPARE(f.core.count(), TalkCore::MaxTalkPages);
    QCOMPARE(f.eventsOf("limit"), QStringList{QString::number(TalkCore::MaxTalkPages)});
    // A private talk is refused too, without a second notice.
    f.receive(BuildUserMessagePacket(MyId, f.wire(f.boris), "x", false));
    QCOMPARE(f.core.FindPrivateTalk(BorisId), TalkCore::NoTalk);
    QCOMPARE(f.eventsOf("limit").size(), 1);
    // The user may still open talks; room made by a close lets other users in again.
    QVERIFY(f.core.openPrivateTalk(f.clara) != TalkCore::NoTalk);
    f.core.CloseTalk(f.core.FindPrivateTalk(ClaraId));
    f.core.CloseTalk(f.core.FindTalkByGroupID(QStringLiteral("{SPAM-5}")));
    f.groupMessage(QStringLiteral("{NEW}"), {MyId});
    QVERIFY(f.core.FindTalkByGroupID(QStringLiteral("{NEW}")) != TalkCore::NoTalk);
    // Full again: the notice comes once more.
    f.groupMessage(QStringLiteral("{NEWER}"), {MyId});
    QCOMPARE(f.eventsOf("limit").size(), 2);
}

void TestTalkCore::membershipSyncByUserId()
{
    Fixture f;
    const QString groupId = QStringLiteral("{G1}");
    const int talk = f.memberTalk(groupId, {MyId, ClaraId});
    QCOMPARE(f.memberIndexes(talk), (QList<int>{f.boris, f.clara}));
    QSignalSpy moved(&f.core, &TalkCore::talkMemberMoved);
    QSignalSpy added(&f.core, &TalkCore::talkMemberAdded);
    QSignalSpy removed(&f.core, &TalkCore::talkMemberRemoved);

    // Clara leaves and comes back as a new entry of the peer list.
    f.peers.setOnline(f.clara, false);
    const int claraAgain = f.addPeer(ClaraId, QStringLiteral("Clara"), QStringLiteral("127.0.0.3"));
    QVERIFY(claraAgain != f.clara);
    const GroupTalkWire group{groupId, BorisId,  QStringLiteral("127.0.0.2"), QStringLiteral("MB"),
                              "Boris", "Friends"};
    const QString list = BuildUserIDList(BorisId, {MyId, ClaraId});
    f.receive(BuildUpdateInfoToGroupPacket(list, group, f.wire(f.boris)));
    QCOMPARE(f.memberIds(talk), (QStringList{BorisId, ClaraId}));
    QCOMPARE(f.memberIndexes(talk), (QList<int>{f.boris, claraAgain}));
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.first().at(2).toInt(), f.clara);
    QCOMPARE(moved.first().at(3).toInt(), claraAgain);
    QCOMPARE(added.size(), 0);
    // The same update again changes nothing.
    f.receive(BuildUpdateInfoToGroupPacket(list, group, f.wire(f.boris)));
    QCOMPARE(moved.size(), 1);
    QCOMPARE(added.size(), 0);

    // The next message names her once.
    QCOMPARE(f.core.sendBody(talk, QStringLiteral("welcome back")), SendResult::Sent);
    QCOMPARE(f.transport.sent.size(), 1);
    QVERIFY(f.transport.sent.first().startsWith("MESSAGETOGROUP!^:^$<FROMUSERID>" + Sep + MyId.toUtf8() +
                                                Sep + BorisId.toUtf8() + Sep + Sep + ClaraId.toUtf8() + Sep +
                                                "</FROMUSERID>"));

    // Dropped from the list: Clara goes, Dora (now known) comes.
    f.addPeer(DoraId, QStringLiteral("Dora"), QStringLiteral("127.0.0.4"));
    f.receive(BuildUpdateInfoToGroupPacket(BuildUserIDList(BorisId, {MyId, DoraId}), group, f.wire(f.boris)));
    QCOMPARE(f.memberIds(talk), (QStringList{BorisId, DoraId}));
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed.first().at(1).toString(), ClaraId);
    QCOMPARE(removed.first().at(2).toInt(), claraAgain);
    QCOMPARE(added.size(), 1);
    QVERIFY(f.questions.asked.isEmpty());
}

void TestTalkCore::updateWithoutMeClosesSilently()
{
    Fixture f;
    const QString groupId = QStringLiteral("{G1}");
    const int talk = f.memberTalk(groupId, {MyId, ClaraId});
    f.events.clear();
    const GroupTalkWire group{groupId, BorisId, QStringLiteral("127.0.0.2"), QString(), "Boris", "Friends"};
    f.receive(BuildUpdateInfoToGroupPacket(BuildUserIDList(BorisId, {ClaraId}), group, f.wire(f.boris)));
    QVERIFY(!f.core.talk(talk));
    QCOMPARE(f.kinds(), (QStringList{"closing", "closed"}));
    QVERIFY(f.questions.asked.isEmpty());
    // An update for a group I have no talk of does nothing.
    f.receive(BuildUpdateInfoToGroupPacket(BuildUserIDList(BorisId, {MyId}), group, f.wire(f.boris)));
    QCOMPARE(f.core.count(), 1);
}

void TestTalkCore::authorIgnoresItsEcho()
{
    Fixture f;
    const int own =
        f.core.openOwnGroupTalk(5, QStringLiteral("Team"), QStringLiteral("{OWN}"), {f.boris, f.clara});
    QCOMPARE(f.memberIds(own), (QStringList{BorisId, ClaraId}));
    const GroupTalkWire group{"{OWN}", MyId, "127.0.0.1", "M0", "Me", "Team"};
    // Neither the echo of my update nor anybody's delete touches my own talk.
    f.receive(BuildUpdateInfoToGroupPacket(BuildUserIDList(MyId, {BorisId}), group, f.wire(0)));
    f.receive(BuildUpdateInfoToGroupPacket(BuildUserIDList(BorisId, {}), group, f.wire(f.boris)));
    f.receive(BuildContactGroupDeletePacket("{OWN}", f.wire(f.boris), "Team"));
    QVERIFY(f.core.talk(own));
    QCOMPARE(f.memberIds(own), (QStringList{BorisId, ClaraId}));
    QVERIFY(f.questions.asked.isEmpty());
    // Opening it again finds it; offline users of the contact group are not members.
    QCOMPARE(f.core.openOwnGroupTalk(5, "Team", "{OWN}", {}), own);
    f.peers.setOnline(f.boris, false);
    const int other = f.core.openOwnGroupTalk(6, "Other", "{OTHER}", {f.boris, f.clara, 0, 77});
    QCOMPARE(f.memberIds(other), QStringList{ClaraId});
}

void TestTalkCore::renameGroup()
{
    Fixture f;
    const int member = f.memberTalk(QStringLiteral("{G1}"), {MyId});
    const int own = f.core.openOwnGroupTalk(5, QStringLiteral("Team"), QStringLiteral("{OWN}"), {});
    QSignalSpy captions(&f.core, &TalkCore::captionChanged);
    WireIdentity renamer = f.wire(f.boris);
    renamer.alias = QStringLiteral("Bobby");
    f.receive(BuildContactGroupRenamePacket(QStringLiteral("{G1}"), renamer, QStringLiteral("Best friends")));
    QCOMPARE(f.core.talk(member)->data.Caption, QStringLiteral("[Bobby] Best friends"));
    QCOMPARE(f.core.talk(member)->data.AuthorAlias, QStringLiteral("Bobby"));
    QCOMPARE(f.core.talk(member)->data.GroupName, QStringLiteral("Best friends"));
    QCOMPARE(captions.size(), 1);
    QCOMPARE(captions.first().first().toInt(), member);
    // My own rename echo: the caption without brackets. A blank alias is the IP.
    WireIdentity mine = f.wire(0);
    mine.alias.clear();
    f.receive(BuildContactGroupRenamePacket(QStringLiteral("{OWN}"), mine, QStringLiteral("Crew")));
    QCOMPARE(f.core.talk(own)->data.Caption, QStringLiteral("Crew"));
    QCOMPARE(f.core.talk(own)->data.AuthorAlias, QStringLiteral("127.0.0.1"));
    QCOMPARE(f.core.talk(member)->data.Caption, QStringLiteral("[Bobby] Best friends"));
}

void TestTalkCore::deleteGroup()
{
    Fixture f;
    const int member = f.memberTalk(QStringLiteral("{G1}"), {MyId});
    f.events.clear();
    WireIdentity author = f.wire(f.boris);
    author.alias.clear();
    f.receive(BuildContactGroupDeletePacket(QStringLiteral("{G1}"), author, QStringLiteral("Friends")));
    QCOMPARE(f.questions.asked, QStringList{"group:127.0.0.2|[Boris] Friends"});
    QVERIFY(!f.core.talk(member));
    QCOMPARE(f.kinds(), (QStringList{"closing", "closed"}));
    // Unknown group: nothing.
    f.receive(BuildContactGroupDeletePacket(QStringLiteral("{G1}"), author, QStringLiteral("Friends")));
    QCOMPARE(f.questions.asked.size(), 1);
}

void TestTalkCore::privateCloseAnsweredBothWays_data()
{
    QTest::addColumn<PrivateCloseAnswer>("answer");
    QTest::addColumn<bool>("closedByDelete");
    QTest::addColumn<bool>("closedByLeaving");
    QTest::newRow("close") << PrivateCloseAnswer::Close << true << true;
    QTest::newRow("leave") << PrivateCloseAnswer::Leave << false << false;
    // Remembered "neither": the peer's close leaves the talk, its going away closes it.
    QTest::newRow("undecided") << PrivateCloseAnswer::Undecided << false << true;
}

void TestTalkCore::privateCloseAnsweredBothWays()
{
    QFETCH(PrivateCloseAnswer, answer);
    QFETCH(bool, closedByDelete);
    QFETCH(bool, closedByLeaving);
    {
        Fixture f;
        const int talk = f.core.openPrivateTalk(f.boris);
        f.questions.answers = {answer};
        // Addressed to somebody else: no question.
        f.receive(BuildPrivateDeletePacket(ClaraId, f.wire(f.boris)));
        QVERIFY(f.questions.asked.isEmpty());
        f.receive(BuildPrivateDeletePacket(MyId, f.wire(f.boris)));
        QCOMPARE(f.questions.asked, QStringList{"private:Boris"});
        QCOMPARE(!f.core.talk(talk), closedByDelete);
        QVERIFY(f.transport.sent.isEmpty());
    }
    {
        Fixture f;
        const int talk = f.core.openPrivateTalk(f.boris);
        f.questions.answers = {answer};
        f.core.peerLeft(QStringLiteral("Boris"), BorisId);
        QCOMPARE(f.questions.asked, QStringList{"private:Boris"});
        QCOMPARE(!f.core.talk(talk), closedByLeaving);
    }
}

void TestTalkCore::privateCloseTakesTheLastTalk()
{
    Fixture f;
    const int first = f.core.openPrivateTalk(f.boris);
    const int second = f.core.CreateTalk(f.core.talk(first)->data, 7);
    WireIdentity noAlias = f.wire(f.boris);
    noAlias.alias.clear();
    f.receive(BuildPrivateDeletePacket(MyId, noAlias));
    QCOMPARE(f.questions.asked, QStringList{"private:127.0.0.2"});
    QVERIFY(f.core.talk(first));
    QVERIFY(!f.core.talk(second));
}

void TestTalkCore::peerLeftAsksAndCloses()
{
    Fixture f;
    const int privateTalk = f.core.openPrivateTalk(f.boris);
    const int memberTalk = f.memberTalk(QStringLiteral("{G1}"), {MyId, ClaraId});
    const int own = f.core.openOwnGroupTalk(5, QStringLiteral("Team"), QStringLiteral("{OWN}"), {f.boris});
    const int claraTalk = f.core.openPrivateTalk(f.clara);
    f.core.peerLeft(QStringLiteral("Boris"), BorisId);
    // From the last talk to the first.
    QCOMPARE(f.questions.asked, (QStringList{"group:Boris|[Boris] Friends", "private:Boris"}));
    QVERIFY(!f.core.talk(privateTalk));
    QVERIFY(!f.core.talk(memberTalk));
    QVERIFY(f.core.talk(own));
    QVERIFY(f.core.talk(claraTalk));
}

void TestTalkCore::talkClosedWhileQuestionOpen()
{
    Fixture f;
    const int talk = f.core.openPrivateTalk(f.boris);
    // While the question is open, the user closes the talk (its close packet goes out).
    f.questions.whileAsking = [&f, talk] {
        f.core.CloseTalk(talk);
    };
    f.questions.answers = {PrivateCloseAnswer::Close};
    f.events.clear();
    f.receive(BuildPrivateDeletePacket(MyId, f.wire(f.boris)));
    QVERIFY(!f.core.talk(talk));
    QCOMPARE(f.kinds(), (QStringList{"closing", "closed"}));
    QCOMPARE(f.transport.sent.size(), 1);
    QVERIFY(f.transport.sent.first().startsWith("MESSAGETOPRIVATEDELETE!^:^$"));

    // The same for the group notice.
    const int group = f.memberTalk(QStringLiteral("{G1}"), {MyId});
    f.questions.whileAsking = [&f, group] {
        f.core.destroyTalk(group);
    };
    f.events.clear();
    f.receive(BuildContactGroupDeletePacket(QStringLiteral("{G1}"), f.wire(f.boris), "Friends"));
    QCOMPARE(f.kinds(), (QStringList{"closing", "closed"}));
    QCOMPARE(f.core.count(), 1);
}

void TestTalkCore::otherTalkClosedWhileQuestionOpen()
{
    Fixture f;
    const int older = f.core.openPrivateTalk(f.boris);
    const int newer = f.core.CreateTalk(f.core.talk(older)->data, 7);
    // Asked about the newer one, another packet closes the older in the meantime.
    f.questions.whileAsking = [&f, older] {
        f.questions.whileAsking = nullptr;
        f.core.destroyTalk(older);
    };
    f.questions.answers = {PrivateCloseAnswer::Leave};
    f.core.peerLeft(QStringLiteral("Boris"), BorisId);
    QCOMPARE(f.questions.asked, QStringList{"private:Boris"});
    QVERIFY(f.core.talk(newer));
    QVERIFY(!f.core.talk(older));
}

void TestTalkCore::exactBytesOfSentMessages()
{
    Fixture f;
    const QByteArray me = MyId.toUtf8();
    const QByteArray b = BorisId.toUtf8();
    const QByteArray c = ClaraId.toUtf8();

    QCOMPARE(f.core.sendBody(f.everybody, QStringLiteral("Hi all")), SendResult::Sent);
    QCOMPARE(f.transport.sent.takeFirst(), "MESSAGE!^:^$" + mySender() + "<MESSAGESTR>Hi all</MESSAGESTR>");
    // My own broadcast comes back through the network: nothing is shown now.
    QVERIFY(f.eventsOf("message").isEmpty());

    const int own =
        f.core.openOwnGroupTalk(5, QStringLiteral("Team"), QStringLiteral("{OWN}"), {f.clara, f.boris});
    f.transport.sent.clear();
    QCOMPARE(f.core.sendBody(own, QStringLiteral("Hi team")), SendResult::Sent);
    const QByteArray ownGroup =
        "<GROUPID>{OWN}</GROUPID><AUTORGROUPID>" + me +
        "</AUTORGROUPID><AUTORGROUPIP>127.0.0.1</AUTORGROUPIP><AUTORGROUPMAC>M0"
        "</AUTORGROUPMAC><AUTORGROUPALIASE>Me</AUTORGROUPALIASE><GROUPNAME>Team</GROUPNAME>";
    QCOMPARE(f.transport.sent.takeFirst(), "MESSAGETOGROUP!^:^$<FROMUSERID>" + Sep + me + Sep + c + Sep +
                                               Sep + b + Sep + "</FROMUSERID>" + ownGroup + mySender() +
                                               "<MESSAGESTR>Hi team</MESSAGESTR>");

    const int member = f.memberTalk(QStringLiteral("{G1}"), {MyId, ClaraId});
    f.transport.sent.clear();
    QCOMPARE(f.core.sendBody(member, QStringLiteral("Hi friends")), SendResult::Sent);
    QCOMPARE(f.transport.sent.takeFirst(),
             "MESSAGETOGROUP!^:^$<FROMUSERID>" + Sep + me + Sep + b + Sep + Sep + c + Sep +
                 "</FROMUSERID><GROUPID>{G1}</GROUPID><AUTORGROUPID>" + b +
                 "</AUTORGROUPID><AUTORGROUPIP>127.0.0.2</AUTORGROUPIP><AUTORGROUPMAC>MB</AUTORGROUPMAC>"
                 "<AUTORGROUPALIASE>Boris</AUTORGROUPALIASE><GROUPNAME>Friends</GROUPNAME>" +
                 mySender() + "<MESSAGESTR>Hi friends</MESSAGESTR>");

    const int privateTalk = f.core.openPrivateTalk(f.boris);
    f.events.clear();
    QCOMPARE(f.core.sendBody(privateTalk, QStringLiteral("Hi Boris")), SendResult::Sent);
    QCOMPARE(f.transport.sent.takeFirst(), "MESSAGETOUSER!^:^$<FROMUSERID>" + b + "</FROMUSERID>" +
                                               mySender() + "<MESSAGESTR>Hi Boris</MESSAGESTR>");
    // A private message is shown at once, as mine.
    QCOMPARE(f.eventsOf("message"), QStringList{QString::number(privateTalk) + u':' + MyId + "|Hi Boris"});
    QCOMPARE(f.core.sendBody(privateTalk, QStringLiteral("Away"), true), SendResult::Sent);
    QCOMPARE(f.transport.sent.takeFirst(), "MESSAGETOUSER!^:^$<FROMUSERID>" + b + "</FROMUSERID>" +
                                               mySender() + "<AVTOMASHINE><MESSAGESTR>Away</MESSAGESTR>");
    QCOMPARE(f.core.sendBody(12345, QStringLiteral("x")), SendResult::Unsent);
    QVERIFY(f.transport.sent.isEmpty());
}

void TestTalkCore::closePacketsByKind()
{
    Fixture f;
    const QByteArray me = MyId.toUtf8();
    const int privateTalk = f.core.openPrivateTalk(f.boris);
    const int own = f.core.openOwnGroupTalk(5, QStringLiteral("Team"), QStringLiteral("{OWN}"), {f.boris});
    const int member = f.memberTalk(QStringLiteral("{G1}"), {MyId});
    f.transport.sent.clear();
    f.events.clear();

    f.core.CloseTalk(privateTalk);
    QCOMPARE(f.transport.sent.takeFirst(),
             "MESSAGETOPRIVATEDELETE!^:^$<FROMUSERID>" + BorisId.toUtf8() + "</FROMUSERID>" + mySender());
    f.core.CloseTalk(own);
    QCOMPARE(f.transport.sent.takeFirst(),
             "MESSAGETOGROUPDELETE!^:^$<GROUPID>{OWN}</GROUPID><AUTORGROUPID>" + me +
                 "</AUTORGROUPID><AUTORGROUPIP>127.0.0.1</AUTORGROUPIP><AUTORGROUPMAC>M0</AUTORGROUPMAC>"
                 "<AUTORGROUPALIASE>Me</AUTORGROUPALIASE><GROUPNAME>Team</GROUPNAME>");
    // Leaving a member group talk is silent.
    f.core.CloseTalk(member);
    QVERIFY(f.transport.sent.isEmpty());
    QCOMPARE(f.kinds(), (QStringList{"closing", "closed", "closing", "closed", "closing", "closed"}));
    QCOMPARE(f.eventsOf("closing"),
             (QStringList{QString::number(privateTalk), QString::number(own), QString::number(member)}));
    QVERIFY(f.questions.asked.isEmpty());
}

void TestTalkCore::contactGroupCommands()
{
    Fixture f;
    const QByteArray me = MyId.toUtf8();
    const int own = f.core.openOwnGroupTalk(5, QStringLiteral("Team"), QStringLiteral("{OWN}"), {f.boris});
    const QByteArray group =
        "<GROUPID>{OWN}</GROUPID><AUTORGROUPID>" + me +
        "</AUTORGROUPID><AUTORGROUPIP>127.0.0.1</AUTORGROUPIP><AUTORGROUPMAC>M0"
        "</AUTORGROUPMAC><AUTORGROUPALIASE>Me</AUTORGROUPALIASE><GROUPNAME>Team</GROUPNAME>";
    // Moving a user into the contact group adds the member and tells the members.
    f.core.memberAdded(5, f.clara);
    QCOMPARE(f.memberIds(own), (QStringList{BorisId, ClaraId}));
    QCOMPARE(f.transport.sent.takeFirst(), "UPDATEINFOTOGROUP_!^:^$<FROMUSERID>" + Sep + me + Sep +
                                               BorisId.toUtf8() + Sep + Sep + ClaraId.toUtf8() + Sep +
                                               "</FROMUSERID>" + group + mySender());
    f.core.memberRemoved(5, f.boris);
    QCOMPARE(f.memberIds(own), QStringList{ClaraId});
    QCOMPARE(f.transport.sent.takeFirst(), "UPDATEINFOTOGROUP_!^:^$<FROMUSERID>" + Sep + me + Sep +
                                               ClaraId.toUtf8() + Sep + "</FROMUSERID>" + group + mySender());
    // Other contact groups have no talk: nothing is sent.
    f.core.memberAdded(6, f.boris);
    QVERIFY(f.transport.sent.isEmpty());

    // Deleting the contact group closes its talk without a further packet.
    f.events.clear();
    f.core.closeOwnGroupTalk(5);
    QVERIFY(!f.core.talk(own));
    QCOMPARE(f.kinds(), (QStringList{"closing", "closed"}));
    QVERIFY(f.transport.sent.isEmpty());
}

void TestTalkCore::sendFailureAndNoNetwork()
{
    Fixture f;
    f.transport.failing = true;
    const int privateTalk = f.core.openPrivateTalk(f.boris);
    QCOMPARE(f.core.sendBody(privateTalk, QStringLiteral("big")), SendResult::Failed);
    // The message stays in my transcript although it did not go.
    QCOMPARE(f.eventsOf("message").size(), 1);
    f.core.setTransport(nullptr);
    QCOMPARE(f.core.sendBody(f.everybody, QStringLiteral("x")), SendResult::Unsent);
    // Without the local user nothing is sent.
    TalkCore lonely(&f.transport);
    TalkData data;
    const int id = lonely.CreateTalk(data, 1);
    QCOMPARE(lonely.sendBody(id, QStringLiteral("x")), SendResult::Unsent);
}

void TestTalkCore::presenceNoticesAndBlockedMembers()
{
    Fixture f;
    const int privateTalk = f.core.openPrivateTalk(f.boris);
    const int member = f.memberTalk(QStringLiteral("{G1}"), {MyId, ClaraId});
    const int own = f.core.openOwnGroupTalk(5, QStringLiteral("Team"), QStringLiteral("{OWN}"), {f.clara});
    f.events.clear();
    // A name that cannot reorder anything goes into the line as it is.
    const QString claraLeft = QStringLiteral("User \"Clara\" is disconnect...");
    f.core.peerPresence(f.clara, QStringLiteral("127.0.0.3"), false, ClaraId, 0, 7, QStringLiteral("Clara"));
    // The notice, the line in the talk with everybody and in each talk of hers, then the sound.
    QCOMPARE(f.kinds(), (QStringList{"notice", "line", "line", "line", "sound"}));
    QCOMPARE(f.eventsOf("notice"), QStringList{QString::number(f.everybody) + ":Clara"});
    QCOMPARE(f.eventsOf("line"),
             (QStringList{QString::number(f.everybody) + u':' + ClaraId + u'|' + claraLeft,
                          QString::number(member) + u':' + ClaraId + u'|' + claraLeft,
                          QString::number(own) + u':' + ClaraId + u'|' + claraLeft}));
    QCOMPARE(f.events.last().talk, int(SoundUserDisconnect));
    // Presence lines are no messages.
    QVERIFY(f.eventsOf("message").isEmpty());
    f.events.clear();
    f.core.peerPresence(f.boris, QStringLiteral("127.0.0.2"), true, BorisId, 0, 7, QString());
    QCOMPARE(f.eventsOf("line").size(), 3);
    // Without an alias the notice names the IP.
    QCOMPARE(f.eventsOf("line").at(1), QString::number(privateTalk) + u':' + BorisId + u'|' +
                                           QStringLiteral("User \"127.0.0.2\" is connect..."));
    QVERIFY(f.eventsOf("line").last().startsWith(QString::number(member) + u':'));
    QCOMPARE(f.events.last().talk, int(SoundUserConnect));

    QSignalSpy blocked(&f.core, &TalkCore::talkMemberBlocked);
    f.core.setMemberBlocked(f.clara, true);
    QCOMPARE(blocked.size(), 2);
    QVERIFY(f.core.talk(member)->members.at(1).blocked);
    QVERIFY(f.core.talk(own)->members.at(0).blocked);
    QVERIFY(!f.core.talk(member)->members.at(0).blocked);
}

void TestTalkCore::renamedPeer()
{
    Fixture f;
    const int privateTalk = f.core.openPrivateTalk(f.boris);
    const int member = f.memberTalk(QStringLiteral("{G1}"), {MyId});
    const int own = f.core.openOwnGroupTalk(5, QStringLiteral("Team"), QStringLiteral("{OWN}"), {f.boris});
    QSignalSpy renamed(&f.core, &TalkCore::talkMemberRenamed);
    f.core.peerRenamed(BorisId, QStringLiteral("Bobby"), 9);
    QCOMPARE(f.core.talk(privateTalk)->data.Caption, QStringLiteral("Bobby"));
    QCOMPARE(f.core.talk(privateTalk)->picture, 9);
    QCOMPARE(f.core.talk(member)->data.Caption, QStringLiteral("[Bobby] Friends"));
    QCOMPARE(f.core.talk(member)->data.AuthorAlias, QStringLiteral("Bobby"));
    QCOMPARE(f.core.talk(own)->data.Caption, QStringLiteral("Team"));
    // Boris is a member of both group talks.
    QCOMPARE(renamed.size(), 2);
    QCOMPARE(renamed.at(1).at(0).toInt(), own);
    QCOMPARE(renamed.at(1).at(2).toString(), QStringLiteral("Bobby"));
    QCOMPARE(renamed.at(1).at(3).toInt(), 9);
}

QTEST_GUILESS_MAIN(TestTalkCore)
#include "test_talkcore.moc"
