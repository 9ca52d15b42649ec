#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTextCursor>

#include <deque>
#include <map>

class Delivery;
class PeerRegistry;
class QTextEdit;
class TalkManager;

// The state of every own message, as a small picture right of its header line in the transcript:
// sending, delivered (the tooltip names who got it; "delivered to 17 of 18" where there are several),
// not delivered (a click offers Resend) and waiting in the outbox (a click offers Cancel). The picture
// is the transcript's own: the history files never get it (they are written from the peer's transcript).
class DeliveryMarks : public QObject {
    Q_OBJECT
public:
    enum class State { Sending, Delivered, NotDelivered, Waiting };
    // Messages whose state is kept, and own headers that wait for their message number, per talk.
    static constexpr int MaxMessages = 2048;
    static constexpr int MaxPendingPerTalk = 64;
    static constexpr int SizePx = 12;

    DeliveryMarks(Delivery *delivery, PeerRegistry *registry, TalkManager *talks, QObject *parent = nullptr);

    // A message's state and the text of its tooltip; false when it is not known (any more).
    bool stateOf(quint64 messageId, State *state, QString *toolTip = nullptr) const;
    // The message whose picture is at that position of the talk's transcript, or 0.
    quint64 messageAt(QTextEdit *transcript, int position) const;
    // The command a click on the picture offers (Resend or Cancel); false when it offers none.
    bool activate(quint64 messageId);
    // The picture of a state, drawn at that device pixel ratio.
    static QImage picture(State state, qreal ratio);

    static QString resourceName(State state);

private:
    struct Mark {
        int talkId = -1;
        QTextCursor at;
        State state = State::Sending;
        QStringList addressees;
        QStringList delivered;
        QStringList notDelivered;
        qint64 waitingId = 0;
        QString waitingFor;
        bool anchored = false;
    };

    void sending(int talkId, quint64 messageId, const QStringList &addressees);
    void shown(int sheet, const QString &senderId, int headerEnd);
    void pair(int talkId);
    void update(quint64 messageId);
    QString toolTip(const Mark &mark) const;
    QString names(const QStringList &ids) const;
    QTextEdit *transcriptOf(int talkId) const;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void watch(QTextEdit *transcript);

    Delivery *m_delivery;
    PeerRegistry *m_registry;
    TalkManager *m_talks;
    std::map<quint64, Mark> m_marks;
    // Per talk: messages sent but not yet shown, and own headers shown but not yet numbered.
    QHash<int, std::deque<quint64>> m_unshown;
    QHash<int, std::deque<QTextCursor>> m_headers;
    QHash<qint64, quint64> m_waiting;
};
