#pragma once

#include <QPixmap>

// A small padlock in the program's icon style, drawn rather than taken from a font: the emoji lock is
// missing from the fonts of many desktops and would show as an empty box.
QPixmap LockPicture(int sidePx, qreal ratio);
