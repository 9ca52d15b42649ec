#include "peers/ListedCheck.h"

#include <algorithm>

namespace {
constexpr QByteArrayView ProbePrefix("PXPROBE ");
constexpr qsizetype MaxProbeSize = 64;
} // namespace

ListedCheck::ListedCheck(int periodMs)
    : m_silenceMs(qint64(std::max(periodMs, 1)) * MissedPeriods + SlackMs)
{}

bool ListedCheck::IsProbe(QByteArrayView datagram)
{
    return datagram.size() <= MaxProbeSize && datagram.startsWith(ProbePrefix);
}

void ListedCheck::ProbeReceived(const QHostAddress &from, qint64 nowMs)
{
    bool ok = false;
    const quint32 ip = from.toIPv4Address(&ok);
    if (!ok || ip == 0)
        return;
    auto it = m_computers.find(ip);
    if (it == m_computers.end()) {
        if (m_computers.size() >= MaxComputers) {
            // The one silent longest goes.
            auto oldest = std::min_element(
                m_computers.begin(), m_computers.end(),
                [](const Computer &a, const Computer &b) { return a.lastProbeMs < b.lastProbeMs; });
            m_computers.erase(oldest);
        }
        it = m_computers.insert(ip, Computer());
    }
    it->lastProbeMs = nowMs;
    it->repairs = 0;
    it->lastRepairMs = -1;
}

QList<QHostAddress> ListedCheck::step(const QList<QHostAddress> &answering, qint64 nowMs)
{
    QList<QHostAddress> result;
    for (const QHostAddress &address : answering) {
        bool ok = false;
        const quint32 ip = address.toIPv4Address(&ok);
        auto it = ok ? m_computers.find(ip) : m_computers.end();
        if (it == m_computers.end() || it->repairs >= MaxRepairs)
            continue;
        const qint64 since = it->lastRepairMs >= 0 ? it->lastRepairMs : it->lastProbeMs;
        if (nowMs - since < m_silenceMs)
            continue;
        it->lastRepairMs = nowMs;
        ++it->repairs;
        if (!result.contains(address))
            result.append(address);
    }
    return result;
}
