#include "AppContext.h"

#include "CommandLine.h"

#include <QCoreApplication>
#include <QDir>

AppContext AppContext::fromOptions(const StartOptions &options)
{
    AppContext context{options.settingsFile.isEmpty() ? SettingsStore() : SettingsStore(options.settingsFile),
                       TransportConfig{}, AppPaths{}};
    context.transport.loopback = options.loopback;
    if (options.transferPort != 0)
        context.transport.transferPort = options.transferPort;
    const QString dir = options.dataDir.isEmpty() ? QCoreApplication::applicationDirPath() : options.dataDir;
    context.paths.dataDir = QDir(dir).absolutePath();
    return context;
}
