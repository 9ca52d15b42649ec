#pragma once

#include "peers/PeerList.h"
#include "protocol/ProtocolUn.h"

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QScrollArea;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
class SettingsStore;
class ImageList;
class PeerRegistry;
class UserGroupBox;
class UserListMenu;

// A user node and the tree that holds it.
struct PeerNode {
    QTreeWidget *tree = nullptr;
    QTreeWidgetItem *item = nullptr;
};

// Commands of the main window that the user list's menu offers.
struct UserListMainActions {
    QAction *messageToUser = nullptr;
    QAction *messageToGroup = nullptr;
    QAction *mailUser = nullptr;
    QAction *mailGroup = nullptr;
    QAction *mailAll = nullptr;
    QAction *mailEmpty = nullptr;
    QAction *userNetProfile = nullptr;
    QAction *stayOnTopUserList = nullptr;
};

// The user-list window: shows every online peer of the registry as a node in its contact group, and
// turns menus, keys, drags and the group-name editor into the registry's commands. Nodes that arrive
// in one turn of the event loop are put into the trees together, and the groups laid out once.
class TfmUserList : public QWidget {
    Q_OBJECT
public:
    // A view of the peer's registry.
    TfmUserList(const SettingsStore &store, PeerRegistry *registry, QWidget *mainWindow, bool bigIcons);
    ~TfmUserList() override;

    // The window's creation steps: its place and size, shown or not. The groups follow the registry.
    void Create(bool showWindow);

    PeerRegistry *registry() const { return m_registry; }
    std::optional<PeerNode> FindPeerNode(const QString &id) const;

    // Contact groups, in the order they are shown.
    QList<UserGroupBox *> groups() const;
    UserGroupBox *groupByNumber(int number) const;
    UserGroupBox *groupOfTree(const QTreeWidget *tree) const;
    UserGroupBox *mainGroup() const;
    UserGroupBox *badList() const;
    void LayoutGroups();
    void StoreGroups() const;
    UserGroupBox *ActiveGroup() const;
    // Peer index of the selected node of the focused tree (or of the focused group's tree); -1 when none.
    int SelectedUser() const;
    void selectPeer(int peerIndex);
    // The node of an online peer, once its arrival was shown; null otherwise.
    QTreeWidgetItem *node(int peerIndex) const { return m_nodes.value(peerIndex); }
    // Puts the nodes that arrived in this turn into their trees now.
    void flushNodes() const;

    // The popup menu pmUserList and the window's own commands.
    void setMainActions(const UserListMainActions &actions);
    QMenu *pmUserList() const;
    QAction *userAction(const QString &name) const;
    // Sets the shared menu up for a member item of a group talk and selects that member's node.
    void PrepareMemberMenu(int peerIndex, bool blocked, bool moveToGroupVisible);
    // The menu as it is prepared when it opens on the given control (a tree, a group's caption,
    // anything else); the control becomes the target of the menu's commands.
    void PreparePopup(QWidget *control);
    void clearCommandTarget();

    void DeactiveUser();
    void AddToBadList();
    // A new group named by the editor; from the "Move to group" menu the target user moves into it.
    UserGroupBox *CreateNewGroup(bool moveTargetUser);
    void RenameGroup();
    void DeleteGroup();
    void CollapseToggle();
    void MoveTargetUserTo(int groupNumber);

    void setBigIcons(bool big);
    const ImageList &nodePictures() const;
    // Placement from the store, or docked to the main window's right edge.
    void restoreBounds();

Q_SIGNALS:
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    UserGroupBox *addGroupBox(UserGroupBox *box);
    void connectRegistry();
    void onMemberAdded(int groupNumber, int peerIndex);
    void onMemberRemoved(int groupNumber, int peerIndex);
    void onPeerUpdated(int peerIndex);
    void onBlockedChanged(int peerIndex, bool blocked);
    void onGroupAdded(int groupNumber);
    void onGroupRenamed(int groupNumber);
    void onGroupRemoved(int groupNumber);
    void scheduleLayout() const;
    void startFlush() const;
    void moveNode(QTreeWidget *target, QTreeWidgetItem *node);
    // The control a command acts on: the one its menu was opened on, else the focused one.
    QWidget *commandTarget() const;
    QTreeWidget *targetTree() const;
    UserGroupBox *targetGroup() const;
    bool isFixed(const UserGroupBox *group) const { return group == m_mainGroup || group == m_badList; }
    void storeBounds() const;

    const SettingsStore &m_store;
    QWidget *m_mainWindow;
    bool m_bigIcons;
    PeerRegistry *m_registry;
    QScrollArea *m_scroll;
    QWidget *m_groupsHost;
    QVBoxLayout *m_groupsLayout;
    UserGroupBox *m_mainGroup;
    UserGroupBox *m_badList;
    QHash<int, UserGroupBox *> m_boxes;
    // The node of every online peer that is shown, by peer index.
    mutable QHash<int, QTreeWidgetItem *> m_nodes;
    // Members that joined a group in this turn and have no node yet, in the order they joined.
    struct PendingNode {
        int groupNumber;
        int peerIndex;
    };
    mutable QList<PendingNode> m_pending;
    mutable QTimer m_flushTimer;
    mutable bool m_layoutPending = false;
    UserListMainActions m_main;
    UserListMenu *m_menu;
};
