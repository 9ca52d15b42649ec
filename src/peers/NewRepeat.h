#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>

#include <array>

// A starting peer learns of the others from their answers to its one NEW, and a lost NEW or a lost
// answer leaves two users unaware of each other until one of them changes its profile. So:
// - while no other computer has echoed the NEW and nobody has answered, the NEW is broadcast again at
//   the times of BroadcastAtMs (the first broadcast may have gone before the network was up);
// - a computer that echoed the NEW (it got it) but from which no user has been heard AnswerWaitMs later
//   lost its answer or never sent it: it is sent the NEW alone, at most MaxUnicasts times, and its users
//   answer again.
// Nothing is repeated after ActiveMs. Time is passed in; the caller sends what step() asks for.
class NewRepeat {
public:
    static constexpr std::array<int, 3> BroadcastAtMs = {1000, 3000, 7000};
    static constexpr int AnswerWaitMs = 1000;
    static constexpr std::array<int, 3> UnicastPausesMs = {1000, 2000, 4000};
    static constexpr int MaxUnicasts = int(UnicastPausesMs.size());
    static constexpr qint64 ActiveMs = 15000;
    static constexpr int MaxComputers = 4096;

    struct Actions {
        bool broadcast = false;
        QList<QHostAddress> unicast;
    };

    // The NEW went out by broadcast; its bytes identify its echoes. Our own computer's echoes say nothing.
    void start(const QByteArray &newBytes, const QHostAddress &self, qint64 nowMs);
    bool running(qint64 nowMs) const;

    // Everything the sending socket reads.
    void EchoReceived(const QHostAddress &from, const QByteArray &payload, qint64 nowMs);
    // A NEW or UPDATEINFO came from that address (our own, looped back, says nothing).
    void HeardFrom(const QHostAddress &from);

    // What to send now.
    Actions step(qint64 nowMs);
    // When step() has something to do next; -1 when nothing is left.
    qint64 nextDueMs() const;

private:
    struct Computer {
        qint64 dueMs = 0;
        int sent = 0;
        bool heard = false;
    };

    QByteArray m_bytes;
    quint32 m_self = 0;
    qint64 m_startMs = -1;
    int m_broadcasts = 0;
    bool m_answered = false;
    bool m_echoedElsewhere = false;
    QHash<quint32, Computer> m_computers;
};
