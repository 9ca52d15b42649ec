#include "app/ui/MainNetwork.h"

#include "app/ChatCore.h"
#include "app/ui/MainMenus.h"
#include "features/LngUn.h"
#include "net/UdpTransport.h"
#include "net/ui/fmNetworkUn.h"
#include "peers/PeerRegistry.h"
#include "peers/PresenceProbe.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <utility>

MainNetwork::MainNetwork(const SettingsStore &store, UdpTransport *transport, ChatCore *chat, MainMenus *menus,
                         std::function<bool(int topic)> openHelp, QWidget *window)
    : QObject(window)
    , m_store(store)
    , m_transport(transport)
    , m_chat(chat)
    , m_window(window)
    , m_openHelp(std::move(openHelp))
    , m_sampleTimer(new QTimer(this))
    , m_actNetwork(new QAction(ActionCaption(), window))
{
    m_clock.start();
    m_sampleTimer->setInterval(int(TrafficCounter::SampleSpacingMs));
    connect(m_sampleTimer, &QTimer::timeout, this, &MainNetwork::sample);
    sample();
    m_sampleTimer->start();

    m_actNetwork->setObjectName(QStringLiteral("actNetwork"));
    connect(m_actNetwork, &QAction::triggered, this, &MainNetwork::ShowWindow);
    if (QMenu *options = menus ? menus->menu(QStringLiteral("tbOptions")) : nullptr) {
        // Right after the history command, before the first separator.
        const QList<QAction *> items = options->actions();
        const auto separator =
            std::find_if(items.cbegin(), items.cend(), [](const QAction *a) { return a->isSeparator(); });
        options->insertAction(separator == items.cend() ? nullptr : *separator, m_actNetwork);
    }

    NetworkOptions::Read(m_store).ApplyTo(*m_transport);
}

MainNetwork::~MainNetwork() = default;

QString MainNetwork::ActionCaption()
{
    return Lng::Caption(QStringLiteral("actNetwork"), QStringLiteral("Network..."));
}

PresenceProbe *MainNetwork::probe() const
{
    return m_chat->probe();
}

void MainNetwork::sample()
{
    m_traffic.sample(m_clock.elapsed(), m_transport->datagramsReceived(), m_transport->datagramsSent());
}

NetworkDiagnosis MainNetwork::Diagnose(bool full) const
{
    NetworkDiagnosis d;
    if (full)
        d = ::Diagnose(*m_transport, QCoreApplication::applicationPid());
    d.receivedLastMinute = m_traffic.receivedLastMinute();
    d.sentLastMinute = m_traffic.sentLastMinute();
    const PeerList &list = m_chat->registry()->peers();
    // A user who left and came back has two entries but was seen once.
    QSet<QString> seen;
    for (int i = 1; i < list.count(); ++i) {
        d.peersOnline += list.GetPeer(i)->Online == 1;
        seen.insert(list.GetPeer(i)->ID);
    }
    d.peersSeen = int(seen.size());
    d.hostsAsked = probe()->hostCount();
    d.hostsSilent = probe()->vanishedHostCount();
    return d;
}

void MainNetwork::Apply(const NetworkOptions &options)
{
    options.Write(m_store);
    const QString before = m_transport->LocalIP();
    const QList<QHostAddress> reachedBefore = m_transport->Destinations();
    options.ApplyTo(*m_transport);
    if (!m_transport->isOpen())
        m_transport->SetTransportOpen(true);
    m_chat->transportChanged(before, reachedBefore);
}

void MainNetwork::ShowWindow()
{
    NetworkWindowContext context;
    context.diagnose = [this](bool full) {
        return Diagnose(full);
    };
    context.options = NetworkOptions::Read(m_store);
    context.apply = [this](const NetworkOptions &options) {
        Apply(options);
    };
    context.probe = probe();
    context.help = [this] {
        if (m_openHelp)
            m_openHelp(HelpTopic);
    };
    QPointer<MainNetwork> self(this);
    TfmNetwork::Execute(m_window, std::move(context));
    if (self)
        sample();
}
