#include "app/ui/MainAutoReply.h"

#include "app/ui/MainActionList.h"
#include "app/ui/MainMenus.h"
#include "features/AutoReplyUn.h"
#include "features/LngUn.h"
#include "features/ui/StatusPanels.h"
#include "features/ui/fmAnsweringmachineUn.h"
#include "talks/ui/TalkManager.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>

MainAutoReply::MainAutoReply(const SettingsStore &store, AutoReply *state, MainMenus *menus,
                             MainActionList *actions, TalkManager *talks, StatusPanels *status,
                             std::function<bool(int)> openHelp, QWidget *window)
    : QObject(window)
    , m_store(store)
    , m_state(state)
    , m_menus(menus)
    , m_talks(talks)
    , m_status(status)
    , m_openHelp(std::move(openHelp))
    , m_window(window)
    , m_actAnsweringMachine(actions->action(QStringLiteral("actAnsweringMachine")))
    , m_miVariants(menus->menu(QStringLiteral("miVariants")))
{
    QMenu *autoReply = menus->menu(QStringLiteral("miAnsweringMachine"));
    m_miDisconnect = autoReply->findChild<QAction *>(QStringLiteral("miDisconnectAnsweringMachine"));
    for (QAction *item : menus->tbAdditional()->actions()) {
        if (item->objectName() == QLatin1StringView("miAnsweringMachine"))
            m_miAnsweringMachine = item;
    }
    if (m_miAnsweringMachine)
        m_miAnsweringMachine->setCheckable(true);
    m_actAnsweringMachine->setChecked(false);
    m_miVariants->setEnabled(false);

    connect(autoReply, &QMenu::aboutToShow, this, &MainAutoReply::Refresh);
    // The tray's copy shows the same items; it is filled just before it opens.
    if (QMenu *tray = menus->menu(QStringLiteral("miAnsweringMachineTrey")))
        connect(tray, &QMenu::aboutToShow, this, &MainAutoReply::Refresh);
    if (m_miDisconnect)
        connect(m_miDisconnect, &QAction::triggered, m_state, &AutoReply::DisconnectClicked);
    connect(m_state, &AutoReply::stateChanged, this, &MainAutoReply::showState);
    connect(actions->action(QStringLiteral("actAnsweringmachineOptions")), &QAction::triggered, this,
            &MainAutoReply::ShowOptions);
}

void MainAutoReply::Refresh()
{
    const AutoReplyMenuState &menu = m_state->Refresh(Lng::Caption(
        QStringLiteral("miDisconnectAnsweringMachine"), QStringLiteral("Disconnect Auto-Reply")));
    if (m_miDisconnect) {
        // A caption the user typed: "&" is a character, not a mnemonic.
        m_miDisconnect->setText(QString(menu.disconnectCaption).replace(u'&', QStringLiteral("&&")));
        m_miDisconnect->setVisible(menu.disconnectVisible);
    }
    if (menu.variantsRebuilt)
        rebuildVariants();
}

void MainAutoReply::rebuildVariants()
{
    const AutoReplyMenuState &menu = m_state->menuState();
    m_miVariants->setEnabled(false);
    m_miVariants->clear();
    for (int i = 0; i < menu.variants.size(); ++i) {
        const AutoReplyMenuItem &variant = menu.variants.at(i);
        QAction *item = m_miVariants->addAction(QString(variant.caption).replace(u'&', QStringLiteral("&&")));
        item->setObjectName(QStringLiteral("miVariant"));
        item->setData(variant.section);
        item->setCheckable(true);
        item->setChecked(variant.checked);
        connect(item, &QAction::triggered, m_state, [this, i] { m_state->Pick(i); });
    }
    m_miVariants->setEnabled(menu.variantsEnabled);
}

void MainAutoReply::showState(bool on)
{
    const QList<QAction *> items = m_miVariants->actions();
    const QList<AutoReplyMenuItem> &variants = m_state->variants();
    for (int i = 0; i < items.size() && i < variants.size(); ++i)
        items[i]->setChecked(variants.at(i).checked);
    if (m_miDisconnect)
        m_miDisconnect->setVisible(m_state->disconnectVisible());
    m_actAnsweringMachine->setChecked(on);
    if (m_miAnsweringMachine)
        m_miAnsweringMachine->setChecked(on);
    m_talks->setPrivateInputLocked(on);
    m_status->SetStatusPanel(StatusPanel, on ? m_actAnsweringMachine->text() : QString());
}

void MainAutoReply::ShowOptions()
{
    TfmAnsweringmachine editor(m_store, m_openHelp, m_window);
    editor.exec();
}
