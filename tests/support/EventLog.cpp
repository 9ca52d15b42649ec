#include "support/EventLog.h"

#include "peers/PeerList.h"
#include "peers/PeerRegistry.h"
#include "talks/TalkCore.h"

EventLog::EventLog(PeerRegistry *registry, TalkCore *talks, QObject *parent)
    : QObject(parent)
    , m_registry(registry)
    , m_talks(talks)
{
    if (m_registry)
        connectRegistry();
    if (m_talks)
        connectTalks();
}

QStringList EventLog::of(const QString &word) const
{
    QStringList lines;
    for (const QString &line : events) {
        if (line == word || line.startsWith(word + u' '))
            lines.append(line);
    }
    return lines;
}

QString EventLog::talk(int id) const
{
    return QString::number(m_talks ? m_talks->positionOf(id) : -1);
}

void EventLog::connectRegistry()
{
    PeerRegistry *r = m_registry;
    const auto note = [this](const QString &line) {
        events.append(line);
    };
    connect(r, &PeerRegistry::localEntryChanged, this,
            [this, note] { note(QStringLiteral("identity ") + (m_registry->local() ? m_registry->local()->Alias : QString())); });
    connect(r, &PeerRegistry::arrivalsStarted, this, [note] { note(QStringLiteral("begin")); });
    connect(r, &PeerRegistry::arrivalsFlushed, this, [note] { note(QStringLiteral("end")); });
    connect(r, &PeerRegistry::memberAdded, this,
            [note](int group, int peer) { note(QStringLiteral("added %1 %2").arg(group).arg(peer)); });
    connect(r, &PeerRegistry::memberRemoved, this,
            [note](int group, int peer) { note(QStringLiteral("removed %1 %2").arg(group).arg(peer)); });
    connect(r, &PeerRegistry::peerArrived, this, [note](int peer) { note(QStringLiteral("arrived %1").arg(peer)); });
    connect(r, &PeerRegistry::peerUpdated, this, [this, note](int peer) {
        if (const RUserID *entry = m_registry->GetPeer(peer))
            note(QStringLiteral("renamed %1 %2").arg(DisplayName(*entry)).arg(entry->PictureIndex));
    });
    connect(r, &PeerRegistry::peerLeaving, this,
            [note](int peer) { note(QStringLiteral("leaving %1").arg(peer)); });
    connect(r, &PeerRegistry::peerLeft, this,
            [note](int, const RUserID &farewell) { note(QStringLiteral("left ") + DisplayName(farewell)); });
    connect(r, &PeerRegistry::blockedChanged, this, [note](int peer, bool blocked) {
        note(QStringLiteral("blocked %1 %2").arg(peer).arg(blocked ? 1 : 0));
    });
    connect(r, &PeerRegistry::groupRemoved, this,
            [note](int group) { note(QStringLiteral("group-removed %1").arg(group)); });
}

void EventLog::connectTalks()
{
    TalkCore *t = m_talks;
    connect(t, &TalkCore::noticeRequested, this, [this](int id, const QString &, const QString &alias) {
        events.append(QStringLiteral("notify ") + alias + u' ' + talk(id));
    });
    connect(t, &TalkCore::noticeForTalk, this,
            [this](int id, const QString &, const QString &, const QString &body) {
                events.append(QStringLiteral("append ") + talk(id) + u' ' + body);
            });
    connect(t, &TalkCore::messageForTalk, this,
            [this](int id, const QString &, const QString &, const QString &body) {
                events.append(QStringLiteral("message ") + talk(id) + u' ' + body);
            });
    connect(t, &TalkCore::soundRequested, this, [this](int event) { events.append(QStringLiteral("sound ") + QString::number(event)); });
}
