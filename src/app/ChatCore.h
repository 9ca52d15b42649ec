#pragma once

#include "net/PacketDispatcher.h"
#include "talks/ChatQuestions.h"
#include "talks/TalkCore.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>

struct AppContext;
class Delivery;
class AutoAnswer;
class AutoReply;
class FileExchange;
class PacketQueue;
class PacketTransport;
class PeerRegistry;
class PresenceProbe;
class SecureChannel;
class TalkHistory;
struct RUserID;

// The whole peer, without any window: the queue that hands received packets to their handlers, the
// peer registry, the talks and the presence probe, on a transport that the program makes (real UDP,
// or an in-process hub in tests). The window program observes the registry and the talk core it owns;
// the headless peer drives it from the command line. The user is asked through ChatQuestions.
class ChatCore : public QObject {
    Q_OBJECT
public:
    ChatCore(AppContext &context, PacketTransport &transport, ChatQuestions *questions,
             QObject *parent = nullptr);
    ~ChatCore() override;

    PacketTransport &transport() const { return m_transport; }
    PacketDispatcher &dispatcher() { return m_dispatcher; }
    PacketQueue *queue() const { return m_queue; }
    PeerRegistry *registry() const { return m_registry; }
    TalkCore *talks() const { return m_talks; }
    PresenceProbe *probe() const { return m_probe; }
    // Receipts, retries and the outbox of this peer's packets.
    Delivery *delivery() const { return m_delivery; }
    // Keys, sealed talks and signatures; the registry and the talks send through it.
    SecureChannel *secure() const { return m_secure; }
    TalkHistory *history() const { return m_history; }
    // The auto-reply: its state (on, the chosen variant) and the rule that answers.
    AutoReply *autoReply() const { return m_autoReply; }
    AutoAnswer *autoAnswer() const { return m_autoAnswer; }
    FileExchange *files() const { return m_files; }
    // The window program answers with dialogs once its windows exist.
    void setQuestions(ChatQuestions *questions);
    // The talk with everybody: the first talk (start() makes it unless the program made its own).
    int allUsersTalk() const { return m_talks->allUsersTalk(); }

    // Makes the local entry and the talk with everybody, loads the contact groups, announces the user
    // (NEW) and starts probing the peers' hosts. The transport is open by then.
    void start();
    // Says goodbye (one DISCONNECT) and stops probing; later calls do nothing. The program closes the
    // transport afterwards.
    void stop();
    bool isRunning() const { return m_running; }
    // The transport's address or its destinations changed (the user chose another network): the peers
    // learn the new address, and those behind a newly added destination learn of this user now.
    void transportChanged(const QString &ipBefore, const QList<QHostAddress> &reachedBefore);

    // Commands of a program without windows; plain text, line breaks included.
    SendResult sendToAll(const QString &text);
    SendResult sendToUser(int peerIndex, const QString &text);
    SendResult sendToGroup(int groupNumber, const QString &text);
    // The online peers whose ID is `name`, or else whose alias is `name` (exactly, then ignoring case).
    QList<int> findPeers(const QString &name) const;
    // The contact group whose caption is `name` (ignoring case) or whose number it is; 0 when none.
    int findGroup(const QString &name) const;

private:
    void connectRegistry();
    void connectTalks();
    void connectProbe();
    // The probe found the host of these users silent: each leaves as if it had sent DISCONNECT, in turn
    // with the received packets.
    void vanished(const QString &id);
    void greet(const QHostAddress &address);

    AppContext &m_context;
    PacketTransport &m_transport;
    ChatQuestions *m_questions;
    PacketDispatcher m_dispatcher;
    SecureChannel *m_secure;
    PacketQueue *m_queue;
    TalkCore *m_talks;
    PeerRegistry *m_registry;
    QElapsedTimer m_clock;
    PresenceProbe *m_probe;
    Delivery *m_delivery;
    TalkHistory *m_history;
    AutoReply *m_autoReply;
    AutoAnswer *m_autoAnswer;
    FileExchange *m_files;
    bool m_running = false;
};
