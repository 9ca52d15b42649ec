#pragma once

#include "protocol/ProtocolUn.h"

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>

// Received packets wait here, in arrival order, until they can be handled: never inside the socket's
// read slot, never while a modal window is open, and only a slice at a time, so that timers, painting
// and the termination signals go on under any flood.
class PacketQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int Capacity = 16384;
    // Handling stops after this many packets or this much time in one turn of the event loop.
    static constexpr int SlicePackets = 64;
    static constexpr int SliceMs = 8;
    // How often a blocked queue looks again whether it may go on.
    static constexpr int BlockedRetryMs = 20;

    using Handler = std::function<void(const Packet &)>;
    using Gate = std::function<bool()>;
    using Urgent = std::function<bool(const Packet &)>;

    explicit PacketQueue(Handler handler, QObject *parent = nullptr);

    // Handling time of one turn, up to SliceMs: shorter while the window's first frame is due.
    void setSliceMs(int ms) { m_sliceMs = std::clamp(ms, 1, SliceMs); }
    int sliceMs() const { return m_sliceMs; }
    // While the gate answers false (a modal window is open), packets only wait.
    void setGate(Gate gate) { m_gate = std::move(gate); }
    // Packets the test picks (cheap ones that others wait for, such as a newcomer's NEW) are handled
    // before the rest, in their own arrival order, so that a flood of costly ones cannot hold them.
    void setUrgent(Urgent urgent) { m_urgent = std::move(urgent); }

    // Queues the packet; false when the queue is full and the packet was dropped.
    bool enqueue(const Packet &packet);
    int size() const { return int(m_packets.size() + m_urgentPackets.size()); }
    qint64 dropped() const { return m_dropped; }
    // Handles what may be handled now, within one slice; for tests and for the drain timer.
    void drain();

Q_SIGNALS:
    // A slice of handling begins and ends (nothing of the event loop runs in between but what a
    // handler's dialog runs).
    void sliceStarted();
    void sliceEnded();
    // A drain handled the last waiting packet.
    void emptied();

private:
    void schedule(int delayMs);

    Handler m_handler;
    Gate m_gate;
    Urgent m_urgent;
    std::deque<Packet> m_urgentPackets;
    std::deque<Packet> m_packets;
    QTimer m_timer;
    bool m_draining = false;
    int m_sliceMs = SliceMs;
    qint64 m_dropped = 0;
};
