#pragma once

#include "peers/ui/ProfileKeysPanel.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <optional>

class ChatCore;
class QLabel;
class QTabWidget;
class QWidget;
class TalkManager;
class TfmUserList;
enum class PacketMark;

// What the keys mean for the user, on the windows: a lock on each sealed talk's tab, a lock or "not
// encrypted" in a line above its transcript, a line after each message that is not verified or came under a
// changed key, a notice in every talk with a user whose key changed, and that user marked in the user list.
class TalkKeysView : public QObject {
    Q_OBJECT
public:
    TalkKeysView(ChatCore &chat, TalkManager *talks, QTabWidget *tabs, QObject *parent = nullptr);

    void setUserList(TfmUserList *userList);
    // The line shown above the talk's transcript; empty when the talk has none (tests read it).
    QString headerText(int talkId) const;
    // What the profile window of that peer (0: the local user) shows of the keys; none without keys.
    std::optional<ProfileKeys> profileKeys(int peerIndex) const;

private:
    void refreshTalk(int talkId);
    void refreshAll();
    void keyStateChanged(const QString &userId);
    void messageMarked(int talkId, const QString &senderId, PacketMark mark);
    void appendLine(int talkId, const QString &text);
    void markUser(const QString &userId);
    QString aliasOf(const QString &userId) const;
    struct Header {
        QPointer<QWidget> box;
        QPointer<QLabel> lock;
        QPointer<QLabel> text;
    };
    Header makeHeader(QWidget *frame) const;
    // A drawn lock beside the caption (fonts often lack the emoji one), a warning sign before it.
    void showOnTab(int sheet, bool sealed, bool keyChanged);

    ChatCore &m_chat;
    TalkManager *m_talks;
    QTabWidget *m_tabs;
    QPointer<TfmUserList> m_userList;
    QHash<int, Header> m_headers;
    // Users whose key changed and waits for a decision (bounded by the pins).
    QSet<QString> m_warned;
};
