#pragma once

#include "protocol/ProtocolUn.h"
#include "transfer/FileOffers.h"
#include "transfer/FileTransferEngine.h"
#include "transfer/TransferKeyring.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class PacketTransport;

// The local user's ID and IP as entry 0 of the user list has them.
struct LocalIdentity {
    QString id;
    QString ip;
};

// A received reference the user asked to fetch.
struct OfferedFile {
    int number = -1; // the record's index: NOMBERFILE
    QString path;
    QString ownerId;
    QString ownerIp;
    QString ownerName;
};

// What to do when the file or folder is in the "Save to:" folder already.
enum class ExistingChoice { Replace, KeepBoth };

// Offers and requests of files: the owner's offers list, FILETO acceptance, and the transfers. The
// FILETO stays the request on the peer port; the content goes over TCP, by the requester's
// connection right after its FILETO.
class FileShare : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 54812;

    FileShare(PacketTransport *transport, std::function<LocalIdentity()> identity, bool loopback,
              quint16 port, QObject *parent = nullptr);
    ~FileShare() override;

    FileOfferList &offers() { return m_offers; }
    FileToGate &gate() { return m_gate; }
    FileTransferEngine &engine() { return *m_engine; }
    quint16 port() const { return m_port; }
    // Fetches from owners with keys go sealed from now on, and sealed FILETOs are taken.
    void setKeys(TransferKeyring keys);

    // The user sent a message with these references; from now on they are served to whoever asks
    // with a FILETO. Starts serving on the TCP port on the first offer, and hashes offered files in
    // the background. The number of paths taken.
    int Offer(const QStringList &paths);
    // Serves on the TCP port from now on, before the message with the references goes out: its
    // receivers may connect the moment it reaches them, while this side is still sending it. False
    // when the port cannot be had; the offer after the send gives the notice.
    bool ServeBeforeOffering();

    // A received FILETO: accepted only when SERVERID is my ID and it names one of my offers. A
    // sealed one (see setKeys) grants the transfer to the requester's key; a plain one that claims a
    // user with keys is refused.
    void ProcessFileTo(const Packet &packet);

    // True when fetching the path into the folder would meet a file or folder of that name.
    static bool TargetExists(const QString &saveDir, const QString &ownerPath);

    // Lists a fetch of the file into saveDir; when its turn comes the FILETO goes and the transfer
    // starts. What is there already is replaced or kept only as the choice says; without a choice
    // nothing is fetched over it. The transfer's id, or -1 when nothing was listed.
    int Request(const OfferedFile &file, const QString &saveDir, std::optional<ExistingChoice> choice);
    // Queues the fetch again: the FILETO again, then the transfer from where it stopped.
    bool Retry(int id);
    bool Cancel(int id);

Q_SIGNALS:
    // Refusals and failures worth a line in the status bar.
    void notice(const QString &text);

private:
    bool ensureListening(bool quiet = false);
    bool sendFileTo(const ReceiveRequest &request);
    void hashInBackground(const QString &path);

    PacketTransport *m_transport;
    std::function<LocalIdentity()> m_identity;
    bool m_loopback;
    quint16 m_port;
    FileOfferList m_offers;
    FileToGate m_gate;
    FileTransferEngine *m_engine;
    TransferKeyring m_keys;
    // Offered files are hashed one after the other while the peers decide whether to fetch them.
    QThreadPool m_hashing;
    std::shared_ptr<std::atomic<bool>> m_stopHashing = std::make_shared<std::atomic<bool>>(false);
};

// The owner's address of a reference, when this copy may connect to it: a literal IPv4 address in
// its plain form (a name is never looked up), of 127.0.0.0/8 in loopback mode.
std::optional<QHostAddress> TransferOwnerAddress(const QString &text, bool loopback);

// A foreign text cut to a length that fits a status line.
QString ShortForNotice(const QString &text, int maxLength = 160);
