#pragma once

#include <QString>
#include <QStringList>

struct StartOptions {
    bool loopback = false;
    QString settingsFile;
    QString dataDir;
    quint16 transferPort = 0; // 0: the default
    bool showHelp = false;
    // Not empty when the command line could not be understood.
    QString error;
};

StartOptions ParseCommandLine(const QStringList &arguments);
QString CommandLineHelp();
