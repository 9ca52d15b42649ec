#pragma once

#include "talks/TalkData.h"

#include <QWidget>

class QAction;
class QMenu;
class QSplitter;
class QTextEdit;
class QToolBar;
class QToolButton;
class RVStyle;

// One talk page: the member toolbar, the transcript, and under a splitter the input panel with the
// send toolbar and the input editor.
class TfrConnectUser : public QWidget {
    Q_OBJECT
public:
    static constexpr int CloseTalkTag = 1245;
    static constexpr int ClearMessageTag = 3245;

    TfrConnectUser(RVStyle *style, const TalkData &data, QWidget *parent = nullptr);

    TalkData &data() { return m_data; }
    const TalkData &data() const { return m_data; }
    // The talk of the core that this page shows.
    int talkId() const { return m_talkId; }
    void setTalkId(int id) { m_talkId = id; }
    // A new caption from outside the talks (a language file): whoever keeps the talk takes it.
    void applyCaption(const QString &caption) { Q_EMIT captionApplied(caption); }
    QToolBar *tbGroupUser() const { return m_tbGroupUser; }
    QTextEdit *reAllMessage() const { return m_reAllMessage; }
    QTextEdit *reMessage() const { return m_reMessage; }
    QToolBar *tbSendMessage() const { return m_tbSendMessage; }
    QSplitter *splitter() const { return m_splitter; }
    QWidget *pnBottomPanel() const { return m_pnBottomPanel; }
    QAction *closeTalkItem() const { return m_tbiCloseTalk; }
    QAction *clearMessageItem() const { return m_tbiClearMessage; }

    // The send toolbar's commands in order (send, image, animation, files, folder); null entries
    // stand for separators.
    void setSendCommands(const QList<QAction *> &commands);
    void setIconSize(int size);

    int inputPanelHeight() const;
    void setInputPanelHeight(int height);

    // Member items: one per peer index, never two.
    bool hasMember(int peerIndex) const;
    void addMember(int peerIndex, const QString &caption, const QIcon &icon, bool blocked);
    void removeMember(int peerIndex);
    // The member's items now stand for another peer-list entry of the same user.
    void retagMember(int oldIndex, int newIndex);
    QList<int> members() const;
    QAction *memberItem(int peerIndex) const;
    void setMemberBlocked(int peerIndex, bool blocked);
    // The member toolbar shows exactly when it holds at least one item.
    void refreshMemberBarVisibility();

Q_SIGNALS:
    void inputPanelResized(int height);
    void closeRequested();
    void clearRequested();
    void captionApplied(const QString &caption);
    // A member item's menu is about to open; the menu is filled by whoever listens.
    void memberMenuRequested(int peerIndex, QMenu *menu);

private:
    TalkData m_data;
    int m_talkId = -1;
    QToolBar *m_tbGroupUser;
    QTextEdit *m_reAllMessage;
    QSplitter *m_splitter;
    QWidget *m_pnBottomPanel;
    QToolBar *m_tbSendMessage;
    QTextEdit *m_reMessage;
    QAction *m_tbiClearMessage;
    QAction *m_tbiCloseTalk;
};
