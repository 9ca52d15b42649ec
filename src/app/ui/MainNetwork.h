#pragma once

#include "net/NetworkOptions.h"
#include "net/TrafficCounter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAction;
class QTimer;
class QWidget;
class SettingsStore;
class MainMenus;
class PresenceProbe;
class TfmUserList;
class UdpTransport;

// The main window's part of the network: the stored choice of interface and further addresses, the
// probing of the online peers' hosts, the traffic counts, and the "Network..." window under Options.
class MainNetwork : public QObject {
    Q_OBJECT
public:
    // The help topic "Peers not visible?".
    static constexpr int HelpTopic = 9800;

    struct Hooks {
        std::function<bool(int topic)> openHelp;
        // The local user's address changed: show it again.
        std::function<void()> identityChanged;
    };

    // Applies the stored options to the transport, which is not open yet.
    MainNetwork(const SettingsStore &store, UdpTransport *transport, MainMenus *menus, int probePeriodMs,
                Hooks hooks, QWidget *window);
    ~MainNetwork() override;

    // Starts probing the user list's peers.
    void attachUserList(TfmUserList *userList);
    // Probing ends with the endpoints.
    void stop();

    // The "Network..." window, modal.
    void ShowWindow();
    static QString ActionCaption();

    QAction *actNetwork() const { return m_actNetwork; }
    PresenceProbe *probe() const { return m_probe; }
    const TrafficCounter &traffic() const { return m_traffic; }
    NetworkDiagnosis Diagnose(bool full) const;
    // Stores the options and applies them at once.
    void Apply(const NetworkOptions &options);

private:
    void vanished(const QString &id);
    void handleVanished();
    void greet(const QHostAddress &address);
    void sample();

    const SettingsStore &m_store;
    UdpTransport *m_transport;
    QWidget *m_window;
    Hooks m_hooks;
    QElapsedTimer m_clock;
    PresenceProbe *m_probe;
    TrafficCounter m_traffic;
    QTimer *m_sampleTimer;
    QTimer *m_vanishTimer;
    QStringList m_vanished;
    QPointer<TfmUserList> m_userList;
    QAction *m_actNetwork;
};
