#include "features/ui/ToolbarKeys.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

QString commandName(const QAction *action)
{
    QString name = action->text();
    name.remove(u'&');
    if (name.trimmed().isEmpty())
        name = action->toolTip();
    if (name.trimmed().isEmpty())
        name = action->statusTip();
    return name.trimmed();
}

void prepare(QToolButton *button, QObject *keys)
{
    if (button->property("perixReachable").toBool())
        return;
    button->setProperty("perixReachable", true);
    button->setFocusPolicy(Qt::TabFocus);
    // Space runs a split button's command; its menu opens with Alt+Down or the menu key.
    if (button->popupMode() == QToolButton::MenuButtonPopup) {
        button->installEventFilter(keys);
        button->setAccessibleDescription(QStringLiteral("Alt+Down opens its menu"));
    }
    const QPointer<QToolButton> guarded = button;
    const auto name = [guarded] {
        if (!guarded)
            return;
        if (guarded->defaultAction())
            guarded->setAccessibleName(commandName(guarded->defaultAction()));
        else if (guarded->text().trimmed().isEmpty())
            guarded->setAccessibleName(guarded->toolTip());
    };
    name();
    if (QAction *action = button->defaultAction())
        QObject::connect(action, &QAction::changed, button, name);
}

class ToolbarWatch : public QObject {
public:
    explicit ToolbarWatch(QToolBar *bar)
        : QObject(bar)
        , m_bar(bar)
    {
        bar->installEventFilter(this);
        sweep();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && watched != m_bar) {
            const auto *key = static_cast<QKeyEvent *>(event);
            auto *button = qobject_cast<QToolButton *>(watched);
            const bool opens = (key->key() == Qt::Key_Down && key->modifiers() == Qt::AltModifier) ||
                               key->key() == Qt::Key_Menu;
            const bool hasMenu =
                button &&
                (button->menu() || (button->defaultAction() && button->defaultAction()->menu<QMenu *>()));
            if (hasMenu && opens) {
                button->showMenu();
                return true;
            }
        }
        // The bar makes a button for an added command in its own time: the buttons are looked at
        // once the event loop runs, all together.
        const QEvent::Type type = event->type();
        if ((type == QEvent::ChildAdded || type == QEvent::ActionAdded || type == QEvent::Show) &&
            !m_pending) {
            m_pending = true;
            QTimer::singleShot(0, this, [this] {
                m_pending = false;
                sweep();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void sweep()
    {
        for (QToolButton *button : m_bar->findChildren<QToolButton *>(Qt::FindDirectChildrenOnly)) {
            // The bar's own extension button stays as it is.
            if (button->objectName() != QLatin1StringView("qt_toolbar_ext_button"))
                prepare(button, this);
        }
    }

    QToolBar *m_bar;
    bool m_pending = false;
};

} // namespace

void MakeToolbarReachable(QToolBar *bar)
{
    if (!bar || bar->property("perixReachable").toBool())
        return;
    bar->setProperty("perixReachable", true);
    new ToolbarWatch(bar);
}
