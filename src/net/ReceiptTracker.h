#pragma once

#include "protocol/PacketDigest.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <deque>
#include <functional>

// A computer that should receive a packet: its address (where its users' NEW or UPDATEINFO came
// from), the users there whom the packet is for, and how many copies run there in all (every online
// user at that address, the local one too when it is this computer: each of them echoes).
struct ReceiptTarget {
    QHostAddress address;
    QStringList userIds;
    int copies = 1;
};

// Reads the echoes of a sent packet as its receipts, and sends it again to the computers that gave
// none.
//
// Every peer echoes every datagram to its source, so an echo of the same bytes from a computer says
// that a copy there has it. A computer that has not echoed RetryPausesMs[0] after the first copy is
// sent the bytes again, and again after each further pause, each retry right after a retry notice;
// after MaxCopies copies and FinalWaitMs without an echo, the packet counts as not delivered there.
//
// Several copies on one computer share its address and their echoes cannot be told apart, and a
// datagram sent to that address reaches only one of them (the copy that bound the port last). Such a
// computer is confirmed when one round (the time after one copy of the packet reached it) brings as
// many echoes as copies run there; its retries go by broadcast, the only way to reach every copy, and
// our peers that already had the packet drop them by the notice. A broadcast reaches every computer,
// so it counts as a copy for each; no computer is ever sent more than MaxCopies copies of one packet.
// When a round of a shared computer never brings all its echoes, all its users count as not
// delivered: which copy missed it cannot be known.
//
// The whole peer wires it: right after a talk packet's broadcast, track() with the computers of its
// addressees; the sending socket's echoes to EchoReceived(); delivered() and settled() to the message's
// state; the receiving side drops announced copies with DuplicateFilter.
//
// Echoes of bytes that several tracked packets share (a user who sends "ok" twice) go to the oldest
// that still waits for that computer. Time and sending are passed in, so that a test can run the whole
// schedule in a moment.
class ReceiptTracker : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxCopies = 4;
    // The pause after the first, second and third copy before the next one is sent.
    static constexpr std::array<int, MaxCopies - 1> RetryPausesMs = {250, 1000, 3000};
    // How long the last copy waits for its echo.
    static constexpr int FinalWaitMs = 1000;
    // Packets whose verdict is open; at the cap the oldest is settled at once (see track).
    static constexpr int MaxInFlight = 512;
    static constexpr int MaxTargets = 4096;
    static constexpr int MaxSleepMs = 1000;

    // The schedule; tests run it shorter, the program always with the defaults.
    struct Timings {
        std::array<int, MaxCopies - 1> retryPausesMs = RetryPausesMs;
        int finalWaitMs = FinalWaitMs;
    };

    struct Hooks {
        // Milliseconds of a clock that never goes back.
        std::function<qint64()> now;
        // One datagram to that address alone, from the socket whose echoes reach EchoReceived.
        std::function<bool(const QHostAddress &, const QByteArray &)> sendTo;
        // One datagram to every destination of a packet (the broadcast address and the further ones).
        std::function<bool(const QByteArray &)> broadcast;
    };

    explicit ReceiptTracker(Hooks hooks, QObject *parent = nullptr);

    // The first copy of these bytes has just gone out by broadcast: wait for the echoes of the targets
    // (one entry per address; entries without an address are left out). Returns the packet's number,
    // or 0 when there is nothing to wait for. With MaxInFlight packets open, the oldest is settled
    // first: its waiting computers count as not delivered.
    quint64 track(const QByteArray &bytes, const QList<ReceiptTarget> &targets);
    // Forgets a packet without a verdict.
    void forget(quint64 packet);

    // Everything the sending socket reads comes here.
    void EchoReceived(const QHostAddress &from, const QByteArray &payload);

    // Runs the schedule on a timer of its own; tests call step() instead.
    void start();
    void stop();
    // Sends what is due and settles what is over; returns the milliseconds until something is due.
    int step();

    void setTimings(const Timings &timings) { m_timings = timings; }
    const Timings &timings() const { return m_timings; }

    int inFlight() const { return int(m_packets.size()); }
    // Copies of that packet sent to that address so far (the first included); 0 when not tracked.
    int copiesSent(quint64 packet, const QHostAddress &address) const;

Q_SIGNALS:
    // The users at a computer that has just confirmed the packet.
    void delivered(quint64 packet, const QStringList &userIds);
    // The packet's verdict: every user of its targets is in one of the lists. The packet is forgotten.
    void settled(quint64 packet, const QStringList &deliveredIds, const QStringList &notDeliveredIds);

private:
    enum class State { Waiting, Delivered, Failed };
    struct Computer {
        quint32 ip = 0;
        QStringList userIds;
        int copies = 1;
        int sent = 1;
        int roundEchoes = 0;
        qint64 dueMs = 0;
        State state = State::Waiting;
    };
    struct Tracked {
        quint64 number = 0;
        QByteArray bytes;
        PacketDigest digest;
        QList<Computer> computers;
        int waiting = 0;
    };

    void retry(Tracked &packet, qint64 now);
    void settle(std::deque<Tracked>::iterator it);
    void schedule(int delayMs);
    qint64 pauseAfter(int copies) const;

    Hooks m_hooks;
    Timings m_timings;
    std::deque<Tracked> m_packets;
    quint64 m_next = 1;
    QTimer m_timer;
};
