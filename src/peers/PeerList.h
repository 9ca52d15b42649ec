#pragma once

#include "RUserID.h"

#include <memory>
#include <vector>

class TDataNewMessage;

// The append-only table of known users. Entry 0 is the local user; an entry's position (its peer
// index) is the handle that tree nodes and member items carry, so entries are never removed.
class TPeerList {
public:
    // Far above the 254 hosts of a /24 network; a flood of made-up users stops here.
    static constexpr int MaxEntries = 4096;

    int count() const { return int(m_entries.size()); }
    bool isFull() const { return count() >= MaxEntries; }
    // The entry at that index, or nullptr when the index is out of range.
    RUserID *GetPeer(int index) const;
    // Appends the entry and returns its index; -1 when the list is full.
    int append(std::unique_ptr<RUserID> entry);
    // The first online peer (index 1 and up) whose ID matches byte for byte; -1 when none.
    int findOnline(const QString &id) const;

private:
    std::vector<std::unique_ptr<RUserID>> m_entries;
};

// The alias when it is not blank after trimming (shown untrimmed), otherwise the IP.
QString DisplayName(const RUserID &entry);
QString DisplayName(const QString &alias, const QString &ip);

// Copies the profile fields of a NEW or UPDATEINFO into the entry: everything but ID, Blocked, Online,
// GroupNumber and TextStyle. Missing text fields read as empty, numbers by the packet rules.
void FillProfileFromPacket(RUserID &entry, const TDataNewMessage &packet);
