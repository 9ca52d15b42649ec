#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// Lets one copy run per user and settings store. The first copy holds a lock file and listens on a
// local socket; a later copy finds it there and asks it to show itself. Any failure of this
// machinery counts as being the first copy.
class TELInstanceChecker : public QObject {
    Q_OBJECT
public:
    static constexpr char InstanceIdentifier[] = "{2313123-1231238-48F6-9080-975C20512BE9-TavrelV1.2";
    static constexpr char RestartText[] = "Restart of appendix Perix Chat";

    // scope tells the users apart: copies with different scopes never see each other.
    TELInstanceChecker(const QString &identifier, const QString &scope, QObject *parent = nullptr);
    ~TELInstanceChecker() override;

    // True for the first copy (taking the claim if not yet held), and whenever the guard cannot tell.
    bool ClaimFirstInstance();
    // Asks the first copy to show itself; true when it answered.
    bool RequestShow() const;
    // Sends a text to the first copy; true when it was accepted. Refused in the copy holding the claim.
    bool PostText(const QString &text) const;
    void ReleaseFirstInstance();
    bool holdsClaim() const { return m_claimed; }
    QString serverName() const { return m_serverName; }

Q_SIGNALS:
    void showRequested();
    void OnTextReceived(const QString &text);

private:
    bool send(const QByteArray &line) const;
    void readRequests();

    QString m_identifier;
    QString m_serverName;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    bool m_claimed = false;
};
