#pragma once

#include "protocol/ProtocolUn.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class PeerRegistry;

// While the user is inside a question, received packets wait for it to end; a newcomer's NEW is
// answered at once all the same, so that the newcomer lists this user without waiting for the box.
// The newcomer itself joins the list when its NEW is handled, after the question. The answers are
// bounded per second; beyond that the NEWs are answered when they are handled, as before.
class EarlyNewAnswer : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxAnswersPerSecond = 20;
    using Waiting = std::function<bool()>;

    // "waiting" says whether received packets wait at the moment.
    EarlyNewAnswer(PeerRegistry *registry, Waiting waiting, QObject *parent = nullptr);

    // Every received packet, as it arrives (before it waits in the queue).
    void received(const Packet &packet);
    int answered() const { return m_answered; }

private:
    PeerRegistry *m_registry;
    Waiting m_waiting;
    QElapsedTimer m_window;
    int m_inWindow = 0;
    int m_answered = 0;
};
