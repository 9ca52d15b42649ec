#pragma once

#include "peers/WindowMagnet.h"

#include <QObject>
#include <QPointer>
#include <QRect>

class QTimer;
class QWidget;

// Makes a window snap to the edges of an anchor window (and of the screen) when it is moved near
// them, and keeps it docked to the anchor while the anchor moves. The snap comes a moment after the
// last move, when the window manager has let go of the window.
class WindowMagnet : public QObject {
    Q_OBJECT
public:
    static constexpr int SettleMs = 150;

    WindowMagnet(QWidget *window, QWidget *anchor);

    Magnet::Side dockedSide() const { return m_side; }
    // Snaps at once, as the settle timer would.
    void snapNow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void anchorChanged();
    void moveWindow(const QPoint &topLeft);

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_anchor;
    QTimer *m_settle;
    QRect m_anchorFrame;
    Magnet::Side m_side = Magnet::Side::None;
    bool m_moving = false;
};
