#include "cli/CliFileTransfers.h"

#include "app/ChatCore.h"
#include "cli/CliOptions.h"
#include "peers/PeerRegistry.h"
#include "transfer/FileExchange.h"
#include "transfer/FileReferences.h"

#include <QFileInfo>
#include <QJsonArray>

namespace {

QString directionName(TransferDirection direction)
{
    return direction == TransferDirection::Send ? QStringLiteral("send") : QStringLiteral("receive");
}

QString endName(TransferState state)
{
    switch (state) {
    case TransferState::Done:
        return QStringLiteral("done");
    case TransferState::Failed:
        return QStringLiteral("failed");
    case TransferState::Cancelled:
        return QStringLiteral("cancelled");
    case TransferState::Waiting:
    case TransferState::Connecting:
    case TransferState::Running:
        break;
    }
    return {};
}

} // namespace

CliFileTransfers::CliFileTransfers(ChatCore &core, const CliOptions &options, Printer print, QObject *parent)
    : QObject(parent)
    , m_core(core)
    , m_options(options)
    , m_print(std::move(print))
{}

QString CliFileTransfers::messageText() const
{
    const RUserID *me = m_core.registry()->local();
    if (m_options.file.isEmpty() || !me)
        return m_options.text;
    // The editor puts a reference on a line of its own, followed by the file's name.
    const QString reference =
        FileReferenceText(me->ID, me->IP, m_options.file) + u' ' + QFileInfo(m_options.file).fileName();
    return m_options.text.isEmpty() ? reference : m_options.text + u'\n' + reference;
}

void CliFileTransfers::watch()
{
    if (m_watching)
        return;
    m_watching = true;
    FileExchange *files = m_core.files();
    FileTransferEngine *engine = &files->share().engine();
    connect(engine, &FileTransferEngine::transferAdded, this, &CliFileTransfers::started);
    connect(engine, &FileTransferEngine::transferChanged, this, &CliFileTransfers::changed);
    connect(&files->share(), &FileShare::notice, this, [this](const QString &text) {
        m_print(
            {{QStringLiteral("event"), QStringLiteral("transfer-notice")}, {QStringLiteral("text"), text}},
            text);
    });
    if (m_options.command == QStringLiteral("listen"))
        connect(files, &FileExchange::filesReceived, this,
                [this](int talkId, const QString &senderId, const QList<int> &records, const QString &ip,
                       const QString &name) { offered(talkId, senderId, records, ip, name); });
}

bool CliFileTransfers::servedToOne() const
{
    return m_sentWhole > 0 && m_core.files()->share().engine().runningCount() == 0;
}

void CliFileTransfers::offered(int talkId, const QString &senderId, const QList<int> &records,
                               const QString &ip, const QString &name)
{
    QJsonArray files;
    QStringList paths;
    for (const int index : records) {
        const std::optional<RLFile> record = m_core.files()->records().at(index);
        if (!record)
            continue;
        files.append(QJsonObject{{QStringLiteral("record"), index},
                                 {QStringLiteral("path"), record->Path},
                                 {QStringLiteral("owner"), record->OwnerID},
                                 {QStringLiteral("ownerIp"), record->OwnerIP}});
        paths.append(record->Path);
    }
    m_print({{QStringLiteral("event"), QStringLiteral("files-offered")},
             {QStringLiteral("talk"), talkId},
             {QStringLiteral("from"), QJsonObject{{QStringLiteral("id"), senderId},
                                                  {QStringLiteral("alias"), name},
                                                  {QStringLiteral("ip"), ip}}},
             {QStringLiteral("files"), files}},
            name + QStringLiteral(" (") + ip + QStringLiteral(") offers: ") +
                paths.join(QStringLiteral(", ")));
    if (!m_options.acceptDir.isEmpty())
        fetch(records, name);
}

void CliFileTransfers::fetch(const QList<int> &records, const QString &name)
{
    FileExchange *files = m_core.files();
    for (const int index : records) {
        const std::optional<RLFile> record = files->records().at(index);
        if (!record)
            continue;
        // Nothing is fetched over what is there: a second copy gets a name of its own.
        const std::optional<ExistingChoice> choice =
            FileShare::TargetExists(m_options.acceptDir, record->Path)
                ? std::optional(ExistingChoice::KeepBoth)
                : std::nullopt;
        files->Request(index, m_options.acceptDir, choice, name);
    }
}

QJsonObject CliFileTransfers::transferObject(const TransferInfo &info, const QString &event) const
{
    QJsonObject object{{QStringLiteral("event"), event},
                       {QStringLiteral("transfer"), info.id},
                       {QStringLiteral("direction"), directionName(info.direction)},
                       {QStringLiteral("name"), info.name},
                       {QStringLiteral("peer"), info.peer}};
    if (info.direction == TransferDirection::Receive)
        object.insert(QStringLiteral("target"), info.target);
    return object;
}

void CliFileTransfers::started(int id)
{
    const std::optional<TransferInfo> info = m_core.files()->share().engine().info(id);
    if (!info)
        return;
    const QString verb = info->direction == TransferDirection::Send ? QStringLiteral("sending %1 to %2")
                                                                    : QStringLiteral("receiving %1 from %2");
    m_print(transferObject(*info, QStringLiteral("transfer-started")),
            QStringLiteral("transfer %1 started: ").arg(id) + verb.arg(info->name, info->peer));
    changed(id);
}

void CliFileTransfers::changed(int id)
{
    const std::optional<TransferInfo> info = m_core.files()->share().engine().info(id);
    if (!info)
        return;
    const QString end = endName(info->state);
    // A failed fetch may be tried again; each end is news once.
    if (end.isEmpty() || m_ended.value(id, TransferState::Running) == info->state) {
        if (end.isEmpty())
            m_ended.remove(id);
        return;
    }
    m_ended.insert(id, info->state);
    if (info->state == TransferState::Done && info->direction == TransferDirection::Send)
        ++m_sentWhole;
    QJsonObject event = transferObject(*info, QStringLiteral("transfer-") + end);
    event.insert(QStringLiteral("bytes"), info->done);
    if (!info->error.isEmpty())
        event.insert(QStringLiteral("error"), info->error);
    QString text =
        QStringLiteral("transfer %1 %2: %3 (%4 bytes)").arg(id).arg(end, info->name).arg(info->done);
    if (!info->error.isEmpty())
        text += QStringLiteral(": ") + info->error;
    m_print(event, text);
}
