// The state of own messages in the window's transcripts: a small picture right of the header line with
// its tooltip, Resend and Cancel, and none of it in the history.

#include "PeerHarness.h"
#include "app/Delivery.h"
#include "app/ui/DeliveryMarks.h"
#include "app/TalkHistory.h"
#include "talks/TalkCore.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextImageFormat>

namespace {

// The pictures in the transcript of that talk with their resource names and tooltips.
QList<QPair<QString, QString>> marksIn(TestPeer &peer, int talkId)
{
    QList<QPair<QString, QString>> marks;
    TalkManager *talks = peer.mainWindow()->talks();
    const int sheet = talks->sheetOfTalk(talkId);
    if (sheet < 0)
        return marks;
    QTextDocument *doc = talks->frame(sheet)->reAllMessage()->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat() && format.toImageFormat().name().startsWith(u"perix-delivery:"))
                marks.append({format.toImageFormat().name(), withoutIsolates(format.toolTip())});
        }
    }
    return marks;
}

QTextDocument *transcript(TestPeer &peer, int talkId)
{
    TalkManager *talks = peer.mainWindow()->talks();
    return talks->frame(talks->sheetOfTalk(talkId))->reAllMessage()->document();
}

} // namespace

class TestDeliveryMarks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void picturesDiffer();
    void privateMessageShowsItsState();
};

void TestDeliveryMarks::picturesDiffer()
{
    using State = DeliveryMarks::State;
    const QList<State> states = {State::Sending, State::Delivered, State::NotDelivered, State::Waiting};
    QList<QImage> drawn;
    for (const State state : states) {
        const QImage image = DeliveryMarks::picture(state, 2.0);
        QCOMPARE(image.size(), QSize(2 * DeliveryMarks::SizePx, 2 * DeliveryMarks::SizePx));
        QCOMPARE(image.devicePixelRatio(), 2.0);
        // Something is drawn, and every state looks different.
        QVERIFY(image != QImage(image.size(), image.format()));
        for (const QImage &other : std::as_const(drawn))
            QVERIFY(image != other);
        drawn.append(image);
    }
}

void TestDeliveryMarks::privateMessageShowsItsState()
{
    TestPeer anna(QStringLiteral("Anna"));
    TestPeer boris(QStringLiteral("Boris"));
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1 && boris.onlineCount() == 1; }));
    ChatCore *chat = anna.program()->chat();
    // The program's first pause, the later ones shorter: the verdict of a silent user within a second
    // and a half rather than five.
    chat->delivery()->tracker().setTimings({{ReceiptTracker::RetryPausesMs[0], 300, 300}, 300});
    const int borisIndex = chat->findPeers(boris.id()).value(0, -1);
    QVERIFY(borisIndex > 0);
    QCOMPARE(chat->sendToUser(borisIndex, QStringLiteral("hello")), SendResult::Sent);
    const int talk = chat->talks()->FindPrivateTalk(boris.id());
    QVERIFY(talk != TalkCore::NoTalk);
    // Sending, then delivered, with Boris named.
    QVERIFY(waitUntil([&] {
        const auto marks = marksIn(anna, talk);
        return marks.size() == 1 &&
               marks.first().first == DeliveryMarks::resourceName(DeliveryMarks::State::Delivered);
    }));
    QCOMPARE(marksIn(anna, talk).first().second, QStringLiteral("Delivered to Boris"));
    // The picture sits on the header line, right of it.
    QTextDocument *doc = transcript(anna, talk);
    QVERIFY(doc->begin().text().contains(u"Anna"));
    QVERIFY(doc->begin().text().endsWith(QChar::ObjectReplacementCharacter));
    // The history gets the message, not its state: both forms come from the peer's transcript.
    const QString plain = QString::fromUtf8(chat->history()->content(talk, false));
    QVERIFY(plain.contains(u"hello"));
    QVERIFY(!plain.contains(u"Delivered"));
    QVERIFY(!plain.contains(QChar::ObjectReplacementCharacter));
    const QByteArray rtf = chat->history()->content(talk, true);
    QVERIFY(rtf.contains("hello"));
    QVERIFY(!rtf.contains("Delivered"));

    // Boris goes silent: the next message is not delivered and waits for him.
    boris.vanish();
    QCOMPARE(chat->sendToUser(borisIndex, QStringLiteral("are you there?")), SendResult::Sent);
    QVERIFY(waitUntil(
        [&] {
            const auto marks = marksIn(anna, talk);
            return marks.size() == 2 &&
                   marks.last().first == DeliveryMarks::resourceName(DeliveryMarks::State::Waiting);
        },
        8000));
    QVERIFY(marksIn(anna, talk).last().second.startsWith(u"Waiting for Boris"));
    QCOMPARE(chat->delivery()->outbox().entries().size(), 1);
    // Cancel (what a click on the picture offers): it leaves the outbox and shows not delivered.
    auto *marks = anna.mainWindow()->findChild<DeliveryMarks *>();
    QVERIFY(marks);
    const quint64 waitingMessage = [&] {
        for (quint64 id = 1; id < 10; ++id) {
            DeliveryMarks::State state;
            if (marks->stateOf(id, &state) && state == DeliveryMarks::State::Waiting)
                return id;
        }
        return quint64(0);
    }();
    QVERIFY(waitingMessage != 0);
    QVERIFY(marks->activate(waitingMessage));
    QVERIFY(chat->delivery()->outbox().entries().isEmpty());
    QCOMPARE(marksIn(anna, talk).last().first,
             DeliveryMarks::resourceName(DeliveryMarks::State::NotDelivered));
    QVERIFY(marksIn(anna, talk).last().second.startsWith(u"Not delivered to Boris"));
    anna.close();
}

QTEST_MAIN(TestDeliveryMarks)
#include "test_deliverymarks.moc"
