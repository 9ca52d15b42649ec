#include "TPerixChatForm.h"

#include "ConstUnit.h"
#include "FileRecords.h"
#include "MainActionList.h"
#include "MessageBox.h"
#include "PeerList.h"
#include "RVStyle.h"
#include "SendMessageUn.h"
#include "UdpTransport.h"
#include "fmUserListUn.h"
#include "iniFileUn.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

TPerixChatForm::TPerixChatForm(AppContext &context, QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_transport(new UdpTransport(context.transport, this))
    , m_actions(new TMainActionList(this))
    , m_pcMain(new QTabWidget(this))
    , m_rvStyle(new TRVStyle(this))
    , m_files(std::make_unique<TFileRecordList>())
    , m_talks(new TTalkManager(m_pcMain, m_transport, context.store, m_rvStyle, m_files.get(), this, this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("TPerixChatForm"));
    connect(m_transport, &PacketTransport::packetReceived, this,
            [this](const Packet &packet) { m_dispatcher.DispatchPacket(packet); });
    m_timer->setObjectName(QStringLiteral("Timer"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, &TPerixChatForm::TimerTimer);

    m_pcMain->setObjectName(QStringLiteral("pcMain"));
    setCentralWidget(m_pcMain);
    addActions(m_actions->actions());
    FormCreate();
}

TPerixChatForm::~TPerixChatForm() = default;

void TPerixChatForm::FormCreate()
{
    setWindowTitle(QStringLiteral("Perix Chat"));
    QApplication::setApplicationDisplayName(QStringLiteral("Perix Chat"));
    SetTransportOpen(true);
    restorePlacement();
    m_actions->readOptions(m_context.store);

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
    talkActions.sendCommands = {action("actSendMessage"),   nullptr, action("actSelectImageMood"),
                                action("actSelectGifMood"), nullptr, action("actInsertFile"),
                                action("actInsertFolder")};
    // Placing files and folders is not offered.
    action("actInsertFile")->setVisible(false);
    action("actInsertFolder")->setVisible(false);
    m_talks->setActions(talkActions);
    m_talks->attachDispatcher(m_dispatcher);
    m_pcMain->setDocumentMode(true);
    m_talks->CreateTalk(QStringLiteral("All users"), 1, tkAllUsers, -1, QString(), QString(), QString(),
                        QString(), QString(), QString());
    m_pcMain->widget(0)->setObjectName(QStringLiteral("tsAllUsers"));
    connectCommands();

    connect(m_actions->action(QStringLiteral("actShowUserList")), &QAction::triggered, this,
            [this](bool checked) { setUserListShown(checked); });
    connect(m_actions->action(QStringLiteral("actStayOnTop")), &QAction::triggered, this,
            [this](bool checked) { applyStayOnTop(this, checked); });
    connect(m_actions->action(QStringLiteral("actStayOnTopUserList")), &QAction::triggered, this,
            [this](bool checked) { applyStayOnTop(m_userList, checked); });
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
}

void TPerixChatForm::applyIconSize()
{
    m_talks->applyIconSize();
    if (m_userList)
        m_userList->setBigIcons(m_actions->action(QStringLiteral("actBtnBigIcon"))->isChecked());
}

void TPerixChatForm::attachUserList(TfmUserList *userList)
{
    m_userList = userList;
    m_talks->setUserList(userList);
    const auto action = [this](const char *name) {
        return m_actions->action(QLatin1StringView(name));
    };
    userList->setMainActions({action("actMessageToUser"), action("actMessageToGroup"), action("actMailUser"),
                              action("actMailGroup"), action("actMailAll"), action("actMailEmpty"),
                              action("actUserNetProfile"), action("actStayOnTopUserList")});
    m_dispatcher.setHandler(pkNew, [userList](const Packet &p) { userList->ProcessNewPacket(p); });
    m_dispatcher.setHandler(pkUpdateInfo,
                            [userList](const Packet &p) { userList->ProcessUpdateInfoPacket(p); });
    m_dispatcher.setHandler(pkDisconnect,
                            [userList](const Packet &p) { userList->ProcessDisconnectPacket(p); });
    QAction *show = m_actions->action(QStringLiteral("actShowUserList"));
    connect(userList, &TfmUserList::shownChanged, show, &QAction::setChecked);
}

void TPerixChatForm::SetTransportOpen(bool open)
{
    if (!m_transport->SetTransportOpen(open))
        MessageBox::error(this, ConstUnit::text(ConstUnit::Text::ErrorPortAbort));
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
    PlayEventSound(SoundStart);
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
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TPerixChatForm::closeEvent(QCloseEvent *event)
{
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
    if (m_userList)
        m_userList->SendDisconnect();
    for (int sheet = 0; sheet < m_talks->count(); ++sheet) {
        if (const TfrConnectUser *talk = m_talks->frame(sheet))
            writeHeightNewMessagePanel(m_context.store, talk->inputPanelHeight());
        SaveTalkHistory(sheet);
    }
    if (m_userList)
        m_userList->StoreGroups();
    storeSettings();
    SetTransportOpen(false);
}

void TPerixChatForm::restorePlacement()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize desktop = screen ? screen->virtualSize() : QSize(1024, 768);
    const QSize workArea = screen ? screen->availableSize() : desktop;
    const QRect placement =
        MainWindowPlacement(readPlacement(m_context.store, Setting::MainWindowSection), desktop, workArea);
    move(placement.topLeft());
    resize(placement.size());
}

void TPerixChatForm::storeSettings() const
{
    writePlacement(m_context.store, Setting::MainWindowSection, QRect(pos(), size()));
    m_actions->writeOptions(m_context.store);
}

int TPerixChatForm::SenderTextStyle(const QString &id, qint32 color)
{
    return m_talks->SenderTextStyle(id, color);
}

void TPerixChatForm::ShowLocalIdentity(const RUserID &local)
{
    if (local.Alias.trimmed().isEmpty())
        return;
    const QString title = QStringLiteral("Perix Chat [") + local.Alias + u']';
    QApplication::setApplicationDisplayName(title);
    setWindowTitle(title);
}

void TPerixChatForm::Notify(const QString &, const QString &, int, int, const QString &)
{}

void TPerixChatForm::AppendMessage(int sheet, const QString &id, const QString &ip, const QString &body,
                                   qint32 color, int picture, const QString &alias)
{
    m_talks->AppendMessage(sheet, id, ip, body, color, picture, alias);
}

void TPerixChatForm::NotifyTalks(int peerIndex, const QString &ip, bool connected, const QString &id,
                                 qint32 color, int picture, const QString &alias)
{
    m_talks->NotifyTalks(peerIndex, ip, connected, id, color, picture, alias);
}

void TPerixChatForm::PlayEventSound(int)
{}

void TPerixChatForm::MemberAdded(int groupNumber, int peerIndex)
{
    m_talks->MemberAdded(groupNumber, peerIndex);
}

void TPerixChatForm::MemberRemoved(int groupNumber, int peerIndex)
{
    m_talks->MemberRemoved(groupNumber, peerIndex);
}

void TPerixChatForm::PeerRenamed(const QString &id, const QString &displayName, int picture)
{
    m_talks->PeerRenamed(id, displayName, picture);
}

void TPerixChatForm::PeerLeft(const QString &displayName, const QString &id)
{
    m_talks->PeerLeft(displayName, id);
}

void TPerixChatForm::SendGroupRename(const QString &groupId, const QString &caption)
{
    m_talks->SendGroupRename(groupId, caption);
}

void TPerixChatForm::SendGroupDelete(const QString &groupId, const QString &caption)
{
    m_talks->SendGroupDelete(groupId, caption);
}

void TPerixChatForm::CloseOwnGroupTalk(int groupNumber)
{
    m_talks->CloseOwnGroupTalk(groupNumber);
}

void TPerixChatForm::SetMemberBlocked(int peerIndex, bool blocked)
{
    m_talks->SetMemberBlocked(peerIndex, blocked);
}

void TPerixChatForm::SaveTalkHistory(int)
{}

void TPerixChatForm::OfferFiles(const QStringList &, int, const QString &, const QString &)
{}

void TPerixChatForm::AutoReply(int)
{}
