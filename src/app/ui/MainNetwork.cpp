#include "app/ui/MainNetwork.h"

#include "app/ui/MainMenus.h"
#include "features/LngUn.h"
#include "net/UdpTransport.h"
#include "net/ui/fmNetworkUn.h"
#include "peers/PresenceProbe.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/SendMessageUn.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {
// How often the vanished users wait for a modal window or menu to close.
constexpr int VanishRetryMs = 50;
} // namespace

MainNetwork::MainNetwork(const SettingsStore &store, UdpTransport *transport, MainMenus *menus,
                         int probePeriodMs, Hooks hooks, QWidget *window)
    : QObject(window)
    , m_store(store)
    , m_transport(transport)
    , m_window(window)
    , m_hooks(std::move(hooks))
    , m_sampleTimer(new QTimer(this))
    , m_vanishTimer(new QTimer(this))
    , m_actNetwork(new QAction(ActionCaption(), window))
{
    m_clock.start();
    PresenceProbe::Hooks probeHooks;
    probeHooks.now = [this] {
        return m_clock.elapsed();
    };
    probeHooks.onlinePeers = [this] {
        QList<PresenceProbe::Peer> peers;
        if (!m_userList)
            return peers;
        const PeerList &list = m_userList->peers();
        for (int i = 1; i < list.count(); ++i) {
            const RUserID *entry = list.GetPeer(i);
            if (entry && entry->Online == 1)
                peers.append({entry->ID, entry->IP});
        }
        return peers;
    };
    probeHooks.send = [this](const QHostAddress &to, const QByteArray &payload) {
        return m_transport->SendTo(to, payload);
    };
    probeHooks.testTargets = [this] {
        return m_transport->Destinations();
    };
    m_probe = new PresenceProbe(std::move(probeHooks), probePeriodMs, this);

    connect(m_transport, &UdpTransport::echoReceived, m_probe, &PresenceProbe::EchoReceived);
    connect(m_transport, &UdpTransport::presenceSource, m_probe, &PresenceProbe::NoteSource);
    connect(m_probe, &PresenceProbe::peerVanished, this, &MainNetwork::vanished);
    connect(m_probe, &PresenceProbe::hostAnswersAgain, this, &MainNetwork::greet);

    m_vanishTimer->setSingleShot(true);
    connect(m_vanishTimer, &QTimer::timeout, this, &MainNetwork::handleVanished);
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

void MainNetwork::attachUserList(TfmUserList *userList)
{
    m_userList = userList;
    m_probe->start();
}

void MainNetwork::stop()
{
    m_probe->stop();
    m_vanishTimer->stop();
    m_vanished.clear();
}

void MainNetwork::sample()
{
    m_traffic.sample(m_clock.elapsed(), m_transport->datagramsReceived(), m_transport->datagramsSent());
}

void MainNetwork::vanished(const QString &id)
{
    if (!m_vanished.contains(id) && m_vanished.size() < PresenceProbe::MaxHosts)
        m_vanished.append(id);
    // Handled like a received DISCONNECT: never inside a modal window's loop or an open menu.
    if (!m_vanishTimer->isActive())
        m_vanishTimer->start(0);
}

void MainNetwork::handleVanished()
{
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        m_vanishTimer->start(VanishRetryMs);
        return;
    }
    const QStringList ids = std::exchange(m_vanished, {});
    for (const QString &id : ids) {
        if (m_userList)
            m_userList->PeerVanished(id);
        // A question that the departure raised runs its own loop; the rest wait for it.
        if (QApplication::activeModalWidget()) {
            m_vanished = ids.mid(ids.indexOf(id) + 1) + m_vanished;
            m_vanishTimer->start(VanishRetryMs);
            return;
        }
    }
}

void MainNetwork::greet(const QHostAddress &address)
{
    const RUserID *local = m_userList ? m_userList->GetPeer(0) : nullptr;
    if (local)
        m_transport->SendTo(address, BuildPresencePacket(*local, true));
}

NetworkDiagnosis MainNetwork::Diagnose(bool full) const
{
    NetworkDiagnosis d;
    if (full)
        d = ::Diagnose(*m_transport, QCoreApplication::applicationPid());
    d.receivedLastMinute = m_traffic.receivedLastMinute();
    d.sentLastMinute = m_traffic.sentLastMinute();
    if (m_userList) {
        const PeerList &list = m_userList->peers();
        // A user who left and came back has two entries but was seen once.
        QSet<QString> seen;
        for (int i = 1; i < list.count(); ++i) {
            d.peersOnline += list.GetPeer(i)->Online == 1;
            seen.insert(list.GetPeer(i)->ID);
        }
        d.peersSeen = int(seen.size());
    }
    d.hostsAsked = m_probe->hostCount();
    d.hostsSilent = m_probe->vanishedHostCount();
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
    RUserID *local = m_userList ? m_userList->GetPeer(0) : nullptr;
    if (!local)
        return;
    const QString after = m_transport->LocalIP();
    if (after != before) {
        // The others show the address of the profile; they learn the new one at once.
        local->IP = after;
        if (m_hooks.identityChanged)
            m_hooks.identityChanged();
        m_userList->SendPresence(false);
    }
    // The users behind a newly added address learn of this one now, not at the next start; their
    // answers bring them into the list.
    const Packet hello = BuildPresencePacket(*local, true);
    for (const QHostAddress &address : m_transport->Destinations()) {
        if (!reachedBefore.contains(address))
            m_transport->SendTo(address, hello);
    }
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
    context.probe = m_probe;
    context.help = [this] {
        if (m_hooks.openHelp)
            m_hooks.openHelp(HelpTopic);
    };
    QPointer<MainNetwork> self(this);
    TfmNetwork::Execute(m_window, std::move(context));
    if (self)
        sample();
}
