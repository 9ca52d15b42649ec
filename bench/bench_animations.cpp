// Ten talks, each transcript holding its four animations, one talk in front: the window thread's
// CPU while they run, against the same window with "Stop gif animation" on. Each phase lasts a few
// seconds of wall time; CPU is the process's (and the window thread's) user plus system time.
#include "settings/SettingsStore.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/fmSelectPictureGIFMoodUn.h"
#include "talks/ui/frConnectUserUn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Phase {
    double processPercent;
    double threadPercent;
    double framesPerSecond;
};

Phase measure(AnimationPlayer &player, int ms)
{
    const quint64 frames = player.framesShown();
    const double process = cpuSeconds(RUSAGE_SELF);
    const double thread = cpuSeconds(RUSAGE_THREAD);
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = double(wall.elapsed()) / 1000.0;
    return {100.0 * (cpuSeconds(RUSAGE_SELF) - process) / elapsed,
            100.0 * (cpuSeconds(RUSAGE_THREAD) - thread) / elapsed,
            double(player.framesShown() - frames) / elapsed};
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int Talks = 10;
    constexpr int PhaseMs = 6000;

    QTemporaryDir dir;
    QTabWidget pages;
    pages.resize(475, 309);
    RVStyle style;
    SettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
    TfmSelectPictureGIFMood chooser;
    TalkCore core(nullptr);
    TalkManager talks(&pages, &core, store, &style, nullptr, nullptr);
    talks.setAnimationCatalogue(&chooser);
    talks.CreateTalk(QStringLiteral("All users"), 1, tkAllUsers, -1, {}, {}, {}, {}, {}, {});
    for (int i = 1; i < Talks; ++i)
        talks.CreateTalk(QStringLiteral("Talk %1").arg(i), 11, tkPrivate, -1, {}, {}, {}, {},
                         QStringLiteral("{PEER-%1}").arg(i), QStringLiteral("127.0.0.%1").arg(i + 1));
    pages.show();
    pages.setCurrentIndex(0);

    // Some talk around the animations, then four animations per talk (the most the economy rule keeps).
    for (int sheet = 0; sheet < Talks; ++sheet) {
        for (int m = 0; m < 20; ++m)
            talks.AppendMessage(
                sheet, QStringLiteral("{PEER}"), QStringLiteral("127.0.0.2"),
                QStringLiteral("A line of talk number %1 that wraps a little in the window").arg(m),
                0x00804020, 12, QStringLiteral("Vera"));
        QString body = QStringLiteral("look:");
        for (int a = 0; a < 4; ++a)
            body += QStringLiteral(" {[!CONTROL!]}%1{[/!CONTROL!]}").arg((sheet * 4 + a) % 23);
        talks.AppendMessage(sheet, QStringLiteral("{PEER}"), QStringLiteral("127.0.0.2"), body, 0x00804020,
                            12, QStringLiteral("Vera"));
    }
    AnimationPlayer &player = *chooser.player();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    std::printf("%d talks, %d animations, %d running, page %d in front\n", Talks, player.count(),
                player.runningCount(), pages.currentIndex());

    measure(player, 500); // settle
    const Phase running = measure(player, PhaseMs);
    player.setTranscriptsStopped(true);
    measure(player, 500);
    const Phase stopped = measure(player, PhaseMs);
    std::printf("running: process %.2f %% of one core, window thread %.2f %%, %.1f frames/s\n",
                running.processPercent, running.threadPercent, running.framesPerSecond);
    std::printf("stopped: process %.2f %% of one core, window thread %.2f %%, %.1f frames/s\n",
                stopped.processPercent, stopped.threadPercent, stopped.framesPerSecond);
    std::printf(
        "animations cost %.2f %% of one core (target: under 2 %%); floor (stopped) %.2f %%, ratio %.2f\n",
        running.threadPercent - stopped.threadPercent, stopped.threadPercent,
        stopped.threadPercent > 0 ? running.threadPercent / stopped.threadPercent : 0.0);
    return 0;
}
