#pragma once

#include "talks/AutoAnswer.h"

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class SettingsStore;
class AutoReply;
class MainActionList;
class MainMenus;
class StatusPanels;
class TalkManager;
class QWidget;

// The main window's side of the auto-reply: the "Auto-Reply" menu, its "Variants" submenu and the
// Disconnect item show the state of AutoReply and hand it their clicks. The peer answers (AutoAnswer).
class MainAutoReply : public QObject {
    Q_OBJECT
public:
    static constexpr int StatusPanel = 4;
    static constexpr int AnswerPicture = AutoAnswer::AnswerPicture;

    MainAutoReply(const SettingsStore &store, AutoReply *state, MainMenus *menus, MainActionList *actions,
                  TalkManager *talks, StatusPanels *status, std::function<bool(int)> openHelp,
                  QWidget *window);

    AutoReply *state() const { return m_state; }
    // The menu opens: the Disconnect item and the variants as the state says.
    void Refresh();
    // The editor window, modal.
    void ShowOptions();

private:
    void rebuildVariants();
    void showState(bool on);

    const SettingsStore &m_store;
    AutoReply *m_state;
    MainMenus *m_menus;
    TalkManager *m_talks;
    StatusPanels *m_status;
    std::function<bool(int)> m_openHelp;
    QWidget *m_window;
    QAction *m_actAnsweringMachine;
    QAction *m_miAnsweringMachine = nullptr;
    QAction *m_miDisconnect = nullptr;
    QMenu *m_miVariants;
};
