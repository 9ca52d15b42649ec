#pragma once

#include "SettingsStore.h"
#include "UdpTransport.h"

#include <QString>

struct StartOptions;

// Folders next to the program (or under --data-dir).
struct AppPaths {
    QString dataDir;

    QString lngDir() const { return dataDir + QStringLiteral("/Lng/"); }
    QString soundDir() const { return dataDir + QStringLiteral("/Sound/"); }
    QString historyDir() const { return dataDir + QStringLiteral("/History/"); }
    QString helpFile() const { return dataDir + QStringLiteral("/help/PerixChat.html"); }
};

// What every window of one running copy shares: where it keeps its settings and files,
// and how it reaches the network.
struct AppContext {
    SettingsStore store;
    TransportConfig transport;
    AppPaths paths;

    static AppContext fromOptions(const StartOptions &options);
};
