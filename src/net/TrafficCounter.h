#pragma once

#include <QtGlobal>

#include <deque>

// Datagrams received and sent in the last minute, from the running totals of the transport sampled
// about once a second. Time is passed in.
class TrafficCounter {
public:
    static constexpr qint64 WindowMs = 60000;
    // Samples closer together than this are not kept, so the history stays about 61 samples long.
    static constexpr qint64 SampleSpacingMs = 1000;

    void sample(qint64 nowMs, quint64 receivedTotal, quint64 sentTotal);
    // Over the last minute, or since the first sample when that is younger.
    quint64 receivedLastMinute() const;
    quint64 sentLastMinute() const;
    qsizetype historySize() const { return qsizetype(m_history.size()); }

private:
    struct Sample {
        qint64 ms = 0;
        quint64 received = 0;
        quint64 sent = 0;
    };
    // The sample the minute is counted from.
    const Sample *base() const;

    std::deque<Sample> m_history;
    Sample m_latest;
    bool m_any = false;
};
