#include "talks/MinuteClock.h"

#include <QDateTime>

QString MinuteClock::text()
{
    return textAt(QDateTime::currentMSecsSinceEpoch());
}

QString MinuteClock::textAt(qint64 nowMs)
{
    // A clock set back lands before the minute we know: work it out again.
    if (nowMs >= m_from && nowMs < m_until)
        return m_text;
    const QTime local = QDateTime::fromMSecsSinceEpoch(nowMs).time();
    m_text = local.toString(QStringLiteral("hh.mm"));
    m_from = nowMs;
    m_until = nowMs + 60000 - (local.second() * 1000 + local.msec());
    return m_text;
}
