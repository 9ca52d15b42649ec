#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// Finds peers whose host has gone without a goodbye. Every peer echoes any datagram to its source, so
// the host of each online peer is sent a tiny datagram that no peer classifies, once a period, from the
// sending socket; a host that gave no echo to three probes in a row has vanished, and so have all the
// peers at its address. A host is asked first as soon as it is heard of, so that a host that falls
// silent is gone within three periods and a second of the last thing heard from it. A vanished host is
// still asked now and then; when it answers again, the peers there are greeted so that they announce
// themselves.
//
// Time and the network are passed in, so that a test can run hours of probing in a moment.
class PresenceProbe : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultPeriodMs = 30000;
    static constexpr int MissesToVanish = 3;
    // However many hosts there are, probes leave at least this far apart: under 9 a second in all, and
    // one datagram a period to any host, far within every host's echo limit. Beyond 268 hosts the
    // period stretches instead.
    static constexpr int MinSpacingMs = 112;
    // How long a probe waits for its echo (less when the period is short). An echo on a LAN takes
    // milliseconds, and a late one still counts until the next probe's wait ends.
    static constexpr int EchoWaitMs = 500;
    // The schedule looks at the peer list at least this often.
    static constexpr int MaxSleepMs = 1000;
    static constexpr int MaxHosts = 4096;
    // Vanished hosts that are still asked, and for how long.
    static constexpr int MaxVanishedHosts = 256;
    static constexpr qint64 VanishedKeptMs = 3600 * 1000;
    // How long the test of the "Network..." window collects echoes.
    static constexpr int TestWaitMs = 1000;

    struct Peer {
        QString id;
        // The IP field of its packets; used only when no packet of it was seen arriving.
        QString ip;
    };
    struct Hooks {
        // Milliseconds of a clock that never goes back.
        std::function<qint64()> now;
        std::function<QList<Peer>()> onlinePeers;
        // One datagram to that address on the peer port; false when it could not be sent.
        std::function<bool(const QHostAddress &, const QByteArray &)> send;
        // Where the test probe goes: the broadcast address and the further addresses.
        std::function<QList<QHostAddress>()> testTargets;
    };

    PresenceProbe(Hooks hooks, int periodMs, QObject *parent = nullptr);

    int periodMs() const { return m_periodMs; }
    int echoWaitMs() const;
    // The probe's bytes: no header, so every peer takes it for kind 0.
    QByteArray probePayload() const { return m_payload; }

    // Runs the schedule on a timer of its own; tests call step() instead.
    void start();
    void stop();
    // Does what is due now and returns the milliseconds until something is due again.
    int step();

    // Everything the sending socket reads comes here.
    void EchoReceived(const QHostAddress &from, const QByteArray &payload);
    // A NEW or UPDATEINFO of that user came from that address: its host is the one to ask.
    void NoteSource(const QString &id, const QHostAddress &from);
    // Users arrived: their hosts are looked at now, not at the next look at the list.
    void PeersChanged();

    // Broadcasts a test probe; testFinished follows after TestWaitMs. False while a test runs.
    bool StartTest();
    bool testRunning() const { return m_testDeadline >= 0; }

    // For the diagnosis and for tests.
    int hostCount() const;
    int vanishedHostCount() const;
    quint64 probesSent() const { return m_probesSent; }
    // The address that would be asked for that peer; null when none.
    QHostAddress TargetOf(const Peer &peer) const;

Q_SIGNALS:
    void peerVanished(const QString &id);
    // A vanished host echoed again: greet it, and its peers answer with their profile.
    void hostAnswersAgain(const QHostAddress &address);
    void testFinished(int hosts);

private:
    struct Host {
        qint64 nextDueMs = 0;
        // Waiting for the echo of the last probe until then; -1 when not waiting.
        qint64 deadlineMs = -1;
        int misses = 0;
        bool vanished = false;
        qint64 vanishedAtMs = 0;
        QStringList vanishedIds;
    };

    QHash<quint32, QStringList> targets() const;
    void syncHosts(const QHash<quint32, QStringList> &targets, qint64 now);
    void schedule(int delayMs);

    Hooks m_hooks;
    int m_periodMs;
    QByteArray m_payload;
    QByteArray m_testBase;
    QByteArray m_testPayload;
    QHash<quint32, Host> m_hosts;
    QHash<quint32, QStringList> m_targets;
    qint64 m_targetsAtMs = 0;
    bool m_targetsDirty = true;
    QHash<QString, quint32> m_sources;
    qint64 m_lastSendMs;
    quint64 m_probesSent = 0;
    qint64 m_testDeadline = -1;
    quint64 m_testNumber = 0;
    QSet<quint32> m_testEchoes;
    QTimer m_timer;
};
