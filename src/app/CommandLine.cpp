#include "CommandLine.h"

#include <QCommandLineParser>

namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption loopback{
        QStringLiteral("loopback"),
        QStringLiteral("Use 127.0.0.1 and broadcast to 127.255.255.255, so that several "
                       "copies on this machine hear each other.")};
    QCommandLineOption settings{
        QStringLiteral("settings"),
        QStringLiteral("Keep the settings in this INI file instead of the user's store."),
        QStringLiteral("FILE")};
    QCommandLineOption dataDir{
        QStringLiteral("data-dir"),
        QStringLiteral("Folder with History, Lng, Sound and help (default: History in the user's "
                       "data folder; Lng, Sound and help next to the program, then there)."),
        QStringLiteral("DIR")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Perix Chat, a serverless messenger for the local network."));
        parser.addOption(loopback);
        parser.addOption(settings);
        parser.addOption(dataDir);
        parser.addOption(help);
    }
};

} // namespace

StartOptions ParseCommandLine(const QStringList &arguments)
{
    Parser p;
    StartOptions options;
    if (!p.parser.parse(arguments)) {
        options.error = p.parser.errorText();
        return options;
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("Unexpected argument: %1").arg(p.parser.positionalArguments().first());
        return options;
    }
    options.loopback = p.parser.isSet(p.loopback);
    options.settingsFile = p.parser.value(p.settings);
    options.dataDir = p.parser.value(p.dataDir);
    options.showHelp = p.parser.isSet(p.help);
    return options;
}

QString CommandLineHelp()
{
    Parser p;
    return p.parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("perixchat"));
}
