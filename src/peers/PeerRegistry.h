#pragma once

#include "peers/PeerList.h"
#include "protocol/ProtocolUn.h"
#include "settings/SettingsStore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <optional>

class PacketTransport;
class TDataNewMessage;
struct ProfileFields;

// One contact group: its number (1 is "Main group", 2 "Bad list"), caption, group ID, collapsed
// state and the peer indexes of its online members in the order they joined it.
struct ContactGroup {
    int number = 0;
    QString caption;
    QString groupId;
    bool collapsed = false;
    QList<int> members;
};

// Where an online peer is shown: its group and its place among the group's members.
struct PeerPlace {
    int peerIndex = -1;
    int groupNumber = 0;
    int position = -1;
};

// The known users and the contact groups, without any window: fills the peer list from the presence
// packets, answers them, keeps every online user in one group, and keeps the groups in the store.
// Windows and the talks mirror it through its signals, which carry peer indexes and group numbers, in
// the order the user sees the events; they change it through its commands.
class PeerRegistry : public QObject {
    Q_OBJECT
public:
    PeerRegistry(const SettingsStore &store, PacketTransport *transport, QObject *parent = nullptr);
    ~PeerRegistry() override;

    PeerList &peers() { return m_peers; }
    const PeerList &peers() const { return m_peers; }
    RUserID *GetPeer(int index) const { return m_peers.GetPeer(index); }
    const RUserID *local() const { return m_peers.GetPeer(0); }

    // Entry 0 from the stored profile and the transport's address.
    void BuildLocalEntry();
    // The profile window applied: every value stored in order, entry 0 in step, and the peers hear of
    // it (UPDATEINFO).
    void ApplyLocalProfile(const ProfileFields &fields);
    // The local address changed: entry 0 takes it and the peers hear of it.
    void SetLocalIP(const QString &ip);
    // The fixed groups' IDs, the stored user groups and every group's collapsed state.
    void LoadGroups();
    void RestoreCollapsed();

    void SendPresence(bool isNew);
    // The answer to this user's NEW went out before the NEW was handled (a question was open): its
    // handling adds the user but does not answer again.
    void NoteNewAnswered(const QString &id);
    void SendDisconnect();
    void ProcessNewPacket(const Packet &text);
    void ProcessUpdateInfoPacket(const Packet &text);
    void ProcessDisconnectPacket(const Packet &text);
    // Takes the peer off the list without a word (to make room for another).
    void ForgetPeer(int peerIndex);
    // Something beyond the registry (a talk's member) holds the peer index: its entry is not reused
    // while it is held. Holds are counted.
    void HoldPeer(int peerIndex);
    void ReleasePeer(int peerIndex);
    bool isHeld(int peerIndex) const { return m_held.value(peerIndex) > 0; }

    // Ends the batch of arrival notices of this turn now (before anything else reaches the talks).
    void FlushNotices();
    // Arrivals handled but not yet shown (their notices, nodes and lines wait for one flush).
    bool arrivalsPending() const { return m_noticeBatchOpen; }
    // Arrivals are shown at the latest this long after the first of them; the chat core shows them
    // at once when nothing more waits to be read, so only a flood waits, and is shown once a frame.
    static constexpr int FrameMs = 16;

    // The online peer with that ID and its place; none when it is not online.
    std::optional<PeerPlace> FindPeer(const QString &id) const;
    // The place of an online peer by index; none when it is offline or out of range.
    std::optional<PeerPlace> PlaceOf(int peerIndex) const;

    // Contact groups, in the order the user list shows them.
    const QList<ContactGroup> &groups() const { return m_groups; }
    const ContactGroup *group(int number) const;
    static bool IsFixedGroup(int number);
    // The group with that number, or "Main group" when there is none (where a returning user goes).
    int GroupOrMain(int number) const;
    int AllocateGroupNumber(int requested) const;
    // A new group at the end of the list; returns its number. A loaded group that had to take another
    // number is written to the store under it.
    int CreateGroup(const QString &caption, const QString &groupId, bool loaded, int requestedNumber);
    // A new unnamed group with a fresh ID, not stored until shutdown.
    int CreateNewGroup();
    // The caption trimmed (" " when blank); the peers hear of it, and a stored group is rewritten.
    bool RenameGroup(int number, const QString &caption);
    // The peers hear of it, its members move to the end of "Main group" (last first), its section is
    // erased and its own group talk closes. Not for the fixed groups.
    bool DeleteGroup(int number);
    // Moves the online user to the end of the group and stores the choice for the user's ID.
    bool MoveUser(int peerIndex, int targetNumber);
    bool AddToBadList(int peerIndex);
    // Blocked users' messages are dropped; the flag is not stored.
    bool SetBlocked(int peerIndex, bool blocked);
    bool SetCollapsed(int number, bool collapsed);
    void StoreCollapsed() const;
    // Everything the store keeps of the groups, written at shutdown.
    void StoreGroups() const;

Q_SIGNALS:
    // Entry 0 was built, or its profile or address changed.
    void localEntryChanged();
    // The arrivals of this turn begin: their notices may be gathered until arrivalsFlushed.
    void arrivalsStarted();
    void peerArrived(int peerIndex);
    void peerUpdated(int peerIndex);
    // A peer goes (its DISCONNECT, or its host fell silent), before anything of it changes. The farewell
    // is what the DISCONNECT said of the user; the entry keeps what it had.
    void peerLeaving(int peerIndex, const RUserID &farewell);
    // The peer is offline and out of its group.
    void peerLeft(int peerIndex, const RUserID &farewell);
    void memberAdded(int groupNumber, int peerIndex);
    void memberRemoved(int groupNumber, int peerIndex);
    void groupAdded(int groupNumber);
    void groupRenamed(int groupNumber);
    void groupRemoved(int groupNumber);
    void groupCollapsedChanged(int groupNumber, bool collapsed);
    // The stored groups and the fixed groups' IDs were read.
    void groupsLoaded();
    void blockedChanged(int peerIndex, bool blocked);
    // The arrivals of a batch were shown: views add their pending nodes now.
    void arrivalsFlushed();

private:
    ContactGroup *groupPtr(int number);
    int groupIndex(int number) const;
    // Where a new peer goes: 0 to append, the index of an entry to reuse, -1 when there is no room.
    int placeForNewPeer(bool anonymous);
    void addMember(int number, int peerIndex);
    void removeMember(int peerIndex);
    int positionIn(const ContactGroup &group, int peerIndex) const;
    void openNoticeBatch();
    void handleNew(const TDataNewMessage &packet);

    const SettingsStore &m_store;
    PacketTransport *m_transport;
    PeerList m_peers;
    QHash<int, int> m_held;
    QList<ContactGroup> m_groups;
    // Each member's place in its group; a group's places are counted again after a member left it.
    mutable QHash<int, int> m_position;
    mutable QSet<int> m_staleGroups;
    QTimer m_noticeTimer;
    bool m_noticeBatchOpen = false;
    QSet<QString> m_answeredEarly;
    // Arrivals read each user's stored group: one open store serves them all within the turn.
    std::optional<SettingsStore::Batch> m_storeBatch;
};
