// The headless peer against complete window copies over loopback: the real perixchat-cli program is
// run as a process, the window copies run in this process.
#include "PeerHarness.h"
#include "app/ui/MainActionList.h"
#include "features/AnsweringmachineTextUn.h"
#include "peers/GroupBoxStorageUn.h"
#include "talks/TalkCore.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"
#include "talks/ui/frConnectUserUn.h"

#include <QAction>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTextEdit>

#include <csignal>

namespace {

QAction *action(const TestPeer &p, const char *name)
{
    return p.mainWindow()->actions()->action(QLatin1StringView(name));
}

QString transcript(const TestPeer &p, int sheet)
{
    const TfrConnectUser *talk = p.mainWindow()->talks()->frame(sheet);
    return talk ? talk->reAllMessage()->toPlainText() : QString();
}

// One run of the headless peer with its own settings file; the window copies keep running meanwhile.
class CliRun {
public:
    explicit CliRun(const QString &alias) { TSetUserData(store()).SetAlias(alias); }
    SettingsStore store() const { return SettingsStore(settingsFile()); }
    QString settingsFile() const { return m_dir.filePath(QStringLiteral("settings.ini")); }
    QString id() const { return TMyUserData(store()).GetID(); }

    // The probe period for the runs that follow (PERIX_TEST_PROBE_PERIOD_MS).
    void setProbePeriod(int ms)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PERIX_TEST_PROBE_PERIOD_MS"), QString::number(ms));
        m_process.setProcessEnvironment(env);
    }
    void start(const QStringList &arguments)
    {
        QStringList all{QStringLiteral("--loopback"), QStringLiteral("--settings"), settingsFile(),
                        QStringLiteral("--data-dir"), m_dir.path()};
        all += arguments;
        m_process.start(QStringLiteral(PERIXCHAT_CLI_BINARY), all);
        m_process.waitForStarted();
    }
    // Waits (serving the window copies) until the program ended; its exit code, -1 when it did not.
    int finish(int timeoutMs = 15000)
    {
        waitUntil([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        m_out += m_process.readAllStandardOutput();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    int run(const QStringList &arguments, int timeoutMs = 15000)
    {
        start(arguments);
        return finish(timeoutMs);
    }
    QProcess &process() { return m_process; }
    QString output()
    {
        m_out += m_process.readAllStandardOutput();
        return QString::fromUtf8(m_out);
    }
    QList<QJsonObject> events()
    {
        QList<QJsonObject> list;
        for (const QString &line : output().split(u'\n', Qt::SkipEmptyParts))
            list.append(QJsonDocument::fromJson(line.toUtf8()).object());
        return list;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_out;
};

QList<QJsonObject> eventsNamed(const QList<QJsonObject> &events, const QString &name)
{
    QList<QJsonObject> found;
    for (const QJsonObject &e : events) {
        if (e.value(QStringLiteral("event")).toString() == name)
            found.append(e);
    }
    return found;
}

// What the talk core of a window copy shows: every message with its talk's kind and caption.
struct Shown {
    TalkKind kind;
    QString caption;
    QString senderId;
    QString body;
};

class TalkRecorder {
public:
    explicit TalkRecorder(TalkCore *core)
    {
        QObject::connect(core, &TalkCore::messageForTalk, &m_context,
                         [this, core](int id, const QString &senderId, const QString &, const QString &body,
                                      qint32, int, const QString &) {
                             if (const Talk *talk = core->talk(id))
                                 shown.append({talk->data.kind, talk->data.Caption, senderId, body});
                         });
    }
    // The first message with that text in it; null when none came.
    const Shown *find(const QString &text) const
    {
        for (const Shown &s : shown) {
            if (s.body.contains(text))
                return &s;
        }
        return nullptr;
    }
    QList<Shown> shown;

private:
    QObject m_context;
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void helpAndUsage();
    void pathsNameTheFoldersWithoutNetwork();
    void listNamesTheWindowPeersAndSaysGoodbyeOnce();
    void sendToUserByAliasAndById();
    void sendToMissingUserEndsWithTwo();
    void sendToAll();
    void sendToContactGroup();
    void listenPrintsEventsUntilTerminated();
    void textFormatKeepsTerminalSafe();
    void stoppedPeerLeavesTheListenersAndComesBack();
    void autoReplyAnswersAWindowPeer();
    void autoReplyVariantFromTheSettingsFile();

private:
    std::unique_ptr<TestPeer> anna;
    std::unique_ptr<TestPeer> boris;
    void startAnna();
};

void TestCli::initTestCase()
{
    // A leaving headless peer makes the windows ask whether to close its private talk.
    TfmInformation::setAutoAnswer([](TfmInformation &) { return true; });
}

void TestCli::cleanup()
{
    if (anna)
        anna->close();
    if (boris)
        boris->close();
    anna.reset();
    boris.reset();
}

void TestCli::startAnna()
{
    anna = std::make_unique<TestPeer>(QStringLiteral("Anna"));
    anna->start();
    QTest::qWait(100);
}

void TestCli::helpAndUsage()
{
    // None of these reaches the network: they run side by side.
    CliRun cli(QStringLiteral("Script"));
    cli.start({QStringLiteral("--help")});
    CliRun noTarget(QStringLiteral("Script"));
    noTarget.start({QStringLiteral("send"), QStringLiteral("words")});
    CliRun twoTargets(QStringLiteral("Script"));
    twoTargets.start({QStringLiteral("send"), QStringLiteral("--all"), QStringLiteral("--to"),
                      QStringLiteral("Anna"), QStringLiteral("words")});
    CliRun badFormat(QStringLiteral("Script"));
    badFormat.start({QStringLiteral("--format"), QStringLiteral("xml"), QStringLiteral("list")});
    CliRun version(QStringLiteral("Script"));
    version.start({QStringLiteral("--version")});
    CliRun noCommand(QStringLiteral("Script"));
    noCommand.start({});
    CliRun pathsWithText(QStringLiteral("Script"));
    pathsWithText.start({QStringLiteral("paths"), QStringLiteral("more")});

    QCOMPARE(cli.finish(), 0);
    QVERIFY(cli.output().contains(QStringLiteral("Usage: perixchat-cli")));
    QCOMPARE(noTarget.finish(), 1);
    QCOMPARE(twoTargets.finish(), 1);
    QCOMPARE(badFormat.finish(), 1);
    QCOMPARE(version.finish(), 0);
    QCOMPARE(version.output(), QStringLiteral("perixchat-cli " PERIX_VERSION "\n"));
    QCOMPARE(noCommand.finish(), 1);
    QCOMPARE(pathsWithText.finish(), 1);
}

void TestCli::pathsNameTheFoldersWithoutNetwork()
{
    // A copy that announced itself would be heard here.
    RawPeer raw;
    QVERIFY(raw.isReady());
    CliRun cli(QStringLiteral("Script"));
    const QString dataDir = QFileInfo(cli.settingsFile()).absolutePath();
    QCOMPARE(cli.run({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("paths")}), 0);
    const QList<QJsonObject> printed = cli.events();
    QCOMPARE(printed.size(), 1);
    const QJsonObject paths = printed.first();
    QCOMPARE(paths.value(QStringLiteral("settings")).toString(), cli.settingsFile());
    QCOMPARE(paths.value(QStringLiteral("history")).toString(), dataDir + QStringLiteral("/History/"));
    QCOMPARE(paths.value(QStringLiteral("languages")).toString(), dataDir + QStringLiteral("/Lng/"));
    QCOMPARE(paths.value(QStringLiteral("sounds")).toString(), dataDir + QStringLiteral("/Sound/"));
    QCOMPARE(paths.value(QStringLiteral("help")).toString(),
             dataDir + QStringLiteral("/help/PerixChat.html"));
    // Nothing was made, and nobody heard of it.
    QVERIFY(!QFileInfo::exists(dataDir + QStringLiteral("/History")));
    QTest::qWait(300);
    QCOMPARE(raw.heardFrom(pkNew, cli.id()).size(), 0);

    CliRun text(QStringLiteral("Script"));
    QCOMPARE(text.run({QStringLiteral("paths")}), 0);
    const QStringList lines = text.output().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines.at(0).startsWith(QStringLiteral("settings  ")));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("languages ")));
    QVERIFY(lines.at(2).endsWith(QStringLiteral("/Lng/")));
}

void TestCli::listNamesTheWindowPeersAndSaysGoodbyeOnce()
{
    startAnna();
    boris = std::make_unique<TestPeer>(QStringLiteral("Boris"));
    boris->start();
    RawPeer raw;
    QVERIFY(raw.isReady());
    CliRun cli(QStringLiteral("Script"));
    const QString cliId = cli.id();
    QCOMPARE(cli.run({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--timeout"),
                      QStringLiteral("3"), QStringLiteral("list")}),
             0);
    const QList<QJsonObject> peers = eventsNamed(cli.events(), QStringLiteral("peer"));
    QStringList aliases;
    for (const QJsonObject &p : peers)
        aliases.append(p.value(QStringLiteral("alias")).toString());
    aliases.sort();
    QCOMPARE(aliases, (QStringList{QStringLiteral("Anna"), QStringLiteral("Boris")}));
    for (const QJsonObject &p : peers) {
        const QString expected =
            p.value(QStringLiteral("alias")).toString() == QStringLiteral("Anna") ? anna->id() : boris->id();
        QCOMPARE(p.value(QStringLiteral("id")).toString(), expected);
        QCOMPARE(p.value(QStringLiteral("group")).toString(), QStringLiteral("Main group"));
    }
    QTest::qWait(100);
    QCOMPARE(raw.heardFrom(pkNew, cliId).size(), 1);
    QCOMPARE(raw.heardFrom(pkDisconnect, cliId).size(), 1);
    // The windows saw it come and go.
    QVERIFY(waitUntil([&] { return anna->registry()->peers().findOnline(cliId) < 0; }));
}

void TestCli::sendToUserByAliasAndById()
{
    startAnna();
    TalkRecorder shown(anna->mainWindow()->talks()->core());
    CliRun byAlias(QStringLiteral("Script"));
    QCOMPARE(byAlias.run({QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("anna"),
                          QStringLiteral("hello\nsecond line")}),
             0);
    QVERIFY(waitUntil([&] { return shown.find(QStringLiteral("second line")); }));
    const Shown *message = shown.find(QStringLiteral("second line"));
    QCOMPARE(message->kind, tkPrivate);
    QCOMPARE(message->senderId, byAlias.id());
    QCOMPARE(message->caption, QStringLiteral("Script"));
    // The line break travels as the windows' own marker.
    QCOMPARE(message->body, QStringLiteral("hello\n\rsecond line"));

    CliRun byId(QStringLiteral("Other script"));
    QCOMPARE(byId.run({QStringLiteral("send"), QStringLiteral("--to"), anna->id(), QStringLiteral("by id")}),
             0);
    QVERIFY(waitUntil([&] { return shown.find(QStringLiteral("by id")); }));
    QCOMPARE(shown.find(QStringLiteral("by id"))->senderId, byId.id());
}

void TestCli::sendToMissingUserEndsWithTwo()
{
    startAnna();
    // Both look for their target at the same time.
    CliRun cli(QStringLiteral("Script"));
    CliRun group(QStringLiteral("Script"));
    QElapsedTimer clock;
    clock.start();
    cli.start({QStringLiteral("--timeout"), QStringLiteral("0.5"), QStringLiteral("send"),
               QStringLiteral("--to"), QStringLiteral("Nobody"), QStringLiteral("lost words")});
    group.start({QStringLiteral("--timeout"), QStringLiteral("0.5"), QStringLiteral("send"),
                 QStringLiteral("--group"), QStringLiteral("No such group"), QStringLiteral("x")});
    QCOMPARE(cli.finish(), 2);
    // Well below the default wait of five seconds.
    QVERIFY2(clock.elapsed() < 4000, "the wait is bounded by --timeout");
    QCOMPARE(group.finish(), 2);
}

void TestCli::sendToAll()
{
    startAnna();
    TalkRecorder shown(anna->mainWindow()->talks()->core());
    CliRun cli(QStringLiteral("Script"));
    QCOMPARE(cli.run({QStringLiteral("send"), QStringLiteral("--all"), QStringLiteral("to everybody")}), 0);
    QVERIFY(waitUntil([&] { return shown.find(QStringLiteral("to everybody")); }));
    QCOMPARE(shown.find(QStringLiteral("to everybody"))->kind, tkAllUsers);
    QVERIFY(transcript(*anna, 0).contains(QStringLiteral("to everybody")));
}

void TestCli::sendToContactGroup()
{
    startAnna();
    boris = std::make_unique<TestPeer>(QStringLiteral("Boris"));
    boris->start();
    TalkRecorder annaShown(anna->mainWindow()->talks()->core());
    TalkRecorder borisShown(boris->mainWindow()->talks()->core());
    CliRun cli(QStringLiteral("Script"));
    // The script's user keeps Anna in its group "Team"; Boris stays in the main group.
    GroupStorage::WriteStoredGroup(cli.store(), {3, false, QStringLiteral("Team"),
                                                 QStringLiteral("{7E57C11A-0000-0000-0000-000000000003}")});
    GroupStorage::StoreUserGroup(cli.store(), anna->id(), 3);
    QCOMPARE(cli.run({QStringLiteral("send"), QStringLiteral("--group"), QStringLiteral("team"),
                      QStringLiteral("team words")}),
             0);
    QVERIFY(waitUntil([&] { return annaShown.find(QStringLiteral("team words")); }));
    const Shown *message = annaShown.find(QStringLiteral("team words"));
    QCOMPARE(message->kind, tkMemberGroup);
    QCOMPARE(message->caption, QStringLiteral("[Script] Team"));
    // Boris is not in the group's list: he hears the packet and drops it.
    QTest::qWait(200);
    QVERIFY(!borisShown.find(QStringLiteral("team words")));
}

void TestCli::listenPrintsEventsUntilTerminated()
{
    RawPeer raw;
    CliRun cli(QStringLiteral("Listener"));
    const QString cliId = cli.id();
    cli.start({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("listen")});
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkNew, cliId).size() == 1; }));
    startAnna();
    QVERIFY(waitUntil([&] { return anna->registry()->peers().findOnline(cliId) > 0; }));
    QVERIFY(waitUntil([&] { return !eventsNamed(cli.events(), QStringLiteral("peer-arrived")).isEmpty(); }));

    // A word to everybody, then a private talk that Anna opens, writes in and closes.
    anna->mainWindow()->talks()->frame(0)->reMessage()->setPlainText(QStringLiteral("hi all"));
    anna->mainWindow()->pages()->setCurrentIndex(0);
    action(*anna, "actSendMessage")->trigger();
    anna->userList()->selectPeer(anna->registry()->peers().findOnline(cliId));
    action(*anna, "actMessageToUser")->trigger();
    const int sheet = anna->mainWindow()->talks()->FindPrivateTalk(cliId);
    QVERIFY(sheet > 0);
    anna->mainWindow()->talks()->frame(sheet)->reMessage()->setPlainText(QStringLiteral("just you"));
    anna->mainWindow()->pages()->setCurrentIndex(sheet);
    action(*anna, "actSendMessage")->trigger();
    QVERIFY(waitUntil([&] { return eventsNamed(cli.events(), QStringLiteral("message")).size() == 2; }));
    anna->mainWindow()->talks()->CloseTalk(sheet);
    QVERIFY(waitUntil([&] { return !eventsNamed(cli.events(), QStringLiteral("talk-closed")).isEmpty(); }));

    cli.process().terminate();
    QCOMPARE(cli.finish(), 0);
    const QList<QJsonObject> events = cli.events();
    const QList<QJsonObject> arrived = eventsNamed(events, QStringLiteral("peer-arrived"));
    QCOMPARE(arrived.first().value(QStringLiteral("alias")).toString(), QStringLiteral("Anna"));
    const QList<QJsonObject> messages = eventsNamed(events, QStringLiteral("message"));
    QCOMPARE(messages.at(0).value(QStringLiteral("kind")).toString(), QStringLiteral("all"));
    QCOMPARE(messages.at(0).value(QStringLiteral("text")).toString(), QStringLiteral("hi all"));
    QCOMPARE(messages.at(0).value(QStringLiteral("from")).toObject().value(QStringLiteral("id")).toString(),
             anna->id());
    QCOMPARE(messages.at(1).value(QStringLiteral("kind")).toString(), QStringLiteral("private"));
    QCOMPARE(messages.at(1).value(QStringLiteral("text")).toString(), QStringLiteral("just you"));
    const QList<QJsonObject> questions = eventsNamed(events, QStringLiteral("question"));
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions.first().value(QStringLiteral("answer")).toString(), QStringLiteral("close"));
    QCOMPARE(eventsNamed(events, QStringLiteral("talk-opened")).size(), 1);
    QTest::qWait(100);
    QCOMPARE(raw.heardFrom(pkDisconnect, cliId).size(), 1);
    QVERIFY(waitUntil([&] { return anna->registry()->peers().findOnline(cliId) < 0; }));
}

void TestCli::textFormatKeepsTerminalSafe()
{
    anna = std::make_unique<TestPeer>(QStringLiteral("Anna\x1b]0;owned\x07\u202e"));
    anna->start();
    CliRun cli(QStringLiteral("Script"));
    QCOMPARE(cli.run({QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("list")}), 0);
    const QString out = cli.output();
    QVERIFY(out.contains(QStringLiteral("Anna?]0;owned??")));
    QVERIFY(!out.contains(QChar(0x1b)));
    QVERIFY(!out.contains(QChar(0x202e)));
}

// A peer whose process is stopped (no goodbye) stops echoing: a listening headless peer prints that it
// left, in both formats, and that it is back once it goes on.
void TestCli::stoppedPeerLeavesTheListenersAndComesBack()
{
    constexpr int ProbePeriodMs = 200;
    CliRun json(QStringLiteral("Jay"));
    CliRun text(QStringLiteral("Tex"));
    CliRun sam(QStringLiteral("Sam"));
    for (CliRun *run : {&json, &text, &sam})
        run->setProbePeriod(ProbePeriodMs);
    json.start({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("listen")});
    text.start({QStringLiteral("listen")});
    QVERIFY(waitUntil([&] { return text.output().contains(QStringLiteral("Jay (127.0.0.1) arrived")); }));
    // Sam's copy binds the port last, so the probes of this host reach it, as a host's own copy would.
    sam.start({QStringLiteral("listen")});
    const auto samArrivals = [&] {
        int n = 0;
        for (const QJsonObject &e : eventsNamed(json.events(), QStringLiteral("peer-arrived")))
            n += e.value(QStringLiteral("id")).toString() == sam.id();
        return n;
    };
    const auto samLeft = [&] {
        for (const QJsonObject &e : eventsNamed(json.events(), QStringLiteral("peer-left"))) {
            if (e.value(QStringLiteral("id")).toString() == sam.id())
                return true;
        }
        return false;
    };
    QVERIFY(waitUntil([&] { return samArrivals() == 1; }));
    QVERIFY(waitUntil([&] { return text.output().contains(QStringLiteral("Sam (127.0.0.1) arrived")); }));
    // Echoed probes for a while: nobody leaves.
    QTest::qWait(5 * ProbePeriodMs);
    QVERIFY(!samLeft());

    QElapsedTimer stopped;
    QVERIFY(::kill(pid_t(sam.process().processId()), SIGSTOP) == 0);
    stopped.start();
    QVERIFY(waitUntil(samLeft, 10 * ProbePeriodMs + 3000));
    QVERIFY2(stopped.elapsed() <= 3 * ProbePeriodMs + 1000 + 1000,
             qPrintable(QString::number(stopped.elapsed())));
    QVERIFY(waitUntil([&] { return text.output().contains(QStringLiteral("Sam (127.0.0.1) left")); }, 3000));
    // While it is stopped, a list does not name it.
    CliRun lister(QStringLiteral("Lou"));
    QCOMPARE(lister.run({QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("list")}), 0);
    QVERIFY(!lister.output().contains(QStringLiteral("Sam")));

    // It goes on: its host echoes again, is greeted, and Sam's answer brings it back.
    QVERIFY(::kill(pid_t(sam.process().processId()), SIGCONT) == 0);
    QVERIFY(waitUntil([&] { return samArrivals() == 2; }, 10000));
    for (CliRun *run : {&sam, &text, &json}) {
        run->process().terminate();
        QCOMPARE(run->finish(), 0);
    }
    QCOMPARE(text.output().count(QStringLiteral("Sam (127.0.0.1) left")), 2);
}

// The answer of the headless peer's auto-reply reaches a window copy as the window program's would.
void TestCli::autoReplyAnswersAWindowPeer()
{
    RawPeer raw;
    CliRun cli(QStringLiteral("Away bot"));
    const QString cliId = cli.id();
    cli.start({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--auto-reply"),
               QStringLiteral("Back at three"), QStringLiteral("listen")});
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkNew, cliId).size() == 1; }));
    startAnna();
    TalkRecorder shown(anna->mainWindow()->talks()->core());
    QVERIFY(waitUntil([&] { return anna->registry()->peers().findOnline(cliId) > 0; }));
    anna->userList()->selectPeer(anna->registry()->peers().findOnline(cliId));
    action(*anna, "actMessageToUser")->trigger();
    const int sheet = anna->mainWindow()->talks()->FindPrivateTalk(cliId);
    QVERIFY(sheet > 0);
    anna->mainWindow()->talks()->frame(sheet)->reMessage()->setPlainText(QStringLiteral("are you there?"));
    anna->mainWindow()->pages()->setCurrentIndex(sheet);
    action(*anna, "actSendMessage")->trigger();
    QVERIFY(waitUntil([&] { return shown.find(QStringLiteral("Back at three")) != nullptr; }));
    const Shown *answer = shown.find(QStringLiteral("Back at three"));
    QCOMPARE(answer->senderId, cliId);
    QCOMPARE(answer->kind, tkPrivate);
    QCOMPARE(answer->body, QStringLiteral("{[!BULLET!]}3{[/!BULLET!]}Back at three"));
    QVERIFY(transcript(*anna, sheet).contains(QStringLiteral("Back at three")));
    QVERIFY(waitUntil([&] { return !eventsNamed(cli.events(), QStringLiteral("auto-reply")).isEmpty(); }));
    // Anna's own messages are answered once each, and only those.
    QTest::qWait(300);
    int answers = 0;
    for (const Shown &s : shown.shown)
        answers += s.senderId == cliId ? 1 : 0;
    QCOMPARE(answers, 1);
    cli.process().terminate();
    QCOMPARE(cli.finish(), 0);
    const QList<QJsonObject> events = eventsNamed(cli.events(), QStringLiteral("auto-reply"));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.first().value(QStringLiteral("to")).toObject().value(QStringLiteral("id")).toString(),
             anna->id());
}

void TestCli::autoReplyVariantFromTheSettingsFile()
{
    CliRun missing(QStringLiteral("Away bot"));
    missing.start(
        {QStringLiteral("--auto-reply-variant"), QStringLiteral("Holiday"), QStringLiteral("listen")});
    CliRun empty(QStringLiteral("Away bot"));
    empty.start({QStringLiteral("--auto-reply"), QStringLiteral(" "), QStringLiteral("listen")});
    QCOMPARE(missing.finish(), 2);
    QCOMPARE(empty.finish(), 1);

    RawPeer raw;
    CliRun cli(QStringLiteral("Away bot"));
    QVERIFY(
        AnsweringmachineText::WriteVariant(cli.store(), 1, QStringLiteral("Lunch"), QStringLiteral("later")));
    QVERIFY(AnsweringmachineText::WriteVariant(cli.store(), 2, QStringLiteral("Holiday"),
                                               QStringLiteral("Back on Monday\nAsk Clara")));
    const QString cliId = cli.id();
    cli.start({QStringLiteral("--auto-reply-variant"), QStringLiteral("holiday"), QStringLiteral("listen")});
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkNew, cliId).size() == 1; }));
    startAnna();
    TalkRecorder shown(anna->mainWindow()->talks()->core());
    QVERIFY(waitUntil([&] { return anna->registry()->peers().findOnline(cliId) > 0; }));
    const int peer = anna->registry()->peers().findOnline(cliId);
    const int talk = anna->mainWindow()->talks()->core()->openPrivateTalk(peer);
    QCOMPARE(anna->mainWindow()->talks()->core()->sendBody(talk, QStringLiteral("hello")), SendResult::Sent);
    QVERIFY(waitUntil([&] { return shown.find(QStringLiteral("Holiday")) != nullptr; }));
    QCOMPARE(shown.find(QStringLiteral("Holiday"))->body,
             QStringLiteral("{[!BULLET!]}3{[/!BULLET!]}Holiday\n\rBack on Monday\n\rAsk Clara"));
    cli.process().terminate();
    QCOMPARE(cli.finish(), 0);
}

QTEST_MAIN(TestCli)
#include "test_cli.moc"
