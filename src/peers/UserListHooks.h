#pragma once

#include <QString>

struct RUserID;

// What the peer registry asks of the main window when peers arrive, change and leave. The main window
// implements it; tests may put a recorder in its place.
class UserListHooks {
public:
    virtual ~UserListHooks() = default;

    // The number of the sender's text style in the shared style sheet (created or recoloured).
    virtual int SenderTextStyle(const QString &id, qint32 color) = 0;
    // Refreshes the own picture, alias, IP and window title.
    virtual void ShowLocalIdentity(const RUserID &local) = 0;
    // The event notice in the status bar and the tray.
    virtual void Notify(const QString &format, const QString &alias, int sheet, int picture,
                        const QString &ip) = 0;
    // The one way a message or a notice enters a talk's transcript.
    virtual void AppendMessage(int sheet, const QString &id, const QString &ip, const QString &body,
                               qint32 color, int picture, const QString &alias) = 0;
    // The connect or disconnect line in every talk the peer takes part in (sheets 1 and up).
    virtual void NotifyTalks(int peerIndex, const QString &ip, bool connected, const QString &id,
                             qint32 color, int picture, const QString &alias) = 0;
    // 0: a user connects, 1: a user leaves.
    virtual void PlayEventSound(int event) = 0;
    // A user entered or left a contact group whose own group talk may be open.
    virtual void MemberAdded(int groupNumber, int peerIndex) = 0;
    virtual void MemberRemoved(int groupNumber, int peerIndex) = 0;
    // A peer's new name and picture reach the tab of a private talk with it.
    virtual void PeerRenamed(const QString &id, const QString &displayName, int picture) = 0;
    // A peer disconnected: its private talks and the group talks it authored may close.
    virtual void PeerLeft(const QString &displayName, const QString &id) = 0;
    // The own group talk of a deleted contact group closes.
    virtual void CloseOwnGroupTalk(int groupNumber) = 0;
    // Whether a talk holds the peer index (a member item), so that its entry must not be reused.
    virtual bool IsPeerReferenced(int peerIndex) const
    {
        Q_UNUSED(peerIndex);
        return false;
    }
    // The notices of the arrivals handled in one turn of the event loop come between these two calls,
    // so that the talk with everybody can take them in as one edit. The end comes in the same turn.
    virtual void BeginNoticeBatch() {}
    virtual void EndNoticeBatch() {}
    // A user was blocked or unblocked: member items show it.
    virtual void SetMemberBlocked(int peerIndex, bool blocked) = 0;
};
