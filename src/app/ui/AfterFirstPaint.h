#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

// Runs work once a window has painted its first frame: what the first look does not need (the
// program icon, which window managers read in every size) waits until the user sees the window.
class AfterFirstPaint : public QObject {
    Q_OBJECT
public:
    // A window that never paints (started hidden, or on a display that never shows it) gets its work
    // this long after being asked anyway.
    static constexpr int LatestMs = 2000;

    // The work runs once, from the event loop, unless the window goes first.
    static void run(QWidget *window, std::function<void()> work);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    AfterFirstPaint(QWidget *window, std::function<void()> work);
    void finish();

    std::function<void()> m_work;
    QTimer m_latest;
};
