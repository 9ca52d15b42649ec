#pragma once

#include "AppContext.h"
#include "PacketDispatcher.h"
#include "UserListHooks.h"

#include <QMainWindow>

class QTabWidget;
class QTextEdit;
class QTimer;
class TMainActionList;
class TfmUserList;
class UdpTransport;

// The main window: owns both UDP endpoints and the command map, routes every received packet and
// holds the talk pages.
class TPerixChatForm : public QMainWindow, public TUserListHooks {
    Q_OBJECT
public:
    explicit TPerixChatForm(AppContext &context, QWidget *parent = nullptr);
    ~TPerixChatForm() override;

    UdpTransport *transport() const { return m_transport; }
    PacketDispatcher &dispatcher() { return m_dispatcher; }
    TMainActionList *actions() const { return m_actions; }
    QTabWidget *pages() const { return m_pcMain; }
    TfmUserList *userList() const { return m_userList; }

    // Opens or closes both endpoints; a failure shows the port error box.
    void SetTransportOpen(bool open);
    // Hands the user list its packets and commands; called once, right after it is created.
    void attachUserList(TfmUserList *userList);
    // The answer to a second copy: show, restore and bring to the front.
    void ShowFromSecondInstance();

    // TUserListHooks
    int SenderTextStyle(const QString &id, qint32 color) override;
    void ShowLocalIdentity(const RUserID &local) override;
    void Notify(const QString &format, const QString &alias, int sheet, int picture,
                const QString &ip) override;
    void AppendMessage(int sheet, const QString &id, const QString &ip, const QString &body, qint32 color,
                       int picture, const QString &alias) override;
    void NotifyTalks(int peerIndex, const QString &ip, bool connected, const QString &id, qint32 color,
                     int picture, const QString &alias) override;
    void PlayEventSound(int event) override;
    void MemberAdded(int groupNumber, int peerIndex) override;
    void MemberRemoved(int groupNumber, int peerIndex) override;
    void PeerRenamed(const QString &id, const QString &displayName, int picture) override;
    void PeerLeft(const QString &displayName, const QString &id) override;

Q_SIGNALS:
    // Emitted once, after the closing steps, when the window has closed.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void TimerTimer();
    void FormCloseQuery();
    void restorePlacement();
    void storeSettings() const;
    void applyStayOnTop(QWidget *window, bool onTop);
    void setUserListShown(bool shown);

    AppContext &m_context;
    UdpTransport *m_transport;
    PacketDispatcher m_dispatcher;
    TMainActionList *m_actions;
    QTabWidget *m_pcMain;
    QTextEdit *m_allUsersTranscript;
    QTimer *m_timer;
    TfmUserList *m_userList = nullptr;
    bool m_firstShow = true;
    bool m_closed = false;
};
