// The benchmark runner: a benchmark ends at its time limit whatever it does, a stopped runner ends its
// benchmark at once, and the temporary folder goes in every case.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A benchmark that ignores TERM, names its folder in a file and would run far past any limit. Its
// sleep carries a token of its own, by which the test looks for it among the processes.
QStringList stubbornBenchmark(const QString &marker, const QString &token)
{
    return {QStringLiteral("sh"), QStringLiteral("-c"),
            QStringLiteral("trap '' TERM; echo \"$TMPDIR\" > '%1'; sleep %2").arg(marker, token)};
}

bool processWithArgument(const QString &token)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().split('\0').contains(token.toUtf8()))
            return true;
    }
    return false;
}

QString firstLine(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readLine()).trimmed() : QString();
}

} // namespace

class TestBenchRunner : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void aBenchmarkRunsInAFolderThatGoesAfterIt();
    void aBenchmarkPastItsLimitIsEndedAtIt();
    void aStoppedRunnerEndsItsBenchmarkAtOnce();

private:
    void start(QProcess &runner, const QString &limit, const QStringList &benchmark);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestBenchRunner::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestBenchRunner::start(QProcess &runner, const QString &limit, const QStringList &benchmark)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), m_dir->path());
    runner.setProcessEnvironment(environment);
    runner.start(QStringLiteral(PERIX_RUN_BENCH), QStringList{limit} + benchmark);
    QVERIFY(runner.waitForStarted(5000));
}

void TestBenchRunner::aBenchmarkRunsInAFolderThatGoesAfterIt()
{
    const QString marker = m_dir->filePath(QStringLiteral("folder"));
    QProcess runner;
    start(runner, QStringLiteral("20"),
          {QStringLiteral("sh"), QStringLiteral("-c"),
           QStringLiteral("echo \"$TMPDIR\" > '%1'; test -d \"$TMPDIR\" && echo ran").arg(marker)});
    QVERIFY(runner.waitForFinished(20000));
    QCOMPARE(runner.exitCode(), 0);
    QCOMPARE(runner.readAllStandardOutput().trimmed(), QByteArray("ran"));
    const QString folder = firstLine(marker);
    QVERIFY(folder.startsWith(m_dir->path() + QStringLiteral("/perix-bench-")));
    QVERIFY(!QFileInfo::exists(folder));
}

void TestBenchRunner::aBenchmarkPastItsLimitIsEndedAtIt()
{
    const QString marker = m_dir->filePath(QStringLiteral("folder"));
    const QString token = QStringLiteral("61.%1").arg(QCoreApplication::applicationPid());
    QProcess runner;
    QElapsedTimer clock;
    clock.start();
    start(runner, QStringLiteral("1"), stubbornBenchmark(marker, token));
    QVERIFY(runner.waitForFinished(15000));
    // At the limit, not at the benchmark's own end, and not seconds of grace after it.
    QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(runner.exitCode(), 137);
    QVERIFY(runner.readAllStandardError().contains("stopped at its time limit of 1 s"));
    const QString folder = firstLine(marker);
    QVERIFY(!folder.isEmpty());
    QVERIFY(!QFileInfo::exists(folder));
    QTRY_VERIFY_WITH_TIMEOUT(!processWithArgument(token), 3000);
}

void TestBenchRunner::aStoppedRunnerEndsItsBenchmarkAtOnce()
{
    const QString marker = m_dir->filePath(QStringLiteral("folder"));
    const QString token = QStringLiteral("62.%1").arg(QCoreApplication::applicationPid());
    QProcess runner;
    start(runner, QStringLiteral("60"), stubbornBenchmark(marker, token));
    QTRY_VERIFY_WITH_TIMEOUT(!firstLine(marker).isEmpty(), 10000);
    // The shell starts its sleep just after writing the marker.
    QTRY_VERIFY_WITH_TIMEOUT(processWithArgument(token), 5000);
    QElapsedTimer clock;
    clock.start();
    runner.terminate();
    QVERIFY(runner.waitForFinished(15000));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(runner.exitCode(), 143);
    QVERIFY(!QFileInfo::exists(firstLine(marker)));
    QTRY_VERIFY_WITH_TIMEOUT(!processWithArgument(token), 3000);
}

QTEST_GUILESS_MAIN(TestBenchRunner)
#include "test_benchrunner.moc"
