#pragma once

#include <QColor>
#include <QPoint>

class QToolBar;
class QWidget;

namespace MoodPopup {

// The colour of a cell under the mouse.
inline const QColor HoverColour{182, 189, 210};

// Moves the popup next to the send toolbar: the toolbar's corner in its parent plus the offset,
// taken as a point of the toolbar and brought to the screen, then kept on the desktop. Without a
// toolbar the popup stays where it is.
void PlaceNextTo(QWidget *popup, const QToolBar *toolbar, QPoint offset);

} // namespace MoodPopup
