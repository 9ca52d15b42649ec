#pragma once

#include "net/PacketDispatcher.h"
#include "peers/UserListHooks.h"
#include "talks/ChatQuestions.h"
#include "talks/TalkCore.h"

#include <QObject>

#include <functional>

struct AppContext;
class PacketQueue;
class PeerRegistry;
class UdpTransport;

// One peer without any window: the network endpoints, the queue that hands packets to their
// handlers, the peer registry and the talks, wired together. The window program shows it; the
// headless peer drives it from the command line. Everything the windows would show arrives as
// signals (or, for the talks, as the talk core's signals).
class ChatCore : public QObject, public UserListHooks {
    Q_OBJECT
public:
    ChatCore(AppContext &context, ChatQuestions *questions, QObject *parent = nullptr);
    ~ChatCore() override;

    UdpTransport *transport() const { return m_transport; }
    PacketDispatcher &dispatcher() { return m_dispatcher; }
    PacketQueue *queue() const { return m_queue; }
    PeerRegistry *registry() const { return m_registry; }
    TalkCore *talks() const { return m_talks; }
    // The talk with everybody: the first talk (start() makes it; the window program makes its own).
    int allUsersTalk() const;

    // The number of a sender's text style; windows that show styled text provide it.
    void setTextStyleSource(std::function<int(const QString &id, qint32 color)> source)
    {
        m_textStyle = std::move(source);
    }
    // Whether anything beyond the talk core holds the peer index (the windows' member items).
    void setPeerReferenced(std::function<bool(int peerIndex)> referenced)
    {
        m_referenced = std::move(referenced);
    }

    // Opens the network, makes the local entry and the talk with everybody, loads the contact
    // groups and announces the user (NEW). False when the network cannot be opened.
    bool start();
    // Says goodbye (one DISCONNECT) and closes the network; later calls do nothing.
    void stop();
    bool isRunning() const { return m_running; }

    // Commands of a program without windows; plain text, line breaks included.
    SendResult sendToAll(const QString &text);
    SendResult sendToUser(int peerIndex, const QString &text);
    SendResult sendToGroup(int groupNumber, const QString &text);
    // The online peers whose ID is `name`, or else whose alias is `name` (exactly, then ignoring case).
    QList<int> findPeers(const QString &name) const;
    // The contact group whose caption is `name` (ignoring case) or whose number it is; 0 when none.
    int findGroup(const QString &name) const;

Q_SIGNALS:
    // The status-bar notice of an event in that talk (format with "%s" for the name).
    void noticeRequested(int talkId, const QString &format, const QString &alias, int picture,
                         const QString &ip);
    void soundRequested(int event);
    // A message (or a line of the talk core about it) for the talk's transcript.
    void messageForTalk(int talkId, const QString &senderId, const QString &ip, const QString &body,
                        qint32 color, int picture, const QString &alias);
    // A connect or disconnect line for a talk's transcript: shown like a message, but nobody wrote it.
    void noticeForTalk(int talkId, const QString &senderId, const QString &ip, const QString &body,
                       qint32 color, int picture, const QString &alias);
    void localIdentityChanged();
    // Arrivals of one turn are shown together: between these two, notices may be gathered.
    void noticeBatchStarted();
    void noticeBatchEnded();

private:
    // UserListHooks: the registry's events reach the talks in the order the user sees them.
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
    void CloseOwnGroupTalk(int groupNumber) override;
    bool IsPeerReferenced(int peerIndex) const override;
    void SetMemberBlocked(int peerIndex, bool blocked) override;
    void BeginNoticeBatch() override;
    void EndNoticeBatch() override;

    int talkOfSheet(int sheet) const;

    AppContext &m_context;
    UdpTransport *m_transport;
    PacketDispatcher m_dispatcher;
    PacketQueue *m_queue;
    TalkCore *m_talks;
    PeerRegistry *m_registry;
    std::function<int(const QString &, qint32)> m_textStyle;
    std::function<bool(int)> m_referenced;
    bool m_running = false;
    bool m_presenceLines = false;
};
