#include "PeerHarness.h"

#include "app/ui/MainActionList.h"
#include "features/LngUn.h"
#include "features/MoodRules.h"
#include "features/ui/ImageList.h"
#include "features/ui/MessageBox.h"
#include "talks/ui/MoodPickers.h"
#include "talks/ui/MoodPopup.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"
#include "talks/ui/fmSelectPictureGIFMoodUn.h"
#include "talks/ui/fmSelectPictureMoodUn.h"
#include "talks/ui/frConnectUserUn.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QMessageBox>
#include <QMovie>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <set>

namespace {

QString animationMarker(int number)
{
    return QStringLiteral("{[!CONTROL!]}%1{[/!CONTROL!]}").arg(number);
}

QList<int> itemNumbers(const QTextDocument *doc, RichItemKind kind)
{
    QList<int> numbers;
    for (const RichItem &item : RichItems(doc)) {
        if (item.kind == kind)
            numbers.append(item.index);
    }
    return numbers;
}

// Decodes a message string into the document the way a transcript receives it.
void decodeInto(QTextDocument *doc, const QString &message, AnimationCatalogue *catalogue,
                const RVStyle &style)
{
    DecodeContext context;
    context.cursor = QTextCursor(doc);
    context.cursor.movePosition(QTextCursor::End);
    context.style = &style;
    context.pictures = &ProfileImages32();
    context.animations = catalogue;
    DecodeMessageText(context, message);
}

// The test's mouse may rest where a cell now shows up.
void unhover(TfmSelectPictureGIFMood &gif)
{
    for (GIFPanel *panel : gif.panels())
        panel->setHighlighted(false);
}

QImage resourceImage(QTextDocument *doc, const QString &name)
{
    return doc->resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
}

bool isBlank(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
        }
    }
    return true;
}

QAction *action(const TestPeer &p, const char *name)
{
    return p.mainWindow()->actions()->action(QLatin1StringView(name));
}

TfmSelectPictureGIFMood *chooser(const TestPeer &p)
{
    return p.program()->animationChooser();
}

int privateTalk(TestPeer &p, const QString &id, const QString &alias)
{
    return p.mainWindow()->talks()->CreateTalk(alias, 11, tkPrivate, -1, QString(), QString(), QString(),
                                               QStringLiteral("00-00-00-00-00-01"), id,
                                               QStringLiteral("127.0.0.9"));
}

void receive(TestPeer &p, int sheet, const QString &body)
{
    p.mainWindow()->talks()->AppendMessage(sheet, QStringLiteral("{00000000-0000-0000-0000-00000000000A}"),
                                           QStringLiteral("127.0.0.9"), body, 0x0000ff, 3,
                                           QStringLiteral("Vera"));
}

QTextDocument *transcriptOf(TestPeer &p, int sheet)
{
    return p.mainWindow()->talks()->frame(sheet)->reAllMessage()->document();
}

} // namespace

class TestMood : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    // Tables and files.
    void pictureIndexTable();
    void animationTable();
    void trimDecision();
    void placementRule_data();
    void placementRule();
    void animationFiles_data();
    void animationFiles();

    // The picture chooser.
    void pictureGridShowsTheTable();
    void pictureIsAppendedAtTheEnd();
    void pictureChooserClosesOnKeysAndBackground();
    void popupsOpenAtTheDesktopEdges();

    // The animation chooser and the player.
    void animationGridFollowsTheLayout();
    void hoverPlaysAndHidingStopsAll();
    void sixthAnimationIsRefused();
    void editorAnimationsRunWhatever();
    void transcriptAnimationMoves();
    void limitTextComesFromTheLanguageFile();
    void unknownNumbersShowNothing_data();
    void unknownNumbersShowNothing();
    void deletedAnimationIsForgotten();
    void shortcutAloneDoesNothing();

    // Complete copies.
    void toolbarButtonsOpenTheChoosers();
    void economyRuleAcrossTalks();
    void optionsApplyToEveryTalk();
    void animationTravelsByNumber();

private:
    RVStyle m_style;
};

void TestMood::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    InitPictureResources();
}

void TestMood::init()
{
    MessageBox::clearAutoAnswer();
    MessageBox::clearShownTexts();
}

void TestMood::pictureIndexTable()
{
    const QList<int> rows[] = {{25, 26, 27, 28, 29, 30},
                               {31, 35, 36, 38, 40, 41},
                               {42, 43, 44, 45, 46, 47},
                               {48, 49, 33, 37, 39, 32}};
    std::set<int> seen;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(MoodRules::PictureIndexAt(r, c), rows[r][c]);
            seen.insert(MoodRules::PictureIndexAt(r, c));
        }
    }
    std::set<int> expected;
    for (int i = 25; i <= 49; ++i) {
        if (i != 34)
            expected.insert(i);
    }
    QCOMPARE(seen, expected);
    QCOMPARE(MoodRules::PictureIndexAt(4, 0), -1);
    QCOMPARE(MoodRules::PictureIndexAt(0, 6), -1);
    QCOMPARE(MoodRules::PictureIndexAt(-1, 0), -1);
}

void TestMood::animationTable()
{
    const QSize sizes[] = {{17, 22}, {23, 20}, {28, 28}, {21, 27}, {24, 21}, {22, 18}, {16, 16}, {33, 26},
                           {45, 30}, {19, 27}, {57, 28}, {37, 15}, {39, 18}, {26, 16}, {31, 20}, {30, 21},
                           {61, 15}, {64, 22}, {40, 20}, {50, 15}, {32, 18}, {60, 23}, {15, 15}};
    for (int n = 0; n < 23; ++n)
        QCOMPARE(MoodRules::AnimationSize(n), sizes[n]);
    QVERIFY(!MoodRules::AnimationSize(23).isValid());
    QVERIFY(!MoodRules::AnimationSize(-1).isValid());
    const QList<QList<int>> rows = MoodRules::AnimationRows();
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows[0], (QList<int>{0, 1, 2, 3, 4, 5, 6}));
    QCOMPARE(rows[1], (QList<int>{7, 8, 9, 10}));
    QCOMPARE(rows[2], (QList<int>{11, 12, 13, 14, 15}));
    QCOMPARE(rows[3], (QList<int>{16, 17, 18}));
    QCOMPARE(rows[4], (QList<int>{19, 20, 21, 22}));
    QVERIFY(MoodRules::CanInsertAnimation(4));
    QVERIFY(!MoodRules::CanInsertAnimation(5));
}

void TestMood::trimDecision()
{
    QCOMPARE(MoodRules::AnimationsToTrim({}), QList<int>());
    QCOMPARE(MoodRules::AnimationsToTrim({3, 9, 20, 40}), QList<int>());
    QCOMPARE(MoodRules::AnimationsToTrim({40, 3, 9, 20, 61, 70}), (QList<int>{3, 9}));
    QCOMPARE(MoodRules::AnimationsToTrim({1, 2, 3}, 0), (QList<int>{1, 2, 3}));
}

void TestMood::placementRule_data()
{
    QTest::addColumn<QPoint>("corner");
    QTest::addColumn<QSize>("popup");
    QTest::addColumn<QPoint>("expected");
    const QSize size(200, 150);
    QTest::newRow("inside") << QPoint(100, 100) << size << QPoint(100, 100);
    QTest::newRow("exactly fits") << QPoint(1080, 650) << size << QPoint(1080, 650);
    QTest::newRow("past the bottom") << QPoint(100, 700) << size << QPoint(100, 550);
    QTest::newRow("past the right") << QPoint(1100, 100) << size << QPoint(900, 100);
    QTest::newRow("past both") << QPoint(1200, 790) << size << QPoint(1000, 640);
}

void TestMood::placementRule()
{
    QFETCH(QPoint, corner);
    QFETCH(QSize, popup);
    QFETCH(QPoint, expected);
    QCOMPARE(MoodRules::PlacePopup(corner, popup, QRect(0, 0, 1280, 800)), expected);
}

void TestMood::animationFiles_data()
{
    QTest::addColumn<int>("number");
    for (int n = 0; n < MoodRules::AnimationCount; ++n)
        QTest::newRow(qPrintable(QString::number(n))) << n;
}

void TestMood::animationFiles()
{
    QFETCH(int, number);
    const QString file = AnimationLibrary::fileName(QStringLiteral(":/animations"), number);
    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    QVERIFY(bytes.startsWith("GIF89a"));
    QVERIFY2(bytes.size() < 6 * 1024, qPrintable(QString::number(bytes.size())));
    QVERIFY(bytes.contains("NETSCAPE2.0"));

    QMovie movie(file, "gif");
    QVERIFY(movie.isValid());
    QVERIFY(movie.frameCount() > 1);
    QCOMPARE(movie.loopCount(), -1);
    QVERIFY(movie.jumpToFrame(0));
    const QImage first = movie.currentImage();
    QCOMPARE(first.size(), MoodRules::AnimationSize(number));
    QVERIFY(first.hasAlphaChannel());
    int transparent = 0;
    for (int y = 0; y < first.height(); ++y) {
        for (int x = 0; x < first.width(); ++x)
            transparent += qAlpha(first.pixel(x, y)) == 0;
    }
    QVERIFY(transparent > 0);
    QVERIFY(transparent < first.width() * first.height());
    bool moves = false;
    for (int f = 1; f < movie.frameCount() && !moves; ++f) {
        QVERIFY(movie.jumpToNextFrame());
        moves = movie.currentImage() != first;
    }
    QVERIFY(moves);
}

void TestMood::pictureGridShowsTheTable()
{
    TfmSelectPictureMood popup(nullptr, nullptr);
    const QList<ImageSquare *> cells = popup.cells();
    QCOMPARE(cells.size(), 24);
    auto *grid = qobject_cast<QGridLayout *>(popup.layout());
    QVERIFY(grid);
    for (int i = 0; i < cells.size(); ++i) {
        QCOMPARE(cells[i]->objectName(), QStringLiteral("JvImageSquare%1").arg(i + 1));
        int row = -1, column = -1, rs = 0, cs = 0;
        grid->getItemPosition(grid->indexOf(cells[i]), &row, &column, &rs, &cs);
        QCOMPARE(row, i / 6);
        QCOMPARE(column, i % 6);
        QCOMPARE(cells[i]->pictureIndex(), MoodRules::PictureIndexAt(row, column));
    }
    popup.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    ImageSquare *cell = cells[7];
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(cell, &enter);
    QVERIFY(cell->isHighlighted());
    const QImage lit = cell->grab().toImage();
    QCOMPARE(lit.pixelColor(1, 1).rgb(), QColor(182, 189, 210).rgb());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(cell, &leave);
    QVERIFY(!cell->isHighlighted());
    QVERIFY(cell->grab().toImage().pixelColor(1, 1) != QColor(182, 189, 210));
}

void TestMood::pictureIsAppendedAtTheEnd()
{
    QTextEdit editor;
    editor.resize(400, 100);
    editor.show();
    editor.setPlainText(QStringLiteral("Hello world\nsecond line"));
    QTextCursor caret(editor.document());
    caret.setPosition(3);
    editor.setTextCursor(caret);
    QAction opener(QStringLiteral("Insert image"));
    opener.setCheckable(true);
    QPointer<TfmSelectPictureMood> popup = new TfmSelectPictureMood(&opener, &editor);
    QVERIFY(opener.isChecked());
    popup->show();
    QVERIFY(QTest::qWaitForWindowExposed(popup));
    QTest::mouseClick(popup->cells()[8], Qt::LeftButton); // row 2, third cell: picture 36
    QTRY_VERIFY(popup.isNull());
    QVERIFY(!opener.isChecked());
    const QList<RichItem> items = RichItems(editor.document());
    QCOMPARE(items.last().kind, RichItemKind::Bullet);
    QCOMPARE(items.last().index, 36);
    QCOMPARE(items.last().block, 1); // the last paragraph, not a new one
    QCOMPARE(editor.toPlainText().left(11), QStringLiteral("Hello world"));
    QCOMPARE(EncodeMessageText(editor.document(), QString(), QString()),
             QStringLiteral("Hello world\n\rsecond line{[!BULLET!]}36{[/!BULLET!]}"));
    QCOMPARE(editor.textCursor().position(), 3);
    // Pictures do not count against the animation limit.
    QCOMPARE(CountAnimations(editor.document()), 0);
}

void TestMood::pictureChooserClosesOnKeysAndBackground()
{
    QTextEdit editor;
    QAction opener;
    opener.setCheckable(true);
    for (const int key : {int(Qt::Key_Escape), int(Qt::Key_Return), int(Qt::Key_Enter), 0}) {
        QPointer<TfmSelectPictureMood> popup = new TfmSelectPictureMood(&opener, &editor);
        popup->show();
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        QVERIFY(opener.isChecked());
        if (key)
            QTest::keyClick(popup, Qt::Key(key));
        else // the margin around the cells
            QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(1, 1));
        QTRY_VERIFY(popup.isNull());
        QVERIFY(!opener.isChecked());
    }
    QVERIFY(editor.document()->isEmpty());
}

void TestMood::popupsOpenAtTheDesktopEdges()
{
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    QWidget window;
    auto *toolbar = new QToolBar(&window);
    toolbar->setGeometry(10, 40, 200, 30);
    window.resize(260, 120);
    QWidget popup(nullptr, Qt::Popup);
    popup.setFixedSize(220, 160);

    window.move(desktop.topLeft() + QPoint(50, 50));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    MoodPopup::PlaceNextTo(&popup, toolbar, MoodRules::PictureOffset);
    QCOMPARE(popup.pos(), toolbar->mapToGlobal(QPoint(10 + 64, 40 + 32)));
    MoodPopup::PlaceNextTo(&popup, toolbar, MoodRules::AnimationOffset);
    QCOMPARE(popup.pos(), toolbar->mapToGlobal(QPoint(10 + 96, 40 + 32)));

    // Near the bottom right corner the popup goes up and to the left by its own size.
    window.move(desktop.right() - 240, desktop.bottom() - 110);
    QTRY_COMPARE(window.pos(), QPoint(desktop.right() - 240, desktop.bottom() - 110));
    const QPoint corner = toolbar->mapToGlobal(QPoint(10 + 64, 40 + 32));
    QVERIFY(corner.x() + 220 > desktop.right() + 1 && corner.y() + 160 > desktop.bottom() + 1);
    MoodPopup::PlaceNextTo(&popup, toolbar, MoodRules::PictureOffset);
    QCOMPARE(popup.pos(), corner - QPoint(220, 160));

    MoodPopup::PlaceNextTo(&popup, nullptr, MoodRules::PictureOffset);
    QCOMPARE(popup.pos(), corner - QPoint(220, 160));
}

void TestMood::animationGridFollowsTheLayout()
{
    TfmSelectPictureGIFMood gif;
    const QList<GIFPanel *> panels = gif.panels();
    QCOMPARE(panels.size(), 23);
    gif.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gif));
    const QList<QList<int>> rows = MoodRules::AnimationRows();
    int previousRowTop = -1;
    for (const QList<int> &row : rows) {
        const int top = panels[row.first()]->geometry().top();
        QVERIFY(top > previousRowTop);
        int previousLeft = -1;
        for (int n : row) {
            GIFPanel *panel = panels[n];
            QCOMPARE(panel->objectName(), QStringLiteral("JvPanel%1").arg(n + 1));
            QCOMPARE(panel->animator()->objectName(), QStringLiteral("JvGIFAnimator%1").arg(n + 1));
            QCOMPARE(panel->animator()->tag(), n);
            QCOMPARE(panel->animator()->size(), MoodRules::AnimationSize(n));
            QCOMPARE(panel->geometry().top(), top);
            QVERIFY(panel->geometry().left() > previousLeft);
            previousLeft = panel->geometry().left();
            QVERIFY(gif.hasAnimation(n));
            QCOMPARE(gif.animationFrame(n).size(), MoodRules::AnimationSize(n));
        }
        previousRowTop = top;
    }
    QVERIFY(!gif.hasAnimation(23));
    QVERIFY(!gif.hasAnimation(-1));
    QVERIFY(gif.animationFrame(40).isNull());
    unhover(gif);
    QCOMPARE(gif.runningCount(), 0);
    gif.hide();
}

void TestMood::hoverPlaysAndHidingStopsAll()
{
    TfmSelectPictureGIFMood gif;
    QTextEdit editor;
    QAction opener;
    opener.setCheckable(true);
    gif.Popup(&opener, &editor);
    QVERIFY(QTest::qWaitForWindowExposed(&gif));
    QVERIFY(opener.isChecked());
    QCOMPARE(gif.targetEditor(), &editor);
    unhover(gif);
    QCOMPARE(gif.runningCount(), 0);
    GIFPanel *panel = gif.panels()[10];
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(panel, &enter);
    QVERIFY(panel->animator()->isRunning());
    QCOMPARE(panel->palette().color(QPalette::Button), QColor(182, 189, 210));
    QCOMPARE(gif.runningCount(), 1);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(panel, &leave);
    QVERIFY(!panel->animator()->isRunning());
    QVERIFY(panel->palette().color(QPalette::Button) != QColor(182, 189, 210));

    QCoreApplication::sendEvent(gif.panels()[3], &enter);
    QCOMPARE(gif.runningCount(), 1);
    QTest::keyClick(&gif, Qt::Key_Escape);
    QTRY_VERIFY(!gif.isVisible());
    QCOMPARE(gif.runningCount(), 0);
    QVERIFY(!opener.isChecked());
    QVERIFY(!gif.targetEditor());
    QVERIFY(!gif.openingAction());
    QVERIFY(!gif.panels()[3]->isHighlighted());
    QVERIFY(editor.document()->isEmpty());
}

void TestMood::sixthAnimationIsRefused()
{
    TfmSelectPictureGIFMood gif;
    QWidget window;
    auto *editor = new QTextEdit(&window);
    window.show();
    QAction opener;
    opener.setCheckable(true);
    AppendPictureToEditor(editor, 30);
    for (int n : {2, 7, 22, 0, 17}) {
        gif.Popup(&opener, editor);
        QVERIFY(QTest::qWaitForWindowExposed(&gif));
        QTest::mouseClick(gif.panels()[n], Qt::LeftButton);
        QTRY_VERIFY(!gif.isVisible());
        QVERIFY(!opener.isChecked());
        AppendPictureToEditor(editor, 31);
    }
    QCOMPARE(CountAnimations(editor->document()), 5);
    QCOMPARE(itemNumbers(editor->document(), RichItemKind::Bullet).size(), 6);
    QVERIFY(MessageBox::shownTexts().isEmpty());

    // The sixth: the real information box, answered from the keyboard.
    QString boxText;
    bool boxSeen = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget(), 3000);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        boxSeen = true;
        boxText = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    gif.Popup(&opener, editor);
    QVERIFY(QTest::qWaitForWindowExposed(&gif));
    QTest::mouseClick(gif.panels()[5], Qt::LeftButton);
    QVERIFY(boxSeen);
    QCOMPARE(boxText,
             QStringLiteral("In consequence of economy of resources it is not authorized to add more "
                            "than 5 animations in the text of the message."));
    QVERIFY(!gif.isVisible());
    QVERIFY(!opener.isChecked());
    QCOMPARE(CountAnimations(editor->document()), 5);
    QCOMPARE(itemNumbers(editor->document(), RichItemKind::Animation), (QList<int>{2, 7, 22, 0, 17}));
    // Without the breaks that the editor's width puts between items.
    QCOMPARE(EncodeMessageText(editor->document(), QString(), QString()).remove(QStringLiteral("\n\r")),
             QStringLiteral("{[!BULLET!]}30{[/!BULLET!]}") + animationMarker(2) +
                 QStringLiteral("{[!BULLET!]}31{[/!BULLET!]}") + animationMarker(7) +
                 QStringLiteral("{[!BULLET!]}31{[/!BULLET!]}") + animationMarker(22) +
                 QStringLiteral("{[!BULLET!]}31{[/!BULLET!]}") + animationMarker(0) +
                 QStringLiteral("{[!BULLET!]}31{[/!BULLET!]}") + animationMarker(17) +
                 QStringLiteral("{[!BULLET!]}31{[/!BULLET!]}"));
}

void TestMood::editorAnimationsRunWhatever()
{
    TfmSelectPictureGIFMood gif;
    AnimationPlayer *player = gif.player();
    player->setTranscriptsStopped(true);
    player->setTranscriptsHidden(true);
    QTextEdit editor;
    QTextEdit transcript;
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    QAction opener;
    gif.Popup(&opener, &editor);
    QVERIFY(gif.ChooseAnimation(4));
    decodeInto(transcript.document(), animationMarker(4), &gif, m_style);
    const QList<AnimationPlayer::Info> inEditor = player->animations(editor.document());
    const QList<AnimationPlayer::Info> inTranscript = player->animations(transcript.document());
    QCOMPARE(inEditor.size(), 1);
    QCOMPARE(inTranscript.size(), 1);
    QVERIFY(inEditor[0].running);
    QVERIFY(!inEditor[0].hidden);
    QVERIFY(!inTranscript[0].running);
    QVERIFY(inTranscript[0].hidden);
    QVERIFY(isBlank(resourceImage(transcript.document(), inTranscript[0].resource)));
    QTRY_VERIFY(player->animations(editor.document())[0].frame != 0);
    QCOMPARE(player->animations(transcript.document())[0].frame, 0);
    QCOMPARE(player->runningCount(), 1);
}

void TestMood::transcriptAnimationMoves()
{
    TfmSelectPictureGIFMood gif;
    QTextEdit transcript;
    transcript.setReadOnly(true);
    transcript.resize(300, 200);
    transcript.show();
    QVERIFY(QTest::qWaitForWindowExposed(&transcript));
    decodeInto(transcript.document(), QStringLiteral("look ") + animationMarker(16) + QStringLiteral(" here"),
               &gif, m_style);
    const QList<AnimationPlayer::Info> shown = gif.player()->animations(transcript.document());
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].number, 16);
    QVERIFY(shown[0].running);
    QCOMPARE(transcript.toPlainText().remove(QChar::ObjectReplacementCharacter),
             QStringLiteral("look  here"));

    QSignalSpy frames(gif.player(), &AnimationPlayer::frameShown);
    QSignalSpy repaints(transcript.document()->documentLayout(), &QAbstractTextDocumentLayout::update);
    QTest::qWait(30);
    const QImage before = transcript.viewport()->grab().toImage();
    QTRY_VERIFY(frames.size() >= 2);
    const QImage after = transcript.viewport()->grab().toImage();
    QVERIFY(before != after);
    // Only the animation's own small rectangle is repainted, never the whole view.
    QVERIFY(!repaints.isEmpty());
    for (const QList<QVariant> &call : std::as_const(repaints)) {
        const QRectF rect = call.at(0).toRectF();
        QVERIFY(rect.isValid());
        QVERIFY2(rect.width() <= 61 + 4 && rect.height() <= 40,
                 qPrintable(QStringLiteral("%1x%2").arg(rect.width()).arg(rect.height())));
    }
    const QImage frame = resourceImage(transcript.document(), shown[0].resource);
    QCOMPARE(frame.size(), QSize(61, 15));

    // Behind another page nobody sees it: its frames are not drawn until it shows again.
    transcript.hide();
    const quint64 drawn = gif.player()->framesShown();
    QTest::qWait(250);
    QCOMPARE(gif.player()->framesShown(), drawn);
    transcript.show();
    QTRY_VERIFY(gif.player()->framesShown() > drawn);
}

void TestMood::limitTextComesFromTheLanguageFile()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("Deutsch.lng")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[NotInsertManyAnimationText]\nCaption=Nicht mehr als %s Animationen.\n");
    file.close();
    Lng::SetCurrentFile(file.fileName());
    const QString translated = NotInsertManyAnimationText();
    Lng::SetCurrentFile(QString());
    QCOMPARE(translated, QStringLiteral("Nicht mehr als 5 Animationen."));
    QCOMPARE(NotInsertManyAnimationText(), QStringLiteral("In consequence of economy of resources it is not "
                                                          "authorized to add more than 5 animations in the "
                                                          "text of the message."));
}

void TestMood::unknownNumbersShowNothing_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("text");
    QTest::newRow("one past the last") << QStringLiteral("a{[!CONTROL!]}23{[/!CONTROL!]}b") << "ab";
    QTest::newRow("negative") << QStringLiteral("a{[!CONTROL!]}-1{[/!CONTROL!]}b") << "ab";
    QTest::newRow("not a number") << QStringLiteral("a{[!CONTROL!]}x7{[/!CONTROL!]}b") << "ab";
    QTest::newRow("too large") << QStringLiteral("a{[!CONTROL!]}99999999999{[/!CONTROL!]}b") << "ab";
    QTest::newRow("empty") << QStringLiteral("a{[!CONTROL!]}{[/!CONTROL!]}b") << "ab";
    QTest::newRow("unclosed") << QStringLiteral("a{[!CONTROL!]}5") << "a";
}

void TestMood::unknownNumbersShowNothing()
{
    QFETCH(QString, message);
    QFETCH(QString, text);
    TfmSelectPictureGIFMood gif;
    QTextDocument doc;
    decodeInto(&doc, message, &gif, m_style);
    QCOMPARE(doc.toPlainText(), text);
    QCOMPARE(CountAnimations(&doc), 0);
    QCOMPARE(gif.player()->count(), 0);
}

void TestMood::deletedAnimationIsForgotten()
{
    TfmSelectPictureGIFMood gif;
    QTextEdit editor;
    decodeInto(editor.document(), QStringLiteral("x") + animationMarker(6) + QStringLiteral("y"), &gif,
               m_style);
    QCOMPARE(gif.player()->count(), 1);
    QTextCursor cursor(editor.document());
    cursor.setPosition(0);
    cursor.insertText(QStringLiteral("typed before "));
    QCOMPARE(gif.player()->animations(editor.document())[0].position, 14);
    cursor.setPosition(14);
    cursor.setPosition(15, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    QCOMPARE(gif.player()->count(), 0);
    decodeInto(editor.document(), animationMarker(6), &gif, m_style);
    QCOMPARE(gif.player()->count(), 1);
    const QString resource = gif.player()->animations(editor.document())[0].resource;
    editor.clear();
    QCOMPARE(gif.player()->count(), 0);
    const quint64 frames = gif.player()->framesShown();
    QTest::qWait(300); // ticks after the clear touch nothing
    QVERIFY(editor.document()->isEmpty());
    QCOMPARE(gif.player()->framesShown(), frames);
    QVERIFY(editor.document()->resource(QTextDocument::ImageResource, QUrl(resource)).isNull());
}

void TestMood::shortcutAloneDoesNothing()
{
    TfmSelectPictureGIFMood gif;
    QTabWidget pages;
    auto *talk = new TfrConnectUser(&m_style, TalkData());
    pages.addTab(talk, QStringLiteral("All users"));
    QAction image(QStringLiteral("Insert image"));
    QAction animation(QStringLiteral("Insert animation"));
    for (QAction *a : {&image, &animation}) {
        a->setCheckable(true);
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    }
    talk->setSendCommands({&image, &animation});
    MoodPickers pickers(&pages, {&image, &animation, nullptr, nullptr}, &gif);
    pages.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pages));

    QShortcutEvent shortcut(QKeySequence(Qt::CTRL | Qt::Key_J), 0);
    QCoreApplication::sendEvent(&animation, &shortcut);
    QCoreApplication::sendEvent(&image, &shortcut);
    QVERIFY(!gif.isVisible());
    QVERIFY(!pickers.pictureMood());
    QVERIFY(!animation.isChecked());

    auto *button = qobject_cast<QToolButton *>(talk->tbSendMessage()->widgetForAction(&animation));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY(gif.isVisible());
    QVERIFY(animation.isChecked());
    QCOMPARE(gif.targetEditor(), talk->reMessage());
    gif.hide();
    QVERIFY(!animation.isChecked());

    QTest::mouseClick(qobject_cast<QToolButton *>(talk->tbSendMessage()->widgetForAction(&image)),
                      Qt::LeftButton);
    QTRY_VERIFY(pickers.pictureMood());
    QVERIFY(image.isChecked());
    QCOMPARE(pickers.pictureMood()->targetEditor(), talk->reMessage());
    pickers.pictureMood()->close();
    QTRY_VERIFY(!pickers.pictureMood());
    QVERIFY(!image.isChecked());
}

void TestMood::toolbarButtonsOpenTheChoosers()
{
    TestPeer anna(QStringLiteral("Anna"));
    anna.start();
    QVERIFY(QTest::qWaitForWindowExposed(anna.mainWindow()));
    TfrConnectUser *talk = anna.mainWindow()->talks()->frame(0);
    QToolBar *toolbar = talk->tbSendMessage();
    auto *button = qobject_cast<QToolButton *>(toolbar->widgetForAction(action(anna, "actSelectGifMood")));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    TfmSelectPictureGIFMood *gif = chooser(anna);
    QTRY_VERIFY(gif->isVisible());
    QVERIFY(action(anna, "actSelectGifMood")->isChecked());
    QCOMPARE(gif->targetEditor(), talk->reMessage());
    const QPoint corner = toolbar->mapToGlobal(toolbar->pos() + QPoint(96, 32));
    QCOMPARE(gif->pos(), MoodRules::PlacePopup(corner, gif->size(), toolbar->screen()->geometry()));
    QTest::mouseClick(gif->panels()[9], Qt::LeftButton);
    QTRY_VERIFY(!gif->isVisible());
    QVERIFY(!action(anna, "actSelectGifMood")->isChecked());
    QCOMPARE(itemNumbers(talk->reMessage()->document(), RichItemKind::Animation), QList<int>{9});
    anna.close();
}

void TestMood::economyRuleAcrossTalks()
{
    TestPeer anna(QStringLiteral("Anna"));
    anna.start();
    const int first = privateTalk(anna, QStringLiteral("{00000000-0000-0000-0000-00000000000A}"), "Vera");
    const int second = privateTalk(anna, QStringLiteral("{00000000-0000-0000-0000-00000000000B}"), "Walt");
    QVERIFY(first > 0 && second > first);
    receive(anna, 0, animationMarker(1) + animationMarker(2));
    receive(anna, first,
            QStringLiteral("one") + animationMarker(3) + animationMarker(4) + animationMarker(5));
    // Before each of these three the older ones go: four stay, the new one makes five.
    receive(anna, first,
            QStringLiteral("two") + animationMarker(6) + animationMarker(7) + animationMarker(8));
    QCOMPARE(itemNumbers(transcriptOf(anna, first), RichItemKind::Animation), (QList<int>{4, 5, 6, 7, 8}));
    QCOMPARE(itemNumbers(transcriptOf(anna, 0), RichItemKind::Animation), (QList<int>{1, 2}));
    // A picture is no animation and stays.
    receive(anna, first, QStringLiteral("{[!BULLET!]}27{[/!BULLET!]}"));
    // One animation in another talk trims this one to its four newest first.
    receive(anna, second, QStringLiteral("three") + animationMarker(9));
    QCOMPARE(itemNumbers(transcriptOf(anna, first), RichItemKind::Animation), (QList<int>{5, 6, 7, 8}));
    QCOMPARE(itemNumbers(transcriptOf(anna, second), RichItemKind::Animation), QList<int>{9});
    QCOMPARE(itemNumbers(transcriptOf(anna, 0), RichItemKind::Animation), (QList<int>{1, 2}));
    QVERIFY(itemNumbers(transcriptOf(anna, first), RichItemKind::Bullet).contains(27));
    const QString text = transcriptOf(anna, first)->toPlainText();
    QVERIFY(text.contains(QStringLiteral("one")) && text.contains(QStringLiteral("two")));
    QCOMPARE(chooser(anna)->player()->count(), 4 + 1 + 2);
    // Input editors are never trimmed.
    TfrConnectUser *talk = anna.mainWindow()->talks()->frame(first);
    chooser(anna)->Popup(action(anna, "actSelectGifMood"), talk->reMessage());
    QVERIFY(chooser(anna)->ChooseAnimation(10));
    receive(anna, second, animationMarker(11));
    QCOMPARE(itemNumbers(talk->reMessage()->document(), RichItemKind::Animation), QList<int>{10});
    anna.close();
}

void TestMood::optionsApplyToEveryTalk()
{
    TestPeer anna(QStringLiteral("Anna"));
    anna.start();
    const int first = privateTalk(anna, QStringLiteral("{00000000-0000-0000-0000-00000000000A}"), "Vera");
    const int second = privateTalk(anna, QStringLiteral("{00000000-0000-0000-0000-00000000000B}"), "Walt");
    for (int sheet : {0, first, second})
        receive(anna, sheet, animationMarker(sheet % 23) + animationMarker(20));
    TfrConnectUser *talk = anna.mainWindow()->talks()->frame(second);
    chooser(anna)->Popup(action(anna, "actSelectGifMood"), talk->reMessage());
    QVERIFY(chooser(anna)->ChooseAnimation(12));
    AnimationPlayer *player = chooser(anna)->player();
    const auto all = [&](auto predicate) {
        for (int sheet : {0, first, second}) {
            const QList<AnimationPlayer::Info> shown = player->animations(transcriptOf(anna, sheet));
            if (shown.size() < 2)
                return false;
            for (const AnimationPlayer::Info &info : shown) {
                if (!predicate(info, transcriptOf(anna, sheet)))
                    return false;
            }
        }
        return true;
    };
    const auto editorRuns = [&] {
        const QList<AnimationPlayer::Info> shown = player->animations(talk->reMessage()->document());
        return shown.size() == 1 && shown[0].running && !shown[0].hidden;
    };
    QVERIFY(all([](const AnimationPlayer::Info &i, QTextDocument *) { return i.running && !i.hidden; }));

    action(anna, "actStopAnimation")->trigger();
    QVERIFY(action(anna, "actStopAnimation")->isChecked());
    QVERIFY(player->transcriptsStopped());
    QVERIFY(all([](const AnimationPlayer::Info &i, QTextDocument *) { return !i.running && !i.hidden; }));
    QVERIFY(editorRuns());
    // A new animation arrives standing still.
    receive(anna, 0, animationMarker(3));
    QVERIFY(!player->animations(transcriptOf(anna, 0)).last().running);
    action(anna, "actStopAnimation")->trigger();
    QVERIFY(all([](const AnimationPlayer::Info &i, QTextDocument *) { return i.running; }));

    action(anna, "actShowAnimation")->trigger();
    QVERIFY(player->transcriptsHidden());
    QVERIFY(all([](const AnimationPlayer::Info &i, QTextDocument *doc) {
        return i.hidden && isBlank(resourceImage(doc, i.resource));
    }));
    QVERIFY(editorRuns());
    receive(anna, first, animationMarker(19));
    const AnimationPlayer::Info arrived = player->animations(transcriptOf(anna, first)).last();
    QCOMPARE(arrived.number, 19);
    QVERIFY(arrived.hidden);
    QVERIFY(isBlank(resourceImage(transcriptOf(anna, first), arrived.resource)));
    action(anna, "actShowAnimation")->trigger();
    QVERIFY(all([](const AnimationPlayer::Info &i, QTextDocument *doc) {
        return !i.hidden && !isBlank(resourceImage(doc, i.resource));
    }));
    anna.close();
    // Both states are kept for the next start.
    QVERIFY(!anna.store().readBool(QStringLiteral("StopGifAnimation"), QStringLiteral("value"), true, true));
    QVERIFY(!anna.store().readBool(QStringLiteral("ShowGifAnimation"), QStringLiteral("value"), true, true));
}

void TestMood::animationTravelsByNumber()
{
    TestPeer anna(QStringLiteral("Anna"));
    TestPeer boris(QStringLiteral("Boris"));
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1 && boris.onlineCount() == 1; }));
    TfrConnectUser *talk = anna.mainWindow()->talks()->frame(0);
    anna.mainWindow()->pages()->setCurrentIndex(0);
    talk->reMessage()->setPlainText(QStringLiteral("cake for you "));
    action(anna, "actSelectGifMood")->trigger();
    QTRY_VERIFY(chooser(anna)->isVisible());
    QTest::mouseClick(chooser(anna)->panels()[7], Qt::LeftButton);
    QTRY_VERIFY(!chooser(anna)->isVisible());
    AppendPictureToEditor(talk->reMessage(), 45);
    action(anna, "actSendMessage")->trigger();
    QTextDocument *received = transcriptOf(boris, 0);
    QVERIFY(waitUntil([&] { return !itemNumbers(received, RichItemKind::Animation).isEmpty(); }));
    QCOMPARE(itemNumbers(received, RichItemKind::Animation), QList<int>{7});
    QVERIFY(itemNumbers(received, RichItemKind::Bullet).contains(45));
    QVERIFY(received->toPlainText().contains(QStringLiteral("cake for you")));
    const QList<AnimationPlayer::Info> playing = chooser(boris)->player()->animations(received);
    QCOMPARE(playing.size(), 1);
    QCOMPARE(playing[0].number, 7);
    QVERIFY(playing[0].running);
    // The sender's own copy comes back through the broadcast, the editor is empty again.
    QVERIFY(waitUntil(
        [&] { return itemNumbers(transcriptOf(anna, 0), RichItemKind::Animation) == QList<int>{7}; }));
    QCOMPARE(CountAnimations(talk->reMessage()->document()), 0);
    boris.close();
    anna.close();
}

QTEST_MAIN(TestMood)
#include "test_mood.moc"
