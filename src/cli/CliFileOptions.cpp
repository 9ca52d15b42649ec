#include "cli/CliFileOptions.h"

#include "cli/CliOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cmath>

void CliFileOptions::add(QCommandLineParser &parser) const
{
    parser.addOptions({file, serve, acceptFiles});
}

QString CliFileOptions::take(const QCommandLineParser &parser, CliOptions *options) const
{
    const bool sending = options->command == QStringLiteral("send");
    if (parser.isSet(file)) {
        const QString path = parser.value(file);
        if (!sending)
            return QStringLiteral("--file belongs to send");
        if (path.isEmpty() || !QFileInfo::exists(path))
            return QStringLiteral("there is no file or folder %1").arg(path);
        // The message string would take a line feed in the path for a line break.
        if (path.contains(u'\n') || path.contains(u'\r'))
            return QStringLiteral("a path with a line break cannot be offered");
        options->file = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    }
    if (parser.isSet(serve)) {
        if (options->file.isEmpty())
            return QStringLiteral("--serve belongs to send --file");
        bool ok = false;
        const double seconds = parser.value(serve).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400)
            return QStringLiteral("--serve takes seconds from 0 to 86400");
        options->serveMs = int(std::lround(seconds * 1000));
    }
    if (parser.isSet(acceptFiles)) {
        const QString dir = parser.value(acceptFiles);
        if (options->command != QStringLiteral("listen"))
            return QStringLiteral("--accept-files belongs to listen");
        const QFileInfo info(dir);
        if (dir.isEmpty() || (info.exists() && !info.isDir()))
            return QStringLiteral("--accept-files needs a folder: %1").arg(dir);
        options->acceptDir = QDir::cleanPath(info.absoluteFilePath());
    }
    return {};
}
