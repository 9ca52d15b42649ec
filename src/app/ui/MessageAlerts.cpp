#include "app/ui/MessageAlerts.h"

#include "app/ChatCore.h"
#include "features/ui/DesktopNotifier.h"
#include "features/ui/ImageList.h"
#include "features/ui/TrayIcon.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/ui/fmUserListUn.h"
#include "talks/MessageText.h"
#include "talks/TalkCore.h"
#include "talks/ui/TalkManager.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QTabWidget>
#include <QTimer>

namespace {

QString withCount(const QString &text, int count)
{
    return count > 0 ? text + QStringLiteral(" (%1)").arg(count) : text;
}

} // namespace

MessageAlerts::MessageAlerts(const Parts &parts, DesktopNotifier *notifier, QObject *parent)
    : QObject(parent)
    , m_parts(parts)
    , m_notifier(notifier)
{
    TalkCore *core = m_parts.chat->talks();
    connect(core, &TalkCore::messageForTalk, this, &MessageAlerts::messageArrived);
    // After the page has shown its new caption.
    connect(core, &TalkCore::captionChanged, this, &MessageAlerts::showTab);
    connect(core, &TalkCore::talkClosed, this, [this](int talkId) {
        const QHash<QString, int> senders = m_unread.take(talkId);
        m_tabs.remove(talkId);
        m_notifier->withdraw(talkId);
        for (auto it = senders.cbegin(); it != senders.cend(); ++it)
            showNode(it.key());
        showTitle();
    });
    connect(m_parts.pages, &QTabWidget::currentChanged, this, &MessageAlerts::markViewed);
    connect(m_notifier, &DesktopNotifier::activated, this, &MessageAlerts::openTalk);
    m_parts.window->installEventFilter(this);
}

void MessageAlerts::setUserList(TfmUserList *userList)
{
    m_userList = userList;
}

bool MessageAlerts::balloonWanted() const
{
    return !m_notifier->isAvailable();
}

int MessageAlerts::unread(int talkId) const
{
    int sum = 0;
    for (int count : m_unread.value(talkId))
        sum += count;
    return sum;
}

int MessageAlerts::unreadFrom(const QString &senderId) const
{
    int sum = 0;
    for (const QHash<QString, int> &senders : m_unread)
        sum += senders.value(senderId);
    return sum;
}

int MessageAlerts::total() const
{
    int sum = 0;
    for (auto it = m_unread.cbegin(); it != m_unread.cend(); ++it)
        sum += unread(it.key());
    return sum;
}

bool MessageAlerts::inView(int talkId) const
{
    const QWidget *window = m_parts.window;
    return window->isVisible() && !window->isMinimized() && window->isActiveWindow() &&
           m_parts.pages->currentIndex() == m_parts.talks->sheetOfTalk(talkId);
}

void MessageAlerts::messageArrived(int talkId, const QString &senderId, const QString &ip,
                                   const QString &body, qint32, int picture, const QString &alias)
{
    const RUserID *me = m_parts.chat->registry()->local();
    if ((me && senderId == me->ID) || inView(talkId))
        return;
    ++m_unread[talkId][senderId];
    showTab(talkId);
    showNode(senderId);
    showTitle();
    if (m_parts.option && !m_parts.option->isChecked())
        return;
    QApplication::alert(m_parts.window);
    const QString name = alias.trimmed().isEmpty() ? ip : alias;
    const QString firstLine = MessageText::PlainText(body).section(u'\n', 0, 0).trimmed();
    m_notifier->show(talkId, name, firstLine, ProfileImages32().image(picture));
}

void MessageAlerts::markViewed()
{
    const QWidget *window = m_parts.window;
    if (!window->isVisible() || window->isMinimized() || !window->isActiveWindow())
        return;
    const int talkId = m_parts.talks->talkIdAt(m_parts.pages->currentIndex());
    if (m_unread.contains(talkId))
        clearTalk(talkId);
}

void MessageAlerts::clearTalk(int talkId)
{
    const QHash<QString, int> senders = m_unread.take(talkId);
    showTab(talkId);
    for (auto it = senders.cbegin(); it != senders.cend(); ++it)
        showNode(it.key());
    showTitle();
    m_notifier->withdraw(talkId);
}

void MessageAlerts::openTalk(int talkId)
{
    const int sheet = m_parts.talks->sheetOfTalk(talkId);
    if (sheet < 0)
        return;
    if (m_parts.open)
        m_parts.open->trigger();
    m_parts.pages->setCurrentIndex(sheet);
    markViewed();
}

void MessageAlerts::showTab(int talkId)
{
    const int sheet = m_parts.talks->sheetOfTalk(talkId);
    if (sheet < 0)
        return;
    Shown &tab = m_tabs[talkId];
    // Text that differs from what was shown here was set anew by the page (a new caption, a language).
    const QString current = m_parts.pages->tabText(sheet);
    if (current != tab.shown)
        tab.base = current;
    tab.shown = withCount(tab.base, unread(talkId));
    if (current != tab.shown)
        m_parts.pages->setTabText(sheet, tab.shown);
}

void MessageAlerts::showTitle()
{
    const int count = total();
    const QString current = m_parts.window->windowTitle();
    if (current != m_title.shown)
        m_title.base = current;
    m_title.shown = count > 0 ? QStringLiteral("(%1) ").arg(count) + m_title.base : m_title.base;
    if (current != m_title.shown)
        m_parts.window->setWindowTitle(m_title.shown);
    Q_EMIT totalChanged(count);
}

void MessageAlerts::showNode(const QString &senderId)
{
    if (!m_userList || senderId.isEmpty())
        return;
    if (const std::optional<PeerNode> node = m_userList->FindPeerNode(senderId))
        SetNodeUnread(node->item, unreadFrom(senderId));
}

bool MessageAlerts::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_parts.window) {
        switch (event->type()) {
        case QEvent::WindowTitleChange:
            // The title was set anew (the user's alias): the count goes in front again.
            if (m_parts.window->windowTitle() != m_title.shown)
                QTimer::singleShot(0, this, &MessageAlerts::showTitle);
            break;
        case QEvent::ActivationChange:
        case QEvent::WindowStateChange:
        case QEvent::Show:
            QTimer::singleShot(0, this, &MessageAlerts::markViewed);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
