#include "TPerixChatForm.h"

#include "ConstUnit.h"
#include "MainActionList.h"
#include "MessageBox.h"
#include "PeerList.h"
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
    , m_allUsersTranscript(new QTextEdit)
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

    m_allUsersTranscript->setObjectName(QStringLiteral("reAllMessage"));
    m_allUsersTranscript->setReadOnly(true);
    m_pcMain->addTab(m_allUsersTranscript, QStringLiteral("All users"));
    m_pcMain->widget(0)->setProperty("tsName", QStringLiteral("tsAllUsers"));

    connect(m_actions->action(QStringLiteral("actShowUserList")), &QAction::triggered, this,
            [this](bool checked) { setUserListShown(checked); });
    connect(m_actions->action(QStringLiteral("actStayOnTop")), &QAction::triggered, this,
            [this](bool checked) { applyStayOnTop(this, checked); });
    connect(m_actions->action(QStringLiteral("actStayOnTopUserList")), &QAction::triggered, this,
            [this](bool checked) { applyStayOnTop(m_userList, checked); });
}

void TPerixChatForm::attachUserList(TfmUserList *userList)
{
    m_userList = userList;
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
    PlayEventSound(2);
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

int TPerixChatForm::SenderTextStyle(const QString &, qint32)
{
    return 0;
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

void TPerixChatForm::AppendMessage(int sheet, const QString &, const QString &ip, const QString &body, qint32,
                                   int, const QString &alias)
{
    if (sheet != 0)
        return;
    const QString header = u'[' + (alias.isEmpty() ? ip : alias) + QStringLiteral("] ") +
                           QTime::currentTime().toString(QStringLiteral("hh.mm"));
    QTextCursor cursor(m_allUsersTranscript->document());
    cursor.movePosition(QTextCursor::End);
    if (!m_allUsersTranscript->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(header);
    cursor.insertBlock();
    cursor.insertText(body);
}

void TPerixChatForm::NotifyTalks(int, const QString &, bool, const QString &, qint32, int, const QString &)
{}

void TPerixChatForm::PlayEventSound(int)
{}

void TPerixChatForm::MemberAdded(int, int)
{}

void TPerixChatForm::MemberRemoved(int, int)
{}

void TPerixChatForm::PeerRenamed(const QString &, const QString &, int)
{}

void TPerixChatForm::PeerLeft(const QString &, const QString &)
{}
