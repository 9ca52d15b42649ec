#include "HistoryScenarios.h"

#include "app/ChatCore.h"
#include "app/TalkHistory.h"
#include "features/StoryFileUn.h"
#include "peers/PeerRegistry.h"
#include "support/CorePeer.h"
#include "support/PeerHub.h"
#include "support/RecordingTransport.h"
#include "support/Wait.h"
#include "talks/MinuteClock.h"
#include "talks/PackedParagraphs.h"
#include "talks/TranscriptBody.h"
#include "talks/TranscriptFormats.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

// The peer's own history writer, without any window: the same bytes as the window program's files,
// written when a talk closes, is cleared, reaches its bound and when the peer stops.
namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray golden(const QString &name, bool rtf)
{
    return readAll(QStringLiteral(PERIX_GOLDEN_DIR "/") + name +
                   (rtf ? QStringLiteral(".rtf") : QStringLiteral(".txt")));
}

QStringList filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

// The window's RTF less what only a screen gives: the pictures, the background and the screen's
// font. Text that a picture kept apart in two runs is one run without it.
QByteArray withoutScreen(const QByteArray &rtf)
{
    QString s = QString::fromLatin1(rtf);
    s.remove(QRegularExpression(QStringLiteral(R"(\{\\pict[^}]*\})")));
    s.remove(QRegularExpression(QStringLiteral(R"(\{\\\*\\background[^\n]*\n)")));
    s.replace(
        QRegularExpression(QStringLiteral(R"(\{\\fonttbl\{\\f0\\fnil [^;]*;\}\{\\f1\\fnil Arial;\}\})")),
        QStringLiteral(R"({\fonttbl{\f0\fnil Arial;}})"));
    s.replace(QStringLiteral(R"({\f1\fs20)"), QStringLiteral(R"({\f0\fs20)"));
    const QRegularExpression adjacent(
        QStringLiteral(R"(\{(\\f0\\fs20(?:\\b)?\\cf\d+) ((?:[^{}\\]|\\.)*)\}\{\1 )"));
    for (int i = 0; i < 1000 && s.contains(adjacent); ++i)
        s.replace(adjacent, QStringLiteral(R"({\1 \2)"));
    return s.toLatin1();
}

QByteArray withTimePlaceholder(QByteArray bytes, const QStringList &times)
{
    for (const QString &time : times)
        bytes.replace(time.toLatin1(), "@TIME@");
    return bytes;
}

TranscriptMessage::Piece text(const QString &t)
{
    TranscriptMessage::Piece piece;
    piece.item.text = t;
    return piece;
}

// The pieces in a short form: "t:text", "p" for a paragraph break, "pic:n", "ani:n", "file:path:own".
QStringList describe(const QList<TranscriptMessage::Piece> &pieces)
{
    QStringList out;
    for (const TranscriptMessage::Piece &piece : pieces) {
        const TranscriptItem &item = piece.item;
        if (piece.paragraphBreak)
            out << QStringLiteral("p");
        else if (item.kind == TranscriptItem::Kind::Text)
            out << QStringLiteral("t:") + item.text;
        else if (item.kind == TranscriptItem::Kind::Picture)
            out << QStringLiteral("pic:%1").arg(item.number);
        else if (item.kind == TranscriptItem::Kind::Animation)
            out << QStringLiteral("ani:%1").arg(item.number);
        else
            out << QStringLiteral("file:%1:%2").arg(item.text).arg(item.own);
    }
    return out;
}

} // namespace

class TestTalkHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void peerWritesTheWindowsBytes_data();
    void peerWritesTheWindowsBytes();
    void namesWithoutIsolates();
    void bodyPieces_data();
    void bodyPieces();
    void transcriptLaysOutAsTheScreen();
    void writtenWhenClosedClearedAndStopped();
    void boundKeepsAndClears();
    void messagesShareTheirSendersCopies();
    void packedParagraphsComeBackAsTheyWere();
    void optionsAndBudget();
};

void TestTalkHistory::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestTalkHistory::peerWritesTheWindowsBytes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("rtf");
    for (const QString &name : HistoryScenarios::names()) {
        QTest::newRow(qPrintable(name + QStringLiteral(" txt"))) << name << false;
        QTest::newRow(qPrintable(name + QStringLiteral(" rtf"))) << name << true;
    }
}

void TestTalkHistory::peerWritesTheWindowsBytes()
{
    QFETCH(QString, name);
    QFETCH(bool, rtf);
    CorePeer anna(QStringLiteral("Anna"), std::make_unique<RecordingTransport>(QStringLiteral("127.0.0.1")));
    anna.store().writeBool("fmStory", "SaveAsRTF", rtf);
    anna.start();
    MinuteClock clock;
    const QString before = clock.textAt(QDateTime::currentMSecsSinceEpoch());
    HistoryScenarios::play(anna.talks(), anna.core().allUsersTalk(), name, anna.id(),
                           QStringLiteral("127.0.0.1"), QStringLiteral("Anna"));
    const QString path = anna.core().history()->writeTalk(anna.core().allUsersTalk());
    const QString after = clock.textAt(QDateTime::currentMSecsSinceEpoch());
    QVERIFY(path.endsWith(rtf ? QStringLiteral(".rtf") : QStringLiteral(".txt")));
    const QByteArray actual = withTimePlaceholder(readAll(path), {before, after});
    const QByteArray expected = rtf ? withoutScreen(golden(name, true)) : golden(name, false);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(actual, expected);
}

void TestTalkHistory::namesWithoutIsolates()
{
    CorePeer anna(QStringLiteral("Anna"), std::make_unique<RecordingTransport>(QStringLiteral("127.0.0.1")));
    anna.start();
    TalkCore *talks = anna.talks();
    const int all = anna.core().allUsersTalk();
    // A name that brings isolates of its own loses them too: they only ever steer a display.
    talks->peerPresence(-1, QStringLiteral("127.0.0.2"), true, HistoryScenarios::BorisId, 0, 3,
                        QStringLiteral("Bo\u2066ris\u2069"));
    Q_EMIT talks->messageForTalk(all, HistoryScenarios::BorisId, QStringLiteral("127.0.0.2"),
                                 QStringLiteral("hi"), 0, 3, QStringLiteral("Anna"));
    const QString text = QString::fromUtf8(anna.core().history()->content(all, false));
    QVERIFY(text.contains(QStringLiteral("[Anna]")));
    QVERIFY(text.contains(QStringLiteral("User \"Boris\" is connect...")));
    for (char16_t c = 0x2066; c <= 0x2069; ++c)
        QVERIFY(!text.contains(QChar(c)));
    const QByteArray rtf = anna.core().history()->content(all, true);
    QVERIFY(rtf.contains("[Anna]"));
    QVERIFY(!rtf.contains("\\u8294?") && !rtf.contains("\\u8296?") && !rtf.contains("\\u8297?"));
}

void TestTalkHistory::bodyPieces_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("pieces");
    using HistoryScenarios::animation;
    using HistoryScenarios::bullet;
    const QString me = QStringLiteral("{ME}");
    QTest::newRow("text") << QStringLiteral("plain") << QStringList{"t:plain"};
    QTest::newRow("line feed and return stay in the paragraph")
        << QStringLiteral("a\nb\rc\u2029d\uFDD0")
        << QStringList{QStringLiteral("t:a\u2028b\u2028c\u2028d\uFFFD")};
    QTest::newRow("paragraph breaks") << QStringLiteral("a\n\r\n\rb") << QStringList{"t:a", "p", "p", "t:b"};
    QTest::newRow("picture and animation") << QStringLiteral("x") + bullet(5) + animation(2) + animation(77)
                                           << QStringList{"t:x", "pic:5", "ani:2"};
    QTest::newRow("unclosed picture eats its closing marker's length")
        << QStringLiteral("{[!BULLET!]}12345678901234567890tail") << QStringList{"t:4567890tail"};
    QTest::newRow("bad number") << bullet(0).replace(QStringLiteral("0"), QStringLiteral("x")) +
                                       QStringLiteral("z")
                                << QStringList{"t:z"};
    QTest::newRow("file references") << HistoryScenarios::fileReference(me, QStringLiteral("1.2.3.4"),
                                                                        QStringLiteral("/a b")) +
                                            HistoryScenarios::fileReference(QStringLiteral("{OTHER}"),
                                                                            QStringLiteral("1.2.3.4"),
                                                                            QStringLiteral("/c"))
                                     << QStringList{"file:/a b:1", "file:/c:0"};
    QTest::newRow("a lone brace is text") << QStringLiteral("{x}\n") << QStringList{"t:{x}\u2028"};
}

void TestTalkHistory::bodyPieces()
{
    QFETCH(QString, message);
    QFETCH(QStringList, pieces);
    TranscriptBodyContext context;
    context.myId = QStringLiteral("{ME}");
    context.hasAnimation = [](int number) {
        return number < 23;
    };
    QCOMPARE(describe(TranscriptBody(message, context)), pieces);
}

void TestTalkHistory::transcriptLaysOutAsTheScreen()
{
    Transcript transcript;
    QVERIFY(transcript.isEmpty());
    TranscriptMessage message;
    message.senderId = QStringLiteral("{B}");
    message.picture = 2;
    // A name with a line break makes a paragraph of its own, as the document's cursor does.
    message.header = QStringLiteral("[Bo\r\nris]");
    message.body = {text(QStringLiteral("one")), TranscriptMessage::Piece{true, {}},
                    text(QStringLiteral("two"))};
    transcript.append(message);
    QCOMPARE(transcript.paragraphCount(), 4);
    QCOMPARE(QString::fromUtf8(TranscriptFormats::ToPlainText(transcript)),
             QStringLiteral("[Bo\nris]\none\ntwo\n"));
    transcript.append(message);
    QCOMPARE(transcript.paragraphCount(), 8);
    // Animations: the newest few stay.
    TranscriptMessage animated;
    for (int n = 0; n < 7; ++n) {
        TranscriptMessage::Piece piece;
        piece.item.kind = TranscriptItem::Kind::Animation;
        piece.item.number = n;
        animated.body.append(piece);
    }
    transcript.append(animated, [&] { transcript.trimAnimations(); });
    QList<int> kept;
    for (const TranscriptParagraph &paragraph : transcript.paragraphs()) {
        for (const TranscriptItem &item : paragraph) {
            if (item.kind == TranscriptItem::Kind::Animation)
                kept.append(item.number);
        }
    }
    QCOMPARE(kept, (QList<int>{2, 3, 4, 5, 6}));
    transcript.clear();
    QVERIFY(transcript.isEmpty());
    QCOMPARE(TranscriptFormats::RtfEscaped(QStringLiteral("a{\\}\t\u2028\x01\uFFFC\u00E9\U0001F600")),
             QByteArray("a\\{\\\\\\}\\tab \\line \\u233?\\u-10179?\\u-8704?"));
}

void TestTalkHistory::writtenWhenClosedClearedAndStopped()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    const QString folder = anna.context().paths.historyDir();
    QCOMPARE(boris.core().sendToUser(boris.indexOf(anna.id()), QStringLiteral("private words")),
             SendResult::Sent);
    QVERIFY(waitUntil([&] { return anna.talks()->FindPrivateTalk(boris.id()) != TalkCore::NoTalk; }));
    const int privateTalk = anna.talks()->FindPrivateTalk(boris.id());
    QVERIFY(waitUntil([&] {
        return anna.core().history()->transcript(privateTalk) &&
               !anna.core().history()->transcript(privateTalk)->isEmpty();
    }));
    // The talk closes: its transcript is written by the peer itself.
    anna.talks()->destroyTalk(privateTalk);
    QStringList files = filesIn(folder);
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(QStringLiteral("Boris and Anna ")));
    QVERIFY(readAll(folder + files.first()).contains("private words\n"));
    QVERIFY(!anna.core().history()->transcript(privateTalk));

    // Cleared: written, then empty; an empty transcript writes nothing.
    const int all = anna.core().allUsersTalk();
    QCOMPARE(boris.core().sendToAll(QStringLiteral("for everybody")), SendResult::Sent);
    QVERIFY(waitUntil([&] { return anna.core().history()->content(all, false).contains("for everybody"); }));
    anna.core().history()->clearTranscript(all);
    QVERIFY(anna.core().history()->transcript(all)->isEmpty());
    QCOMPARE(filesIn(folder).size(), 2);
    anna.core().history()->clearTranscript(all);
    QCOMPARE(filesIn(folder).size(), 2);

    // The peer stops: every talk with a transcript is written.
    QCOMPARE(boris.core().sendToAll(QStringLiteral("last words")), SendResult::Sent);
    QVERIFY(waitUntil([&] { return anna.core().history()->content(all, false).contains("last words"); }));
    anna.stop();
    files = filesIn(folder);
    QCOMPARE(files.size(), 3);
    int withLast = 0;
    for (const QString &f : files)
        withLast += readAll(folder + f).contains("last words");
    QCOMPARE(withLast, 1);
}

void TestTalkHistory::boundKeepsAndClears()
{
    CorePeer anna(QStringLiteral("Anna"), std::make_unique<RecordingTransport>(QStringLiteral("127.0.0.1")));
    anna.start();
    TalkHistory *history = anna.core().history();
    const int all = anna.core().allUsersTalk();
    // Two paragraphs a message: the sixth message finds the bound of ten reached.
    history->setTranscriptLimit(10);
    for (int i = 1; i <= 6; ++i)
        Q_EMIT anna.talks()->messageForTalk(all, HistoryScenarios::BorisId, QStringLiteral("127.0.0.2"),
                                            QStringLiteral("line number %1").arg(i), 0, 3,
                                            QStringLiteral("Boris"));
    const QStringList files = filesIn(history->historyDir());
    QCOMPARE(files.size(), 1);
    const QByteArray saved = readAll(history->historyDir() + files.first());
    QVERIFY(saved.contains("line number 1\n"));
    QVERIFY(saved.contains("line number 5\n"));
    QVERIFY(!saved.contains("line number 6"));
    QCOMPARE(history->transcript(all)->paragraphCount(), 2);
    QVERIFY(history->content(all, false).contains("line number 6"));
}

void TestTalkHistory::messagesShareTheirSendersCopies()
{
    CorePeer anna(QStringLiteral("Anna"), std::make_unique<RecordingTransport>(QStringLiteral("127.0.0.1")));
    anna.start();
    TalkHistory *history = anna.core().history();
    history->setShowTime(false);
    const int all = anna.core().allUsersTalk();
    const auto receive = [&](const QString &id, const QString &alias, const QString &body) {
        // Each packet brings its own copy of the ID.
        Q_EMIT anna.talks()->messageForTalk(all, QString(id.constData(), id.size()),
                                            QStringLiteral("127.0.0.2"), body, 0, 3, alias);
    };
    receive(HistoryScenarios::BorisId, QStringLiteral("Boris"), QStringLiteral("one"));
    receive(QStringLiteral("{C}"), QStringLiteral("Clara"), QStringLiteral("two"));
    receive(HistoryScenarios::BorisId, QStringLiteral("Boris"), QStringLiteral("three"));
    receive(HistoryScenarios::BorisId, QStringLiteral("Boris B."), QStringLiteral("four"));
    const QList<TranscriptParagraph> &paragraphs = history->transcript(all)->paragraphs();
    QCOMPARE(paragraphs.size(), 8);
    // The header paragraphs: picture and header text.
    const TranscriptItem &first = paragraphs[0].last();
    const TranscriptItem &clara = paragraphs[2].last();
    const TranscriptItem &third = paragraphs[4].last();
    const TranscriptItem &renamed = paragraphs[6].last();
    QCOMPARE(first.text, QStringLiteral("[Boris]"));
    QCOMPARE(third.text, QStringLiteral("[Boris]"));
    QCOMPARE(renamed.text, QStringLiteral("[Boris B.]"));
    QCOMPARE(third.senderId, HistoryScenarios::BorisId);
    QVERIFY(third.senderId.isSharedWith(first.senderId));
    QVERIFY(paragraphs[5].first().senderId.isSharedWith(first.senderId));
    QVERIFY(third.text.isSharedWith(first.text));
    QVERIFY(!clara.senderId.isSharedWith(first.senderId));
    QVERIFY(!renamed.text.isSharedWith(first.text));
    // What is written is the same.
    QCOMPARE(history->content(all, false),
             QByteArray("[Boris]\none\n[Clara]\ntwo\n[Boris]\nthree\n[Boris B.]\nfour\n"));
}

void TestTalkHistory::packedParagraphsComeBackAsTheyWere()
{
    // Made at run time: a literal has no count to share.
    const QString header = QString::fromLatin1("[Boris] 12.30");
    const QString sender = QStringLiteral("{B}");
    const auto textItem = [&](const QString &text, bool isHeader) {
        TranscriptItem item;
        item.text = text;
        item.header = isHeader;
        item.senderId = sender;
        return item;
    };
    const auto numbered = [](TranscriptItem::Kind kind, int number) {
        TranscriptItem item;
        item.kind = kind;
        item.number = number;
        return item;
    };
    TranscriptItem file;
    file.kind = TranscriptItem::Kind::File;
    file.text = QStringLiteral("C:\\Files\\\u0444\u0430\u0439\u043B.txt");
    file.own = true;
    // Latin-1 and wider text, a lone surrogate, a picture numbered -1, empty paragraphs, the header
    // split by a line break and whole.
    const QList<TranscriptParagraph> paragraphs{
        {numbered(TranscriptItem::Kind::Picture, 7), textItem(header, true)},
        {textItem(QStringLiteral("caf\u00E9 "), false),
         textItem(QStringLiteral("\u043F\u0440\u0438\u0432\u0435\u0442"), false),
         textItem(QString(QChar(0xD800)) + QStringLiteral("x"), false)},
        {},
        {numbered(TranscriptItem::Kind::Animation, 3), numbered(TranscriptItem::Kind::Picture, -1), file,
         numbered(TranscriptItem::Kind::Animation, 300)},
        {textItem(QStringLiteral("[Bo"), true)},
        {}};
    const QByteArray packed = PackedParagraphs::pack(paragraphs, header);
    QList<TranscriptParagraph> back;
    int skip = 0;
    PackedParagraphs::unpack(packed, sender, header, back, skip);
    QCOMPARE(back.size(), paragraphs.size());
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        QCOMPARE(back[p].size(), paragraphs[p].size());
        for (qsizetype i = 0; i < paragraphs[p].size(); ++i) {
            const TranscriptItem &was = paragraphs[p][i];
            const TranscriptItem &is = back[p][i];
            QCOMPARE(int(is.kind), int(was.kind));
            QCOMPARE(is.header, was.header);
            QCOMPARE(is.own, was.own);
            QCOMPARE(is.text, was.text);
            QCOMPARE(is.senderId, was.senderId);
            if (was.kind != TranscriptItem::Kind::Text && was.kind != TranscriptItem::Kind::File)
                QCOMPARE(is.number, was.number);
        }
    }
    // The whole header is the message's copy, not one of its own.
    QVERIFY(back[0][1].text.isSharedWith(header));
    // The oldest animations are left out and counted.
    back.clear();
    skip = 1;
    PackedParagraphs::unpack(packed, sender, header, back, skip);
    QCOMPARE(skip, 0);
    QCOMPARE(back[3].size(), 3);
    QCOMPARE(back[3][0].kind, TranscriptItem::Kind::Picture);
    QCOMPARE(back[3].last().number, 300);

    // A message of 200 Latin-1 characters keeps little more than its characters.
    const QList<TranscriptParagraph> typical{
        {numbered(TranscriptItem::Kind::Picture, 11), textItem(header, true)},
        {textItem(QString(200, u'w'), false)}};
    QVERIFY2(PackedParagraphs::pack(typical, header).size() <= 210,
             QByteArray::number(PackedParagraphs::pack(typical, header).size()));
    // A cut packing gives what it holds and no more.
    const QByteArray cut = packed.left(packed.size() / 2);
    back.clear();
    PackedParagraphs::unpack(cut, sender, header, back, skip);
    QVERIFY(back.size() <= paragraphs.size());
}

void TestTalkHistory::optionsAndBudget()
{
    CorePeer anna(QStringLiteral("Anna"), std::make_unique<RecordingTransport>(QStringLiteral("127.0.0.1")));
    anna.start();
    TalkHistory *history = anna.core().history();
    const int all = anna.core().allUsersTalk();
    history->setShowUserIP(true);
    history->setShowTime(false);
    Q_EMIT anna.talks()->messageForTalk(all, HistoryScenarios::BorisId, QStringLiteral("127.0.0.2"),
                                        QStringLiteral("again"), 0, 3, QString());
    // No alias: the address names the sender.
    QCOMPARE(history->content(all, false), QByteArray("[127.0.0.2] IP:127.0.0.2\nagain\n"));
    for (int i = 0; i < StoryFile::WriteBudget::DefaultPerMinute; ++i)
        QVERIFY(!history->writeTalk(all).isEmpty());
    QVERIFY(history->writeTalk(all).isEmpty());
    // Closing writes whatever the budget says.
    QVERIFY(!history->writeTalk(all, true).isEmpty());
    anna.store().writeBool("fmStory", "SaveHistory", false);
    QVERIFY(history->writeTalk(all, true).isEmpty());
    QCOMPARE(filesIn(history->historyDir()).size(), StoryFile::WriteBudget::DefaultPerMinute + 1);
}

QTEST_GUILESS_MAIN(TestTalkHistory)
#include "test_talkhistory.moc"
