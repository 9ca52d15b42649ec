#pragma once

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QString>

struct TransferLimits;

// The owner's transfer connections, counted per requesting address and in all, and how many of them
// are past their request and sending. A connection takes a place when it is accepted and gives it
// back when its thread has ended; it becomes a sender only once its request was granted, so bare
// connections can never hold the places that send. Shared with the transfer threads.
class ServeSlots {
public:
    enum class Admission { Admitted, AddressFull, Full };

    Admission Enter(const QHostAddress &peer, const TransferLimits &limits);
    // A granted connection starts sending; false when as many send already.
    bool StartServing(int maxServing);
    // Its place to send is free again as soon as it is done, before the connection has closed.
    void StopServing();
    void Leave(const QHostAddress &peer);

    int connections() const;
    int serving() const;
    int connectionsFrom(const QHostAddress &peer) const;

private:
    static QString key(const QHostAddress &peer);

    mutable QMutex m_mutex;
    QHash<QString, int> m_perAddress;
    int m_connections = 0;
    int m_serving = 0;
};
