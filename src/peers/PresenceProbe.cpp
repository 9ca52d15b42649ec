#include "peers/PresenceProbe.h"

#include "net/ExtraAddresses.h"

#include <QRandomGenerator>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

constexpr int MinPeriodMs = 100;
constexpr int MaxPeriodMs = 3600 * 1000;

std::optional<quint32> ipv4(const QHostAddress &address)
{
    bool ok = false;
    const quint32 ip = address.toIPv4Address(&ok);
    return ok ? std::optional<quint32>(ip) : std::nullopt;
}

// Nothing can answer from 0.0.0.0/8, a multicast group or a limited broadcast.
bool askable(quint32 ip)
{
    return (ip >> 24) != 0 && (ip >> 28) < 0xE;
}

} // namespace

PresenceProbe::PresenceProbe(Hooks hooks, int periodMs, QObject *parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
    , m_periodMs(std::clamp(periodMs, MinPeriodMs, MaxPeriodMs))
    , m_lastSendMs(std::numeric_limits<qint64>::min() / 2)
{
    // A token of this run: echoes of anybody else's datagrams are not taken for ours.
    const QByteArray token = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    m_payload = QByteArrayLiteral("PXPROBE ") + token;
    m_testBase = QByteArrayLiteral("PXTEST ") + token + ' ';
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { schedule(step()); });
}

int PresenceProbe::echoWaitMs() const
{
    return std::min(EchoWaitMs, m_periodMs / 2);
}

void PresenceProbe::start()
{
    schedule(0);
}

void PresenceProbe::stop()
{
    m_timer.stop();
}

void PresenceProbe::schedule(int delayMs)
{
    m_timer.start(delayMs);
}

QHostAddress PresenceProbe::TargetOf(const Peer &peer) const
{
    const auto source = m_sources.constFind(peer.id);
    const QHostAddress address =
        source != m_sources.cend() ? QHostAddress(*source) : ParseDottedQuad(peer.ip);
    const std::optional<quint32> ip = ipv4(address);
    return ip && askable(*ip) ? address : QHostAddress();
}

QHash<quint32, QStringList> PresenceProbe::targets() const
{
    QHash<quint32, QStringList> result;
    if (!m_hooks.onlinePeers)
        return result;
    const QList<Peer> peers = m_hooks.onlinePeers();
    for (const Peer &peer : peers) {
        const std::optional<quint32> ip = ipv4(TargetOf(peer));
        if (!ip)
            continue;
        auto it = result.find(*ip);
        if (it == result.end()) {
            if (result.size() >= MaxHosts)
                continue;
            it = result.insert(*ip, {});
        }
        it->append(peer.id);
    }
    return result;
}

void PresenceProbe::syncHosts(const QHash<quint32, QStringList> &targets, qint64 now)
{
    // A host just heard from is asked at once; a crowd of them is spread by the spacing of probes.
    const auto reactivate = [now](Host &host) {
        host = Host();
        host.nextDueMs = now;
    };
    for (auto it = targets.cbegin(); it != targets.cend(); ++it) {
        auto host = m_hosts.find(it.key());
        if (host == m_hosts.end()) {
            reactivate(m_hosts[it.key()]);
            continue;
        }
        if (!host->vanished)
            continue;
        // A user who arrived there since the host went silent brings the host back.
        for (const QString &id : *it) {
            if (!host->vanishedIds.contains(id)) {
                reactivate(*host);
                break;
            }
        }
    }
    int vanished = 0;
    for (auto it = m_hosts.begin(); it != m_hosts.end();) {
        // Hosts whose users all said goodbye are no longer asked; silent ones only for a while.
        if ((!it->vanished && !targets.contains(it.key())) ||
            (it->vanished && now - it->vanishedAtMs > VanishedKeptMs)) {
            it = m_hosts.erase(it);
            continue;
        }
        vanished += it->vanished;
        ++it;
    }
    while (vanished > MaxVanishedHosts) {
        auto oldest = m_hosts.end();
        for (auto it = m_hosts.begin(); it != m_hosts.end(); ++it) {
            if (it->vanished && (oldest == m_hosts.end() || it->vanishedAtMs < oldest->vanishedAtMs))
                oldest = it;
        }
        m_hosts.erase(oldest);
        --vanished;
    }
}

int PresenceProbe::step()
{
    if (!m_hooks.now)
        return MaxSleepMs;
    const qint64 now = m_hooks.now();
    // The user list is looked at once a second, not for every probe.
    if (m_targetsDirty || now - m_targetsAtMs >= MaxSleepMs || now < m_targetsAtMs) {
        m_targets = targets();
        m_targetsAtMs = now;
        m_targetsDirty = false;
        syncHosts(m_targets, now);
    }
    const QHash<quint32, QStringList> &current = m_targets;

    QStringList vanishedIds;
    for (auto it = m_hosts.begin(); it != m_hosts.end(); ++it) {
        Host &host = *it;
        if (host.deadlineMs < 0 || now < host.deadlineMs)
            continue;
        host.deadlineMs = -1;
        ++host.misses;
        if (!host.vanished && host.misses >= MissesToVanish) {
            host.vanished = true;
            host.vanishedAtMs = now;
            host.vanishedIds = current.value(it.key());
            vanishedIds += host.vanishedIds;
        }
    }

    int testHosts = -1;
    if (m_testDeadline >= 0 && now >= m_testDeadline) {
        testHosts = int(m_testEchoes.size());
        m_testDeadline = -1;
        m_testEchoes.clear();
    }

    // Only the spacing holds a probe back: waiting for a share of the period would put a host's
    // probes late, and its departure with them.
    const qint64 spacing = MinSpacingMs;
    if (now - m_lastSendMs >= spacing) {
        auto due = m_hosts.end();
        for (auto it = m_hosts.begin(); it != m_hosts.end(); ++it) {
            if (it->nextDueMs <= now && (due == m_hosts.end() || it->nextDueMs < due->nextDueMs))
                due = it;
        }
        if (due != m_hosts.end()) {
            // A probe that could not even leave counts as unanswered: this host cannot reach that one.
            if (m_hooks.send)
                m_hooks.send(QHostAddress(due.key()), m_payload);
            ++m_probesSent;
            m_lastSendMs = now;
            due->nextDueMs = now + m_periodMs;
            due->deadlineMs = now + echoWaitMs();
        }
    }

    qint64 next = now + MaxSleepMs;
    for (const Host &host : std::as_const(m_hosts)) {
        if (host.deadlineMs >= 0)
            next = std::min(next, host.deadlineMs);
        next = std::min(next, std::max(host.nextDueMs, m_lastSendMs + spacing));
    }
    if (m_testDeadline >= 0)
        next = std::min(next, m_testDeadline);

    for (const QString &id : std::as_const(vanishedIds))
        Q_EMIT peerVanished(id);
    if (testHosts >= 0)
        Q_EMIT testFinished(testHosts);
    return int(std::clamp<qint64>(next - now, 1, MaxSleepMs));
}

void PresenceProbe::EchoReceived(const QHostAddress &from, const QByteArray &payload)
{
    const std::optional<quint32> ip = ipv4(from);
    if (!ip)
        return;
    if (payload == m_payload) {
        auto host = m_hosts.find(*ip);
        if (host == m_hosts.end())
            return;
        if (host->vanished) {
            m_hosts.erase(host);
            Q_EMIT hostAnswersAgain(from);
            return;
        }
        host->misses = 0;
        host->deadlineMs = -1;
    } else if (m_testDeadline >= 0 && payload == m_testPayload && m_testEchoes.size() < MaxHosts) {
        m_testEchoes.insert(*ip);
    }
}

void PresenceProbe::NoteSource(const QString &id, const QHostAddress &from)
{
    const std::optional<quint32> ip = ipv4(from);
    if (!ip)
        return;
    if (!m_sources.contains(id) && m_sources.size() >= MaxHosts) {
        // Keep only the users that are online; a flood of made-up users is not remembered.
        QSet<QString> online;
        if (m_hooks.onlinePeers) {
            for (const Peer &peer : m_hooks.onlinePeers())
                online.insert(peer.id);
        }
        for (auto it = m_sources.begin(); it != m_sources.end();)
            it = online.contains(it.key()) ? std::next(it) : m_sources.erase(it);
        if (m_sources.size() >= MaxHosts)
            return;
    }
    m_sources.insert(id, *ip);
    m_targetsDirty = true;
    auto host = m_hosts.find(*ip);
    if (host != m_hosts.end() && host->vanished && m_hooks.now) {
        *host = Host();
        host->nextDueMs = m_hooks.now();
    }
}

void PresenceProbe::PeersChanged()
{
    m_targetsDirty = true;
    // Only while running; arrivals of one turn share one look.
    if (m_timer.isActive())
        schedule(0);
}

bool PresenceProbe::StartTest()
{
    if (testRunning() || !m_hooks.now)
        return false;
    m_testPayload = m_testBase + QByteArray::number(++m_testNumber);
    m_testEchoes.clear();
    if (m_hooks.testTargets && m_hooks.send) {
        for (const QHostAddress &address : m_hooks.testTargets())
            m_hooks.send(address, m_testPayload);
    }
    m_testDeadline = m_hooks.now() + TestWaitMs;
    if (m_timer.isActive() && m_timer.remainingTime() > TestWaitMs)
        schedule(TestWaitMs);
    return true;
}

int PresenceProbe::hostCount() const
{
    return int(m_hosts.size()) - vanishedHostCount();
}

int PresenceProbe::vanishedHostCount() const
{
    return int(std::count_if(m_hosts.cbegin(), m_hosts.cend(), [](const Host &h) { return h.vanished; }));
}
