#pragma once

#include "app/AppContext.h"
#include "support/ScriptedQuestions.h"
#include "support/TempFolder.h"

#include <QString>
#include <QStringList>

#include <memory>

class ChatCore;
class PacketTransport;
class PeerRegistry;
class TalkCore;

// One complete peer without windows, the object both programs run, on a transport the test chooses,
// with its own settings file and data folder. Its questions are answered by a script.
class CorePeer {
public:
    // The alias is stored in the profile before the peer is made (a null alias stores nothing).
    CorePeer(const QString &alias, std::unique_ptr<PacketTransport> transport,
             int probePeriodMs = TransportConfig{}.probePeriodMs);
    ~CorePeer();

    // Local entry, talk with everybody, contact groups, NEW and the probe.
    void start();
    // The goodbye (DISCONNECT).
    void stop();

    ChatCore &core() const { return *m_core; }
    // What the peer was made with; windows on this peer take the store from here.
    AppContext &context() { return m_context; }
    PeerRegistry *registry() const;
    TalkCore *talks() const;
    PacketTransport &transport() const { return *m_transport; }
    template<class T> T &transportAs() const { return static_cast<T &>(*m_transport); }
    ScriptedQuestions &questions() { return m_questions; }
    const TempFolder &folder() const { return m_folder; }
    SettingsStore store() const { return m_folder.store(); }
    QString id() const { return m_folder.userId(); }

    // The aliases of the online peers, in peer-list order.
    QStringList online() const;
    int onlineCount() const { return int(online().size()); }
    // The peer index of the online peer with that ID, or -1.
    int indexOf(const QString &id) const;

private:
    TempFolder m_folder;
    AppContext m_context;
    std::unique_ptr<PacketTransport> m_transport;
    ScriptedQuestions m_questions;
    std::unique_ptr<ChatCore> m_core;
};
