// Start-up of the program to its first paint, and its memory then, against a bare Qt window
// (bench_start_floor) started the same way: offscreen and on a display of its own (Xvfb, when
// installed). Each figure is a child process started from here, in interleaved rounds; the time runs from
// the moment the process is started until its window's first frame is painted. Loopback only.
// bench_start [rounds]
#include "BenchFolder.h"
#include "StartMark.h"
#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "app/Identity.h"
#include "app/ui/PerixApplication.h"
#include "app/ui/PerixChatProgram.h"
#include "app/ui/TELInstanceChecker.h"
#include "app/ui/TPerixChatForm.h"
#include "settings/SettingsStore.h"
#include "settings/TMyUserData.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMainWindow>
#include <QProcess>
#include <QStandardPaths>

#include <sys/prctl.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

constexpr int DefaultRounds = 5;
constexpr int MaxRounds = 30;
// The whole run ends within this, whatever the children do.
constexpr int BudgetMs = 50000;
constexpr int ChildMs = StartMark::LifetimeMs + 5000;

// The program's own start, as its main() does it, with the first paint marked.
int runProgram(int argc, char *argv[], const QString &folder)
{
    PerixApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Perix Chat"));
    StartOptions options;
    options.loopback = true;
    options.settingsFile = folder + QStringLiteral("/settings.ini");
    options.dataDir = folder;
    TELInstanceChecker guard(QString::fromLatin1(TELInstanceChecker::InstanceIdentifier),
                             QFileInfo(options.settingsFile).absoluteFilePath());
    if (!guard.ClaimFirstInstance())
        return 5;
    AppContext context = AppContext::fromOptions(options);
    if (LoadIdentity(context).mustRefuseStart())
        return 3;
    PerixChatProgram program(std::move(context));
    program.start();
    // The window shows when the loop runs: the mark is in time.
    const StartMark mark(program.mainWindow());
    const int status = app.exec();
    program.close();
    return status;
}

// The bare window again, but from this binary: the same libraries load, so the difference to the
// program is what the program itself does before its first paint.
int runLinkedFloor(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.resize(475, 309);
    const StartMark mark(&window);
    window.show();
    return app.exec();
}

struct Sample {
    double ms = -1;
    double kbAtPaint = -1;
    double kbSettled = -1;
};

// Starts one child with the platform given and reads its mark.
Sample runChild(const QString &program, const QStringList &arguments, const QProcessEnvironment &base,
                const QString &platform, const QDeadlineTimer &budget)
{
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setStandardErrorFile(QProcess::nullDevice());
    // A child outlives no parent, however the parent ends.
    child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    env.insert(QStringLiteral("PERIX_BENCH_T0"), QString::number(StartMark::nowUs()));
    child.setProcessEnvironment(env);
    child.start(program, arguments);
    const int wait = int(std::min<qint64>(ChildMs, std::max<qint64>(budget.remainingTime(), 1)));
    if (!child.waitForFinished(wait)) {
        child.kill();
        child.waitForFinished(2000);
        return {};
    }
    const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
    if (child.exitCode() != 0 || f.size() != 3)
        return {};
    return {f[0].toDouble() / 1000.0, f[1].toDouble(), f[2].toDouble()};
}

// A display of its own: Xvfb says its number on the descriptor given.
class OwnDisplay {
public:
    OwnDisplay()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("1280x1024x24")});
        QElapsedTimer clock;
        clock.start();
        while (!m_server.canReadLine() && m_server.state() != QProcess::NotRunning && clock.elapsed() < 10000)
            m_server.waitForReadyRead(100);
        const QByteArray number = m_server.readLine().trimmed();
        if (!number.isEmpty())
            m_name = QStringLiteral(":") + QString::fromLatin1(number);
    }
    ~OwnDisplay()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(3000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }
    QString name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

struct Summary {
    double min = 0, median = 0, max = 0;
};

Summary summarize(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? Summary{} : Summary{v.front(), v[v.size() / 2], v.back()};
}

struct Series {
    std::vector<double> ms, kbPaint, kbSettled;
    void add(const Sample &s)
    {
        ms.push_back(s.ms);
        kbPaint.push_back(s.kbAtPaint);
        kbSettled.push_back(s.kbSettled);
    }
};

void printRow(const char *what, const std::vector<double> &floor, const std::vector<double> &figure,
              double scale, const char *unit, double target)
{
    const Summary f = summarize(floor), p = summarize(figure);
    const double ratio = f.median > 0 ? p.median / f.median : 0;
    std::printf("  %-22s floor %7.1f %s  program %7.1f %s  ratio %.2f (target <= %.2f)\n"
                "  %-22s floor min/median/max %.1f/%.1f/%.1f  program %.1f/%.1f/%.1f  rounds:",
                what, f.median / scale, unit, p.median / scale, unit, ratio, target, "", f.min / scale,
                f.median / scale, f.max / scale, p.min / scale, p.median / scale, p.max / scale);
    for (size_t i = 0; i < floor.size() && i < figure.size(); ++i)
        std::printf(" %.2f", floor[i] > 0 ? figure[i] / floor[i] : 0.0);
    std::printf("\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && QByteArray(argv[1]) == "--program")
        return runProgram(argc, argv, QString::fromLocal8Bit(argv[2]));
    // For profiling the program's start by hand: makes the user folder that --program expects.
    if (argc > 2 && QByteArray(argv[1]) == "--prepare") {
        const QString user = QString::fromLocal8Bit(argv[2]);
        QDir().mkpath(user);
        TSetUserData(SettingsStore(user + QStringLiteral("/settings.ini"))).SetAlias("Bench");
        return 0;
    }
    if (argc > 1 && QByteArray(argv[1]) == "--linked-floor")
        return runLinkedFloor(argc, argv);
    const BenchFolder folder;

    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::clamp(QByteArray(argv[1]).toInt(), 1, MaxRounds) : DefaultRounds;
    const QDeadlineTimer budget(BudgetMs);
    // A user who has started before: name, keys and settings are there (the first start asks for a name).
    const QString user = folder.filePath(QStringLiteral("user"));
    QDir().mkpath(user);
    TSetUserData(SettingsStore(user + QStringLiteral("/settings.ini"))).SetAlias("Bench");
    const QString self = QCoreApplication::applicationFilePath();
    const QString floorBinary = QStringLiteral(PERIX_START_FLOOR_BINARY);
    const QStringList programArgs{QStringLiteral("--program"), user};
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    runChild(self, programArgs, env, QStringLiteral("offscreen"), budget);

    const OwnDisplay display;
    struct Platform {
        QString name;
        QProcessEnvironment env;
        Series floor, text, linked, program;
    };
    std::vector<Platform> platforms{{QStringLiteral("offscreen"), env, {}, {}, {}, {}}};
    if (!display.name().isEmpty()) {
        QProcessEnvironment x = env;
        x.insert(QStringLiteral("DISPLAY"), display.name());
        x.remove(QStringLiteral("WAYLAND_DISPLAY"));
        platforms.push_back({QStringLiteral("xcb"), x, {}, {}, {}, {}});
    }
    int done = 0;
    for (int round = 0; round < rounds && !budget.hasExpired(); ++round) {
        for (Platform &p : platforms) {
            // Alternating which goes first keeps a warm cache from favouring one side.
            Sample a, b, c, t;
            if (round % 2) {
                b = runChild(self, programArgs, p.env, p.name, budget);
                c = runChild(self, {QStringLiteral("--linked-floor")}, p.env, p.name, budget);
                t = runChild(floorBinary, {QStringLiteral("--text")}, p.env, p.name, budget);
                a = runChild(floorBinary, {}, p.env, p.name, budget);
            } else {
                a = runChild(floorBinary, {}, p.env, p.name, budget);
                t = runChild(floorBinary, {QStringLiteral("--text")}, p.env, p.name, budget);
                c = runChild(self, {QStringLiteral("--linked-floor")}, p.env, p.name, budget);
                b = runChild(self, programArgs, p.env, p.name, budget);
            }
            if (a.ms < 0 || b.ms < 0 || c.ms < 0 || t.ms < 0) {
                std::fprintf(stderr, "bench_start: round %d on %s had no first paint in time\n", round + 1,
                             qPrintable(p.name));
                continue;
            }
            p.floor.add(a);
            p.linked.add(c);
            p.text.add(t);
            p.program.add(b);
        }
        ++done;
    }
    std::printf(
        "start to first paint: the program against a bare QMainWindow (floor), %d rounds; the\n"
        "floor is a binary of its own that links Qt Widgets only, the linked floor the same window\n"
        "from a binary that links the whole program (what the program itself adds), the text floor\n"
        "the bare window showing one line of text (what the font system costs any window with words)\n",
        done);
    if (display.name().isEmpty())
        std::printf("  (no Xvfb: offscreen only)\n");
    bool any = false;
    for (const Platform &p : platforms) {
        if (p.floor.ms.empty())
            continue;
        any = true;
        std::printf("%s:\n", qPrintable(p.name));
        printRow("start to first paint", p.floor.ms, p.program.ms, 1.0, "ms", 1.25);
        printRow("memory at first paint", p.floor.kbPaint, p.program.kbPaint, 1024.0, "MB", 1.2);
        printRow("memory 1 s later", p.floor.kbSettled, p.program.kbSettled, 1024.0, "MB", 1.2);
        printRow("linked: first paint", p.linked.ms, p.program.ms, 1.0, "ms", 1.25);
        printRow("linked: memory", p.linked.kbPaint, p.program.kbPaint, 1024.0, "MB", 1.2);
        printRow("text: first paint", p.text.ms, p.program.ms, 1.0, "ms", 1.25);
        printRow("text: memory", p.text.kbPaint, p.program.kbPaint, 1024.0, "MB", 1.2);
    }
    return any ? 0 : 1;
}
