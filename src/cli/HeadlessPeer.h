#pragma once

#include "cli/CliOptions.h"
#include "settings/SettingsStore.h"
#include "talks/ChatQuestions.h"

#include <QJsonObject>
#include <QObject>

#include <functional>
#include <memory>

struct AppContext;
class QTextStream;
class ChatCore;
class SendVerdict;
class CliFileTransfers;
class UdpTransport;

// Runs one command of the command line on a chat core over UDP: joins the network, waits for the peers
// it needs (bounded by the timeout), sends or prints, and leaves with one DISCONNECT. Questions of
// the talks are answered from the options and printed as events.
class HeadlessPeer : public QObject, public ChatQuestions {
    Q_OBJECT
public:
    HeadlessPeer(AppContext &context, const CliOptions &options, QTextStream &out, QTextStream &err);
    ~HeadlessPeer() override;

    // The exit code.
    int run();
    // Ends a wait or the listening (SIGINT, SIGTERM).
    void terminate();

    PrivateCloseAnswer AskPrivateClose(const QString &alias) override;
    void ShowGroupClosed(const QString &authorAlias, const QString &caption) override;

private:
    int list();
    int send();
    int listen();
    // send --file: serves the file as long as the options say once the message went; the send's code.
    int serveFile(int sendCode);
    // Runs the event loop until `done` holds, the time is up or a termination is asked.
    bool waitFor(const std::function<bool()> &done, int timeoutMs);
    // Until the answers to the NEW have stopped coming for a moment, at most the timeout.
    void waitForAnswers();
    void watchEvents();
    QJsonObject peerObject(int peerIndex) const;
    void print(const QJsonObject &event, const QString &text);
    int result(int sendResult);
    // Waits for the verdict of the message just sent; the exit code.
    int verdict(const SendVerdict &sent);
    // send --to --queue for a user who is not online: the outbox, when the user is known.
    int queue();

    const CliOptions m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<UdpTransport> m_transport;
    std::unique_ptr<ChatCore> m_core;
    const SettingsStore m_store;
    std::unique_ptr<CliFileTransfers> m_files;
    qint64 m_lastArrival = 0;
    bool m_terminated = false;
};
