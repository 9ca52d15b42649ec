#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class SettingsStore;
class TAutoReply;
class TMainActionList;
class TMainMenus;
class TRVStyle;
class TStatusPanels;
class TTalkManager;
class QWidget;

// The main window's side of the auto-reply: the "Auto-Reply" menu, its "Variants" submenu and the
// Disconnect item show the state of TAutoReply and hand it their clicks; the answer is filled into
// the talk's input editor and sent.
class TMainAutoReply : public QObject {
    Q_OBJECT
public:
    static constexpr int StatusPanel = 4;
    // The picture that starts every answer, from the 32x32 profile pictures.
    static constexpr int AnswerPicture = 3;

    TMainAutoReply(const SettingsStore &store, TMainMenus *menus, TMainActionList *actions,
                   TTalkManager *talks, TRVStyle *style, TStatusPanels *status,
                   std::function<bool(int)> openHelp, QWidget *window);

    TAutoReply *state() const { return m_state; }
    // The menu opens: the Disconnect item and the variants as the state says.
    void Refresh();
    // A private message without the marker was shown on that sheet.
    void Answer(int sheet);
    // The editor window, modal.
    void ShowOptions();

private:
    void rebuildVariants();
    void showState(bool on);

    const SettingsStore &m_store;
    TAutoReply *m_state;
    TMainMenus *m_menus;
    TTalkManager *m_talks;
    TRVStyle *m_style;
    TStatusPanels *m_status;
    std::function<bool(int)> m_openHelp;
    QWidget *m_window;
    QAction *m_actAnsweringMachine;
    QAction *m_miAnsweringMachine = nullptr;
    QAction *m_miDisconnect = nullptr;
    QMenu *m_miVariants;
};
