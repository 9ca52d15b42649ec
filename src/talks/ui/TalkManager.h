#pragma once

#include "protocol/ProtocolUn.h"
#include "talks/ChatQuestions.h"
#include "talks/MinuteClock.h"
#include "talks/TalkCore.h"
#include "talks/ui/frConnectUserUn.h"

#include <QHash>
#include <QList>
#include <QObject>

class AnimationCatalogue;
class PacketDispatcher;
class PacketTransport;
class QAction;
class QMenu;
class QTabWidget;
class SettingsStore;
class FileRecordList;
class PeerList;
class RVStyle;
class TfmUserList;
class UserGroupBox;
struct RUserID;
struct WireIdentity;

// What the talks ask of the rest of the program: notices, sounds, history, file offers and the
// auto-reply. The main window implements it.
class TalkHooks {
public:
    virtual ~TalkHooks() = default;
    virtual void Notify(const QString &format, const QString &alias, int sheet, int picture,
                        const QString &ip) = 0;
    virtual void PlayEventSound(int event) = 0;
    // The transcript of the talk is about to be lost: keep it in the history.
    virtual void SaveTalkHistory(int sheet) = 0;
    // A message from another user carried file references (record indexes as text).
    virtual void OfferFiles(const QStringList &records, int picture, const QString &ip,
                            const QString &name) = 0;
    // The user sent a message holding references to these files and folders.
    virtual void FilesOffered(const QStringList &paths) { Q_UNUSED(paths); }
    // The user offered this path in this run: only such a file is the user's own.
    virtual bool IsOfferedFile(const QString &path) const
    {
        Q_UNUSED(path);
        return false;
    }
    // A private message without the auto-reply marker arrived in that talk.
    virtual void AutoReply(int sheet) = 0;
    // Other users asked for a new talk while the page limit holds; said once until a page closes.
    virtual void TalkLimitReached(int limit) { Q_UNUSED(limit); }
};

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

// The talks of the main window as pages: one TfrConnectUser page per talk of the core, member items that
// mirror its members, the transcripts, and the dialogs the core's questions open. Its functions take
// page numbers (sheets); the core names talks by their IDs.
class TalkManager : public QObject, private ChatQuestions {
    Q_OBJECT
public:
    // The pages of the program's talk core; the core's questions are answered with dialogs.
    TalkManager(QTabWidget *pcMain, TalkCore *core, const SettingsStore &store, RVStyle *style,
                FileRecordList *files, TalkHooks *hooks, QWidget *dialogParent);
    // The pages of a talk core of their own (tools and benchmarks that show talks alone).
    TalkManager(QTabWidget *pcMain, PacketTransport *transport, const SettingsStore &store, RVStyle *style,
                FileRecordList *files, TalkHooks *hooks, QWidget *dialogParent);

    TalkCore *core() const { return m_core; }
    void setUserList(TfmUserList *userList);
    void setActions(const TalkActions &actions);
    void setAnimationCatalogue(AnimationCatalogue *catalogue) { m_animations = catalogue; }
    // Routes the talk packets to the core.
    void attachDispatcher(PacketDispatcher &dispatcher);

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
    int SenderTextStyle(const QString &id, qint32 color);

    void SendMemberUpdate(int sheet);

    // Big or small pictures on the tabs and the talk toolbars.
    void applyIconSize();
    // The input editors of private talks are read-only while the auto-reply answers.
    void setPrivateInputLocked(bool locked);
    // Saves the talk to the history and removes its page.
    void destroyTalk(int sheet);

private:
    // ChatQuestions, answered with the dialogs.
    PrivateCloseAnswer AskPrivateClose(const QString &alias) override;
    void ShowGroupClosed(const QString &authorAlias, const QString &caption) override;

    void connectCore();
    void addPage(int talkId);
    void removePage(int talkId);
    void showCaption(int talkId);
    void addMemberItem(int talkId, int peerIndex);
    void moveMemberItem(int talkId, int oldIndex, int newIndex);
    void activate(int talkId);
    TfrConnectUser *frameOf(int talkId) const;
    const RUserID *local() const;
    bool isChecked(const QAction *action) const;
    int iconSize() const;
    void memberMenu(TfrConnectUser *frame, int peerIndex, QMenu *menu);

    QTabWidget *m_pcMain;
    const SettingsStore &m_store;
    RVStyle *m_style;
    FileRecordList *m_files;
    TalkHooks *m_hooks;
    QWidget *m_dialogParent;
    TalkCore *m_core;
    QHash<int, TfrConnectUser *> m_pages;
    TfmUserList *m_userList = nullptr;
    TalkActions m_actions;
    AnimationCatalogue *m_animations = nullptr;
    int m_transcriptLimit = MaxTranscriptBlocks;
    MinuteClock m_clock;
    // The references of the message being sent: its own copy in a private talk is shown before they
    // are offered.
    QStringList m_sendingFiles;
};
