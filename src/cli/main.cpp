// perixchat-cli: a Perix Chat peer without windows, for scripts and cron jobs.
#include "app/AppContext.h"
#include "app/Identity.h"
#include "app/UnixSignalWatcher.h"
#include "cli/CliOptions.h"
#include "cli/HeadlessPeer.h"
#include "cli/KeyReport.h"
#include "cli/PathsReport.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The same name as the window program, so that both find the same default settings and data.
    QCoreApplication::setApplicationName(QStringLiteral("Perix Chat"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const CliOptions options = ParseCliOptions(app.arguments());
    if (options.showHelp) {
        out << CliHelp();
        return ExitSent;
    }
    if (options.showVersion) {
        out << VersionText(QStringLiteral("perixchat-cli"));
        return ExitSent;
    }
    if (!options.error.isEmpty()) {
        err << "perixchat-cli: " << options.error << "\n\n" << CliHelp();
        return ExitUsage;
    }
    AppContext context = AppContext::fromOptions(options.start);
    if (options.command == QStringLiteral("paths")) {
        out << PathsReport(context, options.json);
        return ExitSent;
    }
    const KeyFileResult keys = LoadIdentity(context);
    if (keys.mustRefuseStart()) {
        err << "perixchat-cli: " << keys.message << '\n';
        return ExitKeys;
    }
    if (!keys.hasKeys() && !keys.message.isEmpty())
        err << "perixchat-cli: " << keys.message << "; running without keys\n";
    if (options.showFingerprint) {
        out << FingerprintReport(keys, options.json);
        return keys.hasKeys() ? ExitSent : ExitKeys;
    }
    HeadlessPeer peer(context, options, out, err);
    UnixSignalWatcher termination;
    QObject::connect(&termination, &UnixSignalWatcher::terminationRequested, &peer, &HeadlessPeer::terminate);
    return peer.run();
}
