#include "net/ReceiptTracker.h"

#include "protocol/RetryNotice.h"

#include <algorithm>
#include <optional>

namespace {

std::optional<quint32> ipv4(const QHostAddress &address)
{
    bool ok = false;
    const quint32 ip = address.toIPv4Address(&ok);
    return ok && ip != 0 ? std::optional<quint32>(ip) : std::nullopt;
}

struct Verdict {
    quint64 packet = 0;
    QStringList delivered;
    QStringList notDelivered;
};

} // namespace

ReceiptTracker::ReceiptTracker(Hooks hooks, QObject *parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { schedule(step()); });
}

qint64 ReceiptTracker::pauseAfter(int copies) const
{
    return copies >= 1 && copies < MaxCopies ? m_timings.retryPausesMs[size_t(copies - 1)]
                                             : m_timings.finalWaitMs;
}

void ReceiptTracker::start()
{
    schedule(0);
}

void ReceiptTracker::stop()
{
    m_timer.stop();
}

void ReceiptTracker::schedule(int delayMs)
{
    m_timer.start(delayMs);
}

int ReceiptTracker::copiesSent(quint64 packet, const QHostAddress &address) const
{
    const std::optional<quint32> ip = ipv4(address);
    for (const Tracked &tracked : m_packets) {
        if (tracked.number != packet)
            continue;
        for (const Computer &computer : tracked.computers) {
            if (ip && computer.ip == *ip)
                return computer.sent;
        }
    }
    return 0;
}

quint64 ReceiptTracker::track(const QByteArray &bytes, const QList<ReceiptTarget> &targets)
{
    if (bytes.isEmpty() || !m_hooks.now)
        return 0;
    const qint64 now = m_hooks.now();
    Tracked tracked;
    tracked.bytes = bytes;
    tracked.digest = PacketDigest::of(bytes);
    for (const ReceiptTarget &target : targets) {
        const std::optional<quint32> ip = ipv4(target.address);
        auto same = std::find_if(tracked.computers.begin(), tracked.computers.end(),
                                 [&](const Computer &c) { return ip && c.ip == *ip; });
        if (same != tracked.computers.end()) {
            for (const QString &id : target.userIds) {
                if (!same->userIds.contains(id))
                    same->userIds.append(id);
            }
            same->copies = std::max(same->copies, target.copies);
            continue;
        }
        if (tracked.computers.size() >= MaxTargets)
            break;
        Computer computer;
        computer.userIds = target.userIds;
        computer.copies = std::max(1, target.copies);
        computer.dueMs = now + pauseAfter(1);
        // Users whose computer is unknown cannot be asked; they are not delivered.
        if (ip)
            computer.ip = *ip;
        else
            computer.state = State::Failed;
        tracked.computers.append(computer);
    }
    for (Computer &computer : tracked.computers) {
        computer.copies = std::max(computer.copies, int(computer.userIds.size()));
        tracked.waiting += computer.state == State::Waiting;
    }
    if (tracked.waiting == 0)
        return 0;
    if (int(m_packets.size()) >= MaxInFlight) {
        Tracked &oldest = m_packets.front();
        for (Computer &computer : oldest.computers) {
            if (computer.state == State::Waiting)
                computer.state = State::Failed;
        }
        oldest.waiting = 0;
        settle(m_packets.begin());
    }
    tracked.number = m_next++;
    const quint64 number = tracked.number;
    m_packets.push_back(std::move(tracked));
    if (m_timer.isActive() && m_timer.remainingTime() > pauseAfter(1))
        schedule(int(pauseAfter(1)));
    return number;
}

void ReceiptTracker::forget(quint64 packet)
{
    std::erase_if(m_packets, [packet](const Tracked &t) { return t.number == packet; });
}

void ReceiptTracker::settle(std::deque<Tracked>::iterator it)
{
    Verdict verdict;
    verdict.packet = it->number;
    for (const Computer &computer : it->computers)
        (computer.state == State::Delivered ? verdict.delivered : verdict.notDelivered) += computer.userIds;
    m_packets.erase(it);
    // Last: a slot may track or forget packets.
    Q_EMIT settled(verdict.packet, verdict.delivered, verdict.notDelivered);
}

void ReceiptTracker::EchoReceived(const QHostAddress &from, const QByteArray &payload)
{
    const std::optional<quint32> ip = ipv4(from);
    if (!ip || m_packets.empty())
        return;
    const PacketDigest digest = PacketDigest::of(payload);
    for (auto it = m_packets.begin(); it != m_packets.end(); ++it) {
        if (it->digest != digest || it->bytes != payload)
            continue;
        auto computer = std::find_if(it->computers.begin(), it->computers.end(), [&](const Computer &c) {
            return c.ip == *ip && c.state == State::Waiting;
        });
        if (computer == it->computers.end())
            continue;
        if (++computer->roundEchoes < computer->copies)
            return;
        computer->state = State::Delivered;
        --it->waiting;
        const quint64 number = it->number;
        const QStringList users = computer->userIds;
        Q_EMIT delivered(number, users);
        // The slot may have changed the list: the packet is looked up again.
        auto again = std::find_if(m_packets.begin(), m_packets.end(),
                                  [number](const Tracked &t) { return t.number == number; });
        if (again != m_packets.end() && again->waiting == 0)
            settle(again);
        return;
    }
}

void ReceiptTracker::retry(Tracked &packet, qint64 now)
{
    bool broadcastWanted = false;
    bool broadcastAllowed = true;
    for (const Computer &computer : std::as_const(packet.computers)) {
        if (computer.state == State::Waiting && computer.dueMs <= now && computer.copies > 1 &&
            computer.sent < MaxCopies)
            broadcastWanted = true;
        if (computer.ip != 0 && computer.sent >= MaxCopies)
            broadcastAllowed = false;
    }
    const QByteArray notice = BuildRetryNotice(packet.digest);
    if (broadcastWanted && broadcastAllowed && m_hooks.broadcast) {
        m_hooks.broadcast(notice);
        m_hooks.broadcast(packet.bytes);
        for (Computer &computer : packet.computers) {
            if (computer.ip == 0)
                continue;
            ++computer.sent;
            if (computer.state == State::Waiting) {
                computer.roundEchoes = 0;
                computer.dueMs = now + pauseAfter(computer.sent);
            }
        }
        return;
    }
    for (Computer &computer : packet.computers) {
        if (computer.state != State::Waiting || computer.dueMs > now || computer.sent >= MaxCopies)
            continue;
        if (m_hooks.sendTo) {
            const QHostAddress address(computer.ip);
            m_hooks.sendTo(address, notice);
            m_hooks.sendTo(address, packet.bytes);
        }
        ++computer.sent;
        computer.roundEchoes = 0;
        computer.dueMs = now + pauseAfter(computer.sent);
    }
}

int ReceiptTracker::step()
{
    if (!m_hooks.now)
        return MaxSleepMs;
    const qint64 now = m_hooks.now();
    QList<quint64> over;
    for (Tracked &packet : m_packets) {
        for (Computer &computer : packet.computers) {
            if (computer.state == State::Waiting && computer.dueMs <= now && computer.sent >= MaxCopies) {
                computer.state = State::Failed;
                --packet.waiting;
            }
        }
        if (packet.waiting == 0)
            over.append(packet.number);
        else
            retry(packet, now);
    }
    for (const quint64 number : std::as_const(over)) {
        auto it = std::find_if(m_packets.begin(), m_packets.end(),
                               [number](const Tracked &t) { return t.number == number; });
        if (it != m_packets.end())
            settle(it);
    }
    qint64 next = now + MaxSleepMs;
    for (const Tracked &packet : m_packets) {
        for (const Computer &computer : packet.computers) {
            if (computer.state == State::Waiting)
                next = std::min(next, computer.dueMs);
        }
    }
    return int(std::clamp<qint64>(next - now, 1, MaxSleepMs));
}
