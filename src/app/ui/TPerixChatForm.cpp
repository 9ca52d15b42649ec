#include "app/ui/TPerixChatForm.h"

#include "app/ChatCore.h"
#include "app/TalkHistory.h"
#include "app/ui/AfterFirstPaint.h"
#include "app/ui/DeliveryMarks.h"
#include "app/ui/LngApply.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MainAutoReply.h"
#include "app/ui/MainHistory.h"
#include "app/ui/MainMenus.h"
#include "app/ui/MainNetwork.h"
#include "app/ui/MainNotices.h"
#include "app/ui/MessageAlerts.h"
#include "app/ui/ProductLinks.h"
#include "app/ui/TalkKeysView.h"
#include "app/ui/TfmAbout.h"
#include "features/LngUn.h"
#include "features/ui/DesktopNotifier.h"
#include "features/ui/EventSounds.h"
#include "features/ui/ImageList.h"
#include "features/ui/LngMenu.h"
#include "features/ui/MessageBox.h"
#include "features/ui/PeerText.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/StatusPanels.h"
#include "features/ui/TrayIcon.h"
#include "net/NetworkOptions.h"
#include "net/PacketQueue.h"
#include "net/UdpTransport.h"
#include "peers/PeerList.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/TfmUserProfileUn.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/ConstUnit.h"
#include "settings/SettingsWriteReport.h"
#include "settings/iniFileUn.h"
#include "talks/ui/FileOfferCommands.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/TfmInformation.h"
#include "talks/ui/frConnectUserUn.h"
#include "transfer/FileRecords.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>

TPerixChatForm::TPerixChatForm(AppContext &context, ChatCore &chat, UdpTransport &transport, QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_chat(chat)
    , m_transport(transport)
    , m_queue(chat.queue())
    , m_actions(new MainActionList(this))
    , m_pcMain(new QTabWidget(this))
    , m_rvStyle(new RVStyle(this))
    , m_talks(new TalkManager(m_pcMain, chat.talks(), context.store, m_rvStyle, chat.files(), this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("TPerixChatForm"));
    m_chat.setQuestions(this);
    m_timer->setObjectName(QStringLiteral("Timer"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, &TPerixChatForm::TimerTimer);

    m_pcMain->setObjectName(QStringLiteral("pcMain"));
    m_pcMain->setAccessibleName(QStringLiteral("Talks"));
    addActions(m_actions->actions());
    buildFrame();
    connectChat();
    connectTalks();
    m_keysView = new TalkKeysView(chat, m_talks, m_pcMain, this);
    FormCreate();
    // A busy network answering the start is handled in short turns until the user sees the window.
    m_queue->setSliceMs(1);
    AfterFirstPaint::run(this, [this] { m_queue->setSliceMs(PacketQueue::SliceMs); });
}

TPerixChatForm::~TPerixChatForm()
{
    // The peer outlives its windows: nothing may ask or show through this one any more.
    m_chat.setQuestions(nullptr);
    m_chat.registry()->disconnect(this);
    m_chat.talks()->disconnect(this);
}

PacketDispatcher &TPerixChatForm::dispatcher()
{
    return m_chat.dispatcher();
}

void TPerixChatForm::connectChat()
{
    PeerRegistry *registry = m_chat.registry();
    connect(registry, &PeerRegistry::localEntryChanged, this, [this] {
        if (const RUserID *me = m_chat.registry()->local()) {
            m_rvStyle->SenderTextStyle(me->ID, me->Color);
            ShowLocalIdentity(*me);
        }
    });
    connect(registry, &PeerRegistry::peerArrived, this, &TPerixChatForm::styleOf);
    connect(registry, &PeerRegistry::peerUpdated, this, &TPerixChatForm::styleOf);
    connect(registry, &PeerRegistry::arrivalsStarted, this, [this] {
        if (const TfrConnectUser *all = m_talks->frame(0))
            m_notices->BeginBatch(all->reAllMessage());
    });
    connect(registry, &PeerRegistry::arrivalsFlushed, m_notices, &MainNotices::EndBatch);
}

void TPerixChatForm::connectTalks()
{
    TalkCore *core = m_chat.talks();
    connect(core, &TalkCore::noticeRequested, this,
            [this](int talk, const QString &format, const QString &alias, int picture, const QString &ip) {
                m_notices->Notify(format, alias, m_talks->sheetOfTalk(talk), picture, ip);
            });
    connect(core, &TalkCore::soundRequested, this, &TPerixChatForm::PlayEventSound);
    connect(core, &TalkCore::talkClosing, this,
            [this](int talk) { SaveTalkHistory(m_talks->sheetOfTalk(talk)); });
    connect(m_chat.autoAnswer(), &AutoAnswer::answerFailed, this,
            [this] { MessageBox::error(this, ConstUnit::text(ConstUnit::Text::ErrorWhenSend)); });
    connect(core, &TalkCore::talkLimitReached, m_notices, &MainNotices::TalkLimitReached);
    connect(m_talks, &TalkManager::transcriptClearing, this,
            [this](int sheet) { m_history->ClearTalk(sheet); });
    connect(m_queue, &PacketQueue::sliceStarted, m_talks, &TalkManager::beginReceivedLines);
    connect(m_queue, &PacketQueue::sliceEnded, m_talks, &TalkManager::endReceivedLines);
    new DeliveryMarks(m_chat.delivery(), m_chat.registry(), m_talks, this);
}

void TPerixChatForm::styleOf(int peerIndex)
{
    if (const RUserID *peer = m_chat.registry()->GetPeer(peerIndex))
        m_rvStyle->SenderTextStyle(peer->ID, peer->Color);
}

void TPerixChatForm::buildFrame()
{
    InitPictureResources();
    resize(475, 309);
    setMinimumSize(380, 270);
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *bevel = new QFrame(central);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setFixedHeight(2);
    layout->addWidget(bevel);
    layout->addWidget(m_pcMain);
    setCentralWidget(central);
    m_pcMain->setDocumentMode(true);
    m_pcMain->setUsesScrollButtons(true);
    m_pcMain->setElideMode(Qt::ElideRight);
    // Tabs drawn as flat buttons that light up under the mouse.
    m_pcMain->setStyleSheet(QStringLiteral(
        "QTabBar::tab { border: 1px solid transparent; border-radius: 3px; padding: 2px 8px; margin: 2px "
        "1px; }"
        "QTabBar::tab:hover { border-color: palette(mid); background: palette(light); }"
        "QTabBar::tab:selected { border-color: palette(dark); background: palette(button); }"));

    m_menus = new MainMenus(this, m_actions);
    DockToolbar(m_menus->tbMainForm(), Qt::TopToolBarArea);
    DockToolbar(m_menus->tbAdditional(), Qt::TopToolBarArea);

    m_statusBar = new StatusPanels(this);
    setStatusBar(m_statusBar);
    connect(m_statusBar, &StatusPanels::myImageDoubleClicked,
            m_actions->action(QStringLiteral("actUserMyProfile")), &QAction::trigger);
    connect(m_statusBar, &StatusPanels::noticeClicked, this, [this](int sheet) {
        if (sheet >= 0 && sheet < m_pcMain->count())
            m_pcMain->setCurrentIndex(sheet);
    });

    m_tray = new TrayIcon(this);
    m_tray->setMenu(m_menus->pmTrey());
    m_notices = new MainNotices(m_statusBar, m_tray, this);
    connect(m_tray, &TrayIcon::activated, this, &TPerixChatForm::restoreFromTray);
    // Asking for the tray is a round trip; nothing needs the tray before the window is on the screen.
    AfterFirstPaint::run(this, [tray = m_tray] { tray->setUp(); });
    qApp->installEventFilter(this);
}

bool TPerixChatForm::DockToolbar(QToolBar *toolbar, Qt::ToolBarArea area)
{
    const bool ours = toolbar && (toolbar == m_menus->tbMainForm() || toolbar == m_menus->tbAdditional());
    if (!ours || (area != Qt::TopToolBarArea && area != Qt::BottomToolBarArea))
        return false;
    addToolBar(area, toolbar);
    return true;
}

int TPerixChatForm::helpTopic() const
{
    return m_userList && QApplication::activeWindow() == m_userList ? 2000 : 1000;
}

bool TPerixChatForm::OpenHelp(int topic)
{
    const QString file = m_context.paths.helpFile();
    if (!QFileInfo::exists(file))
        return false;
    QUrl url = QUrl::fromLocalFile(file);
    url.setFragment(QStringLiteral("topic-%1").arg(topic));
    return ShellOpen::open(url.toString());
}

void TPerixChatForm::enableUserCommands(bool byUserList)
{
    const bool user = !byUserList || (m_userList && m_userList->SelectedUser() > 0);
    const bool group = !byUserList || (m_userList && m_userList->ActiveGroup());
    for (const char *name : {"actMessageToUser", "actUserNetProfile", "actMailUser"})
        m_actions->action(QLatin1StringView(name))->setEnabled(user);
    for (const char *name : {"actMessageToGroup", "actMailGroup"})
        m_actions->action(QLatin1StringView(name))->setEnabled(group);
}

void TPerixChatForm::restoreFromTray()
{
    showNormal();
    raise();
    activateWindow();
    m_tray->stopAnimation();
    m_tray->hideIcon();
}

void TPerixChatForm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !m_tray->minimizesToTray())
        return;
    // Minimised into the tray: the window goes, the icon comes.
    QTimer::singleShot(0, this, [this] {
        hide();
        m_tray->minimizedToTray();
    });
}

bool TPerixChatForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip && !m_actions->action(QStringLiteral("actShowHint"))->isChecked())
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void TPerixChatForm::FormCreate()
{
    setWindowTitle(QStringLiteral("Perix Chat"));
    QApplication::setApplicationDisplayName(QStringLiteral("Perix Chat"));
    m_network = new MainNetwork(
        m_context.store, &m_transport, &m_chat, m_menus, [this](int topic) { return OpenHelp(topic); }, this);
    SetTransportOpen(true);
    m_lngMenu = new LngMenu(m_menus->menu(QStringLiteral("tbsiLanguage")), this);
    m_lngMenu->Build(m_context.paths.lngDir());
    connect(m_lngMenu, &LngMenu::languageChosen, this, &TPerixChatForm::ApplyLanguage);
    m_sounds = new EventSounds(m_context.paths.soundDir(), this);
    restorePlacement();
    restoreState(readToolbarLayout(m_context.store));
    m_actions->readOptions(m_context.store);
    m_tray->setEnabled(m_actions->action(QStringLiteral("actHideProgramm"))->isChecked());
    m_menus->setShowText(m_actions->action(QStringLiteral("actShowText"))->isChecked());
    const auto openHelp = [this](int topic) {
        return OpenHelp(topic);
    };
    m_history = new MainHistory(m_context.store, m_chat.history(), m_talks, openHelp, this);
    connectWriteFailures();
    setUpTalks();

    const auto action = [this](const char *name) {
        return m_actions->action(QLatin1StringView(name));
    };
    connectCommands();
    // Connecting to the session bus is a round trip too.
    auto *notifier = new DesktopNotifier(this);
    AfterFirstPaint::run(this, [notifier] { notifier->start(); });
    m_alerts = new MessageAlerts(
        {this, m_pcMain, m_talks, &m_chat, m_tray, action("actSoundNewMessage"), action("actOpen")}, notifier,
        this);
    m_notices->setBalloonWanted([this] { return m_alerts->balloonWanted(); });
    m_autoReply = new MainAutoReply(m_context.store, m_chat.autoReply(), m_menus, m_actions, m_talks,
                                    m_statusBar, openHelp, this);
    for (const auto &[kind, option] : {std::pair{EventSounds::UserConnect, "actSoundUserConnect"},
                                       {EventSounds::UserDisconnect, "actSoundUserDisconnect"},
                                       {EventSounds::Start, "actSoundPerixChat"},
                                       {EventSounds::NewMessage, "actSoundNewMessage"}})
        m_sounds->setOption(kind, action(option));
    if (const QString language = m_lngMenu->RestoreChoice(m_context.store); !language.isEmpty())
        ApplyLanguage(language);

    connect(m_actions->action(QStringLiteral("actShowUserList")), &QAction::triggered, this,
            [this](bool checked) { setUserListShown(checked); });
    connect(m_actions->action(QStringLiteral("actStayOnTop")), &QAction::triggered, this,
            [this](bool checked) { applyStayOnTop(this, checked); });
    connect(m_actions->action(QStringLiteral("actStayOnTopUserList")), &QAction::triggered, this,
            [this](bool checked) { applyStayOnTop(m_userList, checked); });
}

// Both can fail inside a packet's handling: the notice follows from the event loop.
void TPerixChatForm::setUpTalks()
{
    const auto action = [this](const char *name) {
        return m_actions->action(QLatin1StringView(name));
    };
    TalkActions talkActions;
    talkActions.notTalkPrivate = action("actNotTalkPrivate");
    talkActions.notTalkGroup = action("actNotTalkGroup");
    talkActions.showUserIP = action("actShowUserIPWhenMessage");
    talkActions.showTime = action("actShowDataTimewhenMessage");
    talkActions.showPicture = action("actShowPictureWhenMessage");
    talkActions.bigIcon = action("actBtnBigIcon");
    talkActions.answeringMachine = action("actAnsweringMachine");
    auto *transfers =
        new QAction(ToolbarIcon(QStringLiteral("get-file"), 32),
                    Lng::Caption(QStringLiteral("actFileTransfers"), QStringLiteral("File transfers")), this);
    transfers->setObjectName(QStringLiteral("actFileTransfers"));
    talkActions.sendCommands = {action("actSendMessage"),   nullptr,  action("actSelectImageMood"),
                                action("actSelectGifMood"), nullptr,  action("actInsertFile"),
                                action("actInsertFolder"),  transfers};
    m_fileCommands = new FileOfferCommands({this, m_pcMain, m_talks, m_rvStyle, m_statusBar, m_chat.files(),
                                            action("actInsertFile"), action("actInsertFolder"),
                                            action("actOpenFileOrFolder"), action("actSaveAsFileOrFolder"),
                                            action("actGetFileOrFolder"), transfers},
                                           this);
    m_chat.history()->setOfferedFiles(&m_chat.files()->share().offers());
    m_talks->setActions(talkActions);
    m_history->followOptions(talkActions);
    m_talks->CreateTalk(QStringLiteral("All users"), 1, tkAllUsers, -1, QString(), QString(), QString(),
                        QString(), QString(), QString());
    m_pcMain->widget(0)->setObjectName(QStringLiteral("tsAllUsers"));
}

void TPerixChatForm::connectCommands()
{
    const auto on = [this](const char *name, auto &&handler) {
        connect(m_actions->action(QLatin1StringView(name)), &QAction::triggered, this, handler);
    };
    on("actMessageToUser", [this] { m_talks->MessageToUser(); });
    on("actMessageToGroup", [this] { m_talks->MessageToGroup(); });
    on("actSendMessage", [this] { m_talks->SendMessage(); });
    on("actClearDialogParametr", [this] { m_talks->ClearDialogParametr(); });
    on("actMailUser", [this] { m_talks->MailUser(); });
    on("actMailGroup", [this] { m_talks->MailGroup(); });
    on("actMailAll", [this] { m_talks->MailAll(); });
    on("actMailEmpty", [this] { m_talks->MailEmpty(); });
    on("actBtnBigIcon", [this] { applyIconSize(); });
    on("actBtnLitleIcon", [this] { applyIconSize(); });
    on("actShowText", [this](bool checked) { m_menus->setShowText(checked); });
    on("actHideProgramm", [this](bool checked) { m_tray->setEnabled(checked); });
    on("actHelp", [this] { OpenHelp(helpTopic()); });
    on("actAbout", [this] {
        TfmAbout about(this, LngApply::AboutCaption());
        about.exec();
    });
    on("actPerixChatOnTheWeb", [] { ShellOpen::open(QLatin1StringView(ProductLinks::WebPage)); });
    on("actSiteOurCompany", [] { ShellOpen::open(QLatin1StringView(ProductLinks::WebPage)); });
    on("actTechnicalSupport",
       [] { ShellOpen::open(QStringLiteral("MailTo:") + QLatin1StringView(ProductLinks::SupportMail)); });
    on("actShowHistoryMessage", [this] { m_history->ShowHistoryWindow(); });
    on("actOpen", [this] { restoreFromTray(); });
    on("actClose", [this] { close(); });
    const auto showProfile = [this](int peerIndex) {
        TfmUserProfile::Execute(
            this, m_chat.registry(), peerIndex, [this](int topic) { OpenHelp(topic); },
            m_keysView->profileKeys(peerIndex));
    };
    on("actUserMyProfile", [showProfile] { showProfile(0); });
    on("actUserNetProfile", [this, showProfile] {
        if (m_userList && m_userList->SelectedUser() > 0)
            showProfile(m_userList->SelectedUser());
    });
    connect(m_menus, &MainMenus::userMenuAboutToShow, this, [this] { enableUserCommands(true); });
    // Afterwards the commands work again from everywhere else (the user list's menu, shortcuts).
    connect(m_menus, &MainMenus::userMenuHidden, this, [this] { enableUserCommands(false); });
}

void TPerixChatForm::applyIconSize()
{
    m_menus->setIconSize(m_actions->action(QStringLiteral("actBtnBigIcon"))->isChecked() ? 32 : 16);
    m_talks->applyIconSize();
    if (m_userList)
        m_userList->setBigIcons(m_actions->action(QStringLiteral("actBtnBigIcon"))->isChecked());
}

void TPerixChatForm::attachUserList(TfmUserList *userList)
{
    m_userList = userList;
    m_talks->setUserList(userList);
    m_keysView->setUserList(userList);
    m_alerts->setUserList(userList);
    const auto action = [this](const char *name) {
        return m_actions->action(QLatin1StringView(name));
    };
    userList->setMainActions({action("actMessageToUser"), action("actMessageToGroup"), action("actMailUser"),
                              action("actMailGroup"), action("actMailAll"), action("actMailEmpty"),
                              action("actUserNetProfile"), action("actStayOnTopUserList")});
    QAction *show = m_actions->action(QStringLiteral("actShowUserList"));
    connect(userList, &TfmUserList::shownChanged, show, &QAction::setChecked);
    // F1 in the user list opens its own help topic.
    userList->addAction(m_actions->action(QStringLiteral("actHelp")));
    LngApply::ApplyToUserList(userList, m_actions);
}

void TPerixChatForm::UserListCreated()
{
    applyIconSize();
    m_menus->setShowText(m_actions->action(QStringLiteral("actShowText"))->isChecked());
}

void TPerixChatForm::SetTransportOpen(bool open)
{
    if (m_transport.SetTransportOpen(open))
        return;
    const QStringList buttons{ConstUnit::text(ConstUnit::Text::BtnOk), MainNetwork::ActionCaption()};
    // Which port, and which program holds it; said on standard error too, for a start from a shell.
    const QString text = ConstUnit::text(ConstUnit::Text::ErrorPortAbort) + QStringLiteral("\n\n") +
                         DescribePort(Diagnose(m_transport, QCoreApplication::applicationPid())).join(u'\n');
    std::fprintf(stderr, "perixchat: %s\n", qPrintable(text));
    if (MessageBox::errorChoose(this, text, buttons) == 1)
        QTimer::singleShot(0, m_network, &MainNetwork::ShowWindow);
}

void TPerixChatForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

void TPerixChatForm::FormShow()
{
    if (!m_firstShow)
        return;
    m_firstShow = false;
    // The audio libraries load with the first sound: after the window is on the screen.
    AfterFirstPaint::run(this, [this] { PlayEventSound(SoundStart); });
    m_timer->start();
}

void TPerixChatForm::TimerTimer()
{
    m_timer->stop();
    m_actions->readStayOnTop(m_context.store);
    applyStayOnTop(this, m_actions->action(QStringLiteral("actStayOnTop"))->isChecked());
    applyStayOnTop(m_userList, m_actions->action(QStringLiteral("actStayOnTopUserList"))->isChecked());
}

void TPerixChatForm::applyStayOnTop(QWidget *window, bool onTop)
{
    if (!window || window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    // Changing a window flag hides the window; show it again where it was.
    if (visible)
        window->show();
}

void TPerixChatForm::setUserListShown(bool shown)
{
    if (!m_userList)
        return;
    if (shown) {
        m_userList->restoreBounds();
        m_userList->show();
    } else {
        m_userList->hide();
    }
}

void TPerixChatForm::ShowFromSecondInstance()
{
    restoreFromTray();
}

void TPerixChatForm::CloseQuietly()
{
    m_quietClose = true;
    close();
}

void TPerixChatForm::closeEvent(QCloseEvent *event)
{
    if (!m_closed && !m_quietClose && m_fileCommands && !m_fileCommands->ConfirmClose(this)) {
        event->ignore();
        return;
    }
    FormCloseQuery();
    event->accept();
    Q_EMIT closed();
}

void TPerixChatForm::FormCloseQuery()
{
    // Reached from the close box, the tray and the termination signals alike; runs once.
    if (m_closed)
        return;
    m_closed = true;
    m_chat.stop();
    // Everything below lands in the store in one write, however many talks are open.
    const SettingsStore::Batch oneWrite(m_context.store);
    for (int sheet = 0; sheet < m_talks->count(); ++sheet) {
        if (const TfrConnectUser *talk = m_talks->frame(sheet))
            writeHeightNewMessagePanel(m_context.store, talk->inputPanelHeight());
    }
    if (m_userList)
        m_userList->StoreGroups();
    storeSettings();
    // Hiding stores the user list's place and collapsed groups: inside the one write too, and after
    // its shown state was stored.
    if (m_userList)
        m_userList->hide();
    m_fileCommands->StopAll();
    SetTransportOpen(false);
    m_tray->setEnabled(false);
    m_tray->hideIcon();
}

void TPerixChatForm::ShowLocalIdentity(const RUserID &local)
{
    m_statusBar->ShowIdentity(ProfileImages16().pixmap(local.PictureIndex < 0 ? 0 : local.PictureIndex),
                              local.Alias, local.IP);
    if (local.Alias.trimmed().isEmpty())
        return;
    const QString title = QStringLiteral("Perix Chat [") + local.Alias + u']';
    QApplication::setApplicationDisplayName(title);
    setWindowTitle(title);
}

PeerRegistry *TPerixChatForm::registry() const
{
    return m_chat.registry();
}

void TPerixChatForm::PlayEventSound(int event)
{
    m_sounds->Play(event);
}

void TPerixChatForm::ApplyLanguage(const QString &path)
{
    LngApply::ApplyLanguage(*this, path);
}

void TPerixChatForm::SaveTalkHistory(int sheet)
{
    // The peer writes the talk's transcript itself.
    if (m_history)
        m_history->TalkClosing(sheet);
}

PrivateCloseAnswer TPerixChatForm::AskPrivateClose(const QString &alias)
{
    return TfmInformation::AskPrivateClose(this, m_context.store, alias);
}

void TPerixChatForm::ShowGroupClosed(const QString &authorAlias, const QString &caption)
{
    TfmInformation::ShowGroupClosed(this, m_context.store, authorAlias, caption);
}

bool TPerixChatForm::IsUserBusy() const
{
    // Open menus count too: a packet could remove what they act on.
    return QApplication::activeModalWidget() || QApplication::activePopupWidget();
}
