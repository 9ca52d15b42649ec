#include "peers/NewRepeat.h"

#include <algorithm>
#include <optional>

namespace {
std::optional<quint32> ipv4(const QHostAddress &address)
{
    bool ok = false;
    const quint32 ip = address.toIPv4Address(&ok);
    return ok && ip != 0 ? std::optional<quint32>(ip) : std::nullopt;
}
} // namespace

void NewRepeat::start(const QByteArray &newBytes, const QHostAddress &self, qint64 nowMs)
{
    m_bytes = newBytes;
    m_self = ipv4(self).value_or(0);
    m_startMs = nowMs;
    m_broadcasts = 0;
    m_answered = false;
    m_echoedElsewhere = false;
    m_computers.clear();
}

bool NewRepeat::running(qint64 nowMs) const
{
    return m_startMs >= 0 && nowMs >= m_startMs && nowMs - m_startMs <= ActiveMs;
}

void NewRepeat::EchoReceived(const QHostAddress &from, const QByteArray &payload, qint64 nowMs)
{
    const std::optional<quint32> ip = ipv4(from);
    if (!running(nowMs) || !ip || *ip == m_self || payload != m_bytes)
        return;
    m_echoedElsewhere = true;
    if (m_computers.contains(*ip) || m_computers.size() >= MaxComputers)
        return;
    Computer computer;
    computer.dueMs = nowMs + AnswerWaitMs;
    m_computers.insert(*ip, computer);
}

void NewRepeat::HeardFrom(const QHostAddress &from)
{
    const std::optional<quint32> ip = ipv4(from);
    // The broadcast NEW comes back to our own receiving socket too: that is no answer.
    if (!ip || *ip == m_self || m_startMs < 0)
        return;
    m_answered = true;
    auto it = m_computers.find(*ip);
    if (it != m_computers.end())
        it->heard = true;
    else if (m_computers.size() < MaxComputers)
        m_computers.insert(*ip, Computer{0, 0, true});
}

NewRepeat::Actions NewRepeat::step(qint64 nowMs)
{
    Actions actions;
    if (!running(nowMs))
        return actions;
    if (!m_answered && !m_echoedElsewhere && m_broadcasts < int(BroadcastAtMs.size()) &&
        nowMs - m_startMs >= BroadcastAtMs[size_t(m_broadcasts)]) {
        actions.broadcast = true;
        // Times that passed unseen (a busy event loop) are not made up for.
        while (m_broadcasts < int(BroadcastAtMs.size()) &&
               nowMs - m_startMs >= BroadcastAtMs[size_t(m_broadcasts)])
            ++m_broadcasts;
    }
    for (auto it = m_computers.begin(); it != m_computers.end(); ++it) {
        Computer &computer = *it;
        if (computer.heard || computer.sent >= MaxUnicasts || nowMs < computer.dueMs)
            continue;
        actions.unicast.append(QHostAddress(it.key()));
        computer.dueMs = nowMs + UnicastPausesMs[size_t(computer.sent)];
        ++computer.sent;
    }
    return actions;
}

qint64 NewRepeat::nextDueMs() const
{
    if (m_startMs < 0)
        return -1;
    const qint64 end = m_startMs + ActiveMs;
    qint64 next = -1;
    const auto consider = [&](qint64 due) {
        if (due <= end && (next < 0 || due < next))
            next = due;
    };
    if (!m_answered && !m_echoedElsewhere && m_broadcasts < int(BroadcastAtMs.size()))
        consider(m_startMs + BroadcastAtMs[size_t(m_broadcasts)]);
    for (const Computer &computer : m_computers) {
        if (!computer.heard && computer.sent < MaxUnicasts)
            consider(computer.dueMs);
    }
    return next;
}
