#pragma once

#include <QString>

// The local time of day as "hh.mm", worked out again only when the minute changes: asking the
// system for the local time reads the time zone each time, which a flood of lines would feel.
class MinuteClock {
public:
    QString text();
    // For tests: the text at a given moment (milliseconds since the epoch).
    QString textAt(qint64 nowMs);

private:
    QString m_text;
    qint64 m_from = 0;
    qint64 m_until = -1;
};
