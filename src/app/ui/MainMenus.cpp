#include "app/ui/MainMenus.h"
#include "features/ui/ToolbarKeys.h"

#include "app/ui/MainActionList.h"
#include "features/ui/ImageList.h"

#include <QAction>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

MainMenus::MainMenus(QMainWindow *window, MainActionList *actions)
    : QObject(window)
    , m_actions(actions)
    , m_tbMainForm(new QToolBar(QStringLiteral("Main"), window))
    , m_tbAdditional(new QToolBar(QStringLiteral("Additional"), window))
{
    setUpToolbars();
    buildMainItems(window);
    buildOptionsMenu(window);
    buildHelpMenu(window);
    QMenu *autoReply = buildAdditionalItems(window);

    for (const char *name : {"miMessage", "miMyProfile", "miMailVariant"}) {
        QMenu *m = menu(QLatin1StringView(name));
        connect(m, &QMenu::aboutToShow, this, &MainMenus::userMenuAboutToShow);
        connect(m, &QMenu::aboutToHide, this, &MainMenus::userMenuHidden);
    }

    buildTrayMenu(window, autoReply);
}

QAction *MainMenus::act(const char *name) const
{
    return m_actions->action(QLatin1StringView(name));
}

void MainMenus::setUpToolbars()
{
    for (QToolBar *bar : {m_tbMainForm, m_tbAdditional}) {
        bar->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
        bar->setFloatable(false);
        bar->setMovable(true);
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        // Both toolbars share one row at the top of a small window: keep the buttons close.
        bar->setContentsMargins(0, 0, 0, 0);
        bar->layout()->setSpacing(0);
        bar->setStyleSheet(QStringLiteral("QToolBar { padding: 0px; spacing: 0px; }"
                                          "QToolButton { padding: 1px; margin: 0px; }"));
    }
    m_tbMainForm->setObjectName(QStringLiteral("tbMainForm"));
    MakeToolbarReachable(m_tbMainForm);
    MakeToolbarReachable(m_tbAdditional);
    m_tbAdditional->setObjectName(QStringLiteral("tbAdditional"));
}

void MainMenus::buildMainItems(QMainWindow *window)
{
    // "Talk": a click starts a talk with the chosen user, the arrow offers both kinds.
    QMenu *talk = addMenu("miMessage", QStringLiteral("Talk"), window);
    talk->addAction(act("actMessageToUser"));
    talk->setDefaultAction(act("actMessageToUser"));
    talk->addAction(act("actMessageToGroup"));
    QAction *talkItem = addMenuItem(m_tbMainForm, "miMessage", QStringLiteral("Talk"),
                                    ToolbarIcon(QStringLiteral("talk"), 32), talk, act("actMessageToUser"));
    talkItem->setToolTip(act("actMessageToUser")->toolTip() + QStringLiteral(" (") +
                         act("actMessageToUser")->shortcut().toString(QKeySequence::NativeText) + u')');
    m_tbMainForm->addSeparator();
    m_tbMainForm->addAction(act("actShowUserList"));

    QMenu *profile = addMenu("miMyProfile", act("actUserMyProfile")->text(), window);
    profile->addAction(act("actUserMyProfile"));
    profile->setDefaultAction(act("actUserMyProfile"));
    profile->addAction(act("actUserNetProfile"));
    addMenuItem(m_tbMainForm, "miMyProfile", act("actUserMyProfile")->text(), act("actUserMyProfile")->icon(),
                profile, act("actUserMyProfile"))
        ->setToolTip(act("actUserMyProfile")->toolTip());
    m_tbMainForm->addSeparator();
}

void MainMenus::buildOptionsMenu(QMainWindow *window)
{
    QMenu *options = addMenu("tbOptions", QStringLiteral("Options"), window);
    options->addAction(act("actHideProgramm"));
    options->addAction(act("actShowHistoryMessage"));
    options->addSeparator();
    options->addMenu(addMenu("tbsiLanguage", QStringLiteral("Language"), options));
    QMenu *panels = addMenu("tbPanelsOfTools", QStringLiteral("Panels of tools"), options);
    // The entry's caption follows the toolbar's caption.
    panels->addAction(m_tbAdditional->toggleViewAction());
    options->addMenu(panels);
    options->addSeparator();
    options->addAction(act("actStayOnTop"));
    options->addAction(act("actStayOnTopUserList"));
    options->addSeparator();
    QMenu *other = addMenu("miOther", QStringLiteral("Other options"), options);
    const auto submenu = [this, other](const char *name, const QString &caption,
                                       const QList<QAction *> &items) {
        QMenu *m = addMenu(QLatin1StringView(name), caption, other);
        m->addActions(items);
        other->addMenu(m);
    };
    submenu("miAnimationGIF", QStringLiteral("Gif animation"),
            {act("actStopAnimation"), act("actShowAnimation")});
    submenu("miMessageFormat", QStringLiteral("Message format"),
            {act("actShowUserIPWhenMessage"), act("actShowDataTimewhenMessage"),
             act("actShowPictureWhenMessage")});
    submenu("miPlaySound", QStringLiteral("Sounds"),
            {act("actSoundPerixChat"), act("actSoundUserConnect"), act("actSoundUserDisconnect"),
             act("actSoundNewMessage")});
    submenu("miButtonOptions", QStringLiteral("Buttons"),
            {act("actBtnBigIcon"), act("actBtnLitleIcon"), act("actShowText")});
    other->addSeparator();
    other->addAction(act("actShowHint"));
    other->addAction(act("actClearDialogParametr"));
    options->addMenu(other);
    addMenuItem(m_tbMainForm, "tbOptions", QStringLiteral("Options"),
                ToolbarIcon(QStringLiteral("options"), 32), options, nullptr)
        ->setToolTip(QStringLiteral("Please press for adjustment of the program"));
}

void MainMenus::buildHelpMenu(QMainWindow *window)
{
    QMenu *help = addMenu("miHelpTB", act("actHelp")->text(), window);
    help->addAction(act("actHelp"));
    help->setDefaultAction(act("actHelp"));
    help->addSeparator();
    help->addActions({act("actPerixChatOnTheWeb"), act("actTechnicalSupport"), act("actSiteOurCompany")});
    help->addSeparator();
    help->addAction(act("actAbout"));
    addMenuItem(m_tbMainForm, "miHelpTB", act("actHelp")->text(), act("actHelp")->icon(), help,
                act("actHelp"))
        ->setToolTip(act("actHelp")->toolTip());
}

// Returns the auto-reply menu, which the tray menu mirrors.
QMenu *MainMenus::buildAdditionalItems(QMainWindow *window)
{
    // The auto-reply menu: its variants are filled in by the auto-reply.
    QMenu *autoReply = addMenu("miAnsweringMachine", QStringLiteral("Auto-Reply"), window);
    QAction *disconnect = autoReply->addAction(ToolbarIcon(QStringLiteral("auto-reply-off"), 16),
                                               QStringLiteral("Disconnect Auto-Reply"));
    disconnect->setObjectName(QStringLiteral("miDisconnectAnsweringMachine"));
    disconnect->setVisible(false);
    autoReply->addMenu(addMenu("miVariants", QStringLiteral("Variants"), autoReply));
    autoReply->addSeparator();
    autoReply->addAction(act("actAnsweringmachineOptions"));
    addMenuItem(m_tbAdditional, "miAnsweringMachine", QStringLiteral("Auto-Reply"),
                ToolbarIcon(QStringLiteral("auto-reply"), 32), autoReply, nullptr)
        ->setToolTip(QStringLiteral("Please press for inclusion/deenergizing of a mode of an Auto-Reply"));

    QMenu *mail = addMenu("miMailVariant", act("actMailUser")->text(), window);
    mail->addAction(act("actMailUser"));
    mail->setDefaultAction(act("actMailUser"));
    mail->addAction(act("actMailGroup"));
    mail->addSeparator();
    mail->addActions({act("actMailAll"), act("actMailEmpty")});
    addMenuItem(m_tbAdditional, "miMailVariant", act("actMailUser")->text(), act("actMailUser")->icon(), mail,
                act("actMailUser"))
        ->setToolTip(act("actMailUser")->toolTip());
    m_tbAdditional->addSeparator();
    m_tbAdditional->addAction(act("actNotTalkPrivate"));
    m_tbAdditional->addAction(act("actNotTalkGroup"));
    m_tbAdditional->widgetForAction(act("actNotTalkPrivate"))
        ->setObjectName(QStringLiteral("tbiNotTalkPrivate"));
    m_tbAdditional->widgetForAction(act("actNotTalkGroup"))->setObjectName(QStringLiteral("tbiNotTalkGroup"));
    return autoReply;
}

void MainMenus::buildTrayMenu(QMainWindow *window, QMenu *autoReply)
{
    m_pmTrey = addMenu("pmTrey", QString(), window);
    m_pmTrey->addAction(act("actOpen"));
    m_pmTrey->setDefaultAction(act("actOpen"));
    m_pmTrey->addSeparator();
    QMenu *trayAutoReply = addMenu("miAnsweringMachineTrey", QStringLiteral("Auto-Reply"), m_pmTrey);
    // Each time the tray menu opens, its auto-reply entry shows the items of the auto-reply menu.
    connect(m_pmTrey, &QMenu::aboutToShow, trayAutoReply, [trayAutoReply, autoReply] {
        trayAutoReply->clear();
        trayAutoReply->addActions(autoReply->actions());
    });
    m_pmTrey->addMenu(trayAutoReply);
    m_pmTrey->addAction(act("actNotTalkPrivate"));
    m_pmTrey->addAction(act("actNotTalkGroup"));
    m_pmTrey->addSeparator();
    m_pmTrey->addAction(act("actClose"));
}

QMenu *MainMenus::addMenu(const QString &name, const QString &caption, QWidget *parent)
{
    auto *m = new QMenu(caption, parent);
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    m->setToolTipsVisible(true);
    m_menus.insert(name, m);
    return m;
}

QAction *MainMenus::addMenuItem(QToolBar *bar, const QString &name, const QString &caption, const QIcon &icon,
                                QMenu *menu, QAction *clickCommand)
{
    auto *item = new QAction(icon, caption, bar);
    item->setObjectName(name);
    item->setMenu(menu);
    if (clickCommand)
        connect(item, &QAction::triggered, clickCommand, [clickCommand] { clickCommand->trigger(); });
    bar->addAction(item);
    if (auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(item))) {
        b->setObjectName(name);
        // With a command of its own the button runs it and the arrow opens the menu; otherwise the
        // whole button opens the menu.
        b->setPopupMode(clickCommand ? QToolButton::MenuButtonPopup : QToolButton::InstantPopup);
    }
    m_items.insert(name, item);
    return item;
}

QToolButton *MainMenus::button(const QString &name) const
{
    for (QToolBar *bar : {m_tbMainForm, m_tbAdditional}) {
        if (auto *b = bar->findChild<QToolButton *>(name))
            return b;
    }
    return nullptr;
}

void MainMenus::setShowText(bool show)
{
    for (QToolBar *bar : {m_tbMainForm, m_tbAdditional})
        bar->setToolButtonStyle(show ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
}

void MainMenus::setIconSize(int size)
{
    for (QToolBar *bar : {m_tbMainForm, m_tbAdditional})
        bar->setIconSize(QSize(size, size));
}
