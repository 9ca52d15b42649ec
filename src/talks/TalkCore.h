#pragma once

#include "protocol/ProtocolUn.h"
#include "talks/ChatQuestions.h"
#include "talks/MessageBody.h"
#include "talks/TalkData.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class PacketDispatcher;
class TDataNewMessage;
class PacketTransport;
class PeerList;
struct RUserID;
struct WireIdentity;

// Event numbers of the sounds.
enum TalkSound { SoundUserConnect = 0, SoundUserDisconnect = 1, SoundStart = 2, SoundNewMessage = 3 };

// A member of a group talk is a user; the peer index is the list entry that stands for the user now.
struct TalkMember {
    QString userId;
    int peerIndex = -1;
    bool blocked = false;
};

// One talk. Its ID stays the same for its whole life, whatever opens or closes around it.
struct Talk {
    int id = -1;
    // The picture the talk is shown with (an index into the profile pictures).
    int picture = -1;
    TalkData data;
    // In the order they joined; never two for one user.
    QList<TalkMember> members;
    // The user cannot send from the talk's input while the auto-reply answers in it.
    bool inputLocked = false;

    int memberPosition(const QString &userId) const;
    bool hasMemberIndex(int peerIndex) const;
    // Own or member group talk.
    bool isGroup() const;
};

// A message or a connect/disconnect notice as a transcript shows it: who wrote it, and its items as
// the rules decoded them.
struct TalkLine {
    QString senderId;
    QString ip;
    QString alias;
    qint32 color = 0;
    int picture = -1;
    MessageBody body;
    bool notice = false;
};

// How a send went: nothing to send (an empty packet is not an error), handed to the network, refused
// by the network (the user is to be told), or not tried (no such talk, no local user, no network).
enum class SendResult { Nothing, Sent, Failed, Unsent };

// The talks and all their rules: which talk an incoming message belongs to, the filters that drop it,
// group membership, renaming and deleting of groups, the close decisions, and the packets the talks
// send. It holds no window: windows observe its signals and call its commands, and the user is asked
// through ChatQuestions. Talks are kept in the order they were made; the first is the talk with
// everybody.
class TalkCore : public QObject {
    Q_OBJECT
public:
    static constexpr int NoTalk = -1;
    // Talks that other users' packets may open at most (the talk with everybody counts); beyond it new
    // talks from them are refused.
    static constexpr int MaxTalkPages = 100;
    static constexpr int GroupPicture = 2;

    explicit TalkCore(PacketTransport *transport, ChatQuestions *questions = nullptr,
                      QObject *parent = nullptr);

    void setTransport(PacketTransport *transport) { m_transport = transport; }
    void setQuestions(ChatQuestions *questions) { m_questions = questions; }
    // The peer list is read, never changed; entry 0 is the local user.
    void setPeers(const PeerList *peers) { m_peers = peers; }
    const PeerList *peers() const { return m_peers; }
    // Routes the talk packets to their handlers.
    void attachDispatcher(PacketDispatcher &dispatcher);

    // Options.
    void setNotTalkPrivate(bool on) { m_notTalkPrivate = on; }
    void setNotTalkGroup(bool on) { m_notTalkGroup = on; }
    void setAnsweringMachine(bool on) { m_answeringMachine = on; }
    bool notTalkPrivate() const { return m_notTalkPrivate; }
    bool notTalkGroup() const { return m_notTalkGroup; }
    bool answeringMachine() const { return m_answeringMachine; }

    // The talks.
    int count() const { return int(m_talks.size()); }
    QList<int> talkIds() const;
    // Null when no talk has that ID (any more).
    const Talk *talk(int id) const;
    const Talk *talkAt(int position) const;
    int positionOf(int id) const;
    int FindPrivateTalk(const QString &userId) const;
    int FindOwnGroupTalk(int tag) const;
    int FindTalkByGroupID(const QString &groupId) const;
    // The user-ID list of a group talk's packets: my ID first, then every member's.
    QString userIDList(int id) const;

    // Commands. Each returns the talk's ID, or NoTalk.
    int CreateTalk(const TalkData &data, int picture);
    // The private talk with that peer: the one open, or a new one.
    int openPrivateTalk(int peerIndex);
    // The own group talk of a contact group: the one open, or a new one with these members.
    int openOwnGroupTalk(int groupNumber, const QString &caption, const QString &groupId,
                         const QList<int> &memberPeerIndexes);
    void setCaption(int id, const QString &caption);
    // Sends an encoded message body in the talk. A private message is shown in the talk at once (the
    // other talks get theirs back from the network) unless it is shown already (it waited).
    SendResult sendBody(int id, const QString &body, bool fromAutoReply = false, bool showPrivate = true);
    // Sends the message in the talk, encoded; nothing is sent from a locked input unless it is the
    // auto-reply's answer (Unsent).
    SendResult sendMessage(int id, const MessageBody &body, bool fromAutoReply = false);
    void setInputLocked(int id, bool locked);
    bool isInputLocked(int id) const;
    // The input of every private talk is locked (the auto-reply answers) or opened.
    void setPrivateInputsLocked(bool locked);
    // The user closes the talk: the others are told, then the talk goes (never the talk with everybody).
    void CloseTalk(int id);
    // The talk goes without a word to the others; talkClosing comes first, for the history.
    void destroyTalk(int id);
    void SendMemberUpdate(int id);

    // Received packets.
    void ProcessMessage(const Packet &text);
    void ProcessGroupMessage(const Packet &text);
    void ProcessUserMessage(const Packet &text);
    void ProcessUpdateInfoToGroup(const Packet &text);
    void ProcessGroupRename(const Packet &text);
    void ProcessGroupDelete(const Packet &text);
    void ProcessPrivateDelete(const Packet &text);

    // From the peers and the contact groups.
    void memberAdded(int groupNumber, int peerIndex);
    void memberRemoved(int groupNumber, int peerIndex);
    void peerRenamed(const QString &id, const QString &displayName, int picture);
    // Called after the peer's disconnect notice was shown.
    void peerLeft(const QString &displayName, const QString &id);
    // A user arrived or leaves: the notice, the line "User ... is connect/disconnect" in the talk with
    // everybody and in every talk the user takes part in, and the sound.
    void peerPresence(int peerIndex, const QString &ip, bool connected, const QString &id, qint32 color,
                      int picture, const QString &alias);
    // The talk with everybody, or NoTalk.
    int allUsersTalk() const;
    void closeOwnGroupTalk(int groupNumber);
    void setMemberBlocked(int peerIndex, bool blocked);

Q_SIGNALS:
    void talkCreated(int id);
    // The talk is about to go; it can still be read (the history is saved from here).
    void talkClosing(int id);
    void talkClosed(int id);
    // Caption, author, group name or picture changed.
    void captionChanged(int id);
    void talkMemberAdded(int id, const QString &userId, int peerIndex);
    void talkMemberRemoved(int id, const QString &userId, int peerIndex);
    // The member came back as another entry of the peer list.
    void talkMemberMoved(int id, const QString &userId, int oldIndex, int newIndex);
    void talkMemberRenamed(int id, int peerIndex, const QString &displayName, int picture);
    void talkMemberBlocked(int id, int peerIndex, bool blocked);
    // A message for the talk's transcript.
    void messageForTalk(int id, const QString &senderId, const QString &ip, const QString &body, qint32 color,
                        int picture, const QString &alias);
    // A body of the user's is about to go out in the talk (a private one is shown first), and how it went.
    void messageSending(int id, const QString &body);
    void messageSent(int id, SendResult result);
    // A connect or disconnect line for the talk's transcript: shown like a message, but nobody wrote it.
    void noticeForTalk(int id, const QString &senderId, const QString &ip, const QString &body, qint32 color,
                       int picture, const QString &alias);
    void noticeRequested(int id, const QString &format, const QString &alias, int picture, const QString &ip);
    // The same message or notice, decoded, for the talk's transcript (after messageForTalk or
    // noticeForTalk).
    void lineForTalk(int id, const TalkLine &line);
    void soundRequested(int event);
    // A private message without the auto-reply marker arrived in that talk.
    void autoReplyRequested(int id);
    // Other users asked for a new talk while the page limit holds; said once until a talk closes.
    void talkLimitReached(int limit);
    // The talk's input was locked or opened.
    void inputLockChanged(int id, bool locked);

private:
    SendResult sendBodyNow(int id, const QString &body, bool fromAutoReply, bool showPrivate);
    Talk *find(int id);
    // messageForTalk or noticeForTalk, then lineForTalk with the decoded body.
    void showLine(int id, bool notice, const QString &senderId, const QString &ip, const QString &body,
                  qint32 color, int picture, const QString &alias);
    const RUserID *local() const;
    WireIdentity localWire() const;
    bool isSenderBlocked(const QString &id) const;
    bool send(const Packet &packet);
    bool roomForIncomingTalk();
    // Shows the message in each of the talks that still exist; the last of them, or NoTalk.
    int deliver(const QList<int> &talkIds, const TDataNewMessage &m);
    void notifyMessage(int id, const QString &alias, int picture, const QString &ip);
    void addTalkMember(int id, int peerIndex);
    void addMemberById(int id, const QString &userId);
    void removeTalkMember(int id, const QString &userId);
    // Asks, and then closes the talk when it is still there and the answer allows.
    void closeAfterPrivateQuestion(int id, const QString &alias, bool closeUnlessLeave);
    void closeAfterGroupNotice(int id, const QString &authorAlias);

    PacketTransport *m_transport;
    ChatQuestions *m_questions;
    const PeerList *m_peers = nullptr;
    std::vector<std::unique_ptr<Talk>> m_talks;
    int m_nextId = 1;
    bool m_notTalkPrivate = false;
    bool m_notTalkGroup = false;
    bool m_answeringMachine = false;
    bool m_talkLimitNoticed = false;
};

// "[" + author alias + "] " + group name: the caption of a group talk another user authored.
QString MemberGroupCaption(const QString &authorAlias, const QString &groupName);

// The e-mail addresses of the online peers (entries 1 and up) that have one, optionally only those
// of one contact group, joined by ";".
QString MailAddressList(const PeerList &peers, int groupNumber = -1);
