#pragma once

#include "transfer/FileTransferEngine.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class ChatCore;
struct CliOptions;

// The file side of the headless peer: the message that offers a file (send --file), the transfers
// as events, and the fetching of what other users offer into the folder of --accept-files.
class CliFileTransfers : public QObject {
    Q_OBJECT
public:
    using Printer = std::function<void(const QJsonObject &event, const QString &text)>;

    CliFileTransfers(ChatCore &core, const CliOptions &options, Printer print, QObject *parent = nullptr);

    // The text of send: the options' text and, with --file, the reference and the file's name on a
    // line of their own, as the window program's editor places them; the send commands turn its line
    // feeds into line breaks. Needs the local entry (the peer has started).
    QString messageText() const;
    // From now on: every transfer and, when listening, every offer is printed; with --accept-files
    // the offers are fetched.
    void watch();
    // One user was sent the file: it has fetched it whole and nothing else is being sent.
    bool servedToOne() const;

private:
    void offered(int talkId, const QString &senderId, const QList<int> &records, const QString &ip,
                 const QString &name);
    void fetch(const QList<int> &records, const QString &name);
    void started(int id);
    void changed(int id);
    QJsonObject transferObject(const TransferInfo &info, const QString &event) const;

    ChatCore &m_core;
    const CliOptions &m_options;
    Printer m_print;
    bool m_watching = false;
    // The end of each transfer is printed once.
    QHash<int, TransferState> m_ended;
    int m_sentWhole = 0;
};
