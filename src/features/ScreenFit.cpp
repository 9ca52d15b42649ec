#include "features/ScreenFit.h"

#include <QtGlobal>

QRect FitIntoArea(const QRect &window, const QRect &area)
{
    if (!area.isValid() || !window.isValid())
        return window;
    const int width = qMin(window.width(), area.width());
    const int height = qMin(window.height(), area.height());
    const int x = qBound(area.left(), window.x(), area.left() + area.width() - width);
    const int y = qBound(area.top(), window.y(), area.top() + area.height() - height);
    return QRect(x, y, width, height);
}
