#include "peers/SelectPictureLayout.h"

namespace SelectPicture {

QRect SquareRect(int index)
{
    if (index < 0 || index >= SquareCount)
        return {};
    const int column = index % Columns;
    const int row = index / Columns;
    return QRect(Margin + column * (SquareSize + Gap), Margin + row * (SquareSize + Gap), SquareSize,
                 SquareSize);
}

int SquareAt(QPoint point)
{
    for (int i = 0; i < SquareCount; ++i) {
        if (SquareRect(i).contains(point))
            return i;
    }
    return -1;
}

int PictureOfSquare(int index)
{
    if (index < 0 || index >= SquareCount)
        return -1;
    return index == SquareCount - 1 ? -1 : FirstPicture + index;
}

int SquareOfPicture(int picture)
{
    if (picture == -1)
        return SquareCount - 1;
    const int index = picture - FirstPicture;
    return index >= 0 && index < SquareCount - 1 ? index : -1;
}

QPoint Position(QPoint buttonCentre, QSize size, const QRect &desktop)
{
    QPoint topLeft = buttonCentre;
    if (topLeft.y() + size.height() > desktop.y() + desktop.height())
        topLeft.ry() -= size.height();
    if (topLeft.x() + size.width() > desktop.x() + desktop.width())
        topLeft.rx() -= size.width();
    return topLeft;
}

} // namespace SelectPicture
