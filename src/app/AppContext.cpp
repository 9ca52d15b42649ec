#include "app/AppContext.h"

#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

AppContext AppContext::fromOptions(const StartOptions &options)
{
    AppContext context{options.settingsFile.isEmpty() ? SettingsStore() : SettingsStore(options.settingsFile),
                       TransportConfig{}, AppPaths{}};
    context.transport.loopback = options.loopback;
    if (options.dataDir.isEmpty()) {
        context.paths.programDir = QDir(QCoreApplication::applicationDirPath()).absolutePath();
        context.paths.dataDir = AppPaths::defaultDataDir(context.paths.programDir);
        context.paths.shareDir = AppPaths::installedShareDir(context.paths.programDir);
    } else {
        context.paths.dataDir = QDir(options.dataDir).absolutePath();
    }
    if (options.transferPort != 0)
        context.transport.transferPort = options.transferPort;
    // Only tests shorten the probing, so that a vanished peer goes in seconds.
    bool ok = false;
    const int probePeriod = qEnvironmentVariableIntValue("PERIX_TEST_PROBE_PERIOD_MS", &ok);
    if (ok && probePeriod >= MinTestProbePeriodMs && probePeriod < context.transport.probePeriodMs)
        context.transport.probePeriodMs = probePeriod;
    return context;
}

QString AppPaths::lookup(const QString &name) const
{
    for (const QString &dir : {programDir, dataDir, shareDir}) {
        if (!dir.isEmpty() && QFileInfo::exists(dir + u'/' + name))
            return dir + u'/' + name;
    }
    return dataDir + u'/' + name;
}

QString AppPaths::defaultDataDir(const QString &programDir)
{
#ifdef Q_OS_WIN
    // As the program always did on Windows, unless it was installed where the user cannot write.
    if (!programDir.isEmpty() && QFileInfo(programDir).isWritable())
        return programDir;
#else
    Q_UNUSED(programDir)
#endif
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir(location.isEmpty() ? QDir::homePath() : location).absolutePath();
}

QString AppPaths::installedShareDir(const QString &programDir)
{
    if (programDir.isEmpty())
        return {};
    return QDir::cleanPath(programDir + u'/' + QStringLiteral(PERIX_INSTALL_SHARE_FROM_BIN));
}
