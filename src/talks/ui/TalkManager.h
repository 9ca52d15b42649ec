#pragma once

#include "protocol/ProtocolUn.h"
#include "talks/MinuteClock.h"
#include "talks/TalkCore.h"
#include "talks/ui/TranscriptTail.h"
#include "talks/ui/frConnectUserUn.h"

#include <QHash>
#include <QList>
#include <QObject>

class AnimationCatalogue;
class QAction;
class QMenu;
class QTabWidget;
class SettingsStore;
class FileExchange;
class PeerList;
class RVStyle;
class TfmUserList;
class UserGroupBox;
struct RUserID;
struct WireIdentity;

// The options and commands the talks read.
struct TalkActions {
    QAction *notTalkPrivate = nullptr;
    QAction *notTalkGroup = nullptr;
    QAction *showUserIP = nullptr;
    QAction *showTime = nullptr;
    QAction *showPicture = nullptr;
    QAction *bigIcon = nullptr;
    QAction *answeringMachine = nullptr;
    // The send toolbar of every talk, in order; null entries are separators.
    QList<QAction *> sendCommands;
};

// The talks of a talk core as pages of the main window: one TfrConnectUser page per talk, member items
// that mirror its members, and the transcripts. Its functions take page numbers (sheets); the core
// names talks by their IDs.
class TalkManager : public QObject {
    Q_OBJECT
public:
    TalkManager(QTabWidget *pcMain, TalkCore *core, const SettingsStore &store, RVStyle *style,
                const FileExchange *files, QWidget *dialogParent);

    TalkCore *core() const { return m_core; }
    // Where the commands find the selected user and group, and the menu of a member item.
    void setUserList(TfmUserList *userList) { m_userList = userList; }
    void setActions(const TalkActions &actions);
    void setAnimationCatalogue(AnimationCatalogue *catalogue) { m_animations = catalogue; }

    int CreateTalk(const QString &caption, int image, TalkKind kind, int tag, const QString &groupName,
                   const QString &authorAlias, const QString &groupId, const QString &mac,
                   const QString &userId, const QString &ip);
    static constexpr int MaxTalkPages = TalkCore::MaxTalkPages;
    // Paragraphs a transcript holds at most (about 20,000 messages); at the bound the transcript is
    // kept in the history and cleared, as the Clear command does, so that a long flood costs neither
    // unbounded memory nor a minute-long save at closing.
    static constexpr int MaxTranscriptBlocks = 40000;
    void setTranscriptLimit(int blocks) { m_transcriptLimit = blocks; }

    int count() const;
    // The talk's caption as built from the peers' texts (the tab shows it isolated).
    QString caption(int sheet) const;
    void setCaption(int sheet, const QString &caption);
    TfrConnectUser *frame(int sheet) const;
    int sheetOf(const TfrConnectUser *frame) const;
    // The page of a talk of the core, or -1.
    int sheetOfTalk(int talkId) const;
    int talkIdAt(int sheet) const;
    int FindPrivateTalk(const QString &userId) const;
    int FindOwnGroupTalk(int tag) const;
    int FindTalkByGroupID(const QString &groupId) const;

    // Commands.
    void MessageToUser();
    void MessageToGroup();
    // Sends the input of the talk (the active one when sheet is -1); false when a send failed.
    bool SendMessage(int sheet = -1, bool fromAutoReply = false);
    void CloseTalk(int sheet);
    void ClearTextMessage(int sheet);
    void ClearDialogParametr();
    void MailUser();
    void MailGroup();
    void MailAll();
    void MailEmpty();

    // Display.
    void AppendMessage(int sheet, const QString &id, const QString &ip, const QString &body, qint32 color,
                       int picture, const QString &alias);
    // A message or notice as the talk rules decoded it.
    void AppendLine(int sheet, const TalkLine &line);
    int SenderTextStyle(const QString &id, qint32 color);

    void SendMemberUpdate(int sheet);

    // A slice of received packets is handled: its lines go into each transcript under one edit, laid
    // out when the slice ends (or before anything looks at the transcript).
    void beginReceivedLines() { m_tail.beginTurn(); }
    void endReceivedLines() { m_tail.endTurn(); }

    // Big or small pictures on the tabs and the talk toolbars.
    void applyIconSize();
    // The input editors of private talks are read-only while the auto-reply answers (talk state of
    // the core; the editors follow it).
    void setPrivateInputLocked(bool locked);
    // Saves the talk to the history and removes its page.
    void destroyTalk(int sheet);

Q_SIGNALS:
    // The transcript of the talk on that sheet is about to be cleared: keep it in the history.
    void transcriptClearing(int sheet);
    // A message was added to the transcript on that sheet; its header line ends at headerEnd.
    void messageShown(int sheet, const QString &senderId, int headerEnd);

private:
    void connectCore();
    void addPage(int talkId);
    void removePage(int talkId);
    void showCaption(int talkId);
    void addMemberItem(int talkId, int peerIndex);
    void moveMemberItem(int talkId, int oldIndex, int newIndex);
    void activate(int talkId);
    void showInputLock(int talkId, bool locked);
    TfrConnectUser *frameOf(int talkId) const;
    const RUserID *local() const;
    const RUserID *peer(int peerIndex) const;
    bool isChecked(const QAction *action) const;
    int iconSize() const;
    void memberMenu(TfrConnectUser *frame, int peerIndex, QMenu *menu);

    QTabWidget *m_pcMain;
    const SettingsStore &m_store;
    RVStyle *m_style;
    const FileExchange *m_files;
    QWidget *m_dialogParent;
    TalkCore *m_core;
    QHash<int, TfrConnectUser *> m_pages;
    TfmUserList *m_userList = nullptr;
    TalkActions m_actions;
    AnimationCatalogue *m_animations = nullptr;
    int m_transcriptLimit = MaxTranscriptBlocks;
    MinuteClock m_clock;
    TranscriptTail m_tail;
};
