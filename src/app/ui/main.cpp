#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "app/Identity.h"
#include "app/UnixSignalWatcher.h"
#include "app/ui/ModalWindows.h"
#include "app/ui/PerixChatProgram.h"
#include "app/ui/TELInstanceChecker.h"
#include "app/ui/TPerixChatForm.h"

#include "app/ui/PerixApplication.h"
#include "features/ui/ImageList.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSessionManager>

#include <cstdio>

namespace {
// One copy per user and settings store: the guard's scope names the store.
QString guardScope(const StartOptions &options)
{
    return options.settingsFile.isEmpty() ? QStringLiteral("user-store")
                                          : QFileInfo(options.settingsFile).absoluteFilePath();
}
} // namespace

int main(int argc, char *argv[])
{
    // Read before the application exists, so that --help and --version work without a display.
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
    if (options.showVersion) {
        std::fputs(qPrintable(VersionText(QStringLiteral("perixchat"))), stdout);
        return 0;
    }

    PerixApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Perix Chat"));
    // Ties the windows to the installed desktop entry (Wayland shells take the icon from it).
    QGuiApplication::setDesktopFileName(QStringLiteral(PERIX_DESKTOP_ID));

    TELInstanceChecker guard(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier),
                             guardScope(options));
    // The lock decides. A later copy waits for the first to answer, and starts as the first copy only
    // when it never does (or when it ended meanwhile and left the claim to this one).
    if (!guard.ClaimFirstInstance()) {
        if (guard.RequestShow(TELInstanceChecker::FirstInstanceWaitMs)) {
            guard.PostText(QString::fromLatin1(TELInstanceChecker::RestartText));
            return 0;
        }
    }

    AppContext context = AppContext::fromOptions(options);
    // As ssh does: a key file that others may read (or that is not sound) is never used nor replaced.
    const KeyFileResult keys = LoadIdentity(context);
    if (keys.mustRefuseStart()) {
        std::fprintf(stderr, "perixchat: %s\n", qPrintable(keys.message));
        if (QGuiApplication::platformName() != QStringLiteral("offscreen")) {
            QApplication::setWindowIcon(ProgramIcon());
            QMessageBox::critical(nullptr, QStringLiteral("Perix Chat"), keys.message);
        }
        return 3;
    }
    if (!keys.hasKeys() && !keys.message.isEmpty())
        std::fprintf(stderr, "perixchat: %s; running without keys\n", qPrintable(keys.message));
    PerixChatProgram program(std::move(context));
    // A request that came while the windows were being created is handled once the loop runs.
    QObject::connect(&guard, &TELInstanceChecker::showRequested, &program, [&program] {
        if (TPerixChatForm *window = program.mainWindow())
            window->ShowFromSecondInstance();
    });
    // Watch the signals before the user is announced: a goodbye must follow every hello.
    UnixSignalWatcher signalWatcher;
    // An open question or error box (the port error at start-up, say) ends unanswered first, so that
    // the program ends at once whatever is open.
    bool terminating = false;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, &program,
                     [&program, &terminating] {
                         terminating = true;
                         CloseModalWindows();
                         program.close();
                     });
    // The desktop session ending closes the program the way its close box does: the talks are kept.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &program,
                     [&program](QSessionManager &) { program.close(); });
    program.start();
    // The signal came while the windows were being made: they close now that they exist.
    if (terminating) {
        program.close();
        return 0;
    }
    // A copy started while this one closes waits until the claim is free, then starts.
    QObject::connect(&program, &PerixChatProgram::finished, &guard, &TELInstanceChecker::StopListening);
    QObject::connect(&program, &PerixChatProgram::finished, &app, &QCoreApplication::quit);
    return app.exec();
}
