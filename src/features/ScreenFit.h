#pragma once

#include <QRect>

// The window's rectangle moved into the area (a screen's available part), and shrunk where it is
// larger: no window opens past the screen's edge, whatever the scale or the stored place.
QRect FitIntoArea(const QRect &window, const QRect &area);
