// A full disk under the settings and the history files: a small tmpfs mounted in a mount namespace of
// this test process alone (made in main() before any thread runs; root only, every case is skipped
// otherwise). A write that does not fit must leave the stored values and the files as they were, and
// must be told once.

#include "PeerHarness.h"

#include "app/ui/MainHistory.h"
#include "protocol/SendMessageUn.h"
#include "settings/SettingsWriteReport.h"
#include "features/StoryFileUn.h"
#include "talks/TranscriptFormats.h"
#include "features/ui/StatusPanels.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"
#include "settings/iniFileUn.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr qint64 PageSize = 4096;

struct Tmpfs {
    QString root; // empty when none could be made
    QString whyNot;
};

Tmpfs &tmpfs()
{
    static Tmpfs t;
    return t;
}

// Only while the process has a single thread does the new mount namespace hold for all of it.
void makePrivateTmpfs()
{
    Tmpfs &t = tmpfs();
    if (geteuid() != 0) {
        t.whyNot = QStringLiteral("a mount namespace needs root");
        return;
    }
    char path[] = "/tmp/perix-fulldisk-XXXXXX";
    if (!mkdtemp(path)) {
        t.whyNot = QStringLiteral("no folder for the mount: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    // Private first, so that nothing mounted here shows in the host's namespace.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", path, "tmpfs", 0, "size=1m,mode=0700") != 0) {
        t.whyNot = QStringLiteral("no private tmpfs: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        rmdir(path);
        return;
    }
    t.root = QString::fromLocal8Bit(path);
}

void removeTmpfs()
{
    const QByteArray path = tmpfs().root.toLocal8Bit();
    if (path.isEmpty())
        return;
    umount2(path.constData(), MNT_DETACH);
    rmdir(path.constData());
}

// Takes every free page of the tmpfs but the ones to leave, until it goes.
class DiskFiller {
public:
    explicit DiskFiller(qint64 leavePages = 0)
        : m_path(tmpfs().root + QStringLiteral("/filler"))
    {
        QFile file(m_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        for (const qsizetype chunk : {qsizetype(64 * 1024), qsizetype(PageSize), qsizetype(1)}) {
            const QByteArray block(chunk, 'f');
            while (file.write(block) == block.size()) {
            }
        }
        file.close();
        if (leavePages > 0)
            QFile::resize(m_path, qMax<qint64>(0, QFileInfo(m_path).size() - leavePages * PageSize));
    }
    ~DiskFiller() { QFile::remove(m_path); }
    DiskFiller(const DiskFiller &) = delete;
    DiskFiller &operator=(const DiskFiller &) = delete;

private:
    QString m_path;
};

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every name in the folder, hidden ones included.
QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

// The keys and values of INI text, parsed afresh (never from the process's cache of another file).
QMap<QString, QString> parsed(const QByteArray &text)
{
    static int copies = 0;
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("parsed%1.ini").arg(++copies));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    QMap<QString, QString> values;
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key).toString());
    return values;
}

void fillStore(const SettingsStore &store)
{
    StoryFile::Options options;
    options.Days = 30;
    options.SaveAsRTF = false;
    options.SaveAsTXT = true;
    StoryFile::WriteOptions(store, options);
    writeSetting(store, Setting::StayOnTop, true);
    TSetUserData(store).SetAlias(QStringLiteral("Anna"));
    // Long enough that the file takes two pages.
    TSetUserData(store).SetInterest(QString(6000, u'i'));
}

// A history file's content of about that size, in either form.
QByteArray transcriptOf(bool rtf, int kilobytes)
{
    TranscriptMessage message;
    message.senderId = QStringLiteral("{B}");
    message.header = QStringLiteral("[Boris]");
    qsizetype size = 0;
    for (int i = 0; size < kilobytes * 1024; ++i) {
        TranscriptMessage::Piece line;
        line.item.text = QStringLiteral("Line %1 of a talk that has to be kept.").arg(i);
        size += line.item.text.size() + 1;
        message.body.append(line);
        message.body.append(TranscriptMessage::Piece{true, {}});
    }
    Transcript transcript;
    transcript.append(message);
    return rtf ? TranscriptFormats::ToRtf(transcript, {}, TranscriptLook()) : TranscriptFormats::ToPlainText(transcript);
}

} // namespace

class TestFullDisk : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void settingsKeepTheirValues();
    void nearlyFullDiskNeverCutsTheSettings_data();
    void nearlyFullDiskNeverCutsTheSettings();
    void batchFailsAsAWhole_data();
    void batchFailsAsAWhole();
    void historyLeavesNoFile_data();
    void historyLeavesNoFile();
    void historyCopyKeepsTheTarget();
    void windowProgramOnFullDisk();
    void headlessPeerSaysSoOnce();

private:
    std::unique_ptr<QTemporaryDir> m_case;
};

void TestFullDisk::initTestCase()
{
    if (tmpfs().root.isEmpty())
        QSKIP(qPrintable(tmpfs().whyNot));
}

void TestFullDisk::init()
{
    m_case = std::make_unique<QTemporaryDir>(tmpfs().root + QStringLiteral("/case-XXXXXX"));
    QVERIFY(m_case->isValid());
}

void TestFullDisk::cleanup()
{
    m_case.reset();
}

void TestFullDisk::settingsKeepTheirValues()
{
    const QString path = m_case->filePath(QStringLiteral("settings.ini"));
    const SettingsStore store(path);
    fillStore(store);
    const QByteArray before = readBytes(path);
    QVERIFY(!before.isEmpty());
    QSignalSpy failed(&SettingsWriteReport::instance(), &SettingsWriteReport::writeFailed);
    {
        const DiskFiller full;
        QVERIFY(!writeSetting(store, Setting::StorySaveAsRTF, true));
        QVERIFY(!writeSetting(store, Setting::StoryDays, 99));
        QVERIFY(!store.removeSection(QStringLiteral("StayOnTop")));
        QVERIFY(!TSetUserData(store).SetAlias(QStringLiteral("Mallory")));
        // Every later read gives what it gave before, not the value for an unreadable store.
        const StoryFile::Options options = StoryFile::ReadOptions(store);
        QCOMPARE(options.SaveAsRTF, false);
        QCOMPARE(options.SaveAsTXT, true);
        QCOMPARE(options.Days, 30);
        QCOMPARE(options.SaveHistory, true);
        QCOMPARE(readSetting(store, Setting::StayOnTop), true);
        QCOMPARE(TMyUserData(store).GetAlias(), QStringLiteral("Anna"));
        QCOMPARE(readBytes(path), before);
        // No copy, temporary or lock is left beside it.
        QCOMPARE(entries(m_case->path()), QStringList{QStringLiteral("settings.ini")});
        // Told once, for four failed writes.
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), path);
    }
    // With room again the next write goes through, and a new failure is told again.
    QVERIFY(writeSetting(store, Setting::StoryDays, 45));
    QCOMPARE(StoryFile::ReadOptions(store).Days, 45);
    QCOMPARE(parsed(readBytes(path)).value(QStringLiteral("fmStory/Days")), QStringLiteral("45"));
    {
        const DiskFiller full;
        QVERIFY(!writeSetting(store, Setting::StoryDays, 46));
        QCOMPARE(StoryFile::ReadOptions(store).Days, 45);
    }
    QCOMPARE(failed.count(), 2);
}

void TestFullDisk::nearlyFullDiskNeverCutsTheSettings_data()
{
    QTest::addColumn<int>("freePages");
    for (int pages = 0; pages <= 8; ++pages)
        QTest::addRow("%d pages free", pages) << pages;
}

void TestFullDisk::nearlyFullDiskNeverCutsTheSettings()
{
    QFETCH(int, freePages);
    const QString path = m_case->filePath(QStringLiteral("settings.ini"));
    const SettingsStore store(path);
    fillStore(store);
    const QMap<QString, QString> before = parsed(readBytes(path));
    QVERIFY(before.size() >= 7);
    QCOMPARE(before.value(QStringLiteral("fmStory/SaveAsRTF")), QStringLiteral("0"));
    QMap<QString, QString> after = before;
    after.insert(QStringLiteral("fmStory/SaveAsRTF"), QStringLiteral("1"));

    const DiskFiller nearlyFull(freePages);
    const bool written = writeSetting(store, Setting::StorySaveAsRTF, true);
    // A file of two pages, its copy, their temporaries and locks fit in eight.
    if (freePages == 8)
        QVERIFY(written);
    // The file holds all of the old content or all of the new, never an empty or cut file.
    const QMap<QString, QString> onDisk = parsed(readBytes(path));
    QCOMPARE(onDisk, written ? after : before);
    QCOMPARE(readSetting(store, Setting::StorySaveAsRTF), written);
    QCOMPARE(TMyUserData(store).GetInterest(), QString(6000, u'i'));
    QCOMPARE(entries(m_case->path()), QStringList{QStringLiteral("settings.ini")});
}

void TestFullDisk::batchFailsAsAWhole_data()
{
    QTest::addColumn<int>("freePages");
    // With a page or two the batch may get the file's lock but no room for its copy.
    for (int pages = 0; pages <= 2; ++pages)
        QTest::addRow("%d pages free", pages) << pages;
}

void TestFullDisk::batchFailsAsAWhole()
{
    QFETCH(int, freePages);
    const QString path = m_case->filePath(QStringLiteral("settings.ini"));
    const SettingsStore store(path);
    fillStore(store);
    const QByteArray before = readBytes(path);
    QSignalSpy failed(&SettingsWriteReport::instance(), &SettingsWriteReport::writeFailed);
    {
        const DiskFiller full(freePages);
        QElapsedTimer clock;
        clock.start();
        {
            const SettingsStore::Batch closing(store);
            writeSetting(store, Setting::StorySaveAsRTF, true);
            writeSetting(store, Setting::StayOnTop, false);
            writeHeightNewMessagePanel(store, 200);
        }
        // No write waits for a lock that the batch itself holds.
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(readSetting(store, Setting::StorySaveAsRTF), false);
        QCOMPARE(readSetting(store, Setting::StayOnTop), true);
        QCOMPARE(readHeightNewMessagePanel(store, 1000), 80);
        QCOMPARE(readBytes(path), before);
        QCOMPARE(entries(m_case->path()), QStringList{QStringLiteral("settings.ini")});
        QCOMPARE(failed.count(), 1);
    }
    // The same batch with room: everything in one write.
    {
        const SettingsStore::Batch closing(store);
        writeSetting(store, Setting::StorySaveAsRTF, true);
        writeSetting(store, Setting::StayOnTop, false);
        // Read inside the batch: its own writes.
        QCOMPARE(readSetting(store, Setting::StorySaveAsRTF), true);
        // Nothing reached the file yet.
        QCOMPARE(readBytes(path), before);
    }
    QCOMPARE(readSetting(store, Setting::StorySaveAsRTF), true);
    QCOMPARE(readSetting(store, Setting::StayOnTop), false);
    QCOMPARE(parsed(readBytes(path)).value(QStringLiteral("StayOnTop/Value")), QStringLiteral("0"));
    QCOMPARE(failed.count(), 1);
}

void TestFullDisk::historyLeavesNoFile_data()
{
    QTest::addColumn<bool>("rtf");
    QTest::addColumn<int>("kilobytes");
    QTest::addColumn<int>("freePages");
    // A small file stays in the write buffer until the end; a large one reaches the disk on the way.
    for (const bool rtf : {false, true}) {
        for (const auto &[kilobytes, pages] : {std::pair{2, 0}, {40, 0}, {40, 1}, {40, 3}}) {
            QTest::addRow("%s, %d KB, %d pages free", rtf ? "rtf" : "txt", kilobytes, pages)
                << rtf << kilobytes << pages;
        }
    }
}

void TestFullDisk::historyLeavesNoFile()
{
    QFETCH(bool, rtf);
    QFETCH(int, kilobytes);
    QFETCH(int, freePages);
    const QString folder = m_case->filePath(QStringLiteral("History"));
    QVERIFY(StoryFile::EnsureFolder(folder));
    const QByteArray content = transcriptOf(rtf, kilobytes);
    const QDateTime now(QDate(2024, 5, 6), QTime(14, 5, 9));
    {
        const DiskFiller nearlyFull(freePages);
        const StoryFile::WriteResult result =
            StoryFile::WriteTalk(folder, QStringLiteral("Anna and Boris"), content, rtf, now);
        QVERIFY(result.failed);
        QVERIFY(result.path.isEmpty());
        // Neither an empty nor a half file, nor a temporary.
        QCOMPARE(entries(folder), QStringList());
    }
    // With room the same write leaves the whole transcript.
    const StoryFile::WriteResult result =
        StoryFile::WriteTalk(folder, QStringLiteral("Anna and Boris"), content, rtf, now);
    QVERIFY(!result.failed);
    QCOMPARE(entries(folder), QStringList{QFileInfo(result.path).fileName()});
    QCOMPARE(readBytes(result.path), content);
}

void TestFullDisk::historyCopyKeepsTheTarget()
{
    // "Save as..." of the history window over an existing file.
    const QString source = m_case->filePath(QStringLiteral("Anna and Boris.txt"));
    const QString target = m_case->filePath(QStringLiteral("kept.txt"));
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(QByteArray(2000, 'h')), 2000);
    file.close();
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    QCOMPARE(old.write("old"), 3);
    old.close();
    {
        const DiskFiller full;
        QVERIFY(!StoryFile::CopyFile(source, target));
        QCOMPARE(readBytes(target), QByteArray("old"));
        QCOMPARE(entries(m_case->path()),
                 (QStringList{QStringLiteral("Anna and Boris.txt"), QStringLiteral("kept.txt")}));
    }
    QVERIFY(StoryFile::CopyFile(source, target));
    QCOMPARE(readBytes(target), QByteArray(2000, 'h'));
}

void TestFullDisk::windowProgramOnFullDisk()
{
    const QString dir = m_case->filePath(QStringLiteral("anna"));
    QVERIFY(QDir().mkpath(dir));
    TestPeer anna(QStringLiteral("Anna"), dir);
    StoryFile::WriteOptions(anna.store(), StoryFile::Options{});
    RawPeer raw;
    QVERIFY(raw.isReady());
    anna.start();
    WireIdentity zed;
    zed.alias = QStringLiteral("Zed");
    zed.ip = QStringLiteral("127.0.0.1");
    zed.id = QStringLiteral("{0A1B2C3D-0000-0000-0000-00000000000E}");
    raw.send(BuildMessagePacket(zed, QStringLiteral("a line worth keeping")));
    QTextEdit *transcript = anna.mainWindow()->talks()->frame(0)->reAllMessage();
    QVERIFY(waitUntil([&] { return transcript->toPlainText().contains(QStringLiteral("worth keeping")); }));
    const QString history = dir + QStringLiteral("/History");
    QCOMPARE(entries(history), QStringList());
    QSignalSpy failed(&SettingsWriteReport::instance(), &SettingsWriteReport::writeFailed);
    const StatusPanels *status = anna.mainWindow()->statusPanels();
    const QByteArray settingsBefore = readBytes(anna.settingsFile());
    {
        const DiskFiller full;
        QVERIFY(!writeSetting(anna.store(), Setting::StayOnTop, true));
        // Not shown from inside the write (which may run in a packet's handling) but from the event loop.
        QVERIFY(!status->panelText(StatusPanels::NoticePanel).contains(QStringLiteral("settings")));
        QVERIFY(waitUntil([&] {
            return status->panelText(StatusPanels::NoticePanel)
                .contains(QStringLiteral("The settings could not be saved"));
        }));
        QVERIFY(status->panelText(StatusPanels::NoticePanel).contains(anna.settingsFile()));
        QVERIFY(!writeSetting(anna.store(), Setting::StayOnTop, true));
        QCOMPARE(failed.count(), 1);

        // The history format stays plain text, and the write that does not fit leaves nothing.
        QCOMPARE(StoryFile::ReadOptions(anna.store()).SaveAsRTF, false);
        QVERIFY(anna.mainWindow()->history()->SaveTalk(0).isEmpty());
        QCOMPARE(entries(history), QStringList());
        QVERIFY(waitUntil([&] {
            return withoutIsolates(status->panelText(StatusPanels::NoticePanel))
                .contains(QStringLiteral("The history of \"All users and Anna\" could not be written"));
        }));

        // Closing on the full disk: every talk and the settings are written, and none of it fits.
        anna.close();
        QCOMPARE(entries(history), QStringList());
        QCOMPARE(readBytes(anna.settingsFile()), settingsBefore);
        QCOMPARE(entries(dir), (QStringList{QStringLiteral("History"), QStringLiteral("settings.ini")}));
    }
    QCOMPARE(failed.count(), 1);
    QCOMPARE(StoryFile::ReadOptions(anna.store()).SaveAsRTF, false);
}

void TestFullDisk::headlessPeerSaysSoOnce()
{
    // A first start: the new user ID and whatever else the headless peer stores find no room.
    const QString settings = m_case->filePath(QStringLiteral("cli.ini"));
    const DiskFiller full;
    QProcess cli;
    cli.start(QStringLiteral(PERIXCHAT_CLI_BINARY),
              {QStringLiteral("--loopback"), QStringLiteral("--settings"), settings,
               QStringLiteral("--data-dir"), m_case->path(), QStringLiteral("--timeout"), QStringLiteral("1"),
               QStringLiteral("list")});
    QVERIFY(cli.waitForFinished(15000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 0);
    const QString errors = QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(errors.count(QStringLiteral("the settings could not be saved")), 1);
    QVERIFY2(errors.contains(settings), qPrintable(errors));
    QVERIFY(!QFileInfo::exists(settings));
}

int main(int argc, char *argv[])
{
    makePrivateTmpfs();
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    TestFullDisk test;
    const int result = QTest::qExec(&test, argc, argv);
    removeTmpfs();
    return result;
}

#include "test_fulldisk.moc"
