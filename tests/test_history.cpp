#include "PeerHarness.h"

#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "app/TalkHistory.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MainHistory.h"
#include "features/SafeFileName.h"
#include "features/StoryFileUn.h"
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

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

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
