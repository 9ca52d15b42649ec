#include "support/CorePeer.h"

#include "app/ChatCore.h"
#include "net/PacketTransport.h"
#include "peers/PeerRegistry.h"

namespace {

// The alias goes into the profile before the peer reads it.
AppContext prepare(const TempFolder &folder, const QString &alias, int probePeriodMs)
{
    if (!alias.isNull())
        folder.setAlias(alias);
    AppContext context{folder.store(), TransportConfig{}, AppPaths{}};
    context.transport.loopback = true;
    context.transport.probePeriodMs = probePeriodMs;
    context.paths.dataDir = folder.path();
    // A file offered on the hub is served on a free port: port 54812 belongs to the UDP tests.
    context.transport.transferPort = 0;
    return context;
}

} // namespace

CorePeer::CorePeer(const QString &alias, std::unique_ptr<PacketTransport> transport, int probePeriodMs)
    : m_context(prepare(m_folder, alias, probePeriodMs))
    , m_transport(std::move(transport))
    , m_core(std::make_unique<ChatCore>(m_context, *m_transport, &m_questions))
{}

CorePeer::~CorePeer()
{
    // The peer goes before its transport; no goodbye unless the test said it.
    m_core.reset();
}

void CorePeer::start()
{
    m_core->start();
}

void CorePeer::stop()
{
    m_core->stop();
}

PeerRegistry *CorePeer::registry() const
{
    return m_core->registry();
}

TalkCore *CorePeer::talks() const
{
    return m_core->talks();
}

QStringList CorePeer::online() const
{
    QStringList aliases;
    const PeerList &peers = registry()->peers();
    for (int k = 1; k < peers.count(); ++k) {
        if (const RUserID *peer = peers.GetPeer(k); peer && peer->Online == 1)
            aliases.append(peer->Alias);
    }
    return aliases;
}

int CorePeer::indexOf(const QString &id) const
{
    return registry()->peers().findOnline(id);
}
