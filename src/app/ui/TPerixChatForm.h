#pragma once

#include "app/AppContext.h"
#include "net/PacketDispatcher.h"
#include "net/PacketQueue.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TranscriptBatch.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class QTabWidget;
class QTimer;
class QToolBar;
class EventSounds;
class FileOfferCommands;
class FileRecordList;
class MainAutoReply;
class MainHistory;
class MainNetwork;
class LngMenu;
class MainMenus;
class StatusPanels;
class TrayIcon;
class MainActionList;
class RVStyle;
class TfmUserList;
class ChatCore;
class PeerRegistry;
struct RUserID;
class UdpTransport;

// The main window: owns both UDP endpoints and the command map, routes every received packet and
// holds the talk pages.
class TPerixChatForm : public QMainWindow, public TalkHooks {
    Q_OBJECT
public:
    explicit TPerixChatForm(AppContext &context, QWidget *parent = nullptr);
    ~TPerixChatForm() override;

    // The peer itself: network, registry and talks; the windows show it.
    ChatCore *chat() const { return m_chat; }
    UdpTransport *transport() const { return m_transport; }
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
    // Closes without asking anything: running transfers simply stop.
    void CloseQuietly();

    // Docks one of the two toolbars at the top or the bottom; any other toolbar or area is refused.
    bool DockToolbar(QToolBar *toolbar, Qt::ToolBarArea area);
    // The help at a topic: 1000 for the main window, 2000 for the user list.
    bool OpenHelp(int topic);
    int helpTopic() const;

    // Opens or closes both endpoints; a failure shows the port error box.
    void SetTransportOpen(bool open);
    // Hands the user list its packets and commands; called once, right after it is created.
    void attachUserList(TfmUserList *userList);
    // The toolbar look, applied once the user list exists.
    void UserListCreated();
    // The answer to a second copy: show, restore and bring to the front.
    void ShowFromSecondInstance();
    // The texts of the language file, at once, on this window and the user list.
    void ApplyLanguage(const QString &path);

    // What the chat core's events show.
    int SenderTextStyle(const QString &id, qint32 color);
    void ShowLocalIdentity(const RUserID &local);
    void Notify(const QString &format, const QString &alias, int sheet, int picture, const QString &ip);
    void AppendMessage(int sheet, const QString &id, const QString &ip, const QString &body, qint32 color,
                       int picture, const QString &alias);
    void PlayEventSound(int event);
    void BeginNoticeBatch();
    void EndNoticeBatch();

    // TalkHooks
    void SaveTalkHistory(int sheet) override;
    void OfferFiles(const QStringList &records, int picture, const QString &ip, const QString &name) override;
    void AutoReply(int sheet) override;
    void TalkLimitReached(int limit) override;
    void FilesOffered(const QStringList &paths) override;
    bool IsOfferedFile(const QString &path) const override;

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
    // A lasting line in the status bar about something the program could not keep.
    void ShowStorageFailure(const QString &text);
    void connectChat();
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
    ChatCore *m_chat;
    UdpTransport *m_transport;
    PacketQueue *m_queue;
    MainActionList *m_actions;
    QTabWidget *m_pcMain;
    RVStyle *m_rvStyle;
    std::unique_ptr<FileRecordList> m_files;
    TalkManager *m_talks;
    TranscriptBatch m_noticeBatch;
    struct BatchedNotice {
        QString format;
        QString alias;
        int sheet;
        int picture;
        QString ip;
    };
    std::optional<BatchedNotice> m_batchedNotice;
    MainMenus *m_menus = nullptr;
    StatusPanels *m_statusBar = nullptr;
    TrayIcon *m_tray = nullptr;
    MainAutoReply *m_autoReply = nullptr;
    MainHistory *m_history = nullptr;
    LngMenu *m_lngMenu = nullptr;
    EventSounds *m_sounds = nullptr;
    MainNetwork *m_network = nullptr;
    QTimer *m_timer;
    QTimer *m_timerHintInformation;
    TfmUserList *m_userList = nullptr;
    bool m_firstShow = true;
    bool m_closed = false;
    bool m_quietClose = false;
    FileOfferCommands *m_fileCommands = nullptr;
};
