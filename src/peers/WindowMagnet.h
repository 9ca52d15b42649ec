#pragma once

#include <QPoint>
#include <QRect>

// The magnet of the user-list window: rectangles are outer window frames in screen coordinates.
// A window dropped within Distance pixels of the main window's outer edge (or of a screen edge)
// snaps flush against it; lying beside the main window it also snaps to its top or bottom line,
// lying above or below it to its left or right line. A window flush against the main window is
// docked and follows the main window when that moves or resizes.
namespace Magnet {

inline constexpr int Distance = 10;

enum class Side { None, Left, Right, Top, Bottom };

// The snapped top-left corner of the moving window; its own position when nothing is near enough.
// An anchor edge wins over a screen edge at the same distance.
QPoint Snap(const QRect &moving, const QRect &anchor, const QRect &screen, int distance = Distance);

// Which side of the anchor the moving window is flush against (edges touching and the two
// overlapping along them); None when it is not.
Side DockedSide(const QRect &moving, const QRect &anchor);

// The docked window's new top-left corner after the anchor changed from oldAnchor to newAnchor:
// flush against the same side, shifted along it as the anchor moved.
QPoint Follow(const QRect &moving, Side side, const QRect &oldAnchor, const QRect &newAnchor);

} // namespace Magnet
