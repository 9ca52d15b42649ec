// A peer on the same network that means harm: markup where names go, packets while a question is
// open, floods, and an echo service. Complete copies run in this process or as the real program;
// the hostile side is a raw UDP socket on loopback.

#include "PeerHarness.h"
#include "RawUdp.h"

#include "app/ui/MainActionList.h"
#include "features/ui/MessageBox.h"
#include "features/ui/StatusPanels.h"
#include "peers/EarlyNewAnswer.h"
#include "protocol/SendMessageUn.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"
#include "talks/ui/frConnectUserUn.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>

#include <sys/inotify.h>

namespace {

const QString HostileId = QStringLiteral("{0BADC0DE-0000-4000-8000-000000000001}");
const QString GroupId = QStringLiteral("{0BADC0DE-0000-4000-8000-0000000000A1}");

// Sends from a port of its own to the broadcast address, as a peer does.
class HostileSender {
public:
    HostileSender() { m_socket.bind(QHostAddress::LocalHost, 0); }
    void send(const QByteArray &packet)
    {
        m_socket.writeDatagram(packet, QHostAddress(QStringLiteral("127.255.255.255")), PeerPort);
    }

private:
    QUdpSocket m_socket;
};

RUserID hostileEntry(const QString &alias, const QString &id = HostileId)
{
    RUserID entry;
    entry.Alias = alias;
    entry.ID = id;
    entry.IP = QStringLiteral("127.0.0.1");
    entry.PictureIndex = 0;
    return entry;
}

WireIdentity hostileWire(const QString &alias)
{
    return WireIdentity::fromEntry(hostileEntry(alias));
}

GroupTalkWire hostileGroup(const QString &authorAlias, const QString &groupName)
{
    GroupTalkWire talk;
    talk.groupId = GroupId;
    talk.authorId = HostileId;
    talk.authorIp = QStringLiteral("127.0.0.1");
    talk.authorAlias = authorAlias;
    talk.groupName = groupName;
    return talk;
}

// Counts every open and read of one file.
class CanaryWatch {
public:
    explicit CanaryWatch(const QString &path)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN | IN_ACCESS);
    }
    ~CanaryWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isReady() const { return m_fd >= 0 && m_watch >= 0; }
    int events()
    {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t size = ::read(m_fd, buffer, sizeof buffer);
            if (size <= 0)
                break;
            for (ssize_t at = 0; at < size;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                m_events += (event->mask & (IN_OPEN | IN_ACCESS)) != 0;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return m_events;
    }

private:
    int m_fd = -1;
    int m_watch = -1;
    int m_events = 0;
};

// Finds the modal window that is open, renders it as the screen would and answers it with one key
// press per window, in order; with no key left it leaves the window open.
class ModalDriver : public QObject {
public:
    struct Seen {
        QString title;
        QStringList labels;
        QSize rendered;
    };

    ModalDriver()
    {
        m_timer.setInterval(15);
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::look);
        m_timer.start();
    }

    QList<Qt::Key> keys;
    // Runs once for each window found, while it is open (in its event loop), before the key press.
    std::function<void()> whileOpen;
    QList<Seen> seen;
    bool isOpen() const { return !m_current.isNull() && m_current->isVisible(); }

private:
    void look()
    {
        QWidget *window = QApplication::activeModalWidget();
        if (!window || m_busy)
            return;
        if (window != m_current) {
            m_current = window;
            m_pressed = false;
            Seen s;
            s.title = window->windowTitle();
            for (const QLabel *label : window->findChildren<QLabel *>())
                s.labels.append(label->text());
            s.rendered = window->grab().size();
            seen.append(s);
            if (whileOpen) {
                m_busy = true;
                whileOpen();
                m_busy = false;
            }
            if (!m_current)
                return;
        }
        if (m_pressed || keys.isEmpty())
            return;
        m_pressed = true;
        // The key goes where the keyboard would send it.
        QWidget *target = window->focusWidget() ? window->focusWidget() : window;
        QTest::keyClick(target, keys.takeFirst());
    }

    QTimer m_timer;
    QPointer<QWidget> m_current;
    bool m_pressed = false;
    bool m_busy = false;
};

// Everything that shows peer text, drawn once: the windows with their tab bars, trees, transcripts
// and status bar, and the tooltip of every tab.
void renderEverything(const TestPeer &peer)
{
    peer.mainWindow()->grab();
    peer.userList()->grab();
    peer.mainWindow()->statusPanels()->grab();
    QTabBar *tabs = peer.mainWindow()->pages()->tabBar();
    for (int i = 0; i < tabs->count(); ++i) {
        const QPoint at = tabs->tabRect(i).center();
        QHelpEvent help(QEvent::ToolTip, at, tabs->mapToGlobal(at));
        QApplication::sendEvent(tabs, &help);
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && top->inherits("QTipLabel"))
                top->grab();
        }
        QToolTip::hideText();
    }
    for (QTreeWidget *tree : peer.userList()->findChildren<QTreeWidget *>()) {
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const QPoint at = tree->visualItemRect(tree->topLevelItem(i)).center();
            QHelpEvent help(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
            QApplication::sendEvent(tree->viewport(), &help);
        }
        QToolTip::hideText();
    }
    QCoreApplication::processEvents();
}

QString transcript(const TestPeer &peer, int sheet)
{
    const TfrConnectUser *talk = peer.mainWindow()->talks()->frame(sheet);
    return talk ? talk->reAllMessage()->toPlainText() : QString();
}

} // namespace

class TestHostile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void markupNeverOpensFiles();
    void packetsWaitWhileQuestionIsOpen();
    void packetsWaitWhileUserWindowIsOpen();
    void terminationUnderFlood();
    void echoServiceCannotMakeALoop();
    void floodNeverStarvesTimers();
    void newcomerIsAnsweredAheadOfQueuedMessages();
};

void TestHostile::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
}

void TestHostile::init()
{
    // Every question here is the real window, answered by key presses.
    TfmInformation::clearAutoAnswer();
}

void TestHostile::markupNeverOpensFiles()
{
    QTemporaryDir files;
    const QString canaryPath = files.filePath("canary.png");
    {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(canaryPath));
    }
    CanaryWatch canary(canaryPath);
    QVERIFY(canary.isReady());
    const QString markup = QStringLiteral("<img src=\"%1\">").arg(canaryPath);

    TestPeer victim("Victim");
    victim.start();
    victim.userList()->show();
    ModalDriver driver;
    HostileSender hostile;
    TalkManager *talks = victim.mainWindow()->talks();
    const QString victimId = victim.id();

    // A peer whose alias is markup: its node, notices, transcript line and private tab.
    hostile.send(BuildPresencePacket(hostileEntry(markup), true));
    QVERIFY(waitUntil([&] { return victim.registry()->peers().findOnline(HostileId) > 0; }));
    // A group talk whose name and author are markup: its tab caption and tooltip.
    hostile.send(BuildGroupMessagePacket(BuildUserIDList(HostileId, {victimId}), hostileGroup(markup, markup),
                                         hostileWire(markup), QStringLiteral("hello group")));
    QVERIFY(waitUntil([&] { return talks->FindTalkByGroupID(GroupId) > 0; }));
    hostile.send(BuildUserMessagePacket(victimId, hostileWire(markup), QStringLiteral("hello you"), false));
    QVERIFY(waitUntil([&] { return talks->FindPrivateTalk(HostileId) > 0; }));
    renderEverything(victim);
    QVERIFY(transcript(victim, 0).contains(markup));
    QCOMPARE(canary.events(), 0);

    // The author closes the group: the notice names the author and the page caption.
    driver.keys = {Qt::Key_Return};
    hostile.send(BuildGroupTalkDeletePacket(hostileGroup(markup, markup)));
    QVERIFY(waitUntil([&] { return talks->FindTalkByGroupID(GroupId) < 0; }));
    QCOMPARE(driver.seen.size(), 1);
    QCOMPARE(canary.events(), 0);

    // The peer closes the private talk: the question names it; Escape leaves the talk open.
    driver.keys = {Qt::Key_Escape};
    hostile.send(BuildPrivateDeletePacket(victimId, hostileWire(markup)));
    QVERIFY(waitUntil([&] { return driver.seen.size() == 2 && !driver.isOpen(); }));
    QVERIFY(talks->FindPrivateTalk(HostileId) > 0);
    QCOMPARE(canary.events(), 0);

    // The peer leaves with markup in its goodbye: notices, then the question again; OK closes.
    driver.keys = {Qt::Key_Return};
    hostile.send(BuildDisconnectPacket(hostileEntry(markup)));
    QVERIFY(waitUntil([&] { return talks->FindPrivateTalk(HostileId) < 0; }));
    QCOMPARE(driver.seen.size(), 3);
    renderEverything(victim);
    QCOMPARE(canary.events(), 0);

    for (const ModalDriver::Seen &s : std::as_const(driver.seen)) {
        // Each was really drawn, and shows the markup as the words it is.
        QVERIFY(!s.rendered.isEmpty());
        QVERIFY2(s.labels.join(u'\n').contains(markup), qPrintable(s.labels.join(u'\n')));
    }
    QVERIFY(driver.seen.at(0).title.startsWith("Closing of group"));
    QVERIFY(driver.seen.at(1).title.startsWith("Closing of private"));
    QVERIFY(
        transcript(victim, 0).contains(QStringLiteral("User \"%1\" is disconnect").arg(markup)));

    // The watch itself sees an open.
    QFile probe(canaryPath);
    QVERIFY(probe.open(QIODevice::ReadOnly));
    probe.readAll();
    QVERIFY(waitUntil([&] { return canary.events() > 0; }, 1000));
    victim.close();
}

void TestHostile::packetsWaitWhileQuestionIsOpen()
{
    RawUdp::Hearer hearer;
    QVERIFY(hearer.isReady());
    TestPeer victim("Victim");
    victim.start();
    const QString victimId = victim.id();
    ModalDriver driver;
    HostileSender hostile;
    TalkManager *talks = victim.mainWindow()->talks();
    PacketQueue *queue = victim.mainWindow()->handlingQueue();

    hostile.send(BuildPresencePacket(hostileEntry("Rita"), true));
    QVERIFY(waitUntil([&] { return victim.registry()->peers().findOnline(HostileId) > 0; }));
    hostile.send(BuildUserMessagePacket(victimId, hostileWire("Rita"), QStringLiteral("hi"), false));
    QVERIFY(waitUntil([&] { return talks->FindPrivateTalk(HostileId) > 0; }));

    // The question runs its own event loop; what happens while it is open runs in there.
    const QString lateId = QStringLiteral("{0BADC0DE-0000-4000-8000-00000000LA7E}");
    constexpr int Crowd = 300;
    QStringList crowd;
    for (int i = 0; i < Crowd; ++i)
        crowd.append(QStringLiteral("{0BADC0DE-0000-4000-8000-%1}").arg(i, 12, 10, QLatin1Char('0')));
    RawUdp::Clock::time_point beforeLate, closedAt;
    int queuedWhileOpen = 0;
    int answeredWhileOpen = -1;
    bool lateListedWhileOpen = true;
    driver.keys = {Qt::Key_Escape};
    driver.whileOpen = [&] {
        // A newcomer, then a crowd: heard and queued, not answered.
        beforeLate = RawUdp::Clock::now();
        hostile.send(BuildPresencePacket(hostileEntry("Late", lateId), true));
        for (int i = 0; i < Crowd; ++i) {
            hostile.send(
                BuildPresencePacket(hostileEntry(QStringLiteral("Crowd %1").arg(i), crowd.at(i)), true));
            if (i % 50 == 49)
                QTest::qWait(5);
        }
        // The socket is read all along: everything waits in the queue.
        waitUntil([&] { return queue->size() >= Crowd + 1; }, 3000);
        QTest::qWait(300);
        queuedWhileOpen = queue->size();
        answeredWhileOpen = hearer.count(pkUpdateInfo, victimId, beforeLate);
        lateListedWhileOpen = victim.registry()->peers().findOnline(lateId) >= 0;
        closedAt = RawUdp::Clock::now();
    };
    hostile.send(BuildPrivateDeletePacket(victimId, hostileWire("Rita")));
    QVERIFY(waitUntil([&] { return driver.seen.size() == 1 && !driver.isOpen(); }, 8000));
    // Everything waits, and the victim's own answers come back into the queue as well.
    QVERIFY(queuedWhileOpen >= Crowd + 1);
    // The newcomers are answered at once all the same, a bounded number a second; the list waits.
    QVERIFY2(answeredWhileOpen >= 1 && answeredWhileOpen <= 2 * EarlyNewAnswer::MaxAnswersPerSecond,
             qPrintable(QString::number(answeredWhileOpen)));
    QVERIFY(!lateListedWhileOpen);

    // Cancel left the talk open; then the rest are answered and nobody was lost: one answer a NEW.
    QVERIFY(talks->FindPrivateTalk(HostileId) > 0);
    QVERIFY(waitUntil([&] { return hearer.count(pkUpdateInfo, victimId, beforeLate) >= Crowd + 1; }));
    QTest::qWait(300);
    QCOMPARE(hearer.count(pkUpdateInfo, victimId, beforeLate), Crowd + 1);
    QVERIFY(hearer.count(pkUpdateInfo, victimId, closedAt) <= Crowd + 1 - answeredWhileOpen);
    QVERIFY(victim.registry()->peers().findOnline(lateId) > 0);
    for (const QString &id : std::as_const(crowd))
        QVERIFY2(victim.registry()->peers().findOnline(id) > 0, qPrintable(id));
    QCOMPARE(queue->dropped(), 0);
    QCOMPARE(driver.seen.size(), 1);
    victim.close();
}

void TestHostile::packetsWaitWhileUserWindowIsOpen()
{
    RawUdp::Hearer hearer;
    QVERIFY(hearer.isReady());
    TestPeer victim("Victim");
    victim.start();
    const QString victimId = victim.id();
    ModalDriver driver;
    HostileSender hostile;
    int answeredWhileOpen = -1;
    int queuedWhileOpen = 0;
    // Its own announcement has come back and been handled.
    QVERIFY(waitUntil([&] {
        return hearer.count(pkNew, victimId) == 1 && victim.mainWindow()->handlingQueue()->size() == 0;
    }));
    QTest::qWait(50);
    const auto beforeNew = RawUdp::Clock::now();
    driver.keys = {Qt::Key_Escape};
    driver.whileOpen = [&] {
        hostile.send(BuildPresencePacket(hostileEntry("Nora"), true));
        waitUntil([&] { return victim.mainWindow()->handlingQueue()->size() >= 1; }, 2000);
        QTest::qWait(300);
        queuedWhileOpen = victim.mainWindow()->handlingQueue()->size();
        answeredWhileOpen = hearer.count(pkUpdateInfo, victimId, beforeNew);
    };
    // A window the user opened, not a packet: handling waits for it all the same.
    victim.mainWindow()->actions()->action(QStringLiteral("actAbout"))->trigger();
    QCOMPARE(driver.seen.size(), 1);
    // The NEW waits, and so does the victim's own answer that came back; the answer went out at once.
    QCOMPARE(queuedWhileOpen, 2);
    QCOMPARE(answeredWhileOpen, 1);
    QTest::qWait(300);
    QCOMPARE(hearer.count(pkUpdateInfo, victimId, beforeNew), 1);
    QVERIFY(victim.registry()->peers().findOnline(HostileId) > 0);
    victim.close();
}

void TestHostile::terminationUnderFlood()
{
    RawUdp::Hearer hearer;
    QVERIFY(hearer.isReady());
    QTemporaryDir dir;
    // Named already: a first start would ask for the name before announcing.
    TSetUserData(SettingsStore(dir.filePath("settings.ini"))).SetAlias(QStringLiteral("Target"));
    QProcess program;
    program.setProgram(QStringLiteral(PERIXCHAT_BINARY));
    program.setArguments(
        {"--loopback", "--settings", dir.filePath("settings.ini"), "--data-dir", dir.path()});
    program.start();
    QVERIFY(program.waitForStarted(5000));
    QVERIFY(waitUntil([&] { return hearer.count(pkNew) == 1; }, 8000));
    const QString programId = hearer.ids(pkNew).first();

    // Valid and malformed packets, several thousand a second; a few of them newcomers to answer.
    QList<QByteArray> newcomers;
    for (int i = 0; i < 40; ++i)
        newcomers.append(BuildPresencePacket(
            hostileEntry(QStringLiteral("Flood %1").arg(i),
                         QStringLiteral("{0BADC0DE-0000-4000-8000-F%1}").arg(i, 11, 10, QLatin1Char('0'))),
            true));
    const QByteArray heavy = BuildMessagePacket(hostileWire("Heavy"), QString(4000, u'h'));
    RawUdp::Flooder flood("127.255.255.255", 6000, [&newcomers, &heavy](std::mt19937 &random) {
        switch (random() % 10) {
        case 0:
            return newcomers.at(int(random() % newcomers.size()));
        case 1:
        case 2:
        case 3:
            return heavy;
        default:
            return RawUdp::StormPacket(random);
        }
    });
    flood.start();
    QTest::qWait(1500);
    QElapsedTimer ending;
    ending.start();
    program.terminate();
    const bool ended = program.waitForFinished(5000);
    const qint64 endedMs = ending.elapsed();
    flood.stop();
    QVERIFY(ended);
    qInfo("ended %lld ms after SIGTERM, %lld datagrams sent", endedMs, flood.sent());
    QVERIFY2(endedMs < 1000, qPrintable(QString::number(endedMs)));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(flood.sent() > 5000);
    QTest::qWait(200);
    QCOMPARE(hearer.count(pkDisconnect, programId), 1);
    // It answered newcomers while flooded.
    QVERIFY(hearer.count(pkUpdateInfo, programId) > 0);
}

void TestHostile::echoServiceCannotMakeALoop()
{
    TestPeer victim("Victim");
    victim.start();
    // An echo service: whatever comes in goes back to where it came from.
    QUdpSocket echoService;
    QVERIFY(echoService.bind(QHostAddress::LocalHost, 0));
    int echoes = 0;
    QElapsedTimer clock;
    qint64 lastEcho = -1;
    connect(&echoService, &QUdpSocket::readyRead, this, [&] {
        while (echoService.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = echoService.receiveDatagram();
            ++echoes;
            lastEcho = clock.elapsed();
            echoService.writeDatagram(datagram.data(), datagram.senderAddress(),
                                      quint16(datagram.senderPort()));
        }
    });
    clock.start();
    echoService.writeDatagram("not a packet", QHostAddress::LocalHost, PeerPort);
    // Watched until a second without an echo (a round takes milliseconds), or a loop is plain.
    while (echoes <= 60 && clock.elapsed() < 3000 && (echoes == 0 || clock.elapsed() - lastEcho < 1000))
        QTest::qWait(10);
    qInfo("%d echoes in %lld ms, the last after %lld ms", echoes, clock.elapsed(), lastEcho);
    // The ordinary echo still happens; the exchange stops on its own.
    QVERIFY(echoes >= 1);
    QVERIFY2(echoes <= 60, qPrintable(QString::number(echoes)));
    QVERIFY2(clock.elapsed() - lastEcho >= 1000, "still echoing");
    victim.close();
}

void TestHostile::floodNeverStarvesTimers()
{
    TestPeer victim("Victim");
    victim.start();
    QTest::qWait(200);
    const int before = victim.mainWindow()->talks()->frame(0)->reAllMessage()->document()->blockCount();

    QList<qint64> ticks;
    QElapsedTimer clock;
    QTimer timer;
    timer.setInterval(100);
    connect(&timer, &QTimer::timeout, this, [&] { ticks.append(clock.elapsed()); });
    // Only this copy listens on the port: the flood goes straight to it.
    // Messages with long bodies cost the handler the most; the rest is the storm's mixture.
    QList<QByteArray> heavy;
    for (int i = 0; i < 16; ++i) {
        WireIdentity sender = hostileWire(QStringLiteral("Heavy %1").arg(i));
        heavy.append(BuildMessagePacket(sender, QString(4000, QChar(u'a' + i))));
    }
    RawUdp::Flooder flood("127.0.0.1", 6000, [&heavy](std::mt19937 &random) {
        return random() % 2 ? heavy.at(int(random() % heavy.size())) : RawUdp::StormPacket(random);
    });
    clock.start();
    timer.start();
    flood.start();
    QTest::qWait(2000);
    flood.stop();
    timer.stop();
    qint64 longest = ticks.isEmpty() ? 2000 : ticks.first();
    for (int i = 1; i < ticks.size(); ++i)
        longest = std::max(longest, ticks.at(i) - ticks.at(i - 1));
    qInfo("%lld datagrams; %lld ticks, longest gap %lld ms", flood.sent(), qint64(ticks.size()), longest);
    QVERIFY(flood.sent() > 8000);
    QVERIFY2(ticks.size() >= 15, qPrintable(QString::number(ticks.size())));
    QVERIFY2(longest < 300, qPrintable(QString::number(longest)));
    // The flood did reach the copy.
    QVERIFY(victim.mainWindow()->talks()->frame(0)->reAllMessage()->document()->blockCount() > before + 100);
    victim.close();
}

// Long messages cost milliseconds each to show; a newcomer's NEW queued behind a hundred of them is
// still answered at once, not after them.
void TestHostile::newcomerIsAnsweredAheadOfQueuedMessages()
{
    RawUdp::Hearer hearer;
    QVERIFY(hearer.isReady());
    TestPeer victim("Victim");
    victim.start();
    const QString victimId = victim.id();
    QVERIFY(waitUntil([&] { return hearer.count(pkNew, victimId) == 1; }));
    HostileSender hostile;
    hostile.send(BuildPresencePacket(hostileEntry("Heavy"), true));
    QVERIFY(waitUntil([&] { return victim.registry()->peers().findOnline(HostileId) > 0; }));
    PacketQueue *queue = victim.mainWindow()->handlingQueue();
    QVERIFY(waitUntil([&] { return queue->size() == 0; }));

    constexpr int Messages = 100;
    for (int i = 0; i < Messages; ++i) {
        hostile.send(BuildMessagePacket(hostileWire("Heavy"), QString(4000, QChar(u'a' + i % 26))));
        // The copy reads between the bursts, so that its receive buffer never overflows.
        if (i % 20 == 19)
            QCoreApplication::processEvents();
    }
    const RawUdp::Clock::time_point since = RawUdp::Clock::now();
    const QString newcomer = QStringLiteral("{0BADC0DE-0000-4000-8000-00000000FA57}");
    hostile.send(BuildPresencePacket(hostileEntry("Newcomer", newcomer), true));
    QVERIFY(waitUntil([&] { return hearer.count(pkUpdateInfo, victimId, since) > 0; }, 10000));
    // Answered while most of the messages still wait to be shown.
    QVERIFY2(queue->size() >= Messages / 3, qPrintable(QString::number(queue->size())));
    QVERIFY(victim.registry()->peers().findOnline(newcomer) > 0);
    // Every message is shown in the end, in the order sent.
    QVERIFY(waitUntil([&] { return queue->size() == 0; }, 20000));
    const QString transcript = victim.mainWindow()->talks()->frame(0)->reAllMessage()->toPlainText();
    qsizetype at = 0;
    for (int i = 0; i < Messages; ++i) {
        const qsizetype next = transcript.indexOf(QString(4000, QChar(u'a' + i % 26)), at);
        QVERIFY2(next >= at, qPrintable(QString::number(i)));
        at = next + 1;
    }
    victim.close();
}

QTEST_MAIN(TestHostile)
#include "test_hostile.moc"
