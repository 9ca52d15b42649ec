// Lines received in one slice of packet handling go into their transcript under one edit, laid out
// and followed to the end when the slice ends; whatever looks at the transcript before sees it whole.
#include "app/ChatCore.h"
#include "features/ui/ImageList.h"
#include "net/PacketQueue.h"
#include "support/PeerHub.h"
#include "support/Wait.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"

#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QUrl>

#include "features/RemoteText.h"

class TestTranscriptTail : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void linesOfASliceAreOneEdit();
    void aLongSliceEndsItsEditOnTheWay();
    void theViewFollowsTheEndOfEachSlice();
    void theScrollBarNewLinesNeedIsThereAfterOneLayout();
    void anEventForTheTranscriptLaysItOutFirst();
    void clearsAndClosingTalksInsideASlice();
    void theQueueMarksItsSlices();
    void looksAsLinesLaidOutOneByOne();
    void namesThatCannotReorderDrawTheSameWithoutIsolates();
    void aPictureIsKeptOnceAsAPixmap();

private:
    QTextEdit *allUsers() const { return m_manager->frame(0)->reAllMessage(); }
    void append(int sheet, int number, int length = 0)
    {
        const QString text = QStringLiteral("message %1").arg(number);
        m_manager->AppendMessage(sheet, boris->id(), QStringLiteral("127.0.0.2"),
                                 length > 0 ? text + QString(length, u'x') : text, 0x00336699, 3,
                                 QStringLiteral("Boris"));
    }
    // The resource names of the pictures in the transcript.
    static QStringList pictureNames(const QTextDocument *doc)
    {
        QStringList names;
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                if (it.fragment().charFormat().isImageFormat())
                    names.append(it.fragment().charFormat().toImageFormat().name());
            }
        }
        return names;
    }
    static bool laidOut(const QTextDocument *doc)
    {
        return doc->lastBlock().layout() && doc->lastBlock().layout()->lineCount() > 0;
    }

    PeerHub *m_hub = nullptr;
    CorePeer *anna = nullptr;
    CorePeer *boris = nullptr;
    QWidget *m_window = nullptr;
    TalkManager *m_manager = nullptr;
    // Boris's window, of the same size.
    QWidget *m_other = nullptr;
    TalkManager *m_oneByOne = nullptr;
};

void TestTranscriptTail::init()
{
    m_hub = new PeerHub();
    anna = &m_hub->addPeer(QStringLiteral("Anna"));
    boris = &m_hub->addPeer(QStringLiteral("Boris"));
    m_window = new QWidget;
    auto *tabs = new QTabWidget(m_window);
    m_manager = new TalkManager(tabs, anna->talks(), anna->context().store, new RVStyle(m_window),
                                anna->core().files(), m_window);
    m_other = new QWidget;
    auto *otherTabs = new QTabWidget(m_other);
    m_oneByOne = new TalkManager(otherTabs, boris->talks(), boris->context().store, new RVStyle(m_other),
                                 boris->core().files(), m_other);
    otherTabs->resize(400, 300);
    m_other->resize(400, 300);
    QVERIFY(m_hub->startAll());
    QVERIFY(m_manager->frame(0));
    tabs->resize(400, 300);
    m_window->resize(400, 300);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestTranscriptTail::cleanup()
{
    delete m_window;
    m_window = nullptr;
    delete m_other;
    m_other = nullptr;
    delete m_hub;
    m_hub = nullptr;
}

void TestTranscriptTail::linesOfASliceAreOneEdit()
{
    QTextDocument *doc = allUsers()->document();
    const int before = doc->blockCount() - (doc->isEmpty() ? 1 : 0);
    int changes = 0;
    connect(doc, &QTextDocument::contentsChange, this, [&changes] { ++changes; });
    m_manager->beginReceivedLines();
    for (int i = 1; i <= 20; ++i)
        append(0, i);
    // The text is there at once (delivery marks take positions in it); the edit ends with the slice.
    QCOMPARE(doc->blockCount(), before + 40);
    QVERIFY(doc->toPlainText().contains(QStringLiteral("message 20")));
    QCOMPARE(changes, 0);
    QVERIFY(!laidOut(doc));
    m_manager->endReceivedLines();
    QCOMPARE(changes, 1);
    QVERIFY(laidOut(doc));
    // Outside a slice every line is laid out at once, as before.
    append(0, 21);
    QCOMPARE(changes, 2);
    QVERIFY(laidOut(doc));
    QVERIFY(doc->lastBlock().text().contains(QStringLiteral("message 21")));
}

void TestTranscriptTail::aLongSliceEndsItsEditOnTheWay()
{
    QTextDocument *doc = allUsers()->document();
    int changes = 0;
    connect(doc, &QTextDocument::contentsChange, this, [&changes] { ++changes; });
    m_manager->beginReceivedLines();
    // A slice's time limit must see the layout of what it handled: long lines end the edit early.
    const int length = TranscriptTail::MaxHeldCharacters / 3;
    for (int i = 1; i <= 9; ++i)
        append(0, i, length);
    QVERIFY2(changes >= 2 && changes <= 4, qPrintable(QString::number(changes)));
    m_manager->endReceivedLines();
    QVERIFY(laidOut(doc));
    QVERIFY(doc->lastBlock().text().startsWith(QStringLiteral("message 9")));
}

void TestTranscriptTail::theViewFollowsTheEndOfEachSlice()
{
    QTextEdit *view = allUsers();
    m_manager->beginReceivedLines();
    for (int i = 1; i <= 60; ++i)
        append(0, i);
    m_manager->endReceivedLines();
    QVERIFY(view->verticalScrollBar()->maximum() > 0);
    QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    // The user scrolls up; the next slice's lines take the view to the end again, as every line did.
    view->verticalScrollBar()->setValue(0);
    const int shownMaximum = view->verticalScrollBar()->maximum();
    m_manager->beginReceivedLines();
    for (int i = 61; i <= 70; ++i)
        append(0, i);
    QCOMPARE(view->verticalScrollBar()->value(), 0);
    m_manager->endReceivedLines();
    QVERIFY(view->verticalScrollBar()->maximum() > shownMaximum);
    QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
}

void TestTranscriptTail::theScrollBarNewLinesNeedIsThereAfterOneLayout()
{
    QTextEdit *view = allUsers();
    view->clear();
    QScrollBar *bar = view->verticalScrollBar();
    QVERIFY(!bar->isVisibleTo(view));
    // A few lines fit: the bar stays away.
    m_manager->beginReceivedLines();
    append(0, 1);
    m_manager->endReceivedLines();
    QVERIFY(!bar->isVisibleTo(view));
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    // Many lines at once: the bar is there, the policy as it was, the text laid out at the narrower
    // width and the view at its end.
    m_manager->beginReceivedLines();
    for (int i = 2; i <= 200; ++i)
        append(0, i);
    m_manager->endReceivedLines();
    QVERIFY(bar->isVisibleTo(view));
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(qRound(view->document()->textWidth()), view->viewport()->width());
    QCOMPARE(bar->value(), bar->maximum());
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
        QVERIFY(block.layout()->boundingRect().width() <= view->viewport()->width());
}

void TestTranscriptTail::anEventForTheTranscriptLaysItOutFirst()
{
    QTextEdit *view = allUsers();
    QTextDocument *doc = view->document();
    m_manager->beginReceivedLines();
    append(0, 1);
    QVERIFY(!laidOut(doc));
    // A dialog's event loop inside the slice paints the view or moves the mouse over it.
    bool laidOutWhenSeen = false;
    struct Watch : QObject {
        std::function<void()> seen;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::MouseMove)
                seen();
            return false;
        }
    } watch;
    watch.seen = [&] {
        laidOutWhenSeen = laidOut(doc);
    };
    view->viewport()->installEventFilter(&watch);
    QTest::mouseMove(view->viewport(), QPoint(20, 20));
    QVERIFY(laidOutWhenSeen);
    // The next line is held again and the slice's end lays it out.
    append(0, 2);
    QVERIFY(!laidOut(doc));
    m_manager->endReceivedLines();
    QVERIFY(laidOut(doc));
    QVERIFY(!view->cursorRect(QTextCursor(doc->lastBlock())).isEmpty());
}

void TestTranscriptTail::clearsAndClosingTalksInsideASlice()
{
    QTextDocument *doc = allUsers()->document();
    m_manager->setTranscriptLimit(10);
    allUsers()->clear();
    m_manager->beginReceivedLines();
    // Two paragraphs a message: the sixth finds ten and clears, so does the eleventh.
    for (int i = 1; i <= 12; ++i)
        append(0, i);
    QCOMPARE(doc->blockCount(), 4);
    QVERIFY(doc->toPlainText().contains(QStringLiteral("message 12")));
    QVERIFY(!doc->toPlainText().contains(QStringLiteral("message 10")));
    // The Clear command inside a slice leaves an empty transcript that takes the next line.
    m_manager->ClearTextMessage(0);
    QVERIFY(doc->isEmpty());
    append(0, 13);
    // A private talk gets a line, then closes within the same slice: whoever watches its transcript
    // has seen the line before the page goes.
    const int talk = anna->talks()->openPrivateTalk(anna->indexOf(boris->id()));
    const int sheet = m_manager->sheetOfTalk(talk);
    QVERIFY(sheet > 0);
    QString seen;
    QTextDocument *privateDoc = m_manager->frame(sheet)->reAllMessage()->document();
    connect(privateDoc, &QTextDocument::contentsChanged, this, [&] { seen = privateDoc->toPlainText(); });
    append(sheet, 14);
    QVERIFY(seen.isEmpty());
    anna->talks()->destroyTalk(talk);
    QCOMPARE(m_manager->sheetOfTalk(talk), -1);
    QVERIFY(seen.contains(QStringLiteral("message 14")));
    m_manager->endReceivedLines();
    QVERIFY(laidOut(doc));
    QCOMPARE(doc->blockCount(), 2);
    QVERIFY(doc->lastBlock().text().contains(QStringLiteral("message 13")));
}

void TestTranscriptTail::theQueueMarksItsSlices()
{
    QStringList events;
    bool inside = false;
    PacketQueue queue([&](const Packet &packet) {
        events << (inside ? QStringLiteral("in ") : QStringLiteral("out ")) + QString::fromLatin1(packet);
    });
    connect(&queue, &PacketQueue::sliceStarted, this, [&] {
        inside = true;
        events << QStringLiteral("start");
    });
    connect(&queue, &PacketQueue::sliceEnded, this, [&] {
        inside = false;
        events << QStringLiteral("end");
    });
    connect(&queue, &PacketQueue::emptied, this, [&] { events << QStringLiteral("emptied"); });
    for (int i = 0; i < PacketQueue::SlicePackets + 2; ++i)
        queue.enqueue(QByteArray::number(i));
    QVERIFY(waitUntil([&] { return events.contains(QStringLiteral("emptied")); }));
    QCOMPARE(events.count(QStringLiteral("start")), events.count(QStringLiteral("end")));
    QVERIFY(events.count(QStringLiteral("start")) >= 2);
    QCOMPARE(events.filter(QStringLiteral("out ")).size(), 0);
    QCOMPARE(events.filter(QStringLiteral("in ")).size(), PacketQueue::SlicePackets + 2);
    // The slice has ended when the queue says it is empty.
    QCOMPARE(events.mid(events.size() - 2), QStringList({QStringLiteral("end"), QStringLiteral("emptied")}));
}

void TestTranscriptTail::looksAsLinesLaidOutOneByOne()
{
    // The same lines in a second window of the same size, each laid out as it comes.
    TalkManager *oneByOne = m_oneByOne;
    m_other->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_other));
    QTextEdit *single = oneByOne->frame(0)->reAllMessage();
    QTextEdit *held = allUsers();
    single->clear();
    held->clear();
    // Both windows read the clock: a minute that turns between them is tried again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_manager->beginReceivedLines();
        for (int i = 1; i <= 30; ++i) {
            const QString body = QStringLiteral("line %1 ").arg(i) + QString(i * 7, u'w');
            m_manager->AppendMessage(0, boris->id(), QStringLiteral("127.0.0.2"), body, 0x00336699, 3,
                                     QStringLiteral("Boris"));
            oneByOne->AppendMessage(0, boris->id(), QStringLiteral("127.0.0.2"), body, 0x00336699, 3,
                                    QStringLiteral("Boris"));
        }
        m_manager->endReceivedLines();
        if (held->toPlainText() == single->toPlainText())
            break;
        single->clear();
        held->clear();
    }
    QCOMPARE(held->toHtml(), single->toHtml());
    QCOMPARE(held->verticalScrollBar()->isVisibleTo(held), single->verticalScrollBar()->isVisibleTo(single));
    QCOMPARE(held->verticalScrollBar()->maximum(), single->verticalScrollBar()->maximum());
    QCOMPARE(held->verticalScrollBar()->value(), single->verticalScrollBar()->value());
    QCOMPARE(held->viewport()->grab().toImage(), single->viewport()->grab().toImage());
}

// A notice line drawn as a transcript draws it; the pixels, to compare two texts on screen.
QImage drawnLine(const QString &text)
{
    QTextDocument doc;
    doc.setTextWidth(400);
    doc.setPlainText(text);
    QImage image(400, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    doc.drawContents(&painter);
    return image;
}

void TestTranscriptTail::namesThatCannotReorderDrawTheSameWithoutIsolates()
{
    const QString notice = QStringLiteral("User \"%1\" is connect...");
    for (const QString &name : {QStringLiteral("Peer 0001"), QStringLiteral("Anna (work)!"),
                                QStringLiteral("1st"), QStringLiteral("127.0.0.77")}) {
        QCOMPARE(RemoteText::isolateIn(name, notice), name);
        QCOMPARE(drawnLine(notice.arg(name)), drawnLine(notice.arg(RemoteText::isolate(name))));
        const QString header = u'[' + name + QStringLiteral("] 12.30");
        QCOMPARE(drawnLine(header), drawnLine(u'[' + RemoteText::isolate(name) + QStringLiteral("] 12.30")));
    }
    // Where the order can change, the isolate is what keeps it: an override in the name would turn
    // the rest of the line around.
    const QString override = QStringLiteral("Eve\u202Eexe");
    QVERIFY(drawnLine(u'[' + override + QStringLiteral("] 12.30")) !=
            drawnLine(u'[' + RemoteText::isolateIn(override, u"] 12.30") + QStringLiteral("] 12.30")));
}

void TestTranscriptTail::aPictureIsKeptOnceAsAPixmap()
{
    QTextEdit *transcript = allUsers();
    transcript->clear();
    append(0, 1);
    append(0, 2);
    QStringList names = pictureNames(transcript->document());
    QCOMPARE(names.size(), 2);
    QCOMPARE(names.first(), names.last());
    QTextDocument *doc = transcript->document();
    // Laid out and painted, the picture is still the pixmap it was stored as: the layout, which asks
    // for it at every line, has nothing to convert.
    transcript->viewport()->grab();
    const QVariant stored = doc->resource(QTextDocument::ImageResource, QUrl(names.first()));
    QCOMPARE(stored.userType(), QMetaType::QPixmap);
    const QImage expected = ProfileImages32().image(3);
    QCOMPARE(stored.value<QPixmap>().toImage().convertToFormat(expected.format()), expected);

    // A cleared transcript drops its pictures; the next line stores its picture again.
    transcript->clear();
    append(0, 3);
    doc = transcript->document();
    names = pictureNames(doc);
    QCOMPARE(names.size(), 1);
    const QVariant again = doc->resource(QTextDocument::ImageResource, QUrl(names.first()));
    QVERIFY(!again.isNull());
    QCOMPARE(again.value<QPixmap>().toImage().convertToFormat(expected.format()), expected);
}

QTEST_MAIN(TestTranscriptTail)
#include "test_transcript_tail.moc"
