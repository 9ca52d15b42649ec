#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <optional>

class QTcpServer;
class QThread;
class QTimer;
class FileOfferList;
class FileToGate;

enum class TransferState { Connecting, Running, Done, Failed, Cancelled };
enum class TransferDirection { Receive, Send };

// What the transfer window shows of one transfer.
struct TransferInfo {
    int id = 0;
    TransferDirection direction = TransferDirection::Receive;
    TransferState state = TransferState::Connecting;
    QString name;   // the local name (receiving) or the offered name (sending)
    QString folder; // receiving: the chosen "Save to:" folder
    QString target; // receiving: the file or folder being written
    QString peer;   // the other side
    qint64 done = 0;
    qint64 total = -1;  // unknown until the owner has listed what it sends
    qint64 resumed = 0; // bytes of this run that were already there and only checked
    double speed = 0;   // bytes per second over the last seconds
    qint64 secondsLeft = -1;
    QString error;
};

// One fetch, as the requester starts it right after its FILETO.
struct ReceiveRequest {
    QString serverId;
    QString serverIp;
    quint16 port = 0;
    QString clientIp; // the connection leaves from here, the address the FILETO named
    QString clientId;
    QString path; // the owner's path, exactly as offered
    QString number;
    QString saveDir;
    QString localName;    // already safe; the file or folder created in saveDir
    bool replace = false; // the user agreed to replace what is there
    QString peerName;
};

// Moves files and folders over TCP. The owner side serves only offered paths, and only to the
// address of a FILETO it accepted; the requester side writes into ".part" files that are renamed
// once the SHA-256 of the whole content matches, and resumes from the bytes already there. Each
// connection runs in a thread of its own with a bounded buffer; the engine object and its signals
// live in the thread that created it.
class FileTransferEngine : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxSendSessions = 8;
    static constexpr int GrantWaitMs = 5000;
    static constexpr int ConnectTimeoutMs = 10000;
    static constexpr int IdleTimeoutMs = 30000;

    FileTransferEngine(FileOfferList *offers, FileToGate *gate, QObject *parent = nullptr);
    // Stops every transfer; returns within a second or so.
    ~FileTransferEngine() override;

    // Starts serving on the address and port (0: any free port); true when serving already.
    bool Listen(const QHostAddress &address, quint16 port);
    bool isListening() const;
    quint16 serverPort() const;
    QString listenError() const { return m_listenError; }

    int Receive(const ReceiveRequest &request);
    bool Cancel(int id);
    // Starts a failed or cancelled fetch again; files already complete are kept, a partial one resumes.
    bool Retry(int id);
    // The stored request of a fetch (a retry sends its FILETO again).
    std::optional<ReceiveRequest> request(int id) const;
    void StopAll();

    std::optional<TransferInfo> info(int id) const;
    QList<TransferInfo> transfers() const;
    // Transfers in either direction that have not ended.
    int runningCount() const;

    // Bytes per second for what this side sends; 0 for no limit.
    void setSendRateLimit(qint64 bytesPerSecond) { m_rateLimit.store(bytesPerSecond); }

    struct Shared;
    struct Session;

Q_SIGNALS:
    void transferAdded(int id);
    void transferChanged(int id);
    // A request was turned away, or something offered was left out; for the status bar.
    void refused(const QString &text);

private:
    void incoming(qintptr descriptor);
    void startReceiveThread(Session &session);
    void sendStarted(int id, const QString &name, const QString &peer, qint64 total);
    void sessionEnded(int id, TransferState state, const QString &error, const QSet<QString> &completed);
    void threadFinished(int id);
    void updateProgress();
    bool isRunning(const Session &session) const;
    void ensureTimer();

    FileOfferList *m_offers;
    FileToGate *m_gate;
    QTcpServer *m_server;
    QTimer *m_timer;
    QString m_listenError;
    std::map<int, std::unique_ptr<Session>> m_sessions;
    int m_nextId = 1;
    std::atomic<qint64> m_rateLimit{0};
};
