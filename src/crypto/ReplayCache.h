#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <map>

// How far the time a signed or sealed packet carries may lie from the receiver's clock. Peers whose
// clocks differ by more cannot talk sealed; the receiver learns it from PacketCheck::Stale or Ahead.
inline constexpr qint64 MaxPacketAgeMs = 5 * 60 * 1000;
inline constexpr qint64 MaxPacketAheadMs = 5 * 60 * 1000;
inline constexpr qsizetype ReplayCacheCapacity = 4096;

// What became of a packet of ours that was checked.
enum class PacketCheck {
    Ok,
    Malformed, // not one of our packets, or a length is wrong
    NotForUs,  // sealed for another user
    Forged,    // does not open or its signature does not hold with the sender's key
    Stale,     // older than MaxPacketAgeMs
    Ahead,     // more than MaxPacketAheadMs in the future
    Replayed,  // seen before within the window
    NoCrypto,  // libsodium did not start
};

// Ok, Stale or Ahead for a packet's time against the receiver's clock.
PacketCheck CheckPacketTime(qint64 timeMs, qint64 nowMs);

// The packets taken within the time window, by an ID of their own (the nonce of a sealed packet, the
// signature of a companion). Only packets whose signature held are remembered, so a forger cannot
// fill it. Entries leave when their time falls out of the window; when it is full all the same, the
// oldest entry leaves and nothing at or before its time is taken any more, so a replay can never slip
// through a full cache.
class ReplayCache {
public:
    explicit ReplayCache(qsizetype capacity = ReplayCacheCapacity);

    // True when a packet with this ID was taken and is still remembered.
    bool seen(QByteArrayView id) const;
    // Checks the time and the ID; when both are fine the packet is remembered and Ok comes back.
    PacketCheck admit(QByteArrayView id, qint64 timeMs, qint64 nowMs);

    qsizetype size() const { return m_times.size(); }

private:
    void prune(qint64 nowMs);

    qsizetype m_capacity;
    QHash<QByteArray, qint64> m_times;
    std::multimap<qint64, QByteArray> m_byTime;
    qint64 m_floorMs;
};
