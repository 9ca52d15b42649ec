#include "features/MoodRules.h"

#include <algorithm>

namespace MoodRules {

namespace {
constexpr std::array<QSize, AnimationCount> Sizes = {
    QSize(17, 22), QSize(23, 20), QSize(28, 28), QSize(21, 27), QSize(24, 21), QSize(22, 18),
    QSize(16, 16), QSize(33, 26), QSize(45, 30), QSize(19, 27), QSize(57, 28), QSize(37, 15),
    QSize(39, 18), QSize(26, 16), QSize(31, 20), QSize(30, 21), QSize(61, 15), QSize(64, 22),
    QSize(40, 20), QSize(50, 15), QSize(32, 18), QSize(60, 23), QSize(15, 15)};
constexpr std::array<int, 6> RowStarts = {0, 7, 11, 16, 19, AnimationCount};
} // namespace

int PictureIndexAt(int row, int column)
{
    if (row < 0 || row >= PictureRows || column < 0 || column >= PictureColumns)
        return -1;
    return PictureIndexes[std::size_t(row * PictureColumns + column)];
}

QSize AnimationSize(int number)
{
    return IsAnimationNumber(number) ? Sizes[std::size_t(number)] : QSize();
}

bool IsAnimationNumber(int number)
{
    return number >= 0 && number < AnimationCount;
}

QList<QList<int>> AnimationRows()
{
    QList<QList<int>> rows;
    for (std::size_t r = 0; r + 1 < RowStarts.size(); ++r) {
        QList<int> row;
        for (int n = RowStarts[r]; n < RowStarts[r + 1]; ++n)
            row.append(n);
        rows.append(row);
    }
    return rows;
}

bool CanInsertAnimation(int animationsInMessage)
{
    return animationsInMessage < MaxAnimationsPerMessage;
}

QList<int> AnimationsToTrim(const QList<int> &positionsInOrder, int keep)
{
    QList<int> sorted = positionsInOrder;
    std::sort(sorted.begin(), sorted.end());
    const qsizetype surplus = sorted.size() - std::max(keep, 0);
    return surplus > 0 ? sorted.first(surplus) : QList<int>();
}

QPoint PlacePopup(QPoint corner, QSize popup, QRect desktop)
{
    QPoint at = corner;
    if (at.y() + popup.height() > desktop.bottom() + 1)
        at.ry() -= popup.height();
    if (at.x() + popup.width() > desktop.right() + 1)
        at.rx() -= popup.width();
    return at;
}

} // namespace MoodRules
