#pragma once

#include "AppContext.h"
#include "PacketDispatcher.h"
#include "PacketQueue.h"
#include "TalkManager.h"
#include "TranscriptBatch.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class QTabWidget;
class QTimer;
class QToolBar;
class TEventSounds;
class TFileOfferCommands;
class TFileRecordList;
class TMainAutoReply;
class TMainHistory;
class TMainNetwork;
class TLngMenu;
class TMainMenus;
class TStatusPanels;
class TTrayIcon;
class TMainActionList;
class TRVStyle;
class TfmUserList;
class TChatCore;
class TPeerRegistry;
struct RUserID;
class UdpTransport;

// The main window: owns both UDP endpoints and the command map, routes every received packet and
// holds the talk pages.
class TPerixChatForm : public QMainWindow, public TTalkHooks {
    Q_OBJECT
public:
    explicit TPerixChatForm(AppContext &context, QWidget *parent = nullptr);
    ~TPerixChatForm() override;

    // The peer itself: network, registry and talks; the windows show it.
    TChatCore *chat() const { return m_chat; }
    UdpTransport *transport() const { return m_transport; }
    PacketDispatcher &dispatcher();
    // Received packets wait here until no modal window is open.
    PacketQueue *handlingQueue() const { return m_queue; }
    TMainActionList *actions() const { return m_actions; }
    QTabWidget *pages() const { return m_pcMain; }
    TfmUserList *userList() const { return m_userList; }
    TPeerRegistry *registry() const;
    TTalkManager *talks() const { return m_talks; }
    TRVStyle *RVStyle() const { return m_rvStyle; }
    TMainMenus *menus() const { return m_menus; }
    TStatusPanels *statusPanels() const { return m_statusBar; }
    TTrayIcon *trayIcon() const { return m_tray; }
    TMainAutoReply *autoReply() const { return m_autoReply; }
    TMainHistory *history() const { return m_history; }
    TLngMenu *languageMenu() const { return m_lngMenu; }
    TEventSounds *eventSounds() const { return m_sounds; }
    TFileOfferCommands *fileCommands() const { return m_fileCommands; }
    TMainNetwork *network() const { return m_network; }
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

    // TTalkHooks
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
    TChatCore *m_chat;
    UdpTransport *m_transport;
    PacketQueue *m_queue;
    TMainActionList *m_actions;
    QTabWidget *m_pcMain;
    TRVStyle *m_rvStyle;
    std::unique_ptr<TFileRecordList> m_files;
    TTalkManager *m_talks;
    TTranscriptBatch m_noticeBatch;
    struct BatchedNotice {
        QString format;
        QString alias;
        int sheet;
        int picture;
        QString ip;
    };
    std::optional<BatchedNotice> m_batchedNotice;
    TMainMenus *m_menus = nullptr;
    TStatusPanels *m_statusBar = nullptr;
    TTrayIcon *m_tray = nullptr;
    TMainAutoReply *m_autoReply = nullptr;
    TMainHistory *m_history = nullptr;
    TLngMenu *m_lngMenu = nullptr;
    TEventSounds *m_sounds = nullptr;
    TMainNetwork *m_network = nullptr;
    QTimer *m_timer;
    QTimer *m_timerHintInformation;
    TfmUserList *m_userList = nullptr;
    bool m_firstShow = true;
    bool m_closed = false;
    bool m_quietClose = false;
    TFileOfferCommands *m_fileCommands = nullptr;
};
