#include "peers/EarlyNewAnswer.h"

#include "peers/PeerRegistry.h"
#include "protocol/ProtocolClassUn.h"

EarlyNewAnswer::EarlyNewAnswer(PeerRegistry *registry, Waiting waiting, QObject *parent)
    : QObject(parent)
    , m_registry(registry)
    , m_waiting(std::move(waiting))
{}

void EarlyNewAnswer::received(const Packet &packet)
{
    if (!m_registry || !m_waiting || ClassifyPacket(packet) != pkNew || !m_waiting())
        return;
    const RUserID *me = m_registry->local();
    QString id;
    try {
        id = TDataNewMessage(packet).GetID();
    } catch (...) {
        return;
    }
    // Our own announcement comes back to us; a NEW without an ID is answered when it is handled.
    if (!me || id.isEmpty() || id == me->ID)
        return;
    if (!m_window.isValid() || m_window.elapsed() >= 1000) {
        m_window.start();
        m_inWindow = 0;
    }
    if (m_inWindow >= MaxAnswersPerSecond)
        return;
    ++m_inWindow;
    ++m_answered;
    m_registry->SendPresence(false);
    m_registry->NoteNewAnswered(id);
}
