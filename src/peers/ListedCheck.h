#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>
#include <QList>

// Finds computers whose users have lost us. A copy of ours asks the computer of every user it lists
// for an echo once a probe period, so a computer that has probed us lists somebody here; when such a
// computer, still echoing our own probes, sends no probe for MissedPeriods periods, its list lacks us
// (it restarted and our answer to its NEW was lost, say). It is sent our UPDATEINFO then: a user who
// does not know us adds us and answers with its own. A computer that has never probed us runs a
// program that does not probe, and is left alone. After MaxRepairs UPDATEINFO without a probe coming
// back, the computer is left alone until it probes again.
//
// With several copies on this computer, a probe says only that somebody here is listed. Time is
// passed in; the caller sends what step() returns.
class ListedCheck {
public:
    static constexpr int MissedPeriods = 3;
    static constexpr qint64 SlackMs = 2000;
    static constexpr int MaxRepairs = 3;
    static constexpr int MaxComputers = 4096;

    explicit ListedCheck(int periodMs);

    // True for the bytes of a presence probe (of any run).
    static bool IsProbe(QByteArrayView datagram);

    // A probe came to our receiving socket from that address.
    void ProbeReceived(const QHostAddress &from, qint64 nowMs);
    // Given the computers of our online users that still echo our probes, the ones to send UPDATEINFO
    // to now.
    QList<QHostAddress> step(const QList<QHostAddress> &answering, qint64 nowMs);

    qint64 silenceMs() const { return m_silenceMs; }

private:
    struct Computer {
        qint64 lastProbeMs = 0;
        qint64 lastRepairMs = -1;
        int repairs = 0;
    };

    qint64 m_silenceMs;
    QHash<quint32, Computer> m_computers;
};
