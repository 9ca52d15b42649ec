#pragma once

#include "PeerList.h"
#include "ProtocolUn.h"

#include <QHash>
#include <QKeySequence>
#include <QWidget>

#include <optional>

class PacketTransport;
class QAction;
class QMenu;
class QScrollArea;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
class SettingsStore;
class TImageList;
class TUserGroupBox;
class TUserListHooks;

// A user node and the tree that holds it.
struct PeerNode {
    QTreeWidget *tree = nullptr;
    QTreeWidgetItem *item = nullptr;
};

// Commands of the main window that the user list's menu offers.
struct TUserListMainActions {
    QAction *messageToUser = nullptr;
    QAction *messageToGroup = nullptr;
    QAction *mailUser = nullptr;
    QAction *mailGroup = nullptr;
    QAction *mailAll = nullptr;
    QAction *mailEmpty = nullptr;
    QAction *userNetProfile = nullptr;
    QAction *stayOnTopUserList = nullptr;
};

// The user-list window: owns the peer list, shows every online peer as a node in one of the contact
// groups, and handles the presence packets NEW, UPDATEINFO and DISCONNECT.
class TfmUserList : public QWidget {
    Q_OBJECT
public:
    TfmUserList(const SettingsStore &store, PacketTransport *transport, TUserListHooks *hooks,
                QWidget *mainWindow, bool bigIcons);
    ~TfmUserList() override;

    // The window's creation steps, ending with the NEW broadcast.
    void Create(bool showWindow);

    TPeerList &peers() { return m_peers; }
    const TPeerList &peers() const { return m_peers; }
    RUserID *GetPeer(int index) const { return m_peers.GetPeer(index); }

    void BuildLocalEntry();
    void SendPresence(bool isNew);
    void SendDisconnect();
    void ProcessNewPacket(const Packet &text);
    void ProcessUpdateInfoPacket(const Packet &text);
    void ProcessDisconnectPacket(const Packet &text);
    // The online peer's host no longer answers: handled as its DISCONNECT, from what its entry holds.
    void PeerVanished(const QString &id);
    std::optional<PeerNode> FindPeerNode(const QString &id) const;
    // Takes the peer off the list without a word (to make room for another).
    void ForgetPeer(int peerIndex);

    // Contact groups.
    QList<TUserGroupBox *> groups() const;
    TUserGroupBox *groupByNumber(int number) const;
    TUserGroupBox *groupOfTree(const QTreeWidget *tree) const;
    TUserGroupBox *mainGroup() const { return m_mainGroup; }
    TUserGroupBox *badList() const { return m_badList; }
    QTreeWidget *GroupTree(int number) const;
    int AddUserNode(int number, int peerIndex);
    void MoveUser(QTreeWidget *target, QTreeWidgetItem *node);
    TUserGroupBox *CreateGroup(const QString &caption, const QString &groupId, bool loaded,
                               int requestedNumber);
    int AllocateGroupNumber(int requested) const;
    void LoadGroups();
    void LayoutGroups();
    void RestoreCollapsed();
    void StoreCollapsed() const;
    // Everything the store keeps of the groups, written at shutdown.
    void StoreGroups() const;
    TUserGroupBox *ActiveGroup() const;
    // Peer index of the selected node of the focused tree (or of the focused group's tree); -1 when none.
    int SelectedUser() const;
    void selectPeer(int peerIndex);

    // The popup menu pmUserList and the window's own commands.
    void setMainActions(const TUserListMainActions &actions);
    QMenu *pmUserList() const { return m_pmUserList; }
    QAction *userAction(const QString &name) const;
    // Sets the shared menu up for a member item of a group talk and selects that member's node.
    void PrepareMemberMenu(int peerIndex, bool blocked, bool moveToGroupVisible);
    // The menu as it is prepared when it opens on the given control (a tree, a group's caption,
    // anything else); the control becomes the target of the menu's commands.
    void PreparePopup(QWidget *control);
    void clearCommandTarget() { m_menuControl = nullptr; }

    void DeactiveUser();
    void AddToBadList();
    // A new group named by the editor; from the "Move to group" menu the target user moves into it.
    TUserGroupBox *CreateNewGroup(bool moveTargetUser);
    void RenameGroup();
    void DeleteGroup();
    void CollapseToggle();
    void MoveTargetUserTo(int groupNumber);

    void setBigIcons(bool big);
    const TImageList &nodePictures() const;
    // Placement from the store, or docked to the main window's right edge.
    void restoreBounds();

Q_SIGNALS:
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    TUserGroupBox *addGroupBox(TUserGroupBox *box);
    void buildMenu();
    void rebuildMoveToGroup(const TUserGroupBox *current);
    QAction *addUserAction(const QString &name, const QString &caption, const QList<QKeySequence> &keys);
    void showPopup(QWidget *control, const QPoint &globalPos);
    // The control a command acts on: the one its menu was opened on, else the focused one.
    QWidget *commandTarget() const;
    QTreeWidget *targetTree() const;
    TUserGroupBox *targetGroup() const;
    bool isFixed(const TUserGroupBox *group) const { return group == m_mainGroup || group == m_badList; }
    int placeNewPeer(int peerIndex);
    // Where a new peer goes: 0 to append, the index of an entry to reuse, -1 when there is no room.
    int placeForNewPeer(bool anonymous);
    void storeBounds() const;

    const SettingsStore &m_store;
    PacketTransport *m_transport;
    TUserListHooks *m_hooks;
    QWidget *m_mainWindow;
    bool m_bigIcons;
    TPeerList m_peers;
    QScrollArea *m_scroll;
    QWidget *m_groupsHost;
    QVBoxLayout *m_groupsLayout;
    TUserGroupBox *m_mainGroup;
    TUserGroupBox *m_badList;
    bool m_created = false;
    TUserListMainActions m_main;
    QMenu *m_pmUserList = nullptr;
    QMenu *m_moveToGroup = nullptr;
    QMenu *m_mailMenu = nullptr;
    QHash<QString, QAction *> m_userActions;
    QWidget *m_menuControl = nullptr;
};
