// The headless peer's file commands: the real perixchat-cli program as a process, and a complete peer
// (the chat core both programs run) in this process, over UDP and TCP on loopback. The bytes that
// arrive are compared with the bytes offered.
#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "cli/CliOptions.h"
#include "net/UdpTransport.h"
#include "peers/PeerRegistry.h"
#include "support/Files.h"
#include "support/ScriptedQuestions.h"
#include "support/TempFolder.h"
#include "support/Wait.h"
#include "talks/TalkCore.h"
#include "transfer/FileExchange.h"
#include "transfer/FileReferences.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

AppContext loopbackContext(const TempFolder &folder, const QString &alias)
{
    folder.setAlias(alias);
    AppContext context{folder.store(), TransportConfig{}, AppPaths{}};
    context.transport.loopback = true;
    context.paths.dataDir = folder.path();
    return context;
}

// A complete peer over real UDP on loopback, serving and fetching files on TCP port 54812 as the
// programs do.
struct UdpPeer {
    explicit UdpPeer(const QString &alias)
        : context(loopbackContext(folder, alias))
        , transport(context.transport)
        , core(context, transport, &questions)
    {
        transport.SetTransportOpen(true);
        core.start();
    }
    ~UdpPeer()
    {
        core.stop();
        transport.SetTransportOpen(false);
    }
    QString id() const { return folder.userId(); }
    FileExchange &files() { return *core.files(); }
    FileTransferEngine &engine() { return core.files()->share().engine(); }
    bool sees(const QString &id) const { return !core.findPeers(id).isEmpty(); }

    TempFolder folder;
    AppContext context;
    UdpTransport transport;
    ScriptedQuestions questions;
    ChatCore core;
};

class CliProcess {
public:
    explicit CliProcess(const QString &alias) { m_folder.setAlias(alias); }
    QString id() const { return m_folder.userId(); }
    void start(const QStringList &arguments)
    {
        m_process.start(QStringLiteral(PERIXCHAT_CLI_BINARY),
                        QStringList{QStringLiteral("--loopback"), QStringLiteral("--settings"),
                                    m_folder.settingsFile(), QStringLiteral("--data-dir"), m_folder.path(),
                                    QStringLiteral("--format"), QStringLiteral("json")} +
                            arguments);
        m_process.waitForStarted();
    }
    // Waits (serving the peer of this process) until the program ended; its exit code, or -1.
    int finish(int timeoutMs)
    {
        waitUntil([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QProcess &process() { return m_process; }
    QList<QJsonObject> events(const QString &name)
    {
        m_out += m_process.readAllStandardOutput();
        QList<QJsonObject> found;
        for (const QByteArray &line : m_out.split('\n')) {
            const QJsonObject e = QJsonDocument::fromJson(line).object();
            if (e.value(QStringLiteral("event")).toString() == name)
                found.append(e);
        }
        return found;
    }

private:
    TempFolder m_folder;
    QProcess m_process;
    QByteArray m_out;
};

bool ended(FileTransferEngine &engine, int id)
{
    const std::optional<TransferInfo> info = engine.info(id);
    return info && (info->state == TransferState::Done || info->state == TransferState::Failed ||
                    info->state == TransferState::Cancelled);
}

} // namespace

class TestCliFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void options();
    void sendFileServesItUntilFetched();
    void listenAcceptsOfferedFilesIntoTheFolder();
    void listenWithoutAcceptFetchesNothing();
};

void TestCliFiles::options()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f.txt"));
    QVERIFY(writeFile(file, "x"));
    const auto parse = [](const QStringList &words) {
        return ParseCliOptions(QStringList{"cli"} + words);
    };

    CliOptions o = parse({"send", "--to", "Anna", "--file", file});
    QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
    QCOMPARE(o.file, file);
    QCOMPARE(o.text, QString());
    QCOMPARE(o.serveMs, 600000);
    o = parse({"send", "--all", "--file", file, "--serve", "2.5", "words"});
    QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
    QCOMPARE(o.serveMs, 2500);
    QCOMPARE(o.text, QStringLiteral("words"));
    QVERIFY(!parse({"send", "--all", "--file", dir.filePath("missing")}).error.isEmpty());
    QVERIFY(!parse({"send", "--all"}).error.isEmpty());
    QVERIFY(!parse({"send", "--all", "--serve", "5", "words"}).error.isEmpty());
    QVERIFY(!parse({"send", "--all", "--file", file, "--serve", "-1"}).error.isEmpty());
    QVERIFY(!parse({"listen", "--file", file}).error.isEmpty());
    QVERIFY(!parse({"send", "--all", "--accept-files", dir.path(), "words"}).error.isEmpty());
    QVERIFY(!parse({"listen", "--accept-files", file}).error.isEmpty());

    o = parse({"listen", "--accept-files", dir.filePath("new/../in")});
    QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
    QCOMPARE(o.acceptDir, dir.filePath("in"));
    QVERIFY(!QFileInfo::exists(o.acceptDir)); // made when the first file comes
    QVERIFY(parse({"listen"}).acceptDir.isEmpty());
    // Relative paths are taken from the current folder.
    o = parse({"send", "--to", "x", "--file", QDir::current().relativeFilePath(file)});
    QCOMPARE(o.file, file);
}

void TestCliFiles::sendFileServesItUntilFetched()
{
    UdpPeer anna(QStringLiteral("Anna"));
    QTemporaryDir source;
    QTemporaryDir save;
    const QString path = source.filePath(QStringLiteral("report 1.bin"));
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 17, 7);
    QVERIFY(writeFile(path, content));

    QList<int> offered;
    QString body;
    QObject::connect(&anna.files(), &FileExchange::filesReceived, &anna.files(),
                     [&](int, const QString &, const QList<int> &records) { offered = records; });
    QObject::connect(anna.core.talks(), &TalkCore::messageForTalk, anna.core.talks(),
                     [&](int, const QString &, const QString &, const QString &text) {
                         if (text.contains(QStringLiteral("CONTROLFILE")))
                             body += text;
                     });
    CliProcess cli(QStringLiteral("Script"));
    QElapsedTimer clock;
    clock.start();
    cli.start({QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("Anna"),
               QStringLiteral("--file"), path, QStringLiteral("--serve"), QStringLiteral("60"),
               QStringLiteral("--timeout"), QStringLiteral("20"), QStringLiteral("here it is")});
    QVERIFY(waitUntil([&] { return offered.size() == 1; }, 15000));
    // The message is the window program's: the text, a line break, the reference and the name.
    QCOMPARE(body, QStringLiteral("here it is\n\r") + FileReferenceText(cli.id(), "127.0.0.1", path) +
                       QStringLiteral(" report 1.bin"));
    const int id = anna.files().Request(offered.first(), save.path(), std::nullopt, QStringLiteral("Script"));
    QVERIFY(id > 0);
    QVERIFY(waitUntil([&] { return ended(anna.engine(), id); }, 30000));
    QCOMPARE(anna.engine().info(id)->state, TransferState::Done);
    QCOMPARE(readFile(save.filePath(QStringLiteral("report 1.bin"))), content);

    // Fetched whole by its one addressee: the program ends long before its 60 seconds.
    QCOMPARE(cli.finish(20000), 0);
    QVERIFY2(clock.elapsed() < 40000, qPrintable(QString::number(clock.elapsed())));
    const QList<QJsonObject> started = cli.events(QStringLiteral("transfer-started"));
    QCOMPARE(started.size(), 1);
    QCOMPARE(started.first().value(QStringLiteral("direction")).toString(), QStringLiteral("send"));
    QCOMPARE(started.first().value(QStringLiteral("name")).toString(), QStringLiteral("report 1.bin"));
    const QList<QJsonObject> done = cli.events(QStringLiteral("transfer-done"));
    QCOMPARE(done.size(), 1);
    QCOMPARE(done.first().value(QStringLiteral("bytes")).toInteger(), content.size());
    // It said goodbye: Anna no longer lists it.
    QVERIFY(waitUntil([&] { return !anna.sees(cli.id()); }, 5000));
}

void TestCliFiles::listenAcceptsOfferedFilesIntoTheFolder()
{
    UdpPeer boris(QStringLiteral("Boris"));
    QTemporaryDir source;
    QTemporaryDir inbox;
    const QString folder = source.filePath(QStringLiteral("photos"));
    const QByteArray first = randomBytes(600 * 1024, 1);
    const QByteArray second = randomBytes(1024 * 1024 + 5, 2);
    QVERIFY(writeFile(folder + QStringLiteral("/a.jpg"), first));
    QVERIFY(writeFile(folder + QStringLiteral("/deeper/b.jpg"), second));
    const QString accept = inbox.filePath(QStringLiteral("in"));

    CliProcess cli(QStringLiteral("Listener"));
    cli.start({QStringLiteral("listen"), QStringLiteral("--accept-files"), accept,
               QStringLiteral("--timeout"), QStringLiteral("60")});
    QVERIFY(waitUntil([&] { return boris.sees(cli.id()); }, 15000));
    const RUserID *me = boris.core.registry()->local();
    const QString reference = FileReferenceText(me->ID, me->IP, folder) + QStringLiteral(" photos");
    QCOMPARE(boris.core.talks()->sendBody(boris.core.allUsersTalk(), reference), SendResult::Sent);
    QVERIFY(waitUntil([&] { return cli.events(QStringLiteral("transfer-done")).size() == 1; }, 30000));
    QCOMPARE(readFile(accept + QStringLiteral("/photos/a.jpg")), first);
    QCOMPARE(readFile(accept + QStringLiteral("/photos/deeper/b.jpg")), second);

    // Offered again: never over what is there, a second copy beside it.
    QVERIFY(writeFile(folder + QStringLiteral("/a.jpg"), second));
    QCOMPARE(boris.core.talks()->sendBody(boris.core.allUsersTalk(), reference), SendResult::Sent);
    QVERIFY(waitUntil([&] { return cli.events(QStringLiteral("transfer-done")).size() == 2; }, 30000));
    QCOMPARE(readFile(accept + QStringLiteral("/photos/a.jpg")), first);
    const QStringList copies = QDir(accept).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(copies.size(), 2);
    for (const QString &copy : copies) {
        if (copy != QStringLiteral("photos"))
            QCOMPARE(readFile(accept + u'/' + copy + QStringLiteral("/a.jpg")), second);
    }

    cli.process().terminate();
    QCOMPARE(cli.finish(10000), 0);
    const QList<QJsonObject> offers = cli.events(QStringLiteral("files-offered"));
    QCOMPARE(offers.size(), 2);
    const QJsonObject from = offers.first().value(QStringLiteral("from")).toObject();
    QCOMPARE(from.value(QStringLiteral("id")).toString(), boris.id());
    QCOMPARE(
        offers.first().value(QStringLiteral("files")).toArray().first().toObject().value("path").toString(),
        folder);
    const QList<QJsonObject> done = cli.events(QStringLiteral("transfer-done"));
    QCOMPARE(done.first().value(QStringLiteral("direction")).toString(), QStringLiteral("receive"));
    QCOMPARE(done.first().value(QStringLiteral("bytes")).toInteger(), first.size() + second.size());
    QCOMPARE(done.first().value(QStringLiteral("target")).toString(), accept + QStringLiteral("/photos"));
}

void TestCliFiles::listenWithoutAcceptFetchesNothing()
{
    UdpPeer boris(QStringLiteral("Boris"));
    QTemporaryDir source;
    const QString path = source.filePath(QStringLiteral("secret.txt"));
    QVERIFY(writeFile(path, "not for everybody"));
    CliProcess cli(QStringLiteral("Listener"));
    cli.start({QStringLiteral("listen"), QStringLiteral("--timeout"), QStringLiteral("20")});
    QVERIFY(waitUntil([&] { return boris.sees(cli.id()); }, 15000));
    const RUserID *me = boris.core.registry()->local();
    QSignalSpy added(&boris.engine(), &FileTransferEngine::transferAdded);
    boris.core.talks()->sendBody(boris.core.allUsersTalk(), FileReferenceText(me->ID, me->IP, path));
    QVERIFY(waitUntil([&] { return !cli.events(QStringLiteral("files-offered")).isEmpty(); }, 15000));
    // A fetch would start at once, on the offer; it is given half a second.
    settle(500);
    cli.process().terminate();
    QCOMPARE(cli.finish(15000), 0);
    QCOMPARE(cli.events(QStringLiteral("files-offered")).size(), 1);
    QVERIFY(cli.events(QStringLiteral("transfer-started")).isEmpty());
    QCOMPARE(added.size(), 0);
    QCOMPARE(boris.files().share().gate().count(), 0);
}

QTEST_MAIN(TestCliFiles)
#include "test_cli_files.moc"
