#pragma once

#include "peers/ui/fmUserListUn.h"

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QPoint;
class QWidget;
class UserGroupBox;

// The user list's popup menu pmUserList with its "Move to group" and "Mail" submenus, and the window's
// own commands with their shortcuts. Prepared for the control it opens on (a tree, a group's caption,
// anything else), which becomes the target of the commands, or for a member item of a group talk.
class UserListMenu : public QObject {
    Q_OBJECT
public:
    explicit UserListMenu(TfmUserList *list);

    // The commands and the menu, on the main window's commands.
    void build(const UserListMainActions &main);
    QMenu *menu() const { return m_pmUserList; }
    QAction *userAction(const QString &name) const;

    void PrepareMemberMenu(int peerIndex, bool blocked, bool moveToGroupVisible);
    void PreparePopup(QWidget *control);
    void showPopup(QWidget *control, const QPoint &globalPos);
    // The control the menu was last prepared for; null when none.
    QWidget *control() const { return m_control; }
    void clearControl() { m_control = nullptr; }
    // A group box goes: a target inside it is forgotten.
    void forgetControlIn(const QWidget *box);

private:
    QAction *addUserAction(const QString &name, const QString &caption, const QList<QKeySequence> &keys);
    void rebuildMoveToGroup(const UserGroupBox *current);

    TfmUserList *m_list;
    UserListMainActions m_main;
    QMenu *m_pmUserList = nullptr;
    QMenu *m_moveToGroup = nullptr;
    QMenu *m_mailMenu = nullptr;
    QHash<QString, QAction *> m_userActions;
    QWidget *m_control = nullptr;
};
