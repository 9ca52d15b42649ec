#include "talks/ui/MoodPopup.h"

#include "features/MoodRules.h"

#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>

namespace MoodPopup {

void PlaceNextTo(QWidget *popup, const QToolBar *toolbar, QPoint offset)
{
    if (!popup || !toolbar)
        return;
    popup->adjustSize();
    const QPoint corner = toolbar->mapToGlobal(toolbar->pos() + offset);
    QScreen *screen = toolbar->screen() ? toolbar->screen() : QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->geometry() : QRect();
    popup->move(desktop.isEmpty() ? corner : MoodRules::PlacePopup(corner, popup->size(), desktop));
}

} // namespace MoodPopup
