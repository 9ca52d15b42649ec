#include "PeerHarness.h"

#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "app/TalkHistory.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MainHistory.h"
#include "features/StoryFileUn.h"
#include "talks/TranscriptFormats.h"
#include "talks/ui/WindowTranscriptLook.h"
#include "features/SafeFileName.h"
#include "features/ui/MessageBox.h"
#include "features/ui/SaveDialog.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/fmStoryUn.h"
#include "protocol/ConstUnit.h"
#include "protocol/SendMessageUn.h"
#include "settings/TMyUserData.h"
#include "settings/iniFileUn.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextImageFormat>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>
#include <utime.h>

namespace {

TalkManager *talks(const TestPeer &p)
{
    return p.mainWindow()->talks();
}

QAction *action(const TestPeer &p, const char *name)
{
    return p.mainWindow()->actions()->action(QLatin1StringView(name));
}

QString transcript(const TestPeer &p, int sheet)
{
    const TfrConnectUser *talk = talks(p)->frame(sheet);
    return talk ? talk->reAllMessage()->toPlainText() : QString();
}

int openPrivateTalk(const TestPeer &at, const TestPeer &with)
{
    at.userList()->selectPeer(at.registry()->peers().findOnline(with.id()));
    action(at, "actMessageToUser")->trigger();
    return talks(at)->FindPrivateTalk(with.id());
}

void say(const TestPeer &p, int sheet, const QString &text)
{
    talks(p)->frame(sheet)->reMessage()->setPlainText(text);
    p.mainWindow()->pages()->setCurrentIndex(sheet);
    action(p, "actSendMessage")->trigger();
}

QString historyOf(const TestPeer &p)
{
    return p.dataDir() + QStringLiteral("/History");
}

QStringList filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Sets a file's access and modification times, as touch -d does.
bool dateFile(const QString &path, const QDateTime &when)
{
    struct utimbuf times;
    times.actime = when.toSecsSinceEpoch();
    times.modtime = when.toSecsSinceEpoch();
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
}

// On the indicator: a click beside a stretched box's text does not toggle it.
void clickBox(QWidget *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QImage greenImage()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(QColor(0, 200, 0));
    return image;
}

// Pictures of the RTF form: every picture is the small green one.
class GreenLook : public TranscriptLook {
public:
    TranscriptPicture picture(const TranscriptItem &item) const override
    {
        return item.kind == TranscriptItem::Kind::Picture ? WindowTranscriptLook::pictureOf(greenImage())
                                                          : TranscriptPicture();
    }
};

TranscriptMessage::Piece textPiece(const QString &text)
{
    TranscriptMessage::Piece piece;
    piece.item.text = text;
    return piece;
}

const TranscriptMessage::Piece paragraphBreak{true, {}};

// A transcript with every kind of content the history keeps: a bold header, text in a sender's
// colour, characters RTF escapes, a line break inside a paragraph and a picture.
Transcript fillTranscript(QHash<QString, qint32> *colours)
{
    colours->insert(QStringLiteral("{red}"), 0x0000FF);
    TranscriptMessage message;
    message.senderId = QStringLiteral("{red}");
    message.header = QStringLiteral("Bold part");
    TranscriptMessage::Piece picture;
    picture.item.kind = TranscriptItem::Kind::Picture;
    picture.item.number = 0;
    message.body = {textPiece(QStringLiteral("red words")), paragraphBreak,
                    textPiece(QStringLiteral("a{b}c\\d \u540D\u524D \u00FC line\nafter break")), paragraphBreak,
                    picture, textPiece(QStringLiteral(" after picture")), paragraphBreak,
                    textPiece(QStringLiteral("Middle"))};
    Transcript transcript;
    transcript.append(message);
    return transcript;
}

QString decodeEntities(QString html)
{
    static const QRegularExpression entity(QStringLiteral("&#(\\d+);"));
    QRegularExpressionMatch m;
    while ((m = entity.match(html)).hasMatch())
        html.replace(m.capturedStart(), m.capturedLength(), QChar(m.captured(1).toInt()));
    return html.replace(QStringLiteral("&uuml;"), QStringLiteral("\u00FC"))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

// Reads the RTF with Debian's unrtf and checks that a reader finds the transcript in it: the
// texts, bold, the colours and the picture as a PNG of the right size.
bool unrtfShowsTranscript(const QByteArray &rtf, QString *why)
{
    QTemporaryDir work;
    const QString file = work.filePath("history.rtf");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(rtf) != rtf.size())
        return false;
    out.close();
    QProcess unrtf;
    unrtf.setWorkingDirectory(work.path());
    unrtf.start(QStringLiteral("unrtf"), {QStringLiteral("--html"), file});
    if (!unrtf.waitForFinished(10000) || unrtf.exitCode() != 0) {
        *why = QStringLiteral("unrtf failed: ") + QString::fromUtf8(unrtf.readAllStandardError());
        return false;
    }
    const QString html = decodeEntities(QString::fromUtf8(unrtf.readAllStandardOutput()));
    const QStringList expected = {
        QStringLiteral("<b><font color=\"#000000\">Bold part</font></b>"),
        QStringLiteral("<font color=\"#ff0000\">red words</font>"),
        QStringLiteral("a{b}c\\d \u540D\u524D \u00FC"),
        QStringLiteral("after break"),
        QStringLiteral("Middle"),
        QStringLiteral("<img src=\"pict001.png\">"),
    };
    for (const QString &part : expected) {
        if (!html.contains(part)) {
            *why = QStringLiteral("missing ") + part + QStringLiteral(" in ") + html.right(1500);
            return false;
        }
    }
    if (html.indexOf(QStringLiteral("Bold part")) > html.indexOf(QStringLiteral("Middle"))) {
        *why = QStringLiteral("paragraphs out of order");
        return false;
    }
    const QImage picture(work.filePath("pict001.png"));
    if (picture.size() != QSize(4, 3) || picture.pixelColor(2, 1) != QColor(0, 200, 0)) {
        *why = QStringLiteral("picture not read back");
        return false;
    }
    return true;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void fileNamesStayInsideTheFolder_data();
    void fileNamesStayInsideTheFolder();
    void safeTalkNameRules();
    void sameSecondKeepsBothFiles();
    void writeNeedsFolderAndContent();
    void plainTextWrapsAt300();
    void rtfReadsBackWithUnrtf();
    void brokenRtfFailsTheReader();
    void writeBudget();
    void optionsDefaults();
    void purgeByAge();
    void purgeAtStartUp_data();
    void purgeAtStartUp();
    void dataLocationWithoutDataDir();
    void writtenWhenTalkClosedOrCleared();
    void writtenWhenPeerClosesTalk();
    void longTranscriptKeptInHistoryAndCleared();
    void writtenForEverySheetOnClose();
    void saveHistoryOffStillStoresHeight();
    void writtenAsRtfWhenChosen();
    void writesPerMinuteAreBounded();
    void terminationSignalWritesHistory();
    void storyListsAndSelects();
    void storyFileCommands();
    void storyKeysDrivenForReal();
    void storyRealSaveDialog();
    void storyOptions();
    void showHistoryCommandOpensWindow();

private:
    std::unique_ptr<TestPeer> anna, boris;
    void startTwo();
};

void TestHistory::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    ShellOpen::setRecording(true);
}

void TestHistory::init()
{
    ShellOpen::clearOpened();
    SaveDialog::clearAutoAnswer();
    TfmInformation::setAutoAnswer([](TfmInformation &) { return true; });
}

void TestHistory::cleanup()
{
    for (auto *p : {&boris, &anna}) {
        if (*p)
            (*p)->close();
        p->reset();
    }
    ConstUnit::resetTexts();
}

void TestHistory::startTwo()
{
    anna = std::make_unique<TestPeer>("Anna");
    boris = std::make_unique<TestPeer>("Boris");
    anna->start();
    boris->start();
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 1 && boris->onlineCount() == 1; }));
}

void TestHistory::fileNamesStayInsideTheFolder_data()
{
    QTest::addColumn<QString>("alias");
    QTest::newRow("parent folders") << QStringLiteral("../../x");
    QTest::newRow("slash") << QStringLiteral("a/b");
    QTest::newRow("backslash and colon") << QStringLiteral("c:\\temp\\y");
    QTest::newRow("device") << QStringLiteral("CON");
    QTest::newRow("japanese") << QStringLiteral("\u540D\u524D");
    QTest::newRow("300 characters") << QString(300, u'w');
    QTest::newRow("300 japanese") << QString(150, QChar(0x540D)) + QString(150, QChar(0x524D));
    QTest::newRow("right-to-left override") << QStringLiteral("\u202E");
    QTest::newRow("control and dots") << QStringLiteral("..\n\t.");
}

void TestHistory::fileNamesStayInsideTheFolder()
{
    QFETCH(QString, alias);
    QTemporaryDir root;
    const QString folder = root.filePath("deep/History");
    QVERIFY(StoryFile::EnsureFolder(folder));
    const QString path =
        StoryFile::WriteTalk(folder, StoryFile::TalkName(alias, QStringLiteral("Boris")), "kept\n", false).path;
    QVERIFY2(!path.isEmpty(), "the talk was lost");
    QVERIFY(SafeFileName::IsInside(folder, path));
    QCOMPARE(QFileInfo(path).absolutePath(), QDir(folder).absolutePath());
    QCOMPARE(filesIn(folder).size(), 1);
    // Nothing above the folder.
    QCOMPARE(filesIn(root.filePath("deep")), QStringList());
    QCOMPARE(filesIn(root.path()), QStringList());
    const QString name = QFileInfo(path).fileName();
    QVERIFY(name.toUtf8().size() <= 255);
    QVERIFY(!name.startsWith(u'.'));
    for (const QChar c : name) {
        QVERIFY2(!QStringLiteral("/\\:*?\"<>|").contains(c), qPrintable(name));
        QVERIFY(c.unicode() >= 0x20);
        QVERIFY(c.category() != QChar::Other_Format);
    }
    QVERIFY(name.contains(QStringLiteral(" and Boris ")));
    QVERIFY(name.endsWith(QStringLiteral(".txt")));
    QCOMPARE(readText(path), QStringLiteral("kept\n"));
}

void TestHistory::safeTalkNameRules()
{
    QCOMPARE(StoryFile::SafeTalkName("CON"), QStringLiteral("_CON"));
    QCOMPARE(StoryFile::SafeTalkName("a/b and c"), QStringLiteral("a_b and c"));
    QCOMPARE(StoryFile::SafeTalkName(QString(300, u'w')).size(), SafeFileName::MaxLength);
    QVERIFY(StoryFile::SafeTalkName(QString(300, QChar(0x540D))).toUtf8().size() <=
            StoryFile::MaxTalkNameBytes);
    // The isolates around a peer's name on screen are dropped, not turned into "_".
    QCOMPARE(StoryFile::SafeTalkName(QStringLiteral("\u2068Anna\u2069 and Boris")),
             QStringLiteral("Anna and Boris"));
    QCOMPARE(StoryFile::TalkName("Anna", "Boris"), QStringLiteral("Anna and Boris"));
    QCOMPARE(StoryFile::TalkName(QString(300, u'w'), "Boris"),
             QString(64, u'w') + QStringLiteral(" and Boris"));
    ConstUnit::setText(ConstUnit::Text::FileNameStoryPrefix, QStringLiteral("%s mit %s"));
    QCOMPARE(StoryFile::TalkName("Anna", "Boris"), QStringLiteral("Anna mit Boris"));
    QVERIFY(!StoryFile::DateText(QDate(2024, 3, 7)).contains(u'/'));
}

void TestHistory::sameSecondKeepsBothFiles()
{
    QTemporaryDir dir;
    const QDateTime now(QDate(2024, 3, 7), QTime(14, 5, 9));
    const QString a = StoryFile::WriteTalk(dir.path(), "Anna and Boris", "first\n", false, now).path;
    const QString b = StoryFile::WriteTalk(dir.path(), "Anna and Boris", "second\n", false, now).path;
    const QString c = StoryFile::WriteTalk(dir.path(), "Anna and Boris", "{\\rtf1}", true, now).path;
    QVERIFY(!a.isEmpty() && !b.isEmpty() && !c.isEmpty());
    const QString base = QStringLiteral("Anna and Boris ") + StoryFile::DateText(now.date()) + " 14.05.09";
    QCOMPARE(QFileInfo(a).fileName(), base + ".txt");
    QCOMPARE(QFileInfo(b).fileName(), base + " (2).txt");
    QCOMPARE(QFileInfo(c).fileName(), base + ".rtf");
    QCOMPARE(readText(a), QStringLiteral("first\n"));
    QCOMPARE(readText(b), QStringLiteral("second\n"));
    // Written through a temporary that was renamed over: nothing else is left in the folder.
    QCOMPARE(filesIn(dir.path()).size(), 3);
}

void TestHistory::writeNeedsFolderAndContent()
{
    QTemporaryDir dir;
    const StoryFile::WriteResult empty = StoryFile::WriteTalk(dir.path(), "x", QByteArray(), false);
    QVERIFY(empty.path.isEmpty());
    QVERIFY(!empty.failed);
    QVERIFY(StoryFile::WriteTalk(dir.filePath("missing"), "x", "text\n", false).path.isEmpty());
    QVERIFY(!QFileInfo::exists(dir.filePath("missing")));
    QCOMPARE(filesIn(dir.path()), QStringList());
}

void TestHistory::plainTextWrapsAt300()
{
    QHash<QString, qint32> colours;
    Transcript transcript = fillTranscript(&colours);
    TranscriptMessage more;
    more.header = QStringLiteral("[more]");
    more.body = {textPiece(QString(QStringLiteral("word ")).repeated(100)), paragraphBreak, // 500 characters
                 textPiece(QString(650, u'x'))};
    transcript.append(more);
    const QStringList lines = QString::fromUtf8(TranscriptFormats::ToPlainText(transcript, 300)).split(u'\n');
    QCOMPARE(lines.at(0), QStringLiteral("Bold part"));
    QCOMPARE(lines.at(1), QStringLiteral("red words"));
    QCOMPARE(lines.at(2), QStringLiteral("a{b}c\\d \u540D\u524D \u00FC line"));
    QCOMPARE(lines.at(3), QStringLiteral("after break"));
    // The picture has no text.
    QCOMPARE(lines.at(4), QStringLiteral(" after picture"));
    QCOMPARE(lines.at(5), QStringLiteral("Middle"));
    QCOMPARE(lines.at(6), QStringLiteral("[more]"));
    QCOMPARE(lines.at(7).size(), 299);
    QVERIFY(lines.at(7).startsWith(QStringLiteral("word word")));
    QCOMPARE(lines.at(8).trimmed().size(), 199);
    QCOMPARE(lines.at(9), QString(300, u'x'));
    QCOMPARE(lines.at(10), QString(300, u'x'));
    QCOMPARE(lines.at(11), QString(50, u'x'));
    for (const QString &line : lines)
        QVERIFY(line.size() <= 300);
    QCOMPARE(TranscriptFormats::WrapLine(QString(5, u'a'), 300), QStringList{QString(5, u'a')});
}

void TestHistory::rtfReadsBackWithUnrtf()
{
    QHash<QString, qint32> colours;
    const Transcript transcript = fillTranscript(&colours);
    const QByteArray rtf = TranscriptFormats::ToRtf(transcript, colours, GreenLook());
    QVERIFY(rtf.startsWith("{\\rtf1"));
    QVERIFY(rtf.trimmed().endsWith('}'));
    // Plain 7-bit text: everything else travels as \u escapes.
    for (const char byte : rtf)
        QVERIFY(uchar(byte) < 0x80);
    QString why;
    QVERIFY2(unrtfShowsTranscript(rtf, &why), qPrintable(why));
    // Through the file writer as well.
    QTemporaryDir dir;
    const QString path = StoryFile::WriteTalk(dir.path(), "Anna and Boris", rtf, true).path;
    QVERIFY(path.endsWith(".rtf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY2(unrtfShowsTranscript(file.readAll(), &why), qPrintable(why));
}

void TestHistory::brokenRtfFailsTheReader()
{
    QHash<QString, qint32> colours;
    const QByteArray rtf = TranscriptFormats::ToRtf(fillTranscript(&colours), colours, GreenLook());
    QString why;
    QVERIFY(!unrtfShowsTranscript(rtf.left(rtf.size() / 2), &why));
    QByteArray unescaped = rtf;
    unescaped.replace("\\{", "{");
    QVERIFY(!unrtfShowsTranscript(unescaped, &why));
    QByteArray badPicture = rtf;
    badPicture.replace("89504e47", "00000000");
    QVERIFY(!unrtfShowsTranscript(badPicture, &why));
    QByteArray noBold = rtf;
    noBold.replace("\\b\\cf", "\\cf");
    QVERIFY(!unrtfShowsTranscript(noBold, &why));
}

void TestHistory::writeBudget()
{
    StoryFile::WriteBudget budget(3);
    QVERIFY(budget.take(1000));
    QVERIFY(budget.take(2000));
    QVERIFY(budget.take(3000));
    QVERIFY(!budget.take(4000));
    QVERIFY(!budget.take(60999));
    // A minute after the first write, one more goes through.
    QVERIFY(budget.take(61000));
    QVERIFY(!budget.take(61500));
    QVERIFY(budget.take(63000));
}

void TestHistory::optionsDefaults()
{
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath("s.ini"));
    StoryFile::Options o = StoryFile::ReadOptions(store);
    QVERIFY(o.SaveHistory);
    QVERIFY(!o.PeriodStorage);
    QCOMPARE(o.Days, 10);
    QVERIFY(!o.SaveAsRTF);
    QVERIFY(o.SaveAsTXT);
    for (const int stored : {0, -3, 1000, 1500}) {
        store.writeInt("fmStory", "Days", stored);
        QCOMPARE(StoryFile::ReadOptions(store).Days, 10);
    }
    store.writeInt("fmStory", "Days", 999);
    QCOMPARE(StoryFile::ReadOptions(store).Days, 999);
    // A store that cannot be read.
    QDir(dir.path()).mkpath("folder.ini");
    o = StoryFile::ReadOptions(SettingsStore(dir.filePath("folder.ini")));
    QVERIFY(o.SaveHistory);
    QVERIFY(!o.PeriodStorage);
    QCOMPARE(o.Days, 10);
    QVERIFY(o.SaveAsRTF);
    QVERIFY(!o.SaveAsTXT);
}

void TestHistory::purgeByAge()
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime startOfToday = now.date().startOfDay();
    const auto make = [&](const QString &name, const QDateTime &when) {
        writeFile(dir.filePath(name), "x");
        QVERIFY(dateFile(dir.filePath(name), when));
    };
    make("eleven.txt", startOfToday.addDays(-11));
    make("ten point nine.txt", startOfToday.addSecs(-qint64(10.9 * 86400)));
    make("today.txt", now);
    make("any name.dat", startOfToday.addDays(-30));
    make(".hidden", startOfToday.addDays(-30));
    make("future.txt", startOfToday.addDays(12));
    QDir(dir.path()).mkdir("old folder");
    QVERIFY(dateFile(dir.filePath("old folder"), startOfToday.addDays(-40)));
    QCOMPARE(StoryFile::AgeInDays(startOfToday.addSecs(-qint64(10.9 * 86400)), now), 10);
    QCOMPARE(StoryFile::AgeInDays(startOfToday.addDays(-11), now), 11);
    // The older modification time counts even where the file system reports a later creation time.
    QCOMPARE(StoryFile::FileDate(dir.filePath("eleven.txt")).toSecsSinceEpoch(),
             startOfToday.addDays(-11).toSecsSinceEpoch());

    // A modification time in the future does not age a file created today.
    QCOMPARE(StoryFile::Purge(dir.path(), 10, now), 3);
    QCOMPARE(filesIn(dir.path()), (QStringList{"future.txt", "ten point nine.txt", "today.txt"}));
    QVERIFY(QFileInfo(dir.filePath("old folder")).isDir());
    QCOMPARE(StoryFile::Purge(dir.filePath("missing"), 10, now), 0);
}

void TestHistory::purgeAtStartUp_data()
{
    QTest::addColumn<bool>("period");
    QTest::addColumn<int>("days");
    QTest::addColumn<QStringList>("kept");
    const QStringList all{"eleven.txt", "five.txt", "ten point nine.txt"};
    QTest::newRow("off") << false << 3 << all;
    QTest::newRow("3 days") << true << 3 << QStringList{};
    QTest::newRow("0 reads as 10") << true << 0 << QStringList{"five.txt", "ten point nine.txt"};
    QTest::newRow("1500 reads as 10") << true << 1500 << QStringList{"five.txt", "ten point nine.txt"};
    QTest::newRow("999") << true << 999 << all;
}

void TestHistory::purgeAtStartUp()
{
    QFETCH(bool, period);
    QFETCH(int, days);
    QFETCH(QStringList, kept);
    anna = std::make_unique<TestPeer>("Anna");
    // The folder is made at start-up: it is missing now.
    QVERIFY(!QFileInfo::exists(historyOf(*anna)));
    anna->store().writeBool("fmStory", "PeriodStorage", period);
    anna->store().writeInt("fmStory", "Days", days);
    QDir().mkpath(historyOf(*anna));
    const QDateTime startOfToday = QDate::currentDate().startOfDay();
    const auto make = [&](const QString &name, const QDateTime &when) {
        writeFile(historyOf(*anna) + u'/' + name, "x");
        QVERIFY(dateFile(historyOf(*anna) + u'/' + name, when));
    };
    make("eleven.txt", startOfToday.addDays(-11));
    make("five.txt", startOfToday.addDays(-5));
    make("ten point nine.txt", startOfToday.addSecs(-qint64(10.9 * 86400)));
    anna->start();
    QCOMPARE(filesIn(historyOf(*anna)), kept);
    anna->close();
    QDir(historyOf(*anna)).removeRecursively();
    anna->start();
    QVERIFY(QFileInfo(historyOf(*anna)).isDir());
}

void TestHistory::dataLocationWithoutDataDir()
{
    StartOptions options;
    options.loopback = true;
    options.settingsFile = QStringLiteral("unused.ini");
    const AppContext context = AppContext::fromOptions(options);
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
#ifndef Q_OS_WIN
    QCOMPARE(context.paths.historyDir(), QDir(appData).absolutePath() + QStringLiteral("/History/"));
#endif
    QCOMPARE(context.paths.programDir, QDir(QCoreApplication::applicationDirPath()).absolutePath());

    // Lng, Sound and help: next to the program first, then in the data folder.
    QTemporaryDir program;
    QTemporaryDir data;
    AppPaths paths{data.path(), program.path()};
    QDir(data.path()).mkpath("Lng");
    QDir(data.path()).mkpath("help");
    writeFile(data.filePath("help/PerixChat.html"), "help");
    QCOMPARE(paths.lngDir(), data.path() + QStringLiteral("/Lng/"));
    QCOMPARE(paths.helpFile(), data.filePath("help/PerixChat.html"));
    QDir(program.path()).mkpath("Lng");
    QCOMPARE(paths.lngDir(), program.path() + QStringLiteral("/Lng/"));
    QCOMPARE(paths.soundDir(), data.path() + QStringLiteral("/Sound/"));
    QCOMPARE(paths.historyDir(), data.path() + QStringLiteral("/History/"));
    // With --data-dir everything lies there.
    options.dataDir = data.path();
    const AppContext given = AppContext::fromOptions(options);
    QVERIFY(given.paths.programDir.isEmpty());
    QCOMPARE(given.paths.historyDir(), QDir(data.path()).absolutePath() + QStringLiteral("/History/"));
}

void TestHistory::writtenWhenTalkClosedOrCleared()
{
    startTwo();
    const int sheet = openPrivateTalk(*anna, *boris);
    // An empty transcript writes nothing.
    talks(*anna)->frame(sheet)->closeTalkItem()->trigger();
    QCOMPARE(filesIn(historyOf(*anna)), QStringList());

    const int again = openPrivateTalk(*anna, *boris);
    say(*anna, again, "first words");
    talks(*anna)->frame(again)->closeTalkItem()->trigger();
    QStringList files = filesIn(historyOf(*anna));
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(QStringLiteral("Boris and Anna ")));
    QVERIFY(readText(historyOf(*anna) + u'/' + files.first()).contains("first words"));

    const int third = openPrivateTalk(*anna, *boris);
    say(*anna, third, "cleared words");
    talks(*anna)->frame(third)->clearMessageItem()->trigger();
    QVERIFY(transcript(*anna, third).isEmpty());
    files = filesIn(historyOf(*anna));
    QCOMPARE(files.size(), 2);
    int withCleared = 0;
    for (const QString &f : files)
        withCleared += readText(historyOf(*anna) + u'/' + f).contains("cleared words");
    QCOMPARE(withCleared, 1);
}

void TestHistory::longTranscriptKeptInHistoryAndCleared()
{
    startTwo();
    const int sheet = openPrivateTalk(*anna, *boris);
    // Two paragraphs a message: the sixth message finds the bound of ten reached.
    talks(*anna)->setTranscriptLimit(10);
    anna->program()->chat()->history()->setTranscriptLimit(10);
    for (int i = 1; i <= 6; ++i)
        say(*anna, sheet, QStringLiteral("line number %1").arg(i));
    const QStringList files = filesIn(historyOf(*anna));
    QCOMPARE(files.size(), 1);
    const QString saved = readText(historyOf(*anna) + u'/' + files.first());
    QVERIFY(saved.contains("line number 1"));
    QVERIFY(saved.contains("line number 5"));
    QVERIFY(!saved.contains("line number 6"));
    const QString shown = transcript(*anna, sheet);
    QVERIFY(shown.contains("line number 6"));
    QVERIFY(!shown.contains("line number 5"));
}

void TestHistory::writtenWhenPeerClosesTalk()
{
    startTwo();
    const int sheet = openPrivateTalk(*anna, *boris);
    say(*anna, sheet, "before the close");
    QVERIFY(waitUntil([&] { return talks(*boris)->FindPrivateTalk(anna->id()) > 0; }));
    const int borisSheet = talks(*boris)->FindPrivateTalk(anna->id());
    QVERIFY(waitUntil([&] { return transcript(*boris, borisSheet).contains("before the close"); }));
    // Boris closes; Anna's copy closes its sheet by itself and keeps the transcript.
    talks(*boris)->frame(borisSheet)->closeTalkItem()->trigger();
    QVERIFY(waitUntil([&] { return talks(*anna)->FindPrivateTalk(boris->id()) < 0; }));
    const QStringList files = filesIn(historyOf(*anna));
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(QStringLiteral("Boris and Anna ")));
    QVERIFY(readText(historyOf(*anna) + u'/' + files.first()).contains("before the close"));
    QCOMPARE(filesIn(historyOf(*boris)).size(), 1);
}

void TestHistory::writtenForEverySheetOnClose()
{
    startTwo();
    const int sheet = openPrivateTalk(*anna, *boris);
    say(*anna, sheet, "private words");
    say(*anna, 0, "words for all");
    QVERIFY(waitUntil([&] { return transcript(*anna, 0).contains("words for all"); }));
    // A third sheet that stays empty writes nothing.
    anna->mainWindow()->pages()->setCurrentIndex(0);
    talks(*anna)->CreateTalk("Quiet", 2, tkMemberGroup, -1, "Quiet", "x", "{g}", "", "{x}", "");
    QCOMPARE(talks(*anna)->count(), 3);
    // The tray's "Close" takes the same way as the close box.
    action(*anna, "actClose")->trigger();
    const QStringList files = filesIn(historyOf(*anna));
    QCOMPARE(files.size(), 2);
    QString allUsers;
    QString privateTalk;
    for (const QString &f : files) {
        if (f.startsWith(QStringLiteral("All users and Anna ")))
            allUsers = historyOf(*anna) + u'/' + f;
        if (f.startsWith(QStringLiteral("Boris and Anna ")))
            privateTalk = historyOf(*anna) + u'/' + f;
    }
    QVERIFY(readText(allUsers).contains("words for all"));
    QVERIFY(readText(privateTalk).contains("private words"));
    QVERIFY(!readText(privateTalk).contains("words for all"));
    // In sheet order: the talk with everybody was written first.
    QVERIFY(std::filesystem::last_write_time(allUsers.toStdString()) <=
            std::filesystem::last_write_time(privateTalk.toStdString()));
}

void TestHistory::saveHistoryOffStillStoresHeight()
{
    startTwo();
    anna->store().writeBool("fmStory", "SaveHistory", false);
    const int sheet = openPrivateTalk(*anna, *boris);
    say(*anna, sheet, "not kept");
    anna->store().writeInt("", "HeightNewMessagePanel", 1);
    const int height = talks(*anna)->frame(sheet)->inputPanelHeight();
    QVERIFY(anna->mainWindow()->history()->SaveTalk(sheet).isEmpty());
    QCOMPARE(anna->store().readInt("", "HeightNewMessagePanel", -1, -1), height);
    talks(*anna)->frame(sheet)->closeTalkItem()->trigger();
    QCOMPARE(filesIn(historyOf(*anna)), QStringList());
}

void TestHistory::writtenAsRtfWhenChosen()
{
    startTwo();
    anna->store().writeBool("fmStory", "SaveAsRTF", true);
    const int sheet = openPrivateTalk(*anna, *boris);
    say(*anna, sheet, "rich words");
    const QString path = anna->mainWindow()->history()->SaveTalk(sheet);
    QVERIFY(path.endsWith(".rtf"));
    QProcess unrtf;
    unrtf.start("unrtf", {"--text", path});
    QVERIFY(unrtf.waitForFinished(10000));
    const QString text = QString::fromUtf8(unrtf.readAllStandardOutput());
    QVERIFY2(text.contains("rich words"), qPrintable(text));
    // The name as it is: the bidi isolates that keep it apart on screen are not in the file.
    QVERIFY2(text.contains(QStringLiteral("[Anna]")), qPrintable(text));
    QVERIFY(readText(path).contains(QStringLiteral("[Anna]")));
    // The transcript is not cleared by a write.
    QVERIFY(transcript(*anna, sheet).contains("rich words"));
}

void TestHistory::writesPerMinuteAreBounded()
{
    startTwo();
    const int sheet = openPrivateTalk(*anna, *boris);
    say(*anna, sheet, "again and again");
    MainHistory *history = anna->mainWindow()->history();
    for (int i = 0; i < StoryFile::WriteBudget::DefaultPerMinute; ++i)
        QVERIFY(!history->SaveTalk(sheet).isEmpty());
    QCOMPARE(filesIn(historyOf(*anna)).size(), StoryFile::WriteBudget::DefaultPerMinute);
    QVERIFY(history->SaveTalk(sheet).isEmpty());
    // Closing writes whatever the budget says.
    QVERIFY(!history->SaveTalk(sheet, true).isEmpty());
    anna->close();
    QCOMPARE(filesIn(historyOf(*anna)).size(), StoryFile::WriteBudget::DefaultPerMinute + 3);
}

void TestHistory::terminationSignalWritesHistory()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath("settings.ini");
    TSetUserData(SettingsStore(settings)).SetAlias("Tess");
    RawPeer raw;
    QVERIFY(raw.isReady());
    QProcess program;
    program.setProgram(QStringLiteral(PERIXCHAT_BINARY));
    program.setArguments({"--loopback", "--settings", settings, "--data-dir", dir.path()});
    program.start();
    QVERIFY(program.waitForStarted(5000));
    // Its NEW says the copy is up and listening.
    QVERIFY(waitUntil(
        [&] {
            for (const QByteArray &p : raw.heard()) {
                if (ClassifyPacket(p) == pkNew && TDataNewMessage(p).GetAlias() == "Tess")
                    return true;
            }
            return false;
        },
        10000));
    WireIdentity zed;
    zed.alias = QStringLiteral("Zed");
    zed.ip = QStringLiteral("127.0.0.1");
    zed.id = QStringLiteral("{0A1B2C3D-0000-0000-0000-00000000000Z}");
    raw.send(BuildMessagePacket(zed, QStringLiteral("kept through SIGTERM")));
    QTest::qWait(700);
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    const QStringList files = filesIn(dir.filePath("History"));
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(QStringLiteral("All users and Tess ")));
    const QString text = readText(dir.filePath("History/") + files.first());
    // A search for the name finds it: the file holds no bidi isolates.
    QVERIFY2(text.contains("[Zed]"), qPrintable(text));
    QVERIFY(!text.contains(QChar(0x2068)) && !text.contains(QChar(0x2069)));
    QVERIFY(text.contains("kept through SIGTERM"));
}

void TestHistory::storyListsAndSelects()
{
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath("s.ini"));
    QDir().mkpath(dir.filePath("History"));
    writeFile(dir.filePath("History/only one.txt"), "1");
    {
        TfmStory story(store, dir.filePath("History"), {});
        QCOMPARE(story.windowTitle(), QStringLiteral("History of messages"));
        QCOMPARE(story.tvHitoryList()->topLevelItemCount(), 1);
        // A single file shows unselected.
        QVERIFY(story.tvHitoryList()->selectedItems().isEmpty());
        Q_EMIT story.pmStoryFile()->aboutToShow();
        for (const QAction *item : story.pmStoryFile()->actions())
            QVERIFY(!item->isEnabled());
        // The toolbar's commands stay enabled and do nothing.
        QVERIFY(story.actDeleteFile()->isEnabled());
        story.actDeleteFile()->trigger();
        QVERIFY(QFileInfo::exists(dir.filePath("History/only one.txt")));
    }
    writeFile(dir.filePath("History/second.rtf"), "2");
    QDir().mkpath(dir.filePath("History/sub folder"));
    TfmStory story(store, dir.filePath("History"), {});
    QCOMPARE(story.tvHitoryList()->topLevelItemCount(), 2);
    const QStringList listed = {story.tvHitoryList()->topLevelItem(0)->text(0),
                                story.tvHitoryList()->topLevelItem(1)->text(0)};
    QCOMPARE(listed, QDir(dir.filePath("History")).entryList(QDir::Files, QDir::Unsorted));
    QCOMPARE(story.tvHitoryList()->selectedItems(),
             QList<QTreeWidgetItem *>{story.tvHitoryList()->topLevelItem(1)});
    Q_EMIT story.pmStoryFile()->aboutToShow();
    QCOMPARE(story.pmStoryFile()->actions().size(), 4);
    for (const QAction *item : story.pmStoryFile()->actions())
        QVERIFY(item->isEnabled());
    // No folder: no files.
    TfmStory none(store, dir.filePath("missing"), {});
    QCOMPARE(none.tvHitoryList()->topLevelItemCount(), 0);
}

void TestHistory::storyFileCommands()
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const SettingsStore store(dir.filePath("s.ini"));
    const QString history = dir.filePath("History");
    QDir().mkpath(history);
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        writeFile(history + u'/' + QLatin1StringView(name), QByteArray("content of ") + name);
    TfmStory story(store, history, {});
    QTreeWidget *list = story.tvHitoryList();
    const auto select = [&](const QString &name) {
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(0) == name)
                list->setCurrentItem(list->topLevelItem(i));
        }
        return list->currentItem() && list->currentItem()->text(0) == name;
    };
    const auto listedNames = [&] {
        QStringList names;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            names.append(list->topLevelItem(i)->text(0));
        names.sort();
        return names;
    };

    QVERIFY(select("a.txt"));
    story.actOpenFile()->trigger();
    QCOMPARE(ShellOpen::opened(), QStringList{history + "/a.txt"});

    // Save as copies, over an existing file, and keeps the node.
    writeFile(elsewhere.filePath("copy.txt"), "old");
    SaveDialog::setAutoAnswer(elsewhere.filePath("copy.txt"));
    story.actSaveAs()->trigger();
    QCOMPARE(SaveDialog::lastProposedName(), QStringLiteral("a.txt"));
    QCOMPARE(readText(elsewhere.filePath("copy.txt")), QStringLiteral("content of a.txt"));
    QVERIFY(QFileInfo::exists(history + "/a.txt"));
    QCOMPARE(listedNames(), (QStringList{"a.txt", "b.txt", "c.txt"}));

    // A cancelled dialog does nothing.
    SaveDialog::setAutoAnswer(QString());
    story.actMoveFile()->trigger();
    QCOMPARE(listedNames().size(), 3);

    // Move onto an existing file fails and leaves everything as it was.
    QVERIFY(select("b.txt"));
    SaveDialog::setAutoAnswer(elsewhere.filePath("copy.txt"));
    story.actMoveFile()->trigger();
    QVERIFY(QFileInfo::exists(history + "/b.txt"));
    QCOMPARE(readText(elsewhere.filePath("copy.txt")), QStringLiteral("content of a.txt"));
    QCOMPARE(listedNames().size(), 3);

    SaveDialog::setAutoAnswer(elsewhere.filePath("moved.txt"));
    story.actMoveFile()->trigger();
    QVERIFY(!QFileInfo::exists(history + "/b.txt"));
    QCOMPARE(readText(elsewhere.filePath("moved.txt")), QStringLiteral("content of b.txt"));
    QCOMPARE(listedNames(), (QStringList{"a.txt", "c.txt"}));

    QVERIFY(select("c.txt"));
    story.actDeleteFile()->trigger();
    QVERIFY(!QFileInfo::exists(history + "/c.txt"));
    QCOMPARE(listedNames(), QStringList{"a.txt"});

    // A file that went meanwhile: open does nothing, delete keeps the node.
    QVERIFY(select("a.txt"));
    QFile::remove(history + "/a.txt");
    ShellOpen::clearOpened();
    story.actOpenFile()->trigger();
    QVERIFY(ShellOpen::opened().isEmpty());
    story.actDeleteFile()->trigger();
    QCOMPARE(listedNames(), QStringList{"a.txt"});
}

void TestHistory::storyKeysDrivenForReal()
{
    QTemporaryDir dir;
    const QString history = dir.filePath("History");
    QDir().mkpath(history);
    writeFile(history + "/one.txt", "1");
    writeFile(history + "/two.txt", "2");
    QList<int> topics;
    TfmStory story(SettingsStore(dir.filePath("s.ini")), history, [&](int topic) {
        topics.append(topic);
        return true;
    });
    bool driven = false;
    QTimer::singleShot(0, this, [&] {
        QCOMPARE(QApplication::activeModalWidget(), &story);
        QTreeWidget *list = story.tvHitoryList();
        const QString selected = list->currentItem()->text(0);
        list->setFocus();
        // Enter opens the file and the window stays.
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(ShellOpen::opened(), QStringList{history + u'/' + selected});
        QVERIFY(story.isVisible());
        QTest::keyClick(list, Qt::Key_F1);
        QCOMPARE(topics, QList<int>{7000});
        // Del in the list deletes the selected file without asking.
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(!QFileInfo::exists(history + u'/' + selected));
        QCOMPARE(list->topLevelItemCount(), 1);
        // Del in the days field edits the field.
        story.cbPeriodOfStorage()->setChecked(true);
        story.edDays()->setFocus();
        story.edDays()->selectAll();
        QTest::keyClick(story.edDays(), Qt::Key_Delete);
        QTest::keyClicks(story.edDays(), "42");
        QCOMPARE(story.udDays()->text(), QStringLiteral("42"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QVERIFY(story.btnApply()->isEnabled());
        QTest::keyClick(story.edDays(), Qt::Key_Escape);
        driven = true;
    });
    QCOMPARE(story.exec(), int(QDialog::Rejected));
    QVERIFY(driven);
    // Esc wrote nothing.
    QVERIFY(!SettingsStore(dir.filePath("s.ini")).contains("fmStory", "Days"));
}

void TestHistory::storyRealSaveDialog()
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString history = dir.filePath("History");
    QDir().mkpath(history);
    writeFile(history + "/a.txt", "A");
    writeFile(history + "/b.txt", "B");
    TfmStory story(SettingsStore(dir.filePath("s.ini")), history, {});
    const QString target = elsewhere.filePath("chosen.txt");
    const QString selected = story.tvHitoryList()->currentItem()->text(0);
    bool typed = false;
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(200, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->nameFilters(), QStringList{"All file (*.*)"});
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            QVERIFY(name);
            QCOMPARE(name->text(), selected);
            name->selectAll();
            QTest::keyClicks(name, target);
            QTest::keyClick(name, Qt::Key_Return);
            typed = true;
        });
        story.actMoveFile()->trigger();
        QTest::keyClick(story.tvHitoryList(), Qt::Key_Escape);
    });
    story.exec();
    QVERIFY(typed);
    QCOMPARE(readText(target), selected == "a.txt" ? QStringLiteral("A") : QStringLiteral("B"));
    QVERIFY(!QFileInfo::exists(history + u'/' + selected));
    QCOMPARE(story.tvHitoryList()->topLevelItemCount(), 1);
}

void TestHistory::storyOptions()
{
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath("s.ini"));
    store.writeBool("fmStory", "SaveHistory", false);
    store.writeBool("fmStory", "PeriodStorage", false);
    store.writeInt("fmStory", "Days", 20);
    store.writeBool("fmStory", "SaveAsRTF", true);
    store.writeBool("fmStory", "SaveAsTXT", false);
    {
        TfmStory story(store, dir.filePath("History"), {});
        QVERIFY(!story.cbSaveHistory()->isChecked());
        QVERIFY(!story.cbPeriodOfStorage()->isChecked());
        QCOMPARE(story.udDays()->value(), 20);
        QCOMPARE(story.udDays()->minimum(), 1);
        QCOMPARE(story.udDays()->maximum(), 365);
        QVERIFY(story.rbSaveAsRTF()->isChecked());
        QVERIFY(!story.btnApply()->isEnabled());
        // Period off: the days field is read-only in the button colour.
        QVERIFY(story.udDays()->isReadOnly());
        QCOMPARE(story.udDays()->palette().color(QPalette::Base),
                 QApplication::palette().color(QPalette::Button));
        story.show();
        QVERIFY(QTest::qWaitForWindowExposed(&story));
        clickBox(story.cbPeriodOfStorage());
        QVERIFY(!story.udDays()->isReadOnly());
        QVERIFY(story.btnApply()->isEnabled());
        story.udDays()->setValue(30);
        clickBox(story.cbSaveHistory());
        clickBox(story.rbSaveAsTXT());
        QTest::mouseClick(story.btnApply(), Qt::LeftButton);
        QVERIFY(!story.btnApply()->isEnabled());
        QVERIFY(story.isVisible());
    }
    StoryFile::Options o = StoryFile::ReadOptions(store);
    QVERIFY(o.SaveHistory);
    QVERIFY(o.PeriodStorage);
    QCOMPARE(o.Days, 30);
    QVERIFY(!o.SaveAsRTF);
    QVERIFY(o.SaveAsTXT);
    {
        TfmStory story(store, dir.filePath("History"), {});
        story.show();
        clickBox(story.cbSaveHistory());
        QTest::mouseClick(story.btnCancel(), Qt::LeftButton);
        QVERIFY(!story.isVisible());
    }
    QVERIFY(StoryFile::ReadOptions(store).SaveHistory);
    {
        TfmStory story(store, dir.filePath("History"), {});
        story.show();
        clickBox(story.cbSaveHistory());
        QTest::mouseClick(story.btnOk(), Qt::LeftButton);
        QVERIFY(!story.isVisible());
    }
    QVERIFY(!StoryFile::ReadOptions(store).SaveHistory);
}

void TestHistory::showHistoryCommandOpensWindow()
{
    anna = std::make_unique<TestPeer>("Anna");
    anna->start();
    writeFile(historyOf(*anna) + "/x.txt", "x");
    writeFile(historyOf(*anna) + "/y.txt", "y");
    int files = -1;
    QTimer::singleShot(0, this, [&] {
        auto *story = qobject_cast<TfmStory *>(QApplication::activeModalWidget());
        QVERIFY(story);
        files = story->tvHitoryList()->topLevelItemCount();
        QTest::keyClick(story->tvHitoryList(), Qt::Key_Escape);
    });
    action(*anna, "actShowHistoryMessage")->trigger();
    QCOMPARE(files, 2);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestHistory)
#include "test_history.moc"
