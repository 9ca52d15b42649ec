#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// The picture chooser's arithmetic: fifteen squares in three rows of five, user pictures 11 to 24 in
// reading order and "no picture" last, and where the chooser opens.
namespace SelectPicture {

inline constexpr int Width = 187;
inline constexpr int Height = 113;
inline constexpr int Columns = 5;
inline constexpr int Rows = 3;
inline constexpr int SquareCount = Columns * Rows;
inline constexpr int SquareSize = 35;
inline constexpr int Gap = 2;
inline constexpr int Margin = 2;
inline constexpr int FirstPicture = 11;

// The square's rectangle in the chooser; empty for an index outside 0..14.
QRect SquareRect(int index);
// The square under the point, or -1 for the background between and around the squares.
int SquareAt(QPoint point);
// The picture number a square stands for: 11..24, and -1 (no picture) for the last one.
int PictureOfSquare(int index);
// The square that shows the picture number, or -1 when none does.
int SquareOfPicture(int picture);

// The chooser's top-left corner: at the button's centre; moved up by its own height when it would
// leave the desktop at the bottom, and left by its own width when it would leave it at the right.
QPoint Position(QPoint buttonCentre, QSize size, const QRect &desktop);

} // namespace SelectPicture
