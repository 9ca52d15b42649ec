#pragma once

#include "transfer/FileOffers.h"
#include "transfer/FileTransferEngine.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class IdentityKeys;
class QFile;
class TransferChannel;
struct ManifestEntry;
struct TransferManifest;
namespace TransferWire {
struct HelloMessage;
struct RequestMessage;
} // namespace TransferWire

// Thread-safe reports of a send session to the engine.
struct SendReports {
    std::function<void(const QString &name, const QString &peer, qint64 total)> started;
    std::function<void(TransferState state, const QString &error)> finished;
    std::function<void(const QString &text)> notice;
};

// The owner's side of one connection, run in its own thread: reads the request, checks it against
// the offers and the accepted FILETOs, lists what it sends and sends each file asked for. A requester
// whose FILETO came sealed greets first and is served through the stream, by key and not by address.
class SendSession {
public:
    SendSession(SendReports reports, FileOfferList *offers, FileToGate *gate, ServeSlots *places,
                std::shared_ptr<FileTransferEngine::Shared> shared, const std::atomic<qint64> &rateLimit,
                const TransferLimits &limits, std::shared_ptr<const IdentityKeys> identity = {});

    void run(qintptr descriptor);

private:
    // The hello of a requester with keys: finds the key its sealed FILETO came under and seals the
    // channel; then its request, which only that key can have made. False when it was answered.
    bool greet(TransferChannel &channel, const QByteArray &hello, const QString &peer, QByteArray *payload,
               QByteArray *key);
    // The offer the request names, once its FILETO came from the connection's address, or sealed
    // by the key the connection proved.
    std::optional<FileOffer> authorize(const TransferWire::RequestMessage &request, const QHostAddress &peer,
                                       const QByteArray &key, QString *reason);
    // Takes a place to send, lists the offer to the requester and serves it.
    void answer(TransferChannel &channel, const TransferWire::RequestMessage &request, const FileOffer &offer,
                const QString &peer);
    void refuse(TransferChannel &channel, const QString &reason);
    void serve(TransferChannel &channel, const FileOffer &offer, const TransferManifest &manifest);
    bool sendFile(TransferChannel &channel, QFile &file, const ManifestEntry &entry, qint64 offset,
                  QByteArray &buffer);
    void finishFromChannel(const TransferChannel &channel, const QString &okError = QString());

    void notice(const QString &text) { m_reports.notice(text); }
    void finish(TransferState state, const QString &error) { m_reports.finished(state, error); }

    SendReports m_reports;
    FileOfferList *m_offers;
    FileToGate *m_gate;
    ServeSlots *m_slots;
    std::shared_ptr<FileTransferEngine::Shared> m_shared;
    const std::atomic<qint64> &m_rateLimit;
    const TransferLimits m_limits;
    const std::shared_ptr<const IdentityKeys> m_identity;
    QDeadlineTimer m_requestBy;
};
