#include "transfer/ui/TfmFileTransfers.h"

#include "features/LngUn.h"
#include "features/ui/PeerText.h"
#include "features/ui/ShellOpen.h"
#include "transfer/FileShare.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

enum Column { ColName, ColPeer, ColProgress, ColSpeed, ColTimeLeft, ColState, ColumnCount };
constexpr int IdRole = Qt::UserRole + 1;

QString stateText(const TransferInfo &info)
{
    switch (info.state) {
    case TransferState::Waiting:
        return Lng::Caption(QStringLiteral("TransferWaiting"), QStringLiteral("Waiting"));
    case TransferState::Connecting:
        return Lng::Caption(QStringLiteral("TransferConnecting"), QStringLiteral("Connecting"));
    case TransferState::Running:
        return info.direction == TransferDirection::Send
                   ? Lng::Caption(QStringLiteral("TransferSending"), QStringLiteral("Sending"))
                   : Lng::Caption(QStringLiteral("TransferReceiving"), QStringLiteral("Receiving"));
    case TransferState::Done:
        return Lng::Caption(QStringLiteral("TransferDone"), QStringLiteral("Done"));
    case TransferState::Failed:
        return Lng::Caption(QStringLiteral("TransferFailed"), QStringLiteral("Failed")) +
               QStringLiteral(": ") + info.error;
    case TransferState::Cancelled:
        return Lng::Caption(QStringLiteral("TransferCancelled"), QStringLiteral("Cancelled"));
    }
    return {};
}

} // namespace

QString FormatBytes(qint64 bytes)
{
    if (bytes < 0)
        return QStringLiteral("?");
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(bytes / 1024);
    if (bytes < qint64(1024) * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f',
                                           bytes < 10 * 1024 * 1024 ? 1 : 0);
    return QStringLiteral("%1 GB").arg(double(bytes) / (1024.0 * 1024 * 1024), 0, 'f', 1);
}

QString FormatSpeed(double bytesPerSecond)
{
    if (bytesPerSecond <= 0)
        return {};
    if (bytesPerSecond < 1024)
        return QStringLiteral("%1 B/s").arg(qint64(bytesPerSecond));
    if (bytesPerSecond < 1024 * 1024)
        return QStringLiteral("%1 KB/s").arg(qint64(bytesPerSecond / 1024));
    return QStringLiteral("%1 MB/s").arg(bytesPerSecond / (1024 * 1024), 0, 'f', 1);
}

QString FormatTimeLeft(qint64 seconds)
{
    if (seconds < 0)
        return {};
    const qint64 h = seconds / 3600;
    const qint64 m = seconds / 60 % 60;
    const qint64 s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

TfmFileTransfers::TfmFileTransfers(FileShare *share, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_share(share)
    , m_list(new QTreeWidget(this))
    , m_cancel(
          new QPushButton(Lng::Caption(QStringLiteral("btnCancelTransfer"), QStringLiteral("&Cancel")), this))
    , m_retry(
          new QPushButton(Lng::Caption(QStringLiteral("btnRetryTransfer"), QStringLiteral("&Retry")), this))
    , m_openFolder(new QPushButton(
          Lng::Caption(QStringLiteral("btnOpenTransferFolder"), QStringLiteral("&Open folder")), this))
    , m_clear(
          new QPushButton(Lng::Caption(QStringLiteral("btnClearTransfers"), QStringLiteral("C&lear")), this))
{
    setObjectName(QStringLiteral("fmFileTransfers"));
    setWindowTitle(Lng::Caption(QStringLiteral("fmFileTransfersCaption"), QStringLiteral("File transfers")));
    m_list->setObjectName(QStringLiteral("lvTransfers"));
    m_cancel->setObjectName(QStringLiteral("btnCancelTransfer"));
    m_retry->setObjectName(QStringLiteral("btnRetryTransfer"));
    m_openFolder->setObjectName(QStringLiteral("btnOpenTransferFolder"));
    m_clear->setObjectName(QStringLiteral("btnClearTransfers"));
    m_clear->setToolTip(Lng::Caption(QStringLiteral("btnClearTransfersHint"),
                                     QStringLiteral("Remove the ended transfers from the list")));
    m_list->setRootIsDecorated(false);
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels(
        {Lng::Caption(QStringLiteral("TransferColumnName"), QStringLiteral("File or folder")),
         Lng::Caption(QStringLiteral("TransferColumnPeer"), QStringLiteral("With")),
         Lng::Caption(QStringLiteral("TransferColumnProgress"), QStringLiteral("Progress")),
         Lng::Caption(QStringLiteral("TransferColumnSpeed"), QStringLiteral("Speed")),
         Lng::Caption(QStringLiteral("TransferColumnTimeLeft"), QStringLiteral("Time left")),
         Lng::Caption(QStringLiteral("TransferColumnState"), QStringLiteral("State"))});
    m_list->header()->resizeSection(ColName, 180);
    m_list->header()->resizeSection(ColProgress, 150);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_clear);
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_retry);
    buttons->addWidget(m_openFolder);
    layout->addLayout(buttons);
    resize(760, 260);

    FileTransferEngine *engine = &share->engine();
    connect(engine, &FileTransferEngine::transferAdded, this, &TfmFileTransfers::refresh);
    connect(engine, &FileTransferEngine::transferChanged, this, &TfmFileTransfers::refresh);
    connect(engine, &FileTransferEngine::transferRemoved, this, &TfmFileTransfers::removeRow);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &TfmFileTransfers::updateButtons);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_share->Cancel(selectedId()); });
    connect(m_retry, &QPushButton::clicked, this, [this] { m_share->Retry(selectedId()); });
    connect(m_clear, &QPushButton::clicked, this, [this] { m_share->engine().ClearFinished(); });
    connect(m_openFolder, &QPushButton::clicked, this, [this] {
        const std::optional<TransferInfo> info = m_share->engine().info(selectedId());
        if (info && !info->folder.isEmpty())
            ShellOpen::open(QUrl::fromLocalFile(info->folder).toString());
    });
    for (const TransferInfo &info : engine->transfers())
        refresh(info.id);
    updateButtons();
}

QTreeWidgetItem *TfmFileTransfers::row(int id) const
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (m_list->topLevelItem(i)->data(ColName, IdRole).toInt() == id)
            return m_list->topLevelItem(i);
    }
    return nullptr;
}

void TfmFileTransfers::removeRow(int id)
{
    // The row's progress bar goes with it.
    delete row(id);
    updateButtons();
}

void TfmFileTransfers::select(int id)
{
    if (QTreeWidgetItem *item = row(id))
        m_list->setCurrentItem(item);
}

int TfmFileTransfers::selectedId() const
{
    const QTreeWidgetItem *item = m_list->currentItem();
    return item ? item->data(ColName, IdRole).toInt() : -1;
}

void TfmFileTransfers::refresh(int id)
{
    const std::optional<TransferInfo> info = m_share->engine().info(id);
    if (!info)
        return;
    QTreeWidgetItem *item = row(id);
    if (!item) {
        item = new QTreeWidgetItem(m_list);
        item->setData(ColName, IdRole, id);
        auto *bar = new QProgressBar(m_list);
        bar->setRange(0, 1000);
        bar->setTextVisible(true);
        m_list->setItemWidget(item, ColProgress, bar);
        if (!m_list->currentItem())
            m_list->setCurrentItem(item);
    }
    // Names and errors may come from the peer: items show plain text only.
    item->setText(ColName,
                  (info->direction == TransferDirection::Send ? QStringLiteral("↑ ") : QStringLiteral("↓ ")) +
                      info->name);
    item->setToolTip(ColName, info->target.toHtmlEscaped());
    item->setText(ColPeer, PeerText::name(ShortForNotice(info->peer, 60)));
    const bool running = info->state == TransferState::Connecting || info->state == TransferState::Running;
    item->setText(ColSpeed, running ? FormatSpeed(info->speed) : QString());
    item->setText(ColTimeLeft, running ? FormatTimeLeft(info->secondsLeft) : QString());
    item->setText(ColState, ShortForNotice(stateText(*info), 200));
    item->setToolTip(ColState, info->error.toHtmlEscaped());
    if (auto *bar = qobject_cast<QProgressBar *>(m_list->itemWidget(item, ColProgress))) {
        const int permille = info->total > 0 ? int(std::min<qint64>(1000, info->done * 1000 / info->total))
                                             : (info->state == TransferState::Done ? 1000 : 0);
        bar->setValue(permille);
        bar->setFormat(QStringLiteral("%1 / %2").arg(FormatBytes(info->done), FormatBytes(info->total)));
    }
    if (id == selectedId())
        updateButtons();
}

void TfmFileTransfers::updateButtons()
{
    const std::optional<TransferInfo> info = m_share->engine().info(selectedId());
    const bool running =
        info && (info->state == TransferState::Waiting || info->state == TransferState::Connecting ||
                 info->state == TransferState::Running);
    m_cancel->setEnabled(running);
    m_retry->setEnabled(info && info->direction == TransferDirection::Receive &&
                        (info->state == TransferState::Failed || info->state == TransferState::Cancelled));
    m_openFolder->setEnabled(info && info->direction == TransferDirection::Receive);
}
