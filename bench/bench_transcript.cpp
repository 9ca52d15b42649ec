// 10,000 messages of 200 characters into the talk with everybody, against the floor of a bare Qt
// window appending the same header and text to a QTextEdit. Each side runs in a child process of its
// own (so that memory is measured apart), three rounds alternating; the medians and ratios are printed.
#include "BenchFolder.h"
#include "settings/SettingsStore.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QTabWidget>
#include <QTextEdit>
#include <QTime>
#include <QToolBar>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Messages = 10000;
constexpr int Batch = 1000;
constexpr int Rounds = 3;

long residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * 4 : 0;
}

QString messageBody()
{
    return QString(200, u'w').replace(QStringLiteral("wwwww"), QStringLiteral("word "));
}

// Appends every message through `append` and prints "total-ms bytes-per-message first-ms last-ms".
int measure(const std::function<void(int)> &append)
{
    QCoreApplication::processEvents();
    const long before = residentKb();
    QElapsedTimer total;
    total.start();
    QElapsedTimer batch;
    batch.start();
    qint64 first = 0;
    qint64 last = 0;
    for (int i = 1; i <= Messages; ++i) {
        append(i);
        if (i % 100 == 0)
            QCoreApplication::processEvents();
        if (i % Batch == 0) {
            const qint64 ms = batch.restart();
            if (i == Batch)
                first = ms;
            last = ms;
        }
    }
    QCoreApplication::processEvents();
    const qint64 elapsed = total.elapsed();
    std::printf("%lld %.0f %lld %lld\n", static_cast<long long>(elapsed),
                double(residentKb() - before) * 1024.0 / Messages, static_cast<long long>(first),
                static_cast<long long>(last));
    return 0;
}

int runFloor()
{
    QMainWindow window;
    window.addToolBar(QStringLiteral("Tools"))->addAction(QStringLiteral("Send"));
    auto *edit = new QTextEdit;
    edit->setReadOnly(true);
    window.setCentralWidget(edit);
    window.resize(475, 309);
    window.show();
    const QString body = messageBody();
    return measure([&](int i) {
        edit->append(QStringLiteral("[User %1] %2").arg(i % 7).arg(QTime::currentTime().toString(u"hh.mm")));
        edit->append(body);
    });
}

int runPerix(const BenchFolder &folder)
{
    QTabWidget pages;
    pages.resize(475, 309);
    RVStyle style;
    SettingsStore store(folder.filePath(QStringLiteral("settings.ini")));
    TalkCore core(nullptr);
    TalkManager talks(&pages, &core, store, &style, nullptr, nullptr);
    talks.CreateTalk(QStringLiteral("All users"), 1, tkAllUsers, -1, {}, {}, {}, {}, {}, {});
    pages.show();
    const QString body = messageBody();
    return measure([&](int i) {
        talks.AppendMessage(0, QStringLiteral("{SENDER-%1}").arg(i % 7), QStringLiteral("127.0.0.1"), body,
                            0x00204080 + i % 7, i % 25, QStringLiteral("User %1").arg(i % 7));
    });
}

struct Figures {
    double ms = 0, bytes = 0, first = 0, last = 0;
};

Figures runChild(const QString &program, const QString &mode)
{
    QProcess child;
    child.start(program, {QStringLiteral("--mode"), mode});
    Figures f;
    if (!child.waitForFinished(120000))
        return f;
    const QList<QByteArray> v = child.readAllStandardOutput().trimmed().split(' ');
    if (v.size() == 4)
        f = {v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[3].toDouble()};
    return f;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolder folder;
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--mode")); at >= 0 && at + 1 < args.size())
        return args.at(at + 1) == QStringLiteral("floor") ? runFloor() : runPerix(folder);

    std::vector<double> floorMs, floorBytes, perixMs, perixBytes, growth;
    for (int round = 0; round < Rounds; ++round) {
        const Figures f = runChild(app.applicationFilePath(), QStringLiteral("floor"));
        const Figures p = runChild(app.applicationFilePath(), QStringLiteral("perix"));
        floorMs.push_back(f.ms);
        floorBytes.push_back(f.bytes);
        perixMs.push_back(p.ms);
        perixBytes.push_back(p.bytes);
        growth.push_back(p.first > 0 ? p.last / p.first : 0);
    }
    const double fm = median(floorMs), pm = median(perixMs), fb = median(floorBytes), pb = median(perixBytes);
    std::printf("10,000 messages: %.0f ms, floor (bare QTextEdit) %.0f ms, ratio %.2f (target <= 1.5)\n", pm,
                fm, fm > 0 ? pm / fm : 0);
    std::printf("memory per message: %.0f bytes, floor %.0f bytes, ratio %.2f (target <= 1.5)\n", pb, fb,
                fb > 0 ? pb / fb : 0);
    std::printf("last 1,000 / first 1,000: %.2f (target <= 1.2)\n", median(growth));
    return 0;
}
