#pragma once

#include "crypto/IdentityKeys.h"
#include "net/UdpTransport.h"
#include "settings/SettingsStore.h"

#include <QString>

#include <optional>

struct StartOptions;

// Where the program keeps and finds its files. With --data-dir everything lies in that folder.
// Otherwise History lies in the user's data location (next to the program on Windows when that
// folder is writable), and Lng, Sound and help are looked for next to the program first, then in
// the data location, then in the installed data folder (share/perixchat beside the program's bin).
struct AppPaths {
    QString dataDir;
    // Empty when everything lies in dataDir.
    QString programDir;
    // The installed data folder; empty when everything lies in dataDir.
    QString shareDir = {};

    QString lngDir() const { return lookup(QStringLiteral("Lng")) + u'/'; }
    QString soundDir() const { return lookup(QStringLiteral("Sound")) + u'/'; }
    QString historyDir() const { return dataDir + QStringLiteral("/History/"); }
    QString helpFile() const { return lookup(QStringLiteral("help/PerixChat.html")); }

    // The first existing entry of that name next to the program, in the data folder or in the
    // installed data folder; the data folder's one when none exists.
    QString lookup(const QString &name) const;
    // The data folder when no --data-dir is given.
    static QString defaultDataDir(const QString &programDir);
    // Where an installation puts the program's shared files, found from the program's own folder so
    // that a moved or staged installation finds its own.
    static QString installedShareDir(const QString &programDir);
};

// The shortest probe period that the test variable PERIX_TEST_PROBE_PERIOD_MS may set.
inline constexpr int MinTestProbePeriodMs = 200;

// What every window of one running copy shares: where it keeps its settings and files,
// and how it reaches the network.
struct AppContext {
    SettingsStore store;
    TransportConfig transport;
    AppPaths paths;
    // The local user's keys (see LoadIdentity); none: a peer without keys, as the design knows it.
    std::optional<IdentityKeys> identity = {};

    static AppContext fromOptions(const StartOptions &options);
};
