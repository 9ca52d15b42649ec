#pragma once

#include "app/CommandLine.h"

#include <QString>

// Exit codes that scripts can rely on.
enum CliExit {
    ExitSent = 0,
    ExitUsage = 1,
    ExitNotFound = 2,
    ExitNetwork = 3,
    ExitNotDelivered = 4,
    ExitKeys = 5
};

// The command line of the headless peer: "list", "send", "listen" or "paths" with their options.
struct CliOptions {
    StartOptions start;
    QString command;
    // send: exactly one of them.
    QString to;
    QString group;
    bool all = false;
    QString text;
    // How long to wait for peers; for listen, how long to listen (0: until SIGINT or SIGTERM).
    int timeoutMs = 5000;
    bool timeoutGiven = false;
    bool json = false;
    // A peer closes our private talk with it: keep ours open (otherwise it closes as well).
    bool keepTalks = false;
    // send --to: a user who is away, or a message not delivered, waits in the outbox.
    bool queue = false;
    // Private messages are answered with this text, or with this variant of the settings file (by
    // caption or number); at most one of them.
    QString autoReply;
    QString autoReplyVariant;
    // send: a file or folder offered with the message (absolute), and how long it is served at most
    // (0: until SIGINT or SIGTERM). listen: the folder that offered files are fetched into.
    QString file;
    int serveMs = 600000;
    QString acceptDir;
    bool showHelp = false;
    bool showVersion = false;
    // Print the own key fingerprint and the key file, then end.
    bool showFingerprint = false;
    // Not empty when the command line could not be understood.
    QString error;
};

CliOptions ParseCliOptions(const QStringList &arguments);
QString CliHelp();
