#pragma once

#include <QCommandLineOption>
#include <QString>

class QCommandLineParser;
struct CliOptions;

// The options of the file commands: "--file" and "--serve" of send, "--accept-files" of listen.
struct CliFileOptions {
    QCommandLineOption file{QStringLiteral("file"), QString(), QStringLiteral("path")};
    QCommandLineOption serve{QStringLiteral("serve"), QString(), QStringLiteral("seconds")};
    QCommandLineOption acceptFiles{QStringLiteral("accept-files"), QString(), QStringLiteral("dir")};

    void add(QCommandLineParser &parser) const;
    // Takes them into the options of a command read already; the error, or an empty text.
    QString take(const QCommandLineParser &parser, CliOptions *options) const;
};
