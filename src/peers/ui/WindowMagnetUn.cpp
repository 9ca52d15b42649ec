#include "peers/ui/WindowMagnetUn.h"

#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

WindowMagnet::WindowMagnet(QWidget *window, QWidget *anchor)
    : QObject(window)
    , m_window(window)
    , m_anchor(anchor)
    , m_settle(new QTimer(this))
{
    m_settle->setSingleShot(true);
    m_settle->setInterval(SettleMs);
    connect(m_settle, &QTimer::timeout, this, &WindowMagnet::snapNow);
    if (m_window)
        m_window->installEventFilter(this);
    if (m_anchor) {
        m_anchor->installEventFilter(this);
        m_anchorFrame = m_anchor->frameGeometry();
    }
}

bool WindowMagnet::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Move && type != QEvent::Resize && type != QEvent::Show)
        return false;
    if (watched == m_anchor) {
        anchorChanged();
    } else if (watched == m_window && !m_moving && m_window->isVisible()) {
        if (m_anchor)
            m_side = Magnet::DockedSide(m_window->frameGeometry(), m_anchor->frameGeometry());
        if (type == QEvent::Move)
            m_settle->start();
    }
    return false;
}

void WindowMagnet::snapNow()
{
    if (!m_window || !m_window->isVisible())
        return;
    const QRect frame = m_window->frameGeometry();
    const QScreen *screen = m_window->screen();
    const QRect anchor =
        m_anchor && m_anchor->isVisible() && !m_anchor->isMinimized() ? m_anchor->frameGeometry() : QRect();
    const QPoint snapped = Magnet::Snap(frame, anchor, screen ? screen->availableGeometry() : QRect());
    if (snapped != frame.topLeft())
        moveWindow(snapped);
    m_side = anchor.isValid() ? Magnet::DockedSide(m_window->frameGeometry(), anchor) : Magnet::Side::None;
}

void WindowMagnet::anchorChanged()
{
    if (!m_anchor)
        return;
    const QRect before = m_anchorFrame;
    const QRect now = m_anchor->frameGeometry();
    m_anchorFrame = now;
    if (!m_window || !m_window->isVisible() || m_side == Magnet::Side::None || !m_anchor->isVisible() ||
        m_anchor->isMinimized() || before == now)
        return;
    const QRect frame = m_window->frameGeometry();
    const QPoint target = Magnet::Follow(frame, m_side, before, now);
    const QScreen *screen = m_window->screen();
    // A maximised main window would push the docked window off the screen: it stays and lets go.
    if (screen && !screen->availableGeometry().intersects(QRect(target, frame.size()))) {
        m_side = Magnet::Side::None;
        return;
    }
    moveWindow(target);
}

void WindowMagnet::moveWindow(const QPoint &topLeft)
{
    m_moving = true;
    m_window->move(topLeft);
    m_moving = false;
}
