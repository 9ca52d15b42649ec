#include "peers/WindowMagnet.h"

#include <cstdlib>

namespace Magnet {

namespace {

// Exclusive right and bottom edges: a window at x = right(anchor) touches the anchor.
int right(const QRect &r)
{
    return r.x() + r.width();
}
int bottom(const QRect &r)
{
    return r.y() + r.height();
}

// The nearest candidate within the distance; earlier candidates win ties.
struct Nearest {
    int distance;
    int value;
    int best;

    Nearest(int maxDistance, int current)
        : distance(maxDistance)
        , value(current)
        , best(maxDistance + 1)
    {}
    void offer(int from, int target, int result)
    {
        const int d = std::abs(from - target);
        if (d <= distance && d < best) {
            best = d;
            value = result;
        }
    }
};

} // namespace

QPoint Snap(const QRect &m, const QRect &a, const QRect &screen, int distance)
{
    const int w = m.width();
    const int h = m.height();
    Nearest x(distance, m.x());
    Nearest y(distance, m.y());

    const bool besideRows = m.y() < bottom(a) + distance && bottom(m) > a.y() - distance;
    const bool besideColumns = m.x() < right(a) + distance && right(m) > a.x() - distance;
    const bool besideX =
        besideRows && (std::abs(m.x() - right(a)) <= distance || std::abs(right(m) - a.x()) <= distance);
    const bool besideY =
        besideColumns && (std::abs(m.y() - bottom(a)) <= distance || std::abs(bottom(m) - a.y()) <= distance);
    if (besideRows) {
        x.offer(m.x(), right(a), right(a));
        x.offer(right(m), a.x(), a.x() - w);
    }
    if (besideColumns) {
        y.offer(m.y(), bottom(a), bottom(a));
        y.offer(bottom(m), a.y(), a.y() - h);
    }
    if (besideX) {
        y.offer(m.y(), a.y(), a.y());
        y.offer(bottom(m), bottom(a), bottom(a) - h);
    }
    if (besideY) {
        x.offer(m.x(), a.x(), a.x());
        x.offer(right(m), right(a), right(a) - w);
    }
    if (screen.isValid()) {
        x.offer(m.x(), screen.x(), screen.x());
        x.offer(right(m), right(screen), right(screen) - w);
        y.offer(m.y(), screen.y(), screen.y());
        y.offer(bottom(m), bottom(screen), bottom(screen) - h);
    }
    return QPoint(x.value, y.value);
}

Side DockedSide(const QRect &m, const QRect &a)
{
    const bool rowsOverlap = m.y() < bottom(a) && bottom(m) > a.y();
    const bool columnsOverlap = m.x() < right(a) && right(m) > a.x();
    if (rowsOverlap && m.x() == right(a))
        return Side::Right;
    if (rowsOverlap && right(m) == a.x())
        return Side::Left;
    if (columnsOverlap && m.y() == bottom(a))
        return Side::Bottom;
    if (columnsOverlap && bottom(m) == a.y())
        return Side::Top;
    return Side::None;
}

QPoint Follow(const QRect &m, Side side, const QRect &oldAnchor, const QRect &newAnchor)
{
    const int dx = newAnchor.x() - oldAnchor.x();
    const int dy = newAnchor.y() - oldAnchor.y();
    switch (side) {
    case Side::Right:
        return QPoint(right(newAnchor), m.y() + dy);
    case Side::Left:
        return QPoint(newAnchor.x() - m.width(), m.y() + dy);
    case Side::Bottom:
        return QPoint(m.x() + dx, bottom(newAnchor));
    case Side::Top:
        return QPoint(m.x() + dx, newAnchor.y() - m.height());
    case Side::None:
        break;
    }
    return m.topLeft();
}

} // namespace Magnet
