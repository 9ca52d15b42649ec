// The talks' input and transcript rules without any window, complete peers on the in-process hub: the
// auto-reply's answers, the input lock, and received messages decoded by the rules.
#include "MessageGoldens.h"

#include "app/ChatCore.h"
#include "features/AnsweringmachineTextUn.h"
#include "features/AutoReplyUn.h"
#include "peers/PeerRegistry.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "support/PeerHub.h"
#include "support/Wait.h"
#include "talks/AutoAnswer.h"
#include "talks/MessageCodec.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// The private messages a peer received from others (not the echo of its own), as bytes.
class PrivateInbox : public QObject {
public:
    explicit PrivateInbox(const CorePeer &peer)
    {
        connect(&peer.transport(), &PacketTransport::packetReceived, this,
                [this, id = peer.id()](const Packet &packet) {
                    if (ClassifyPacket(packet) == pkMessageToUser && TDataNewMessage(packet).GetID() != id)
                        packets.append(packet);
                });
    }
    QList<Packet> packets;
};

// Turns the window program's auto-reply on with the variant stored as number 1.
void pickFirstVariant(CorePeer &peer, const QString &caption, const QString &text)
{
    QVERIFY(AnsweringmachineText::WriteVariant(peer.store(), 1, caption, text));
    AutoReply *state = peer.core().autoReply();
    QCOMPARE(state->Refresh(QString()).variants.size(), 1);
    QVERIFY(state->Pick(0));
}

WireIdentity wireOf(const CorePeer &peer)
{
    return WireIdentity::fromEntry(*peer.registry()->local());
}

} // namespace

class TestTalkInput : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answerBodyIsTheEditorsGolden_data();
    void answerBodyIsTheEditorsGolden();
    void chosenVariantAnswersWithTheSameBytes();
    void fixedAnswerAndNoAnswerToAnswers();
    void offOrClosedTalkGivesNoAnswer();
    void lockedInputRefusesTheUserNotTheAnswer();
    void receivedLinesAreDecodedByTheRules();
};

void TestTalkInput::answerBodyIsTheEditorsGolden_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("golden");
    for (const MessageGoldens::AnswerCase &c : MessageGoldens::answerCases())
        QTest::newRow(c.name) << c.caption << c.text << c.golden;
}

void TestTalkInput::answerBodyIsTheEditorsGolden()
{
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(QString, golden);
    QCOMPARE(MessageCodec::Encode(AutoAnswer::answerBody({caption, text})), golden);
}

void TestTalkInput::chosenVariantAnswersWithTheSameBytes()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    pickFirstVariant(anna, QStringLiteral("Away"), QStringLiteral("one\r\ntwo"));
    PrivateInbox borisInbox(boris);
    QSignalSpy answered(anna.core().autoAnswer(), &AutoAnswer::answered);

    QCOMPARE(boris.core().sendToUser(boris.indexOf(anna.id()), QStringLiteral("are you there?")),
             SendResult::Sent);
    QVERIFY(waitUntil([&] { return !borisInbox.packets.isEmpty(); }));
    const Packet expected = BuildUserMessagePacket(
        boris.id(), wireOf(anna), QStringLiteral("{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\rtwo"), true);
    QCOMPARE(borisInbox.packets.first(), expected);
    QCOMPARE(answered.size(), 1);
    const int annaTalk = anna.talks()->FindPrivateTalk(boris.id());
    QCOMPARE(answered.first().first().toInt(), annaTalk);
    // Boris's copy does not answer the answer; one answer only.
    settle(300);
    QCOMPARE(borisInbox.packets.size(), 1);
}

void TestTalkInput::fixedAnswerAndNoAnswerToAnswers()
{
    // Both answer: each answers the other's message once, never the answer.
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    anna.core().autoAnswer()->setFixedAnswer(AnsweringmachineText::Variant{QStringLiteral("Busy"), {}});
    boris.core().autoAnswer()->setFixedAnswer(AnsweringmachineText::Variant{QStringLiteral("Out"), {}});
    PrivateInbox annaInbox(anna);
    PrivateInbox borisInbox(boris);

    QCOMPARE(anna.core().sendToUser(anna.indexOf(boris.id()), QStringLiteral("hi")), SendResult::Sent);
    QVERIFY(waitUntil([&] { return !annaInbox.packets.isEmpty(); }));
    settle(300);
    QCOMPARE(annaInbox.packets.size(), 1);
    QCOMPARE(annaInbox.packets.first(),
             BuildUserMessagePacket(anna.id(), wireOf(boris), QStringLiteral("{[!BULLET!]}3{[/!BULLET!]}Out"),
                                    true));
    QCOMPARE(borisInbox.packets.size(), 1);
    QVERIFY(!TDataNewMessage(borisInbox.packets.first()).IsAutoReply());
}

void TestTalkInput::offOrClosedTalkGivesNoAnswer()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    PrivateInbox borisInbox(boris);
    // Variants stored but none picked: the auto-reply is off.
    QVERIFY(AnsweringmachineText::WriteVariant(anna.store(), 1, QStringLiteral("Away"), QStringLiteral("x")));
    QCOMPARE(boris.core().sendToUser(boris.indexOf(anna.id()), QStringLiteral("one")), SendResult::Sent);
    settle(300);
    QVERIFY(borisInbox.packets.isEmpty());

    // On, but the talk closes before the queued answer goes: nothing is sent.
    pickFirstVariant(anna, QStringLiteral("Away"), QStringLiteral("x"));
    connect(anna.talks(), &TalkCore::autoReplyRequested, anna.talks(),
            [&anna](int talk) { anna.talks()->destroyTalk(talk); });
    QCOMPARE(boris.core().sendToUser(boris.indexOf(anna.id()), QStringLiteral("two")), SendResult::Sent);
    settle(300);
    QVERIFY(borisInbox.packets.isEmpty());
}

void TestTalkInput::lockedInputRefusesTheUserNotTheAnswer()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    TalkCore *talks = anna.talks();
    QSignalSpy locks(talks, &TalkCore::inputLockChanged);
    const int own = talks->openPrivateTalk(anna.indexOf(boris.id()));
    talks->setAnsweringMachine(true);
    talks->setPrivateInputsLocked(true);
    QCOMPARE(locks.size(), 1);
    QCOMPARE(locks.first(), (QVariantList{own, true}));
    QVERIFY(talks->isInputLocked(own));
    QVERIFY(!talks->isInputLocked(anna.core().allUsersTalk()));
    // Locking again changes nothing and says nothing.
    talks->setPrivateInputsLocked(true);
    QCOMPARE(locks.size(), 1);

    PrivateInbox borisInbox(boris);
    MessageBody body;
    body.addText(QStringLiteral("typed"));
    QCOMPARE(talks->sendMessage(own, body), SendResult::Unsent);
    QCOMPARE(talks->sendMessage(own, body, true), SendResult::Sent);
    QVERIFY(waitUntil([&] { return borisInbox.packets.size() == 1; }));
    QCOMPARE(borisInbox.packets.first(), BuildUserMessagePacket(boris.id(), wireOf(anna), "typed", true));

    talks->setPrivateInputsLocked(false);
    QCOMPARE(locks.size(), 2);
    QCOMPARE(locks.last(), (QVariantList{own, false}));
    QCOMPARE(talks->sendMessage(own, body), SendResult::Sent);
}

void TestTalkInput::receivedLinesAreDecodedByTheRules()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    QStringList order;
    QList<TalkLine> lines;
    connect(anna.talks(), &TalkCore::messageForTalk, anna.talks(),
            [&] { order.append(QStringLiteral("message")); });
    connect(anna.talks(), &TalkCore::lineForTalk, anna.talks(), [&](int id, const TalkLine &line) {
        order.append(QStringLiteral("line %1").arg(id));
        lines.append(line);
    });
    const QString message = MessageGoldens::editorCases()[25].golden; // pictures, animation, file, lines
    QCOMPARE(boris.core().talks()->sendBody(boris.core().allUsersTalk(), message), SendResult::Sent);
    QVERIFY(waitUntil([&] { return lines.size() == 1; }));
    const int everybody = anna.core().allUsersTalk();
    QCOMPARE(order, (QStringList{QStringLiteral("message"), QStringLiteral("line %1").arg(everybody)}));
    const TalkLine &line = lines.first();
    QCOMPARE(line.senderId, boris.id());
    QCOMPARE(line.alias, QStringLiteral("Boris"));
    QVERIFY(!line.notice);
    QVERIFY(line.body == MessageCodec::Decode(message));
    QCOMPARE(line.body.filePaths(), QStringList{QStringLiteral("/tmp/f")});
    QCOMPARE(MessageCodec::Encode(line.body), message);

    // The notice that a peer left reaches its talks decoded too.
    lines.clear();
    anna.talks()->openPrivateTalk(anna.indexOf(boris.id()));
    boris.stop();
    QVERIFY(waitUntil([&] { return lines.size() >= 2; }));
    for (const TalkLine &notice : lines) {
        QVERIFY(notice.notice);
        QCOMPARE(notice.senderId, boris.id());
        QVERIFY(!notice.body.isEmpty());
    }
}

QTEST_MAIN(TestTalkInput)
#include "test_talkinput.moc"
