#include "PeerHarness.h"

#include "app/ui/AfterFirstPaint.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MainMenus.h"
#include "features/ui/MessageBox.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/StatusPanels.h"
#include "net/PacketQueue.h"
#include "peers/ui/UserGroupBox.h"
#include "protocol/SendMessageUn.h"
#include "settings/iniFileUn.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

QStringList names(const QList<QAction *> &actions)
{
    QStringList list;
    for (const QAction *a : actions)
        list.append(a->isSeparator() ? QStringLiteral("-")
                                     : (a->objectName().isEmpty() ? a->text() : a->objectName()));
    return list;
}

QStringList checkedActions(const MainActionList *actions)
{
    QStringList list;
    for (const QAction *a : actions->actions()) {
        if (a->isChecked())
            list.append(a->objectName());
    }
    list.sort();
    return list;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void commandMap_data();
    void commandMap();
    void firstStartChecksExactlyTheDefaults();
    void optionsSurviveRestart();
    void toolbarsAndMenus();
    void docksOnlyTopAndBottom();
    void panelsOfToolsFollowsCaption();
    void userCommandsEnabledByUserList();
    void helpOpensTopics();
    void linksAndLocalIdentity();
    void iconSizeAndCaptions();
    void eventNoticeInStatusBar();
    void shortTurnsUntilTheFirstFrame();
};

void TestMainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    ShellOpen::setRecording(true);
}

void TestMainWindow::commandMap_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    const QKeySequence none;
    const auto row = [](const char *n, const char *c, const QKeySequence &k) {
        QTest::newRow(n) << n << c << k;
    };
    row("actMessageToUser", "Create talk with user", QKeySequence("Ctrl+U"));
    row("actMessageToGroup", "Create talk with group", none);
    row("actSendMessage", "Send message", QKeySequence("Ctrl+Return"));
    row("actCloseTalk", "Close talk", none);
    row("actClearTextMessage", "Clear text message", none);
    row("actNotTalkPrivate", "Not talk private", none);
    row("actNotTalkGroup", "Not talk group", none);
    row("actClearDialogParametr", "To reset parameters of dialogues", none);
    row("actMailUser", "Mail", none);
    row("actMailGroup", "Create mail to group", none);
    row("actMailAll", "Mail all", none);
    row("actMailEmpty", "Create empty mail", none);
    row("actShowUserList", "Show user list", QKeySequence("Ctrl+L"));
    row("actStayOnTopUserList", "Stay on top user list", none);
    row("actStayOnTop", "Stay on top main window", none);
    row("actUserMyProfile", "My profile", none);
    row("actUserNetProfile", "User profile...", QKeySequence("Alt+Return"));
    row("actAnsweringMachine", "Auto-Reply", none);
    row("actAnsweringmachineOptions", "Auto-Reply options", none);
    row("actShowHistoryMessage", "Show history message", none);
    row("actSelectImageMood", "Insert image", none);
    row("actSelectGifMood", "Insert animation", none);
    row("actStopAnimation", "Stop gif animation", none);
    row("actShowAnimation", "Hide gif animation", none);
    row("actShowUserIPWhenMessage", "Show user IP", none);
    row("actShowDataTimewhenMessage", "Show time message", none);
    row("actShowPictureWhenMessage", "Show user picture", none);
    row("actSoundPerixChat", "Play sound at start PerixChat", none);
    row("actSoundUserConnect", "Play sound at new user connect", none);
    row("actSoundUserDisconnect", "Play sound at user disconnect", none);
    row("actSoundNewMessage", "Play sound at new message come", none);
    row("actHideProgramm", "Hide Programm in Trey when minimize", none);
    row("actShowHint", "Show hint", none);
    row("actBtnBigIcon", "Big icon", none);
    row("actBtnLitleIcon", "Litle icon", none);
    row("actShowText", "Show text", none);
    row("actOpen", "Open", none);
    row("actClose", "Close", none);
    row("actInsertFile", "", none);
    row("actInsertFolder", "", none);
    row("actOpenFileOrFolder", "Open", none);
    row("actSaveAsFileOrFolder", "Save as...", none);
    row("actGetFileOrFolder", "Get file or folder", none);
    row("actHelp", "Help", QKeySequence("F1"));
    row("actAbout", "About", none);
    row("actPerixChatOnTheWeb", "Perix Chat on the Web", none);
    row("actTechnicalSupport", "Technical support", none);
    row("actSiteOurCompany", "Site Perix Chat", none);
}

void TestMainWindow::commandMap()
{
    QFETCH(QString, name);
    MainActionList actions(nullptr);
    const QAction *a = actions.action(name);
    QVERIFY2(a, qPrintable(name));
    QTEST(a->text(), "caption");
    QTEST(a->shortcut(), "shortcut");
}

void TestMainWindow::firstStartChecksExactlyTheDefaults()
{
    const QStringList expected = {"actBtnBigIcon",       "actShowDataTimewhenMessage",
                                  "actShowHint",         "actShowPictureWhenMessage",
                                  "actShowUserList",     "actSoundNewMessage",
                                  "actSoundUserConnect", "actSoundUserDisconnect",
                                  "actStayOnTopUserList"};
    MainActionList fresh(nullptr);
    QCOMPARE(checkedActions(&fresh), expected);
    TestPeer anna("Anna");
    anna.start();
    QTest::qWait(700); // past the start timer that reads the stay-on-top states
    QCOMPARE(checkedActions(anna.mainWindow()->actions()), expected);
    QVERIFY(!anna.mainWindow()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(anna.userList()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    anna.close();
}

void TestMainWindow::optionsSurviveRestart()
{
    TestPeer anna("Anna");
    anna.start();
    QTest::qWait(700);
    MainActionList *actions = anna.mainWindow()->actions();
    for (const char *name : {"actShowUserIPWhenMessage", "actSoundNewMessage", "actShowText", "actStayOnTop",
                             "actStopAnimation", "actShowHint"})
        actions->action(QLatin1StringView(name))->trigger();
    actions->action("actBtnLitleIcon")->trigger();
    QVERIFY(!actions->action("actBtnBigIcon")->isChecked());
    const QStringList before = checkedActions(actions);
    const QString dir = anna.dataDir();
    anna.close();
    QCOMPARE(readSetting(anna.store(), Setting::ShowUserIPWhenMessage), true);
    QCOMPARE(readSetting(anna.store(), Setting::SoundNewMessage), false);
    QCOMPARE(readSetting(anna.store(), Setting::StayOnTop), true);

    TestPeer again(QString(), dir);
    again.start();
    QTest::qWait(700);
    QCOMPARE(checkedActions(again.mainWindow()->actions()), before);
    QVERIFY(again.mainWindow()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    again.close();
}

void TestMainWindow::toolbarsAndMenus()
{
    TestPeer anna("Anna");
    anna.start();
    MainMenus *m = anna.mainWindow()->menus();
    QCOMPARE(m->tbMainForm()->windowTitle(), QStringLiteral("Main"));
    QCOMPARE(m->tbAdditional()->windowTitle(), QStringLiteral("Additional"));
    QCOMPARE(names(m->tbMainForm()->actions()),
             (QStringList{"miMessage", "-", "actShowUserList", "miMyProfile", "-", "tbOptions", "miHelpTB"}));
    QCOMPARE(names(m->tbAdditional()->actions()), (QStringList{"miAnsweringMachine", "miMailVariant", "-",
                                                               "actNotTalkPrivate", "actNotTalkGroup"}));
    QCOMPARE(names(m->menu("miMessage")->actions()), (QStringList{"actMessageToUser", "actMessageToGroup"}));
    QCOMPARE(m->menu("miMessage")->defaultAction()->objectName(), QStringLiteral("actMessageToUser"));
    QCOMPARE(names(m->menu("miMyProfile")->actions()),
             (QStringList{"actUserMyProfile", "actUserNetProfile"}));
    QCOMPARE(names(m->menu("tbOptions")->actions()),
             (QStringList{"actHideProgramm", "actShowHistoryMessage", "actNetwork", "-", "tbsiLanguage",
                          "tbPanelsOfTools", "-", "actStayOnTop", "actStayOnTopUserList", "-", "miOther"}));
    QCOMPARE(names(m->menu("miOther")->actions()),
             (QStringList{"miAnimationGIF", "miMessageFormat", "miPlaySound", "miButtonOptions", "-",
                          "actShowHint", "actClearDialogParametr"}));
    QCOMPARE(names(m->menu("miAnimationGIF")->actions()),
             (QStringList{"actStopAnimation", "actShowAnimation"}));
    QCOMPARE(
        names(m->menu("miMessageFormat")->actions()),
        (QStringList{"actShowUserIPWhenMessage", "actShowDataTimewhenMessage", "actShowPictureWhenMessage"}));
    QCOMPARE(names(m->menu("miPlaySound")->actions()),
             (QStringList{"actSoundPerixChat", "actSoundUserConnect", "actSoundUserDisconnect",
                          "actSoundNewMessage"}));
    QCOMPARE(names(m->menu("miButtonOptions")->actions()),
             (QStringList{"actBtnBigIcon", "actBtnLitleIcon", "actShowText"}));
    QCOMPARE(names(m->menu("miHelpTB")->actions()),
             (QStringList{"actHelp", "-", "actPerixChatOnTheWeb", "actTechnicalSupport", "actSiteOurCompany",
                          "-", "actAbout"}));
    QCOMPARE(names(m->menu("miAnsweringMachine")->actions()),
             (QStringList{"miDisconnectAnsweringMachine", "miVariants", "-", "actAnsweringmachineOptions"}));
    QVERIFY(!m->menu("miAnsweringMachine")->actions().first()->isVisible());
    QCOMPARE(names(m->menu("miMailVariant")->actions()),
             (QStringList{"actMailUser", "actMailGroup", "-", "actMailAll", "actMailEmpty"}));
    QCOMPARE(names(m->pmTrey()->actions()),
             (QStringList{"actOpen", "-", "miAnsweringMachineTrey", "actNotTalkPrivate", "actNotTalkGroup",
                          "-", "actClose"}));
    // The "Talk" button runs "Create talk with user"; its arrow opens the menu.
    QCOMPARE(m->button("miMessage")->popupMode(), QToolButton::MenuButtonPopup);
    QCOMPARE(m->button("tbOptions")->popupMode(), QToolButton::InstantPopup);
    QSignalSpy talk(anna.mainWindow()->actions()->action("actMessageToUser"), &QAction::triggered);
    m->button("miMessage")->defaultAction()->trigger();
    QCOMPARE(talk.count(), 1);
    // The pages and the status bar.
    QTabWidget *pages = anna.mainWindow()->pages();
    QCOMPARE(pages->tabText(0), QStringLiteral("All users"));
    QVERIFY(!pages->tabIcon(0).isNull());
    QCOMPARE(anna.mainWindow()->statusPanels()->objectName(), QStringLiteral("JvStatusBar"));
    QCOMPARE(anna.mainWindow()->minimumSize(), QSize(380, 270));
    anna.close();
}

void TestMainWindow::docksOnlyTopAndBottom()
{
    TestPeer anna("Anna");
    anna.start();
    TPerixChatForm *w = anna.mainWindow();
    QToolBar *additional = w->menus()->tbAdditional();
    for (QToolBar *bar : {w->menus()->tbMainForm(), additional}) {
        QCOMPARE(bar->allowedAreas(), Qt::TopToolBarArea | Qt::BottomToolBarArea);
        QVERIFY(!bar->isAreaAllowed(Qt::LeftToolBarArea));
        QVERIFY(!bar->isAreaAllowed(Qt::RightToolBarArea));
        QCOMPARE(w->toolBarArea(bar), Qt::TopToolBarArea);
    }
    QVERIFY(!w->DockToolbar(additional, Qt::LeftToolBarArea));
    QVERIFY(!w->DockToolbar(additional, Qt::RightToolBarArea));
    QCOMPARE(w->toolBarArea(additional), Qt::TopToolBarArea);
    QToolBar stranger(QStringLiteral("Stranger"));
    QVERIFY(!w->DockToolbar(&stranger, Qt::BottomToolBarArea));
    QCOMPARE(w->findChildren<QToolBar *>(Qt::FindDirectChildrenOnly).size(), 2);
    // The one row at the top: both toolbars share it.
    QVERIFY(!w->toolBarBreak(additional));
    QVERIFY(w->DockToolbar(additional, Qt::BottomToolBarArea));
    QCOMPARE(w->toolBarArea(additional), Qt::BottomToolBarArea);
    // The layout is kept across runs.
    const QString dir = anna.dataDir();
    anna.close();
    QVERIFY(!readToolbarLayout(anna.store()).isEmpty());
    TestPeer again(QString(), dir);
    again.start();
    QCOMPARE(again.mainWindow()->toolBarArea(again.mainWindow()->menus()->tbAdditional()),
             Qt::BottomToolBarArea);
    again.close();
}

void TestMainWindow::panelsOfToolsFollowsCaption()
{
    TestPeer anna("Anna");
    anna.start();
    MainMenus *m = anna.mainWindow()->menus();
    QAction *toggle = m->menu("tbPanelsOfTools")->actions().value(0);
    QVERIFY(toggle);
    QCOMPARE(toggle->text(), QStringLiteral("Additional"));
    m->tbAdditional()->setWindowTitle(QStringLiteral("Zusatz"));
    QCOMPARE(toggle->text(), QStringLiteral("Zusatz"));
    QVERIFY(toggle->isChecked());
    toggle->trigger();
    QVERIFY(m->tbAdditional()->isHidden());
    anna.close();
}

void TestMainWindow::userCommandsEnabledByUserList()
{
    TestPeer anna("Anna"), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    MainMenus *m = anna.mainWindow()->menus();
    MainActionList *a = anna.mainWindow()->actions();
    anna.userList()->mainGroup()->tree()->clearSelection();
    anna.mainWindow()->setFocus();
    anna.userList()->clearFocus();
    QMetaObject::invokeMethod(m->menu("miMessage"), "aboutToShow");
    QVERIFY(!a->action("actMessageToUser")->isEnabled());
    QVERIFY(!a->action("actUserNetProfile")->isEnabled());
    QMetaObject::invokeMethod(m->menu("miMessage"), "aboutToHide");
    QVERIFY(a->action("actMessageToUser")->isEnabled());
    anna.userList()->selectPeer(anna.registry()->peers().findOnline(boris.id()));
    QMetaObject::invokeMethod(m->menu("miMailVariant"), "aboutToShow");
    QVERIFY(a->action("actMailUser")->isEnabled());
    QVERIFY(a->action("actMessageToUser")->isEnabled());
    QVERIFY(a->action("actMailGroup")->isEnabled()); // the selected user's group is active
    QMetaObject::invokeMethod(m->menu("miMailVariant"), "aboutToHide");
    boris.close();
    anna.close();
}

void TestMainWindow::helpOpensTopics()
{
    TestPeer anna("Anna");
    anna.start();
    ShellOpen::clearOpened();
    // Without the help file nothing happens.
    anna.mainWindow()->actions()->action("actHelp")->trigger();
    QVERIFY(ShellOpen::opened().isEmpty());
    QDir(anna.dataDir()).mkpath("help");
    QFile help(anna.dataDir() + "/help/PerixChat.html");
    QVERIFY(help.open(QIODevice::WriteOnly));
    help.write("<html></html>");
    help.close();
    anna.mainWindow()->actions()->action("actHelp")->trigger();
    QCOMPARE(ShellOpen::opened().size(), 1);
    QVERIFY(ShellOpen::opened().first().startsWith("file://"));
    QVERIFY(ShellOpen::opened().first().endsWith("/help/PerixChat.html#topic-1000"));
    QVERIFY(anna.mainWindow()->OpenHelp(2000));
    QVERIFY(ShellOpen::opened().last().endsWith("#topic-2000"));
    anna.close();
}

void TestMainWindow::linksAndLocalIdentity()
{
    TestPeer anna("Anna");
    anna.start();
    ShellOpen::clearOpened();
    MainActionList *a = anna.mainWindow()->actions();
    a->action("actPerixChatOnTheWeb")->trigger();
    a->action("actSiteOurCompany")->trigger();
    a->action("actTechnicalSupport")->trigger();
    QCOMPARE(ShellOpen::opened().size(), 3);
    QVERIFY(ShellOpen::opened().at(0).startsWith("http"));
    QCOMPARE(ShellOpen::opened().at(0), ShellOpen::opened().at(1));
    QVERIFY(ShellOpen::opened().at(2).startsWith("MailTo:"));
    QCOMPARE(anna.mainWindow()->windowTitle(), QStringLiteral("Perix Chat [Anna]"));
    const StatusPanels *status = anna.mainWindow()->statusPanels();
    QCOMPARE(status->panelText(1), QStringLiteral("Anna"));
    QCOMPARE(status->panelText(2), QStringLiteral(" IP: 127.0.0.1 "));
    anna.close();

    TestPeer blank("   ");
    blank.start();
    QCOMPARE(blank.mainWindow()->windowTitle(), QStringLiteral("Perix Chat"));
    blank.close();
}

void TestMainWindow::iconSizeAndCaptions()
{
    TestPeer anna("Anna");
    anna.start();
    MainMenus *m = anna.mainWindow()->menus();
    MainActionList *a = anna.mainWindow()->actions();
    QCOMPARE(m->tbMainForm()->iconSize(), QSize(32, 32));
    QCOMPARE(m->tbMainForm()->toolButtonStyle(), Qt::ToolButtonIconOnly);
    a->action("actBtnLitleIcon")->trigger();
    QCOMPARE(m->tbMainForm()->iconSize(), QSize(16, 16));
    QCOMPARE(anna.mainWindow()->pages()->iconSize(), QSize(16, 16));
    QCOMPARE(anna.userList()->mainGroup()->tree()->iconSize(), QSize(16, 16));
    a->action("actShowText")->trigger();
    QCOMPARE(m->tbAdditional()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    a->action("actBtnBigIcon")->trigger();
    QVERIFY(!a->action("actBtnLitleIcon")->isChecked());
    QCOMPARE(m->tbAdditional()->iconSize(), QSize(32, 32));
    anna.close();
}

void TestMainWindow::eventNoticeInStatusBar()
{
    TestPeer anna("Anna"), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    const StatusPanels *status = anna.mainWindow()->statusPanels();
    // Arrivals are shown once a frame, a moment after they count as online.
    QVERIFY(waitUntil([&] { return !status->panelText(5).isEmpty(); }));
    QCOMPARE(status->panelText(5), QStringLiteral("       User \"[\u2068Boris\u2069]\" is connect..."));
    QVERIFY(status->isNoticeShown());
    QCOMPARE(status->noticeSheet(), 0);
    auto *timer = anna.mainWindow()->findChild<QTimer *>("TimerHintInformation");
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 5000);
    // When the five seconds are over, the notice goes.
    timer->start(1);
    QVERIFY(waitUntil([&] { return !status->isNoticeShown(); }));
    QVERIFY(status->panelText(5).isEmpty());
    boris.close();
    anna.close();
}

void TestMainWindow::shortTurnsUntilTheFirstFrame()
{
    RawPeer boris;
    QVERIFY(boris.isReady());
    RUserID user;
    user.ID = QStringLiteral("{B0B0B0B0-0000-0000-0000-000000000001}");
    user.Alias = QStringLiteral("Boris");
    user.IP = QStringLiteral("127.0.0.2");
    TestPeer anna("Anna");
    QElapsedTimer sinceStart;
    sinceStart.start();
    anna.start();
    // Kept from the screen, the window shows no frame: packets are handled in short turns, so that
    // the frame would not wait behind them, but they are handled.
    anna.mainWindow()->hide();
    PacketQueue *queue = anna.mainWindow()->handlingQueue();
    QCOMPARE(queue->sliceMs(), 1);
    boris.send(BuildPresencePacket(user, true));
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }, 1000));
    QVERIFY(sinceStart.elapsed() < AfterFirstPaint::LatestMs);
    QCOMPARE(queue->sliceMs(), 1);
    // The arrival is listed; showing its notice (and laying out its line) waits for the frame.
    const StatusPanels *status = anna.mainWindow()->statusPanels();
    QTest::qWait(100);
    QVERIFY(status->panelText(5).isEmpty());
    // The first frame gives back the usual turns, and the arrivals are shown.
    anna.mainWindow()->show();
    QVERIFY(waitUntil([&] { return queue->sliceMs() == PacketQueue::SliceMs; }, 1000));
    QVERIFY(waitUntil([&] { return !status->panelText(5).isEmpty(); }, 1000));
    QVERIFY(status->panelText(5).contains(QStringLiteral("Boris")));
    QVERIFY2(sinceStart.elapsed() < AfterFirstPaint::LatestMs,
             qPrintable(QString::number(sinceStart.elapsed())));
    anna.close();
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
