#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class ChatCore;
class DesktopNotifier;
class QAction;
class QTabWidget;
class TalkManager;
class TfmUserList;
class TrayIcon;
class QWidget;

// What tells the user of a message in a talk that is not in view: the unread count on the talk's tab,
// on the sender's node and in the window title, a desktop notification per talk (replaced as more
// come; a click opens the talk), and the window's alert. The tray balloon stands in for the desktop
// notification only where there is no notification service. A talk counts as viewed when its page is
// the current one in the active window.
class MessageAlerts : public QObject {
    Q_OBJECT
public:
    struct Parts {
        QWidget *window = nullptr;
        QTabWidget *pages = nullptr;
        TalkManager *talks = nullptr;
        ChatCore *chat = nullptr;
        TrayIcon *tray = nullptr;
        // Unchecked, a message raises neither a desktop notification nor the window's alert.
        QAction *option = nullptr;
        // Brings the window back (from the tray too).
        QAction *open = nullptr;
    };

    MessageAlerts(const Parts &parts, DesktopNotifier *notifier, QObject *parent = nullptr);

    void setUserList(TfmUserList *userList);
    DesktopNotifier *notifier() const { return m_notifier; }
    // The tray balloon is for desktops without a notification service.
    bool balloonWanted() const;

    int unread(int talkId) const;
    int unreadFrom(const QString &senderId) const;
    int total() const;
    // The talk shown in the active window is read.
    void markViewed();

Q_SIGNALS:
    void totalChanged(int total);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void messageArrived(int talkId, const QString &senderId, const QString &ip, const QString &body,
                        qint32 color, int picture, const QString &alias);
    bool inView(int talkId) const;
    void clearTalk(int talkId);
    void openTalk(int talkId);
    void showTab(int talkId);
    void showTitle();
    void showNode(const QString &senderId);

    Parts m_parts;
    DesktopNotifier *m_notifier;
    QPointer<TfmUserList> m_userList;
    // Unread messages by talk, and within a talk by sender.
    QHash<int, QHash<QString, int>> m_unread;
    // The tab texts and the title as others set them, and as shown with the count.
    struct Shown {
        QString base;
        QString shown;
    };
    QHash<int, Shown> m_tabs;
    Shown m_title;
};
