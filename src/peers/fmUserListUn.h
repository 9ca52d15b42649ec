#pragma once

#include "PeerList.h"
#include "ProtocolUn.h"

#include <QWidget>

#include <optional>

class PacketTransport;
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
    std::optional<PeerNode> FindPeerNode(const QString &id) const;

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
    int placeNewPeer(int peerIndex);
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
};
