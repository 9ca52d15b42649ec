#pragma once

#include <QString>
#include <QStringList>

struct StartOptions {
    bool loopback = false;
    QString settingsFile;
    QString dataDir;
    quint16 transferPort = 0; // 0: the default
    bool showHelp = false;
    bool showVersion = false;
    // Not empty when the command line could not be understood.
    QString error;
};

StartOptions ParseCommandLine(const QStringList &arguments);
QString CommandLineHelp();
// "<program> <version>" and a line end, as both programs print it for --version.
QString VersionText(const QString &program);
