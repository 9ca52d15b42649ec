#pragma once

#include "protocol/RUserID.h"

#include <QHash>
#include <QList>

#include <functional>
#include <memory>
#include <vector>

class TDataNewMessage;

// The table of known users. Entry 0 is the local user; an entry's position (its peer index) is the
// handle that tree nodes and member items carry, so an entry stays where it is while anything holds
// its index. The table is bounded: when it is full, an entry that is offline and held by nobody is
// reused, and failing that the online one heard from longest ago that nobody holds.
class PeerList {
public:
    // Far above the 254 hosts of a /24 network; a flood of made-up users stops growing it here.
    static constexpr int MaxEntries = 4096;
    // Online users without an ID kept at once: such NEWs are each a newcomer, and must not fill the list.
    static constexpr int MaxAnonymous = 16;

    using Referenced = std::function<bool(int peerIndex)>;

    int count() const { return int(m_entries.size()); }
    bool isFull() const { return count() >= MaxEntries; }
    // The entry at that index, or nullptr when the index is out of range.
    RUserID *GetPeer(int index) const;
    // Appends the entry and returns its index; -1 when the list is full.
    int append(std::unique_ptr<RUserID> entry);
    // Puts the entry in the place of an old one (same index); false for a bad index or entry 0.
    bool replace(int index, std::unique_ptr<RUserID> entry);
    // The first online peer (index 1 and up) whose ID matches byte for byte; -1 when none. Constant time.
    int findOnline(const QString &id) const;
    // Marks the entry online or offline; every change of Online goes through here.
    void setOnline(int index, bool online);

    // The entry heard from now (a presence packet named it).
    void touch(int index);
    // An offline entry that nobody holds, or -1.
    int reusableSlot(const Referenced &referenced) const;
    // The online entry heard from longest ago that nobody holds (only anonymous ones when asked), or -1.
    int stalestOnline(const Referenced &referenced, bool anonymousOnly = false) const;
    int anonymousOnline() const;

private:
    std::vector<std::unique_ptr<RUserID>> m_entries;
    std::vector<quint64> m_lastHeard;
    quint64 m_clock = 0;
    // User ID to the indexes of its online entries, oldest first.
    QHash<QString, QList<int>> m_online;
};

// The alias when it is not blank after trimming (shown untrimmed), otherwise the IP.
QString DisplayName(const RUserID &entry);
QString DisplayName(const QString &alias, const QString &ip);

// Copies the profile fields of a NEW or UPDATEINFO into the entry: everything but ID, Blocked, Online,
// GroupNumber and TextStyle. Missing text fields read as empty, numbers by the packet rules.
void FillProfileFromPacket(RUserID &entry, const TDataNewMessage &packet);
