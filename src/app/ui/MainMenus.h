#pragma once

#include <QHash>
#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;
class QToolButton;
class MainActionList;

// The two toolbars of the main window with every menu in its place, and the tray menu.
class MainMenus : public QObject {
    Q_OBJECT
public:
    MainMenus(QMainWindow *window, MainActionList *actions);

    QToolBar *tbMainForm() const { return m_tbMainForm; }
    QToolBar *tbAdditional() const { return m_tbAdditional; }
    QMenu *pmTrey() const { return m_pmTrey; }
    // A menu or submenu by its object name ("miMessage", "tbOptions", "tbsiLanguage", ...).
    QMenu *menu(const QString &name) const { return m_menus.value(name); }
    // The toolbar button of a toolbar item by its object name.
    QToolButton *button(const QString &name) const;

    // Captions under the images, or images only.
    void setShowText(bool show);
    void setIconSize(int size);

Q_SIGNALS:
    // One of the submenus that hold user commands is about to drop down, or has closed.
    void userMenuAboutToShow();
    void userMenuHidden();

private:
    QAction *act(const char *name) const;
    void setUpToolbars();
    void buildMainItems(QMainWindow *window);
    void buildOptionsMenu(QMainWindow *window);
    void buildHelpMenu(QMainWindow *window);
    QMenu *buildAdditionalItems(QMainWindow *window);
    void buildTrayMenu(QMainWindow *window, QMenu *autoReply);
    QMenu *addMenu(const QString &name, const QString &caption, QWidget *parent);
    QAction *addMenuItem(QToolBar *bar, const QString &name, const QString &caption, const QIcon &icon,
                         QMenu *menu, QAction *clickCommand);

    MainActionList *m_actions;
    QToolBar *m_tbMainForm;
    QToolBar *m_tbAdditional;
    QMenu *m_pmTrey;
    QHash<QString, QMenu *> m_menus;
    QHash<QString, QAction *> m_items;
};
