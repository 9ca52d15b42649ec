#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLockFile;
class ELInstanceListener;

// Lets one copy run per user and settings store. The lock file decides which copy is the first; the
// first copy answers on a local socket from a thread of its own, so that it answers even while it is
// still creating its windows; a later copy waits for that answer, asks it to show itself and ends.
class TELInstanceChecker : public QObject {
    Q_OBJECT
public:
    static constexpr char InstanceIdentifier[] = "{2313123-1231238-48F6-9080-975C20512BE9-TavrelV1.2";
    static constexpr char RestartText[] = "Restart of appendix Perix Chat";
    // How long a later copy waits for the first one to listen and answer.
    static constexpr int FirstInstanceWaitMs = 10000;

    // scope tells the users apart: copies with different scopes never see each other.
    TELInstanceChecker(const QString &identifier, const QString &scope, QObject *parent = nullptr);
    ~TELInstanceChecker() override;

    // True for the first copy (taking the claim if not yet held), and whenever the lock cannot be
    // used at all; false while a live copy holds it.
    bool ClaimFirstInstance();
    // Asks the first copy to show itself, trying again until it answers or waitMs have passed. When
    // the first copy ends meanwhile, this copy takes the claim instead (holdsClaim() tells) and the
    // answer is false.
    bool RequestShow(int waitMs = FirstInstanceWaitMs);
    // Sends a text to the first copy; true when it was accepted. Refused in the copy holding the claim.
    bool PostText(const QString &text) const;
    // The first copy stops answering (it is closing) but keeps the claim until it is released.
    void StopListening();
    void ReleaseFirstInstance();
    bool holdsClaim() const { return m_claimed; }
    // Whether the first copy answers requests (false when its socket could not be opened).
    bool isListening() const;
    QString serverName() const { return m_serverName; }

Q_SIGNALS:
    void showRequested();
    void OnTextReceived(const QString &text);

private:
    enum class LockResult { Taken, HeldByOther, Unusable };
    LockResult takeLock();
    bool send(const QByteArray &line, int timeoutMs) const;
    void handleRequest(const QByteArray &line);

    QString m_identifier;
    QString m_serverName;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<ELInstanceListener> m_listener;
    bool m_claimed = false;
};
