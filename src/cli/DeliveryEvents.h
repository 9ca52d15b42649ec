#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <functional>

class Delivery;

// The verdict of the next own message that goes out after it is made: what a headless send waits
// for before it exits.
class SendVerdict : public QObject {
    Q_OBJECT
public:
    explicit SendVerdict(Delivery &delivery, QObject *parent = nullptr);

    // The message went out and its verdict is in (or it waits in the outbox).
    bool known() const { return m_known; }
    bool sent() const { return m_messageId != 0; }
    bool delivered() const { return m_known && m_notDelivered.isEmpty(); }
    bool waiting() const { return m_waiting; }
    quint64 messageId() const { return m_messageId; }
    const QStringList &notDelivered() const { return m_notDelivered; }

private:
    quint64 m_messageId = 0;
    bool m_known = false;
    bool m_waiting = false;
    QStringList m_notDelivered;
};

// Prints what becomes of own messages and of the outbox, one event each, through `print` (the JSON
// object and the line of text).
void WatchDelivery(Delivery &delivery, QObject *context,
                   const std::function<void(const QJsonObject &, const QString &)> &print);
