#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

// Marks the first paint of a window in a child of bench_start: the time from the moment the parent
// started the process (PERIX_BENCH_T0, CLOCK_MONOTONIC in microseconds) until the first frame of the
// window is painted, and the resident memory then and a while later. Prints "us kb kb" and quits.
class StartMark : public QObject {
public:
    static constexpr int SettleMs = 1000;
    // Bounded whatever the window does: a child that never paints ends anyway.
    static constexpr int LifetimeMs = 20000;

    explicit StartMark(QWidget *window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
        QTimer::singleShot(LifetimeMs, qApp, [] { QCoreApplication::exit(4); });
    }

    static qint64 nowUs()
    {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
    }

    static long residentKb()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
        return -1;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_seen || event->type() != QEvent::Paint)
            return false;
        const auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || widget->window() != m_window)
            return false;
        m_seen = true;
        // A zero timer runs once this paint and the flush of the frame are over.
        QTimer::singleShot(0, this, [this] {
            const qint64 at = nowUs() - qgetenv("PERIX_BENCH_T0").toLongLong();
            const long kb = residentKb();
            QTimer::singleShot(SettleMs, this, [at, kb] {
                std::printf("%lld %ld %ld\n", static_cast<long long>(at), kb, residentKb());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        });
        return false;
    }

private:
    QWidget *m_window;
    bool m_seen = false;
};
