#include "AppContext.h"
#include "CommandLine.h"
#include "ConstUnit.h"
#include "MessageBox.h"
#include "TPerixChatForm.h"
#include "UdpTransport.h"
#include "iniFileUn.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

class TestApp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void commandLine_data();
    void commandLine();
    void mainWindowOpensAndClosesEndpoints();
    void portFailureShowsBox();
    void terminationSignalClosesThroughCloseBox();

private:
    AppContext contextIn(const QTemporaryDir &dir) const;
};

void TestApp::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
}

void TestApp::init()
{
    MessageBox::clearShownTexts();
}

AppContext TestApp::contextIn(const QTemporaryDir &dir) const
{
    StartOptions options;
    options.loopback = true;
    options.settingsFile = dir.filePath("settings.ini");
    options.dataDir = dir.path();
    return AppContext::fromOptions(options);
}

void TestApp::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("error");
    QTest::newRow("nothing") << QStringList{"perixchat"} << false << ""
                             << "" << false << false;
    QTest::newRow("all") << QStringList{"perixchat",  "--loopback", "--settings",
                                        "/tmp/a.ini", "--data-dir", "/d"}
                         << true << "/tmp/a.ini"
                         << "/d" << false << false;
    QTest::newRow("equals form") << QStringList{"perixchat", "--settings=/x.ini"} << false << "/x.ini"
                                 << "" << false << false;
    QTest::newRow("help") << QStringList{"perixchat", "--help"} << false << ""
                          << "" << true << false;
    QTest::newRow("unknown option") << QStringList{"perixchat", "--bogus"} << false << ""
                                    << "" << false << true;
    QTest::newRow("missing value") << QStringList{"perixchat", "--settings"} << false << ""
                                   << "" << false << true;
    QTest::newRow("stray argument") << QStringList{"perixchat", "file"} << false << ""
                                    << "" << false << true;
}

void TestApp::commandLine()
{
    QFETCH(QStringList, args);
    const StartOptions o = ParseCommandLine(args);
    QTEST(o.loopback, "loopback");
    QTEST(o.settingsFile, "settings");
    QTEST(o.dataDir, "dataDir");
    QTEST(o.showHelp, "help");
    QTEST(!o.error.isEmpty(), "error");
    QVERIFY(CommandLineHelp().contains("--loopback"));
}

void TestApp::mainWindowOpensAndClosesEndpoints()
{
    QTemporaryDir dir;
    AppContext context = contextIn(dir);
    TPerixChatForm form(context);
    QCOMPARE(form.windowTitle(), QStringLiteral("Perix Chat"));
    QVERIFY(form.transport()->isOpen());
    QVERIFY(MessageBox::shownTexts().isEmpty());
    // First start: the centred default size.
    QCOMPARE(form.size(), QSize(460, 300));
    form.show();
    QVERIFY(form.close());
    QVERIFY(!form.transport()->isOpen());
    const StoredPlacement stored = readPlacement(context.store, Setting::MainWindowSection);
    QCOMPARE(stored.width, 460);
    QCOMPARE(stored.height, 300);
}

void TestApp::portFailureShowsBox()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    QTemporaryDir dir;
    AppContext context = contextIn(dir);
    context.transport.port = holder.localPort();
    TPerixChatForm form(context);
    QCOMPARE(MessageBox::shownTexts(), QStringList{ConstUnit::text(ConstUnit::Text::ErrorPortAbort)});
    QVERIFY(MessageBox::shownTexts().first().startsWith("Excuse. A mistake at connection to port."));
    QVERIFY(!form.transport()->isOpen());
}

void TestApp::terminationSignalClosesThroughCloseBox()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath("settings.ini");
    QProcess program;
    program.setProgram(QStringLiteral(PERIXCHAT_BINARY));
    program.setArguments({"--loopback", "--settings", settings, "--data-dir", dir.path()});
    program.start();
    QVERIFY(program.waitForStarted(5000));
    // The main window stores its placement on closing: its file appears only through that path.
    QTest::qWait(1500);
    QVERIFY(!QFile::exists(settings) ||
            !SettingsStore(settings).contains(Setting::MainWindowSection, "Width"));
    program.terminate();
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(readPlacement(SettingsStore(settings), Setting::MainWindowSection).width, 460);
}

QTEST_MAIN(TestApp)
#include "test_app.moc"
