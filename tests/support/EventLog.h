#pragma once

#include <QObject>
#include <QStringList>

class PeerRegistry;
class TalkCore;

// Writes down what a peer's registry and talk core signal, one line per signal, in the order they
// come; a talk is named by its position (0 is the talk with everybody):
//   identity <alias>, begin, end, added <group> <peer>, removed <group> <peer>, arrived <peer>,
//   renamed <name> <picture>, leaving <peer>, left <name>, blocked <peer> <0|1>,
//   group-removed <group>, notify <alias> <talk>, append <talk> <body>, message <talk> <body>,
//   sound <event>.
class EventLog : public QObject {
    Q_OBJECT
public:
    EventLog(PeerRegistry *registry, TalkCore *talks, QObject *parent = nullptr);

    QStringList events;
    void clear() { events.clear(); }
    // The lines that start with that word.
    QStringList of(const QString &word) const;

private:
    void connectRegistry();
    void connectTalks();
    QString talk(int id) const;

    PeerRegistry *m_registry;
    TalkCore *m_talks;
};
