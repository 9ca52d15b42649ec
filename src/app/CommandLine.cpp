#include "app/CommandLine.h"

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
    QCommandLineOption transferPort{
        QStringLiteral("transfer-port"),
        QStringLiteral("TCP port for file transfers (default 54812); every copy must use the same."),
        QStringLiteral("PORT")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the program's version.")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Perix Chat, a serverless messenger for the local network."));
        parser.addOption(loopback);
        parser.addOption(settings);
        parser.addOption(dataDir);
        parser.addOption(transferPort);
        parser.addOption(help);
        parser.addOption(version);
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
    options.showVersion = p.parser.isSet(p.version);
    if (p.parser.isSet(p.transferPort)) {
        bool ok = false;
        const uint port = p.parser.value(p.transferPort).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            options.error = QStringLiteral("Bad transfer port: %1").arg(p.parser.value(p.transferPort));
        else
            options.transferPort = quint16(port);
    }
    return options;
}

QString CommandLineHelp()
{
    Parser p;
    return p.parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("perixchat"));
}

QString VersionText(const QString &program)
{
    return program + u' ' + QStringLiteral(PERIX_VERSION) + u'\n';
}
