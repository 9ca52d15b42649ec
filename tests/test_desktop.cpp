// The program as a desktop citizen: desktop notifications through a private session bus with a
// notification service of the test's own, unread counts, the first start's name question, NEW answered
// while a question box is open, and the port error with a termination signal under it.

#include "PeerHarness.h"

#include "app/ui/FirstStartName.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MessageAlerts.h"
#include "app/ui/StorageCheck.h"
#include "features/ui/DesktopNotifier.h"
#include "features/ui/MessageBox.h"
#include "features/ui/TrayIcon.h"
#include "protocol/Guid.h"
#include "protocol/SendMessageUn.h"
#include "settings/SettingsWriteReport.h"
#include "settings/iniFileUn.h"
#include "talks/MessageText.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"
#include "talks/ui/frConnectUserUn.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

QString g_busAddress;

// The freedesktop notification service as far as the program uses it; it records every call.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app;
        uint replaces = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
        uint id = 0;
    };
    QList<Call> calls;
    QList<uint> closed;

public Q_SLOTS:
    QStringList GetCapabilities()
    {
        return {QStringLiteral("body"), QStringLiteral("body-markup"), QStringLiteral("actions")};
    }
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        const uint id = replaces != 0 ? replaces : ++m_lastId;
        calls.append({app, replaces, icon, summary, body, actions, hints, timeout, id});
        return id;
    }
    void CloseNotification(uint id) { closed.append(id); }

private:
    uint m_lastId = 100;
};

RUserID rawUser(const QString &alias)
{
    RUserID user;
    user.ID = NewRegistryGuid();
    user.Alias = alias;
    user.IP = QStringLiteral("127.0.0.1");
    user.PictureIndex = 4;
    return user;
}

// Runs the action as soon as a modal window is open (checked every 20 ms, at most 5 s).
void whenModalOpens(const std::function<void(QWidget *)> &action)
{
    auto *timer = new QTimer;
    auto *elapsed = new QElapsedTimer;
    elapsed->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && elapsed->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        delete elapsed;
        if (modal)
            action(modal);
    });
    timer->start(20);
}

// Another program's window takes the focus: the user looks elsewhere.
class ElsewhereWindow {
public:
    bool activate()
    {
        m_window.resize(200, 100);
        m_window.show();
        m_window.activateWindow();
        return waitUntil([this] { return m_window.isActiveWindow(); }, 3000);
    }

private:
    QWidget m_window;
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    // First: the process must not have joined the bus before it.
    void busJoinedAfterTheFirstPaint();
    void notificationPerTalkReplacedAndClickOpens();
    void serviceComingAndGoingDecidesTheBalloon();
    void noBusCostsNothing();
    void newAnsweredWhileQuestionIsOpen();
    void firstStartAsksForTheNameOnce();
    void fullNameFromGecos();
    void portErrorNamesHolderAndTerminationEndsUnderTheBox();
    void unusableSettingsAndDataFolderToldOnce();
    void unwritableSettingsToldOnce();

private:
    QDBusConnection serviceBus() const { return QDBusConnection(QStringLiteral("test-service")); }
    bool registerService(NotificationService *service);
};

void TestDesktop::initTestCase()
{
    if (g_busAddress.isEmpty())
        QSKIP("no private session bus (dbus-daemon missing)");
}

void TestDesktop::cleanup()
{
    MessageBox::clearAutoAnswer();
    TfmInformation::clearAutoAnswer();
}

bool TestDesktop::registerService(NotificationService *service)
{
    QDBusConnection bus = QDBusConnection::connectToBus(g_busAddress, QStringLiteral("test-service"));
    return bus.isConnected() &&
           bus.registerObject(DesktopNotifier::Path, service, QDBusConnection::ExportAllSlots) &&
           bus.registerService(DesktopNotifier::Service);
}

void TestDesktop::busJoinedAfterTheFirstPaint()
{
    QDBusConnection observer = QDBusConnection::connectToBus(g_busAddress, QStringLiteral("test-observer"));
    QVERIFY(observer.isConnected());
    const auto connections = [&] {
        const QStringList names = observer.interface()->registeredServiceNames().value();
        return std::count_if(names.cbegin(), names.cend(),
                             [](const QString &n) { return n.startsWith(u':'); });
    };
    const auto before = connections();
    TestPeer anna("Anna");
    anna.start();
    TPerixChatForm *window = anna.mainWindow();
    // The window is made and shown, but nothing is drawn before the event loop runs: no bus yet.
    QCOMPARE(connections(), before);
    QVERIFY(!window->alerts()->notifier()->isAvailable());
    QVERIFY(waitUntil([&] { return connections() == before + 1; }));
    QVERIFY(window->trayIcon()->isAvailable() == QSystemTrayIcon::isSystemTrayAvailable());
    QDBusConnection::disconnectFromBus(QStringLiteral("test-observer"));
}

void TestDesktop::notificationPerTalkReplacedAndClickOpens()
{
    NotificationService service;
    QVERIFY(registerService(&service));
    RawPeer raw;
    QVERIFY(raw.isReady());
    TestPeer anna("Anna");
    anna.start();
    TPerixChatForm *window = anna.mainWindow();
    MessageAlerts *alerts = window->alerts();
    QVERIFY(waitUntil([&] { return alerts->notifier()->isAvailable(); }));
    QVERIFY(!alerts->balloonWanted());

    const RUserID eve = rawUser(QStringLiteral("Eve <i>"));
    const RUserID mallory = rawUser(QStringLiteral("Mallory"));
    raw.send(BuildPresencePacket(eve, true));
    raw.send(BuildPresencePacket(mallory, true));
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 2; }));
    ElsewhereWindow elsewhere;
    QVERIFY(elsewhere.activate());
    const QString baseTitle = window->windowTitle();

    // Two messages in one talk: one notification, replaced by the second; the texts as plain text.
    raw.send(BuildUserMessagePacket(anna.id(), WireIdentity::fromEntry(eve),
                                    MessageText::FromPlainText(QStringLiteral("Hello <b>&</b>\nsecond line")),
                                    false));
    QVERIFY(waitUntil([&] { return service.calls.size() == 1; }));
    const NotificationService::Call first = service.calls.at(0);
    QCOMPARE(first.app, QStringLiteral("Perix Chat"));
    QCOMPARE(first.replaces, 0u);
    QCOMPARE(first.summary, QStringLiteral("Eve <i>"));
    // The service reads markup in the body: the sender's text reaches it escaped, first line only.
    QCOMPARE(first.body, QStringLiteral("Hello &lt;b&gt;&amp;&lt;/b&gt;"));
    QVERIFY(first.actions.contains(QStringLiteral("default")));
    QCOMPARE(first.timeout, -1);
    QVERIFY(first.hints.contains(QStringLiteral("image-data")));
    {
        const QDBusArgument image = first.hints.value(QStringLiteral("image-data")).value<QDBusArgument>();
        int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
        bool alpha = false;
        QByteArray data;
        image.beginStructure();
        image >> width >> height >> stride >> alpha >> bits >> channels >> data;
        image.endStructure();
        QVERIFY(width >= 32 && height == width);
        QCOMPARE(bits, 8);
        QCOMPARE(channels, 4);
        QCOMPARE(data.size(), stride * height);
    }
    raw.send(BuildUserMessagePacket(anna.id(), WireIdentity::fromEntry(eve), QStringLiteral("again"), false));
    QVERIFY(waitUntil([&] { return service.calls.size() == 2; }));
    QCOMPARE(service.calls.at(1).replaces, first.id);
    QCOMPARE(service.calls.at(1).body, QStringLiteral("again"));

    TalkManager *talks = window->talks();
    const int eveSheet = talks->FindPrivateTalk(eve.ID);
    QVERIFY(eveSheet > 0);
    const int eveTalk = talks->talkIdAt(eveSheet);
    QCOMPARE(alerts->unread(eveTalk), 2);
    QVERIFY(window->pages()->tabText(eveSheet).endsWith(QStringLiteral(" (2)")));
    QCOMPARE(window->windowTitle(), QStringLiteral("(2) ") + baseTitle);
    QVERIFY(anna.nodeTexts().contains(QStringLiteral("Eve <i> (2)")));

    // Another talk has a notification of its own.
    raw.send(
        BuildUserMessagePacket(anna.id(), WireIdentity::fromEntry(mallory), QStringLiteral("hi"), false));
    QVERIFY(waitUntil([&] { return service.calls.size() == 3; }));
    QCOMPARE(service.calls.at(2).replaces, 0u);
    QVERIFY(service.calls.at(2).id != first.id);
    QCOMPARE(window->windowTitle(), QStringLiteral("(3) ") + baseTitle);

    // A click on Eve's notification opens her talk: it is read, its notification withdrawn.
    QDBusMessage click = QDBusMessage::createSignal(DesktopNotifier::Path, DesktopNotifier::Service,
                                                    QStringLiteral("ActionInvoked"));
    click << first.id << QStringLiteral("default");
    QVERIFY(serviceBus().send(click));
    QVERIFY(
        waitUntil([&] { return window->pages()->currentIndex() == eveSheet && window->isActiveWindow(); }));
    QVERIFY(waitUntil([&] { return alerts->unread(eveTalk) == 0; }));
    QVERIFY(waitUntil([&] { return service.closed.contains(first.id); }));
    QVERIFY(!window->pages()->tabText(eveSheet).endsWith(QStringLiteral(")")));
    QCOMPARE(window->windowTitle(), QStringLiteral("(1) ") + baseTitle);
    QVERIFY(anna.nodeTexts().contains(QStringLiteral("Eve <i>")));
    QVERIFY(anna.nodeTexts().contains(QStringLiteral("Mallory (1)")));

    // A message in the talk in view is read at once: nothing is counted or shown.
    raw.send(BuildUserMessagePacket(anna.id(), WireIdentity::fromEntry(eve), QStringLiteral("seen"), false));
    QVERIFY(
        waitUntil([&] { return talks->frame(eveSheet)->reAllMessage()->toPlainText().contains("seen"); }));
    settle(200);
    QCOMPARE(service.calls.size(), 3);
    QCOMPARE(alerts->unread(eveTalk), 0);

    // The new-message option off: counted, but no notification.
    QVERIFY(elsewhere.activate());
    window->actions()->action(QStringLiteral("actSoundNewMessage"))->setChecked(false);
    raw.send(BuildUserMessagePacket(anna.id(), WireIdentity::fromEntry(eve), QStringLiteral("quiet"), false));
    QVERIFY(waitUntil([&] { return alerts->unread(eveTalk) == 1; }));
    settle(200);
    QCOMPARE(service.calls.size(), 3);
    anna.close();
    serviceBus().unregisterService(DesktopNotifier::Service);
    serviceBus().unregisterObject(DesktopNotifier::Path);
}

void TestDesktop::serviceComingAndGoingDecidesTheBalloon()
{
    // No service on the bus: the program notices it and keeps the balloon.
    DesktopNotifier without(QDBusConnection::sessionBus(), nullptr);
    settle(300);
    QVERIFY(!without.isAvailable());
    without.show(1, QStringLiteral("a"), QStringLiteral("b"), QImage());

    NotificationService service;
    QSignalSpy changes(&without, &DesktopNotifier::availabilityChanged);
    QVERIFY(registerService(&service));
    QVERIFY(waitUntil([&] { return without.isAvailable(); }));
    QCOMPARE(changes.size(), 1);
    // Nothing asked before the service came is shown afterwards.
    QVERIFY(service.calls.isEmpty());
    without.show(1, QStringLiteral("a"), QStringLiteral("b"), QImage());
    QVERIFY(waitUntil([&] { return service.calls.size() == 1; }));
    QVERIFY(!service.calls.first().hints.contains(QStringLiteral("image-data")));

    serviceBus().unregisterService(DesktopNotifier::Service);
    QVERIFY(waitUntil([&] { return !without.isAvailable(); }));
    QVERIFY(!without.isShown(1));
    serviceBus().unregisterObject(DesktopNotifier::Path);
}

void TestDesktop::noBusCostsNothing()
{
    // No bus at all: nothing is available, no call waits, nothing is reported.
    QDir().mkpath(QDir::temp().filePath(QStringLiteral("perix-no-bus")));
    QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=") + QDir::temp().filePath(QStringLiteral("perix-no-bus/none")),
        QStringLiteral("no-bus"));
    QVERIFY(!none.isConnected());
    QElapsedTimer clock;
    clock.start();
    DesktopNotifier notifier(none, nullptr);
    QSignalSpy changes(&notifier, &DesktopNotifier::availabilityChanged);
    for (int i = 0; i < 200; ++i)
        notifier.show(i % 4, QStringLiteral("Eve"), QStringLiteral("hello"),
                      QImage(32, 32, QImage::Format_ARGB32));
    notifier.withdraw(1);
    QVERIFY2(clock.elapsed() < 200, qPrintable(QString::number(clock.elapsed())));
    settle(100);
    QVERIFY(!notifier.isAvailable());
    QCOMPARE(changes.size(), 0);
    QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
}

void TestDesktop::newAnsweredWhileQuestionIsOpen()
{
    RawPeer raw;
    QVERIFY(raw.isReady());
    TestPeer anna("Anna");
    anna.start();
    const RUserID eve = rawUser(QStringLiteral("Eve"));
    raw.send(BuildPresencePacket(eve, true));
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    raw.send(BuildUserMessagePacket(anna.id(), WireIdentity::fromEntry(eve), QStringLiteral("hi"), false));
    TalkManager *talks = anna.mainWindow()->talks();
    QVERIFY(waitUntil([&] { return talks->FindPrivateTalk(eve.ID) > 0; }));

    // Eve closes the private talk: the question box opens. A newcomer announces itself meanwhile.
    const RUserID newt = rawUser(QStringLiteral("Newt"));
    bool answeredWhileOpen = false;
    bool listedWhileOpen = true;
    bool stillOpen = false;
    whenModalOpens([&](QWidget *dialog) {
        raw.clear();
        raw.send(BuildPresencePacket(newt, true));
        answeredWhileOpen =
            waitUntil([&] { return !raw.heardFrom(pkUpdateInfo, anna.id()).isEmpty(); }, 2000);
        stillOpen = QApplication::activeModalWidget() == dialog;
        listedWhileOpen = anna.registry()->peers().findOnline(newt.ID) > 0;
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    raw.send(BuildPrivateDeletePacket(anna.id(), WireIdentity::fromEntry(eve)));
    QVERIFY(waitUntil([&] { return anna.registry()->peers().findOnline(newt.ID) > 0; }, 8000));
    QVERIFY(answeredWhileOpen);
    QVERIFY(stillOpen);
    // The list itself follows after the box.
    QVERIFY(!listedWhileOpen);
    // One answer to the one NEW, not a second one when it is handled.
    settle(300);
    QCOMPARE(raw.heardFrom(pkUpdateInfo, anna.id()).size(), 1);
    anna.close();
}

void TestDesktop::firstStartAsksForTheNameOnce()
{
    RawPeer raw;
    QVERIFY(raw.isReady());
    QTemporaryDir dir;
    const QString offered = FirstStartName::LoginFullName();
    QVERIFY(!offered.isEmpty());
    QString shownName;
    bool announcedBefore = true;
    {
        TestPeer zoe(QString(), dir.path());
        const QString id = zoe.id();
        whenModalOpens([&](QWidget *dialog) {
            auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("edName"));
            QVERIFY(field);
            shownName = field->text();
            announcedBefore = !raw.heardFrom(pkNew, id).isEmpty();
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, QStringLiteral("Zoe Quinn"));
            QTest::keyClick(field, Qt::Key_Return);
        });
        zoe.start();
        QCOMPARE(shownName, offered);
        QVERIFY(!announcedBefore);
        QCOMPARE(zoe.registry()->local()->Alias, QStringLiteral("Zoe Quinn"));
        QVERIFY(waitUntil([&] { return !raw.heardFrom(pkNew, id).isEmpty(); }));
        QCOMPARE(TDataNewMessage(raw.heardFrom(pkNew, id).first()).GetAlias(), QStringLiteral("Zoe Quinn"));
        zoe.close();
    }
    {
        // Named: no question at the next start.
        TestPeer again(QString(), dir.path());
        again.start();
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(again.registry()->local()->Alias, QStringLiteral("Zoe Quinn"));
        again.close();
    }

    // Escape: no name, and no question the next time either.
    QTemporaryDir other;
    {
        TestPeer nameless(QString(), other.path());
        bool asked = false;
        whenModalOpens([&](QWidget *dialog) {
            asked = true;
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        nameless.start();
        QVERIFY(asked);
        QVERIFY(nameless.registry()->local()->Alias.isEmpty());
        nameless.close();
    }
    TestPeer namelessAgain(QString(), other.path());
    QVERIFY(!FirstStartName::IsFirstStart(namelessAgain.store()));
}

void TestDesktop::fullNameFromGecos()
{
    QCOMPARE(FirstStartName::FullNameFromGecos(QStringLiteral("Anna Berg,Room 5,555-1234,"), "anna"),
             QStringLiteral("Anna Berg"));
    QCOMPARE(FirstStartName::FullNameFromGecos(QStringLiteral("& Smith,,,"), "bob"),
             QStringLiteral("Bob Smith"));
    QCOMPARE(FirstStartName::FullNameFromGecos(QStringLiteral(",,,"), "carl"), QStringLiteral("carl"));
    QCOMPARE(FirstStartName::FullNameFromGecos(QString(), "dora"), QStringLiteral("dora"));
}

void TestDesktop::portErrorNamesHolderAndTerminationEndsUnderTheBox()
{
    // Another program holds the peer port, without sharing it.
    QProcess holder;
    holder.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import socket, time\n"
                                              "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                                              "s.bind(('0.0.0.0', %1))\n"
                                              "print('ready', flush=True)\n"
                                              "time.sleep(30)\n")
                                   .arg(PeerPort)});
    if (!holder.waitForStarted(5000))
        QSKIP("python3 is missing");
    QVERIFY(holder.waitForReadyRead(5000));
    QVERIFY(holder.readAll().startsWith("ready"));

    QTemporaryDir dir;
    const QString settings = dir.filePath("settings.ini");
    TSetUserData(SettingsStore(settings)).SetAlias(QStringLiteral("Held"));
    QProcess program;
    program.setProgram(QStringLiteral(PERIXCHAT_BINARY));
    program.setArguments({"--loopback", "--settings", settings, "--data-dir", dir.path()});
    program.start();
    QVERIFY(program.waitForStarted(5000));
    QByteArray errors;
    QVERIFY(waitUntil(
        [&] {
            errors += program.readAllStandardError();
            return errors.contains("held by");
        },
        8000));
    QVERIFY2(errors.contains(QStringLiteral("UDP %1").arg(PeerPort).toUtf8()), errors.constData());
    QVERIFY2(errors.contains(QStringLiteral("python3 (%1)").arg(holder.processId()).toUtf8()),
             errors.constData());
    // The error box is open now; the termination signal ends the program within a second all the same.
    settle(500);
    QCOMPARE(program.state(), QProcess::Running);
    QElapsedTimer clock;
    clock.start();
    program.terminate();
    QVERIFY(program.waitForFinished(3000));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // It closed the normal way: the placement was stored.
    QVERIFY(SettingsStore(settings).contains(Setting::MainWindowSection, "Width"));
    holder.kill();
    holder.waitForFinished(3000);
}

void TestDesktop::unusableSettingsAndDataFolderToldOnce()
{
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    MessageBox::clearShownTexts();
    QTemporaryDir dir;
    // A folder where the settings file should be, a file where the history folder should be.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("settings.ini")));
    QFile blocker(dir.filePath(QStringLiteral("History")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();
    QVERIFY(!StorageCheck::CanWriteFolder(dir.filePath(QStringLiteral("History/"))));
    QVERIFY(StorageCheck::CanWriteFolder(dir.filePath(QStringLiteral("new/deeper"))));

    TestPeer peer(QString(), dir.path());
    bool asked = false;
    QTimer watch;
    watch.setInterval(50);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (auto *question = qobject_cast<FirstStartName *>(QApplication::activeModalWidget())) {
            asked = true;
            question->reject();
        }
    });
    watch.start();
    peer.start();
    QVERIFY(waitUntil([] { return MessageBox::shownTexts().size() == 1; }));
    watch.stop();
    const QString text = MessageBox::shownTexts().first();
    QVERIFY2(text.contains(QStringLiteral("cannot be read")) && text.contains(dir.filePath("settings.ini")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("data folder")) && text.contains(dir.filePath("History")),
             qPrintable(text));
    // Nothing asked into a store that cannot keep it.
    QVERIFY(!asked);
    // The run's writes fail quietly: the user was told.
    QSignalSpy failures(&SettingsWriteReport::instance(), &SettingsWriteReport::writeFailed);
    QVERIFY(!TSetUserData(peer.store()).SetAlias(QStringLiteral("Lost")));
    settle(200);
    QCOMPARE(failures.size(), 0);
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    peer.close();
    QVERIFY(QFileInfo(dir.filePath("settings.ini")).isDir());
}

void TestDesktop::unwritableSettingsToldOnce()
{
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    MessageBox::clearShownTexts();
    QTemporaryDir dir;
    // The settings file's folder is a file: the store reads as empty and takes no write.
    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QDir().mkpath(dir.filePath(QStringLiteral("data")));
    const SettingsStore store(dir.filePath(QStringLiteral("blocked/settings.ini")));
    const StorageCheck::Findings findings =
        StorageCheck::Check(store, dir.filePath(QStringLiteral("data/History/")));
    QVERIFY(findings.settingsUnusable);
    QCOMPARE(findings.problems.size(), 1);
    QVERIFY2(findings.problems.first().contains(QStringLiteral("cannot be saved")),
             qPrintable(findings.problems.first()));

    // A usable store and folder: nothing to tell.
    const StorageCheck::Findings fine =
        StorageCheck::Check(SettingsStore(dir.filePath(QStringLiteral("data/s.ini"))),
                            dir.filePath(QStringLiteral("data/History/")));
    QVERIFY(fine.problems.isEmpty());
    QVERIFY(!fine.settingsUnusable);
}

// A private session bus for the whole run, in a home and runtime folder of the test's own.
int main(int argc, char *argv[])
{
    QTemporaryDir home;
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime.toLocal8Bit() + "/no-bus-yet");
    QApplication app(argc, argv);
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
               QStringLiteral("--address=unix:path=") + runtime + QStringLiteral("/bus")});
    if (bus.waitForStarted(5000) && bus.waitForReadyRead(5000)) {
        g_busAddress = QString::fromLocal8Bit(bus.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", g_busAddress.toLocal8Bit());
    }
    TestDesktop test;
    const int result = QTest::qExec(&test, argc, argv);
    QDBusConnection::disconnectFromBus(QStringLiteral("test-service"));
    bus.terminate();
    if (!bus.waitForFinished(3000))
        bus.kill();
    return result;
}

#include "test_desktop.moc"
