#include "app/ui/ModalWindows.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

int CloseModalWindows()
{
    int closed = 0;
    // Bounded: a window that refuses to close is not asked forever.
    for (int round = 0; round < 32; ++round) {
        QWidget *window = QApplication::activePopupWidget();
        if (!window)
            window = QApplication::activeModalWidget();
        if (!window)
            break;
        if (auto *dialog = qobject_cast<QDialog *>(window))
            dialog->reject();
        else
            window->close();
        // A window that stayed open despite it (it ignored the close) is hidden: its loop ends too.
        if (window->isVisible())
            window->hide();
        ++closed;
    }
    return closed;
}
