#include "NetnsLab.h"

#include "PeerHarness.h"
#include "RawUdp.h"
#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "app/CommandLine.h"
#include "app/ui/TELInstanceChecker.h"
#include "app/ui/TPerixChatForm.h"
#include "features/ui/MessageBox.h"
#include "net/UdpTransport.h"
#include "protocol/ConstUnit.h"
#include "settings/TMyUserData.h"
#include "settings/iniFileUn.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <thread>
#include <vector>

namespace {

// Where the two copies of a round run: a network namespace of its own when one can be made (so that
// rounds run side by side and never hear each other), else this process's network, one round at a
// time. The hearer listens in the same place.
class TwinSlot {
public:
    TwinSlot(NetnsLab *lab, const QString &name)
        : m_lab(lab)
        , m_name(name)
    {
        std::optional<ScopedNetns> inside;
        if (m_lab) {
            if (!m_lab->addNamespace(name))
                return;
            inside.emplace(m_lab->ns(name));
            if (!inside->ok())
                return;
        }
        m_hearer = std::make_unique<RawUdp::Hearer>();
    }
    bool ok() const { return m_hearer && m_hearer->isReady(); }
    RawUdp::Hearer &hearer() { return *m_hearer; }

    // A copy with the round's settings, data and runtime folders; null when it could not start.
    QProcess *start(const QStringList &arguments, const QString &runtimeDir,
                    std::unique_ptr<QProcess> &owner) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        if (m_lab)
            return m_lab->startProgram(m_name, QStringLiteral(PERIXCHAT_BINARY), arguments, environment);
        owner = std::make_unique<QProcess>();
        owner->setProcessEnvironment(environment);
        owner->start(QStringLiteral(PERIXCHAT_BINARY), arguments);
        return owner.get();
    }

private:
    NetnsLab *m_lab;
    QString m_name;
    std::unique_ptr<RawUdp::Hearer> m_hearer;
};

// One round: two copies of one user, with a settings file and a runtime folder of their own (the
// rule of one copy holds per user, and the user's runtime folder is where the copies meet).
struct TwinRound {
    explicit TwinRound(int number)
        : number(number)
        // Most rounds start both at once; some give the first a head start into its window creation.
        , headStartMs(number % 4 == 3 ? 40 * (number / 4) : 0)
    {}
    QString settings() const { return dir.filePath("settings.ini"); }
    QStringList arguments() const
    {
        return {"--loopback", "--settings", settings(), "--data-dir", dir.path()};
    }
    int running() const
    {
        return int(copies[0] && copies[0]->state() != QProcess::NotRunning) +
               int(copies[1] && copies[1]->state() != QProcess::NotRunning);
    }
    bool start(TwinSlot &slot, int which)
    {
        copies[which] = slot.start(arguments(), runtime.path(), owned[which]);
        return copies[which] != nullptr;
    }

    int number;
    int headStartMs;
    QTemporaryDir dir;
    QTemporaryDir runtime;
    std::array<QProcess *, 2> copies{};
    std::array<std::unique_ptr<QProcess>, 2> owned;
};

using TwinSlots = std::vector<std::unique_ptr<TwinSlot>>;
using TwinRounds = std::vector<std::unique_ptr<TwinRound>>;

// Starts the rounds' copies, the second of each right after the first or after its head start.
void startTwins(TwinSlots &places, TwinRounds &rounds)
{
    // The rounds with a head start begin first, so that their head starts pass while the others start.
    std::vector<size_t> order(rounds.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return rounds[a]->headStartMs > rounds[b]->headStartMs; });
    for (size_t i = 0; i < rounds.size(); ++i) {
        // Named: a first start would ask for the name before announcing.
        TSetUserData(SettingsStore(rounds[i]->settings())).SetAlias(QStringLiteral("Twin"));
        places[i]->hearer().clear();
    }
    QElapsedTimer clock;
    clock.start();
    std::vector<std::pair<qint64, size_t>> later;
    for (const size_t i : order) {
        TwinRound &round = *rounds[i];
        QVERIFY(round.start(*places[i], 0));
        if (round.headStartMs == 0)
            QVERIFY(round.start(*places[i], 1));
        else
            later.emplace_back(clock.elapsed() + round.headStartMs, i);
    }
    std::sort(later.begin(), later.end());
    for (const auto &[due, i] : later) {
        QTest::qWait(int(std::max<qint64>(0, due - clock.elapsed())));
        QVERIFY(rounds[i]->start(*places[i], 1));
    }
    for (const std::unique_ptr<TwinRound> &round : rounds)
        QVERIFY(round->copies[0]->waitForStarted(5000) && round->copies[1]->waitForStarted(5000));
}

// One copy of each round ended at once, quietly; the other announced its user once and said goodbye
// once when it was told to end.
void checkTwins(TwinSlots &places, TwinRounds &rounds)
{
    for (size_t i = 0; i < rounds.size(); ++i) {
        const TwinRound &round = *rounds[i];
        const QByteArray which = QByteArray::number(round.number);
        QVERIFY2(waitUntil([&] { return round.running() < 2; }, 12000), which.constData());
        QVERIFY2(waitUntil([&] { return places[i]->hearer().count(pkNew) >= 1; }, 8000), which.constData());
    }
    // Time for a second announcement, were there one.
    QTest::qWait(150);
    for (const std::unique_ptr<TwinRound> &round : rounds) {
        QCOMPARE(round->running(), 1);
        QProcess &ended = *round->copies[round->copies[0]->state() == QProcess::NotRunning ? 0 : 1];
        QCOMPARE(ended.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended.exitCode(), 0);
    }
    for (const std::unique_ptr<TwinRound> &round : rounds)
        round->copies[round->copies[0]->state() == QProcess::NotRunning ? 1 : 0]->terminate();
    for (size_t i = 0; i < rounds.size(); ++i) {
        const TwinRound &round = *rounds[i];
        RawUdp::Hearer &hearer = places[i]->hearer();
        for (QProcess *copy : round.copies)
            QVERIFY(copy->state() == QProcess::NotRunning || copy->waitForFinished(5000));
        QVERIFY(waitUntil([&] { return hearer.count(pkDisconnect) >= 1; }, 2000));
        const QList<QString> announced = hearer.ids(pkNew);
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced.first(), TMyUserData(SettingsStore(round.settings())).GetID());
        QCOMPARE(hearer.ids(pkDisconnect), announced);
    }
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void commandLine_data();
    void commandLine();
    void versionNeedsNoDisplay();
    void installedShareFolderComesLast();
    void mainWindowOpensAndClosesEndpoints();
    void portFailureShowsBox();
    void terminationSignalClosesThroughCloseBox();
    void guardAnswersWhileWindowThreadIsBusy();
    void guardClaimPassesWhenFirstCopyEnds();
    void guardGivesUpWhenFirstCopyNeverAnswers();
    void copiesStartedTogetherLeaveOne();

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
    QTest::addColumn<bool>("version");
    QTest::newRow("nothing") << QStringList{"perixchat"} << false << ""
                             << "" << false << false << false;
    QTest::newRow("all") << QStringList{"perixchat",  "--loopback", "--settings",
                                        "/tmp/a.ini", "--data-dir", "/d"}
                         << true << "/tmp/a.ini"
                         << "/d" << false << false << false;
    QTest::newRow("equals form") << QStringList{"perixchat", "--settings=/x.ini"} << false << "/x.ini"
                                 << "" << false << false << false;
    QTest::newRow("help") << QStringList{"perixchat", "--help"} << false << ""
                          << "" << true << false << false;
    QTest::newRow("version") << QStringList{"perixchat", "--version"} << false << ""
                             << "" << false << false << true;
    QTest::newRow("unknown option") << QStringList{"perixchat", "--bogus"} << false << ""
                                    << "" << false << true << false;
    QTest::newRow("missing value") << QStringList{"perixchat", "--settings"} << false << ""
                                   << "" << false << true << false;
    QTest::newRow("stray argument") << QStringList{"perixchat", "file"} << false << ""
                                    << "" << false << true << false;
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
    QTEST(o.showVersion, "version");
    QVERIFY(CommandLineHelp().contains("--loopback"));
    QVERIFY(CommandLineHelp().contains("--version"));
}

void TestApp::versionNeedsNoDisplay()
{
    // The X11 platform with no display to open: a program that made its QApplication would abort.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const char *option : {"--version", "--help"}) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PERIXCHAT_BINARY), {QLatin1StringView(option)});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QByteArray out = program.readAllStandardOutput();
        if (QByteArrayView(option) == "--version")
            QCOMPARE(out, QByteArray("perixchat " PERIX_VERSION "\n"));
        else
            QVERIFY(out.contains("--version"));
    }
    QCOMPARE(VersionText(QStringLiteral("x")), QStringLiteral("x " PERIX_VERSION "\n"));
}

void TestApp::installedShareFolderComesLast()
{
    // An installation: PREFIX/bin/perixchat with its files in PREFIX/share/perixchat.
    QTemporaryDir prefix;
    QTemporaryDir data;
    const QString bin = prefix.filePath("bin");
    const QString share = AppPaths::installedShareDir(bin);
    QCOMPARE(share, prefix.filePath("share/perixchat"));
    QVERIFY(AppPaths::installedShareDir(QString()).isEmpty());
    QVERIFY(QDir().mkpath(bin));
    for (const char *folder : {"share/perixchat/Lng", "share/perixchat/Sound", "share/perixchat/help"})
        QVERIFY(QDir().mkpath(prefix.filePath(QLatin1StringView(folder))));
    QFile help(share + QStringLiteral("/help/PerixChat.html"));
    QVERIFY(help.open(QIODevice::WriteOnly));
    help.close();

    AppPaths paths{data.path(), bin, share};
    QCOMPARE(paths.lngDir(), share + QStringLiteral("/Lng/"));
    QCOMPARE(paths.soundDir(), share + QStringLiteral("/Sound/"));
    QCOMPARE(paths.helpFile(), share + QStringLiteral("/help/PerixChat.html"));
    // History never goes into the installation.
    QCOMPARE(paths.historyDir(), data.path() + QStringLiteral("/History/"));
    // The user's data location, then the program's own folder, come first.
    QVERIFY(QDir(data.path()).mkpath("Lng"));
    QCOMPARE(paths.lngDir(), data.path() + QStringLiteral("/Lng/"));
    QVERIFY(QDir(bin).mkpath("Lng"));
    QCOMPARE(paths.lngDir(), bin + QStringLiteral("/Lng/"));
    QCOMPARE(paths.soundDir(), share + QStringLiteral("/Sound/"));

    // Found beside the running program; with --data-dir only that folder counts.
    StartOptions options;
    options.settingsFile = QStringLiteral("unused.ini");
    QCOMPARE(AppContext::fromOptions(options).paths.shareDir,
             QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/perixchat")));
    options.dataDir = data.path();
    QVERIFY(AppContext::fromOptions(options).paths.shareDir.isEmpty());
}

void TestApp::mainWindowOpensAndClosesEndpoints()
{
    QTemporaryDir dir;
    AppContext context = contextIn(dir);
    UdpTransport transport(context.transport);
    ChatCore chat(context, transport, nullptr);
    TPerixChatForm form(context, chat, transport);
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
    UdpTransport transport(context.transport);
    ChatCore chat(context, transport, nullptr);
    TPerixChatForm form(context, chat, transport);
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    QVERIFY(MessageBox::shownTexts().first().startsWith(ConstUnit::text(ConstUnit::Text::ErrorPortAbort)));
    QVERIFY(MessageBox::shownTexts().first().startsWith("Excuse. A mistake at connection to port."));
    // The box names the port it could not open.
    QVERIFY(MessageBox::shownTexts().first().contains(QStringLiteral("UDP %1").arg(holder.localPort())));
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

void TestApp::guardAnswersWhileWindowThreadIsBusy()
{
    QTemporaryDir dir;
    TELInstanceChecker first(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier), dir.path());
    QVERIFY(first.ClaimFirstInstance());
    QVERIFY(first.isListening());
    QSignalSpy shown(&first, &TELInstanceChecker::showRequested);
    QSignalSpy texts(&first, &TELInstanceChecker::OnTextReceived);

    // This thread does not return to its event loop until both requests are answered: the first
    // copy answers from its own thread, as it does while it is still creating its windows.
    TELInstanceChecker second(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier), dir.path());
    QVERIFY(!second.ClaimFirstInstance());
    QVERIFY(!second.holdsClaim());
    QVERIFY(second.RequestShow(3000));
    QVERIFY(second.PostText(QString::fromLatin1(TELInstanceChecker::RestartText)));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, first.PostText("self"));
    QCOMPARE(shown.count(), 0);

    // The window thread hears of them once its loop runs, in order.
    QVERIFY(texts.wait(2000));
    QCOMPARE(shown.count(), 1);
    QCOMPARE(texts.first().first().toString(), QStringLiteral("Restart of appendix Perix Chat"));

    // Another scope is another user: it is a first copy of its own.
    TELInstanceChecker other(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier), dir.path() + "/x");
    QVERIFY(other.ClaimFirstInstance());
}

void TestApp::guardClaimPassesWhenFirstCopyEnds()
{
    QTemporaryDir dir;
    auto first = std::make_unique<TELInstanceChecker>(
        QString::fromLatin1(TELInstanceChecker::InstanceIdentifier), dir.path());
    QVERIFY(first->ClaimFirstInstance());
    // Closing: it no longer answers, but holds the claim until it ends.
    first->StopListening();
    QVERIFY(!first->isListening());

    std::atomic<int> outcome = -1;
    std::atomic<bool> claimed = false;
    std::atomic<qint64> waited = 0;
    std::thread later([&] {
        TELInstanceChecker second(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier), dir.path());
        QElapsedTimer timer;
        timer.start();
        const bool notFirst = !second.ClaimFirstInstance();
        outcome = notFirst && second.RequestShow(5000) ? 1 : 0;
        waited = timer.elapsed();
        claimed = second.holdsClaim() && second.isListening();
    });
    QTest::qWait(400);
    QCOMPARE(outcome.load(), -1); // still waiting
    first.reset();
    later.join();
    QCOMPARE(outcome.load(), 0);
    QVERIFY(claimed);
    QVERIFY2(waited >= 350 && waited < 3000, qPrintable(QString::number(waited)));
}

void TestApp::guardGivesUpWhenFirstCopyNeverAnswers()
{
    QTemporaryDir dir;
    TELInstanceChecker first(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier), dir.path());
    QVERIFY(first.ClaimFirstInstance());
    first.StopListening();
    TELInstanceChecker second(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier), dir.path());
    QVERIFY(!second.ClaimFirstInstance());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!second.RequestShow(300));
    QVERIFY(timer.elapsed() >= 300);
    QVERIFY(timer.elapsed() < 2000);
    QVERIFY(!second.holdsClaim());
}

void TestApp::copiesStartedTogetherLeaveOne()
{
    constexpr int Rounds = 20;
    std::unique_ptr<NetnsLab> lab;
    if (NetnsLab::whyUnavailable().isEmpty())
        lab = std::make_unique<NetnsLab>();
    const int sideBySide = lab ? 5 : 1;
    TwinSlots places;
    for (int i = 0; i < sideBySide; ++i) {
        places.push_back(std::make_unique<TwinSlot>(lab.get(), QStringLiteral("twin%1").arg(i)));
        QVERIFY2(places.back()->ok(), qPrintable(lab ? lab->error() : QStringLiteral("no hearer")));
    }
    for (int first = 0; first < Rounds; first += sideBySide) {
        TwinRounds rounds;
        for (int number = first; number < std::min(first + sideBySide, Rounds); ++number)
            rounds.push_back(std::make_unique<TwinRound>(number));
        startTwins(places, rounds);
        if (QTest::currentTestFailed())
            return;
        checkTwins(places, rounds);
        if (QTest::currentTestFailed())
            return;
    }
}

QTEST_MAIN(TestApp)
#include "test_app.moc"
