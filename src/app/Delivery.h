#pragma once

#include "net/DuplicateFilter.h"
#include "net/PacketTransport.h"
#include "net/ReceiptTracker.h"
#include "peers/ListedCheck.h"
#include "peers/NewRepeat.h"
#include "talks/Outbox.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <optional>

class PeerRegistry;
class PresenceProbe;
class TalkCore;

// The peer's side of delivery: every talk packet it broadcasts is tracked by the echoes of the
// computers it is for and sent again to those that gave none; announced copies that already came are
// dropped on receipt; a starting peer repeats its NEW and repairs the lists that lost it; private
// messages for users who are away wait in the outbox. Own messages get a number and their state is
// told by signals, which the windows and the headless peer show.
//
// The tracked bytes are those SendPacket handed to the network, whatever they are; a packet of a kind
// read here names its addressees itself, any other kind (a sealed one) is tracked when labelNext()
// named them right before it went.
class Delivery : public QObject {
    Q_OBJECT
public:
    // Undelivered group and everybody messages whose bytes are kept for a resend.
    static constexpr int MaxResendable = 64;
    // Messages whose talk and addressees are remembered until their verdict.
    static constexpr int MaxOpen = ReceiptTracker::MaxInFlight;
    static constexpr int HousekeepingMs = 200;
    static constexpr int ExpirySweepMs = 60 * 1000;
    static constexpr int ListedCheckMs = 1000;

    Delivery(PacketTransport &transport, PeerRegistry *registry, TalkCore *talks, PresenceProbe *probe,
             const QString &outboxPath, int probePeriodMs, QObject *parent = nullptr);
    ~Delivery() override;

    // After the NEW went out: its repeats, the lists' repair, the outbox and the retries begin.
    void start();
    void stop();

    // A private message that is not delivered after the retries goes to the outbox (the window's way);
    // otherwise its verdict is only told (a headless send that reports it).
    void setKeepUndelivered(bool keep) { m_keepUndelivered = keep; }
    // Without receipts packets go once, as the original protocol sends them (for comparisons).
    void setReceipts(bool on) { m_receipts = on; }
    // The next broadcast of a kind read nowhere here is a packet of that talk for these users.
    void labelNext(int talkId, const QStringList &addresseeIds, const QString &body = QString());
    // The sealed datagrams of that plain packet went out, one for each user (datagram, user). Each has
    // its user's receipt and retries; a message is told once, when all of them are settled.
    void sealedSent(const QByteArray &packet, const QList<QPair<QByteArray, QString>> &datagrams);

    // Sends the bytes of an undelivered message again to everybody, to be received by those who lack
    // it; false when they are no longer kept. Its state starts anew under the same number.
    bool resend(quint64 messageId);
    // Puts a private message for that user in the outbox; nullopt when it was refused (full, invalid).
    std::optional<qint64> queue(int talkId, const QString &userId, const QString &name, const QString &body);
    bool cancelWaiting(qint64 waitingId);
    const Outbox &outbox() const { return m_outbox; }
    ReceiptTracker &tracker() { return m_tracker; }
    const DuplicateFilter &duplicates() const { return m_duplicates; }

Q_SIGNALS:
    // An own message of that talk went out (or would have: see messageWaiting) to these users.
    void messageSending(int talkId, quint64 messageId, const QStringList &addresseeIds);
    // These users' computers echoed it.
    void messageDelivered(int talkId, quint64 messageId, const QStringList &userIds);
    // The verdict; every addressee is in one of the lists.
    void messageSettled(int talkId, quint64 messageId, const QStringList &deliveredIds,
                        const QStringList &notDeliveredIds);
    // The message waits in the outbox for its addressee (messageId 0: it was queued, never sent).
    void messageWaiting(int talkId, quint64 messageId, qint64 waitingId, const QString &addresseeId,
                        const QString &addresseeName);
    // The waiting message went out as that message now.
    void waitingSent(qint64 waitingId, quint64 messageId);
    // It left the outbox unsent: cancelled by the user, or too old.
    void waitingDropped(qint64 waitingId, bool expired);
    // The outbox could not be written; it is kept for this run.
    void outboxNotStored(const QString &path);

private:
    struct Sent {
        int talkId = -1;
        quint64 messageId = 0;
        bool isMessage = false;
        bool isPrivate = false;
        QStringList addressees;
        QString body;
        QByteArray bytes;
        qint64 waitingId = 0;
        QStringList offline;
        // One of the sealed datagrams of that message (its number).
        quint64 partOf = 0;
    };
    struct SealedMessage {
        int talkId = -1;
        int pending = 0;
        QStringList delivered;
        QStringList missing;
    };
    struct Label {
        int talkId = -1;
        QStringList addressees;
        QString body;
    };

    void broadcastSent(const QByteArray &bytes);
    void partSettled(const Sent &part, const QStringList &delivered, const QStringList &missing);
    bool describe(const QByteArray &bytes, Sent &sent) const;
    QList<ReceiptTarget> targetsFor(const QStringList &userIds, QStringList *offline) const;
    QHostAddress addressOf(const QString &userId) const;
    void track(Sent sent);
    void settled(quint64 packet, const QStringList &delivered, const QStringList &notDelivered);
    void wait(const Sent &sent, const QString &userId);
    QString nameOf(const Sent &sent, const QString &userId) const;
    void userHeard(int peerIndex);
    void sendWaiting(const QString &userId);
    void housekeeping();
    bool filter(const QHostAddress &from, quint16 port, const QByteArray &datagram);
    qint64 now() const { return m_clock.elapsed(); }

    PacketTransport &m_transport;
    PeerRegistry *m_registry;
    TalkCore *m_talks;
    PresenceProbe *m_probe;
    QElapsedTimer m_clock;
    ReceiptTracker m_tracker;
    DuplicateFilter m_duplicates;
    NewRepeat m_newRepeat;
    ListedCheck m_listed;
    Outbox m_outbox;
    QTimer m_housekeeping;
    QPointer<PacketTransport> m_transportAlive;
    qint64 m_sweptMs = 0;
    qint64 m_listedMs = 0;
    QByteArray m_newBytes;
    QHash<quint64, Sent> m_open;
    std::deque<Sent> m_resendable;
    std::optional<Label> m_label;
    quint64 m_nextMessage = 1;
    QHash<quint64, SealedMessage> m_sealedMessages;
    // Keys of verdicts known at once, counted down from the top so that no packet number meets them.
    quint64 m_immediate = 0;
    qint64 m_sendingWaiting = 0;
    quint64 m_resending = 0;
    bool m_keepUndelivered = true;
    bool m_receipts = true;
    bool m_running = false;
};
