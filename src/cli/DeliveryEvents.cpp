#include "cli/DeliveryEvents.h"

#include "app/Delivery.h"

#include <QJsonArray>

SendVerdict::SendVerdict(Delivery &delivery, QObject *parent)
    : QObject(parent)
{
    connect(&delivery, &Delivery::messageSending, this, [this](int, quint64 messageId, const QStringList &) {
        if (m_messageId == 0)
            m_messageId = messageId;
    });
    connect(&delivery, &Delivery::messageSettled, this,
            [this](int, quint64 messageId, const QStringList &, const QStringList &notDelivered) {
                if (messageId != m_messageId || m_known)
                    return;
                m_notDelivered = notDelivered;
                m_known = true;
            });
    connect(&delivery, &Delivery::messageWaiting, this,
            [this](int, quint64 messageId, qint64, const QString &, const QString &) {
                if (messageId == m_messageId)
                    m_waiting = true;
            });
}

void WatchDelivery(Delivery &delivery, QObject *context,
                   const std::function<void(const QJsonObject &, const QString &)> &print)
{
    QObject::connect(
        &delivery, &Delivery::messageSettled, context,
        [print](int talk, quint64 messageId, const QStringList &delivered, const QStringList &notDelivered) {
            const bool ok = notDelivered.isEmpty();
            print({{QStringLiteral("event"),
                    ok ? QStringLiteral("delivered") : QStringLiteral("not-delivered")},
                   {QStringLiteral("talk"), talk},
                   {QStringLiteral("message"), qint64(messageId)},
                   {QStringLiteral("deliveredTo"), QJsonArray::fromStringList(delivered)},
                   {QStringLiteral("notDeliveredTo"), QJsonArray::fromStringList(notDelivered)}},
                  QStringLiteral("message %1 delivered to %2 of %3")
                          .arg(messageId)
                          .arg(delivered.size())
                          .arg(delivered.size() + notDelivered.size()) +
                      (ok ? QString() : QStringLiteral("; not delivered to ") + notDelivered.join(u' ')));
        });
    QObject::connect(
        &delivery, &Delivery::messageWaiting, context,
        [print](int talk, quint64 messageId, qint64 waitingId, const QString &id, const QString &name) {
            print({{QStringLiteral("event"), QStringLiteral("waiting")},
                   {QStringLiteral("talk"), talk},
                   {QStringLiteral("message"), qint64(messageId)},
                   {QStringLiteral("waiting"), waitingId},
                   {QStringLiteral("for"),
                    QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("alias"), name}}}},
                  QStringLiteral("waiting message %1 is for %2").arg(waitingId).arg(name));
        });
    QObject::connect(
        &delivery, &Delivery::waitingSent, context, [print](qint64 waitingId, quint64 messageId) {
            print({{QStringLiteral("event"), QStringLiteral("waiting-sent")},
                   {QStringLiteral("waiting"), waitingId},
                   {QStringLiteral("message"), qint64(messageId)}},
                  QStringLiteral("waiting message %1 sent as message %2").arg(waitingId).arg(messageId));
        });
    QObject::connect(&delivery, &Delivery::waitingDropped, context, [print](qint64 waitingId, bool expired) {
        const QString why = expired ? QStringLiteral("expired") : QStringLiteral("cancelled");
        print({{QStringLiteral("event"), QStringLiteral("waiting-dropped")},
               {QStringLiteral("waiting"), waitingId},
               {QStringLiteral("reason"), why}},
              QStringLiteral("waiting message %1 %2").arg(waitingId).arg(why));
    });
}
