#pragma once

#include "app/AppContext.h"
#include "net/PacketDispatcher.h"
#include "net/PacketQueue.h"
#include "talks/ChatQuestions.h"
#include "talks/ui/TalkManager.h"

#include <QMainWindow>

#include <memory>

class QTabWidget;
class QTimer;
class QToolBar;
class EventSounds;
class FileOfferCommands;
class MainAutoReply;
class MainHistory;
class MessageAlerts;
class MainNetwork;
class MainNotices;
class LngMenu;
class MainMenus;
class StatusPanels;
class TrayIcon;
class MainActionList;
class RVStyle;
class TfmUserList;
class TalkKeysView;
class ChatCore;
class PeerRegistry;
struct RUserID;
class UdpTransport;

// The main window: shows the peer (its registry and talks) and holds the command map, the talk pages,
// the status bar and the tray icon. It answers the peer's questions with dialogs.
class TPerixChatForm : public QMainWindow, public ChatQuestions {
    Q_OBJECT
public:
    // The peer runs on the transport; the window opens and closes the transport's endpoints.
    TPerixChatForm(AppContext &context, ChatCore &chat, UdpTransport &transport, QWidget *parent = nullptr);
    ~TPerixChatForm() override;

    // The peer itself: registry, talks and presence probe; the windows show it.
    ChatCore *chat() const { return &m_chat; }
    UdpTransport *transport() const { return &m_transport; }
    PacketDispatcher &dispatcher();
    // Received packets wait here until no modal window is open.
    PacketQueue *handlingQueue() const { return m_queue; }
    MainActionList *actions() const { return m_actions; }
    QTabWidget *pages() const { return m_pcMain; }
    TfmUserList *userList() const { return m_userList; }
    PeerRegistry *registry() const;
    TalkManager *talks() const { return m_talks; }
    RVStyle *rvStyle() const { return m_rvStyle; }
    MainMenus *menus() const { return m_menus; }
    StatusPanels *statusPanels() const { return m_statusBar; }
    TrayIcon *trayIcon() const { return m_tray; }
    MainAutoReply *autoReply() const { return m_autoReply; }
    MainHistory *history() const { return m_history; }
    LngMenu *languageMenu() const { return m_lngMenu; }
    EventSounds *eventSounds() const { return m_sounds; }
    FileOfferCommands *fileCommands() const { return m_fileCommands; }
    MainNetwork *network() const { return m_network; }
    MessageAlerts *alerts() const { return m_alerts; }
    // Closes without asking anything: running transfers simply stop.
    void CloseQuietly();

    // Docks one of the two toolbars at the top or the bottom; any other toolbar or area is refused.
    bool DockToolbar(QToolBar *toolbar, Qt::ToolBarArea area);
    // The help at a topic: 1000 for the main window, 2000 for the user list.
    bool OpenHelp(int topic);
    int helpTopic() const;

    // Opens or closes both endpoints; a failure shows the port error box.
    void SetTransportOpen(bool open);
    // Hands the user list its commands; called once, right after it is created.
    void attachUserList(TfmUserList *userList);
    // The toolbar look, applied once the user list exists.
    void UserListCreated();
    // The answer to a second copy: show, restore and bring to the front.
    void ShowFromSecondInstance();
    // The texts of the language file, at once, on this window and the user list.
    void ApplyLanguage(const QString &path);

    // What the peer's events show.
    void ShowLocalIdentity(const RUserID &local);
    void PlayEventSound(int event);
    void SaveTalkHistory(int sheet);

    // ChatQuestions, answered with dialogs.
    PrivateCloseAnswer AskPrivateClose(const QString &alias) override;
    void ShowGroupClosed(const QString &authorAlias, const QString &caption) override;
    bool IsUserBusy() const override;

Q_SIGNALS:
    // Emitted once, after the closing steps, when the window has closed.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void connectWriteFailures();
    void setUpTalks();
    void connectChat();
    void connectTalks();
    // The sender's text style follows the user's colour.
    void styleOf(int peerIndex);
    void FormShow();
    void TimerTimer();
    void FormCloseQuery();
    void restorePlacement();
    void storeSettings() const;
    void applyStayOnTop(QWidget *window, bool onTop);
    void setUserListShown(bool shown);
    void connectCommands();
    void applyIconSize();
    void buildFrame();
    void enableUserCommands(bool byUserList);
    void restoreFromTray();

    AppContext &m_context;
    ChatCore &m_chat;
    UdpTransport &m_transport;
    PacketQueue *m_queue;
    MainActionList *m_actions;
    QTabWidget *m_pcMain;
    RVStyle *m_rvStyle;
    TalkManager *m_talks;
    TalkKeysView *m_keysView = nullptr;
    MainMenus *m_menus = nullptr;
    StatusPanels *m_statusBar = nullptr;
    TrayIcon *m_tray = nullptr;
    MainAutoReply *m_autoReply = nullptr;
    MainHistory *m_history = nullptr;
    LngMenu *m_lngMenu = nullptr;
    EventSounds *m_sounds = nullptr;
    MainNetwork *m_network = nullptr;
    QTimer *m_timer;
    MainNotices *m_notices = nullptr;
    TfmUserList *m_userList = nullptr;
    bool m_firstShow = true;
    bool m_closed = false;
    bool m_quietClose = false;
    FileOfferCommands *m_fileCommands = nullptr;
    MessageAlerts *m_alerts = nullptr;
};
