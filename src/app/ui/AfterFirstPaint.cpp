#include "app/ui/AfterFirstPaint.h"

#include <QEvent>
#include <QWidget>

AfterFirstPaint::AfterFirstPaint(QWidget *window, std::function<void()> work)
    : QObject(window)
    , m_work(std::move(work))
{
    window->installEventFilter(this);
    m_latest.setSingleShot(true);
    connect(&m_latest, &QTimer::timeout, this, &AfterFirstPaint::finish);
    m_latest.start(LatestMs);
}

void AfterFirstPaint::run(QWidget *window, std::function<void()> work)
{
    if (window && work)
        new AfterFirstPaint(window, std::move(work));
}

bool AfterFirstPaint::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && watched == parent()) {
        watched->removeEventFilter(this);
        // After this paint and the flush of its frame.
        m_latest.start(0);
    }
    return false;
}

void AfterFirstPaint::finish()
{
    parent()->removeEventFilter(this);
    const std::function<void()> work = std::move(m_work);
    m_work = nullptr;
    deleteLater();
    if (work)
        work();
}
