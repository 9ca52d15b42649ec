#pragma once

#include "net/NetworkOptions.h"
#include "net/TrafficCounter.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QAction;
class QTimer;
class QWidget;
class ChatCore;
class SettingsStore;
class MainMenus;
class PresenceProbe;
class UdpTransport;

// The main window's part of the network: the stored choice of interface and further addresses, the
// traffic counts, and the "Network..." window under Options, which shows the peer's presence probe.
class MainNetwork : public QObject {
    Q_OBJECT
public:
    // The help topic "Peers not visible?".
    static constexpr int HelpTopic = 9800;

    // Applies the stored options to the transport, which is not open yet.
    MainNetwork(const SettingsStore &store, UdpTransport *transport, ChatCore *chat, MainMenus *menus,
                std::function<bool(int topic)> openHelp, QWidget *window);
    ~MainNetwork() override;

    // The "Network..." window, modal.
    void ShowWindow();
    static QString ActionCaption();

    QAction *actNetwork() const { return m_actNetwork; }
    PresenceProbe *probe() const;
    const TrafficCounter &traffic() const { return m_traffic; }
    NetworkDiagnosis Diagnose(bool full) const;
    // Stores the options and applies them at once.
    void Apply(const NetworkOptions &options);

private:
    void sample();

    const SettingsStore &m_store;
    UdpTransport *m_transport;
    ChatCore *m_chat;
    QWidget *m_window;
    std::function<bool(int topic)> m_openHelp;
    QElapsedTimer m_clock;
    TrafficCounter m_traffic;
    QTimer *m_sampleTimer;
    QAction *m_actNetwork;
};
