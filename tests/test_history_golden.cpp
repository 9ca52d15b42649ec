#include "HistoryScenarios.h"
#include "PeerHarness.h"

#include "app/ui/MainActionList.h"
#include "app/ui/MainHistory.h"
#include "features/ui/MessageBox.h"
#include "protocol/SendMessageUn.h"
#include "settings/TMyUserData.h"
#include "talks/MinuteClock.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// The exact bytes of the history files the window program writes, in both forms, for transcripts
// with every kind of content. Set PERIX_WRITE_GOLDEN to a folder to write the files anew there.
namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString goldenPath(const QString &name, bool rtf)
{
    return QStringLiteral(PERIX_GOLDEN_DIR "/") + name +
           (rtf ? QStringLiteral(".rtf") : QStringLiteral(".txt"));
}

// The minute in the headers changes with the clock; the files hold a placeholder for it.
QByteArray withTimePlaceholder(QByteArray bytes, const QStringList &times)
{
    for (const QString &time : times)
        bytes.replace(time.toLatin1(), "@TIME@");
    return bytes;
}

// Where the first difference is, for the failure message.
QString firstDifference(const QByteArray &actual, const QByteArray &expected)
{
    qsizetype i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    return QStringLiteral("at byte %1 of %2/%3: got \"%4\" expected \"%5\"")
        .arg(i)
        .arg(actual.size())
        .arg(expected.size())
        .arg(QString::fromUtf8(actual.mid(qMax<qsizetype>(0, i - 20), 60)),
             QString::fromUtf8(expected.mid(qMax<qsizetype>(0, i - 20), 60)));
}

} // namespace

class TestHistoryGolden : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void windowProgramWritesGoldenBytes_data();
    void windowProgramWritesGoldenBytes();
    void headlessPeerWritesTheSameFiles();
};

void TestHistoryGolden::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    TfmInformation::setAutoAnswer([](TfmInformation &) { return false; });
}

void TestHistoryGolden::windowProgramWritesGoldenBytes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("rtf");
    for (const QString &name : HistoryScenarios::names()) {
        QTest::newRow(qPrintable(name + QStringLiteral(" txt"))) << name << false;
        QTest::newRow(qPrintable(name + QStringLiteral(" rtf"))) << name << true;
    }
}

void TestHistoryGolden::windowProgramWritesGoldenBytes()
{
    QFETCH(QString, name);
    QFETCH(bool, rtf);
    TestPeer anna("Anna");
    anna.store().writeBool("fmStory", "SaveAsRTF", rtf);
    anna.start();
    TalkCore *core = anna.mainWindow()->talks()->core();
    MinuteClock clock;
    const QString before = clock.textAt(QDateTime::currentMSecsSinceEpoch());
    HistoryScenarios::play(core, core->allUsersTalk(), name, anna.id(), QStringLiteral("127.0.0.1"),
                           QStringLiteral("Anna"));
    // The colours of earlier text follow a sender's new colour a slice at a time: let them settle.
    anna.mainWindow()->rvStyle()->FlushRecolour();
    const QString path = anna.mainWindow()->history()->SaveTalk(0);
    const QString after = clock.textAt(QDateTime::currentMSecsSinceEpoch());
    QVERIFY(!path.isEmpty());
    QCOMPARE(path.endsWith(QStringLiteral(".rtf")), rtf);
    const QByteArray actual = withTimePlaceholder(readAll(path), {before, after});
    anna.close();
    const QByteArray target = qgetenv("PERIX_WRITE_GOLDEN");
    if (!target.isEmpty()) {
        QFile out(QDir(QString::fromLocal8Bit(target)).filePath(QFileInfo(goldenPath(name, rtf)).fileName()));
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(actual), actual.size());
        return;
    }
    const QByteArray expected = readAll(goldenPath(name, rtf));
    QVERIFY2(!expected.isEmpty(), qPrintable(goldenPath(name, rtf)));
    QVERIFY2(actual == expected, qPrintable(firstDifference(actual, expected)));
}

void TestHistoryGolden::headlessPeerWritesTheSameFiles()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("settings.ini"));
    TSetUserData(SettingsStore(settings)).SetAlias(QStringLiteral("Tess"));
    const QString tessId = TMyUserData(SettingsStore(settings)).GetID();
    RawPeer raw;
    QVERIFY(raw.isReady());
    QProcess cli;
    cli.start(QStringLiteral(PERIXCHAT_CLI_BINARY),
              {QStringLiteral("--loopback"), QStringLiteral("--settings"), settings,
               QStringLiteral("--data-dir"), dir.path(), QStringLiteral("listen")});
    QVERIFY(cli.waitForStarted(5000));
    QVERIFY(waitUntil([&] { return !raw.heardFrom(pkNew, tessId).isEmpty(); }, 10000));
    WireIdentity zed;
    zed.alias = QStringLiteral("Zed");
    zed.ip = QStringLiteral("127.0.0.1");
    zed.id = QStringLiteral("{0A1B2C3D-0000-0000-0000-00000000000Z}");
    raw.send(BuildMessagePacket(zed, QStringLiteral("kept without windows")));
    QTest::qWait(700);
    cli.terminate();
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList files = QDir(dir.filePath(QStringLiteral("History"))).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(QStringLiteral("All users and Tess ")));
    const QString text = QString::fromUtf8(readAll(dir.filePath(QStringLiteral("History/")) + files.first()));
    QVERIFY2(text.contains(QStringLiteral("[Zed] ")), qPrintable(text));
    QVERIFY(text.endsWith(QStringLiteral("\nkept without windows\n")));
}

QTEST_MAIN(TestHistoryGolden)
#include "test_history_golden.moc"
