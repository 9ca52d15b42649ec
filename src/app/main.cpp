#include "AppContext.h"
#include "CommandLine.h"
#include "TPerixChatForm.h"
#include "UnixSignalWatcher.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Read before the application exists, so that --help works without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const StartOptions options = ParseCommandLine(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(options.error), qPrintable(CommandLineHelp()));
        return 2;
    }
    if (options.showHelp) {
        std::fputs(qPrintable(CommandLineHelp()), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Perix Chat"));
    AppContext context = AppContext::fromOptions(options);
    TPerixChatForm mainWindow(context);
    UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, &mainWindow, &QWidget::close);
    mainWindow.show();
    return app.exec();
}
