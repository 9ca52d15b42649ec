#include "talks/ui/FileOfferCommands.h"

#include "features/LngUn.h"
#include "features/ui/FileDialogs.h"
#include "features/ui/ImageList.h"
#include "features/ui/MessageBox.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/StatusPanels.h"
#include "protocol/ConstUnit.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"
#include "transfer/FileRecords.h"
#include "transfer/TransferPaths.h"
#include "transfer/ui/TfmFileTransfers.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

QStringList EditorFilePaths(const QTextDocument *doc)
{
    QStringList paths;
    if (!doc)
        return paths;
    for (const RichItem &item : RichItems(doc)) {
        if (item.kind == RichItemKind::File && !item.path.isEmpty())
            paths.append(item.path);
    }
    return paths;
}

namespace {

QImage shellIcon(const QString &path)
{
    const QIcon icon = QFileIconProvider().icon(QFileInfo(path));
    const QImage image = icon.pixmap(32, 32).toImage();
    if (!image.isNull())
        return image.size() == QSize(32, 32) ? image : image.scaled(32, 32, Qt::KeepAspectRatio);
    return ProfileImages32().image(5);
}

QStringList localPaths(const QMimeData *mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile() && QFileInfo::exists(url.toLocalFile()))
            paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return paths;
}

QString defaultFolder()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return downloads.isEmpty() ? QDir::homePath() : downloads;
}

} // namespace

FileOfferCommands::FileOfferCommands(const Context &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_menu(new QMenu(context.window))
{
    m_menu->setObjectName(QStringLiteral("pmFileOrFolder"));
    for (QAction *action : {context.open, context.saveAs, context.get}) {
        if (action)
            m_menu->addAction(action);
    }
    if (context.open)
        m_menu->setDefaultAction(context.open);
    connect(m_menu, &QMenu::aboutToShow, this, &FileOfferCommands::menuAboutToShow);
    if (context.open)
        connect(context.open, &QAction::triggered, this, &FileOfferCommands::openCurrent);
    if (context.saveAs)
        connect(context.saveAs, &QAction::triggered, this, &FileOfferCommands::saveCurrentAs);
    if (context.get)
        connect(context.get, &QAction::triggered, this, &FileOfferCommands::getCurrent);
    if (context.insertFile)
        connect(context.insertFile, &QAction::triggered, this, &FileOfferCommands::insertFile);
    if (context.insertFolder)
        connect(context.insertFolder, &QAction::triggered, this, &FileOfferCommands::insertFolder);
    if (context.showTransfers)
        connect(context.showTransfers, &QAction::triggered, this, [this] {
            transferWindow()->show();
            transferWindow()->raise();
        });
    connect(&share(), &FileShare::notice, this, [this](const QString &text) {
        if (m_context.status)
            m_context.status->ShowNotice(ShortForNotice(text, 300), QPixmap(), QString(), -1);
    });
    // Only a fetch of this user's brings the window up; a peer fetching from us does not.
    connect(&share().engine(), &FileTransferEngine::transferAdded, this, [this](int id) {
        const std::optional<TransferInfo> info = share().engine().info(id);
        if (!info || info->direction != TransferDirection::Receive)
            return;
        TfmFileTransfers *window = transferWindow();
        if (!window->isVisible())
            window->show();
    });
    connect(context.files, &FileExchange::filesReceived, this,
            [this](int, const QString &, const QList<int> &records, const QString &ip, const QString &name,
                   int picture) { OfferFiles(records, picture, ip, name); });
    if (context.window)
        context.window->setAcceptDrops(true);
    qApp->installEventFilter(this);
}

FileOfferCommands::~FileOfferCommands()
{
    qApp->removeEventFilter(this);
    share().engine().StopAll();
}

TfmFileTransfers *FileOfferCommands::transferWindow()
{
    if (!m_transfers)
        m_transfers = new TfmFileTransfers(&share(), m_context.window);
    return m_transfers;
}

void FileOfferCommands::OfferFiles(const QList<int> &records, int picture, const QString &ip,
                                   const QString &name)
{
    if (records.isEmpty() || int(m_pending.size()) >= MaxQueuedConfirmations)
        return;
    m_pending.push_back(PendingOffer{records, picture, ip, name});
    // Never inside the packet's handling: the dialog runs from the event loop.
    if (!m_confirming && m_pending.size() == 1)
        QTimer::singleShot(0, this, &FileOfferCommands::showNextConfirmation);
}

void FileOfferCommands::showNextConfirmation()
{
    if (m_confirming || m_pending.empty())
        return;
    m_confirming = true;
    const PendingOffer offer = m_pending.front();
    m_pending.pop_front();
    const QPointer<FileOfferCommands> self(this);
    confirm(offer);
    if (!self)
        return;
    m_confirming = false;
    if (!m_pending.empty())
        QTimer::singleShot(0, this, &FileOfferCommands::showNextConfirmation);
}

void FileOfferCommands::confirm(const PendingOffer &offer)
{
    QList<FileOfferRow> rows;
    for (const int index : offer.records) {
        if (const std::optional<RLFile> record = m_context.files->records().at(index))
            rows.append(FileOfferRow{index, record->Path, record->SizeKB});
    }
    if (rows.isEmpty())
        return;
    const QPointer<FileOfferCommands> self(this);
    const std::optional<FileConfirmation> answer = TfmInformation::ConfirmFiles(
        m_context.window, rows, offer.picture, offer.ip, offer.name, defaultFolder());
    if (self && answer)
        Fetch(answer->records, answer->folder, offer.name);
}

int FileOfferCommands::Fetch(const QList<int> &records, const QString &folder, const QString &ownerName)
{
    int started = 0;
    for (const int index : records) {
        const std::optional<RLFile> record = m_context.files->records().at(index);
        if (!record || isOwnFile(index))
            continue;
        std::optional<ExistingChoice> choice;
        if (FileShare::TargetExists(folder, record->Path)) {
            const QPointer<FileOfferCommands> self(this);
            const int answer = MessageBox::choose(
                m_context.window,
                Lng::Caption(
                    QStringLiteral("FileExistsQuestion"),
                    QStringLiteral("\"%1\" is in \"%2\" already. Replace it, or keep both and save the "
                                   "new one under another name?"))
                    .arg(TransferPath::LocalName(record->Path), folder),
                {Lng::Caption(QStringLiteral("btnReplace"), QStringLiteral("&Replace")),
                 Lng::Caption(QStringLiteral("btnKeepBoth"), QStringLiteral("&Keep both")),
                 Lng::Caption(QStringLiteral("btnSkip"), QStringLiteral("&Skip"))});
            if (!self)
                return started;
            if (answer == 0)
                choice = ExistingChoice::Replace;
            else if (answer == 1)
                choice = ExistingChoice::KeepBoth;
            else
                continue;
        }
        started += m_context.files->Request(index, folder, choice, ownerName) > 0;
    }
    return started;
}

bool FileOfferCommands::ConfirmClose(QWidget *parent)
{
    const int running = share().engine().runningCount();
    if (running == 0)
        return true;
    return MessageBox::choose(
               parent,
               Lng::Caption(QStringLiteral("CloseWithTransfersQuestion"),
                            QStringLiteral("%1 file transfer(s) are running. Close Perix Chat and "
                                           "stop them?"))
                   .arg(running),
               {Lng::Caption(QStringLiteral("btnCloseAnyway"), QStringLiteral("&Close")),
                ConstUnit::text(ConstUnit::Text::BtnCancel)}) == 0;
}

void FileOfferCommands::StopAll()
{
    share().engine().StopAll();
}

void FileOfferCommands::InsertReferences(const QStringList &paths)
{
    if (!m_context.talks || !m_context.pages || !m_context.style || paths.isEmpty())
        return;
    TfrConnectUser *talk = m_context.talks->frame(m_context.pages->currentIndex());
    if (!talk || talk->reMessage()->isReadOnly())
        return;
    QTextEdit *editor = talk->reMessage();
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    for (const QString &path : paths) {
        if (!editor->document()->isEmpty())
            AppendNewParagraph(cursor, *m_context.style, 0);
        AppendFileControl(cursor, path, shellIcon(path));
        AppendTextItem(cursor, u' ' + QFileInfo(path).fileName(), *m_context.style, 0);
    }
    editor->setTextCursor(cursor);
    EnsureLayout(editor->document());
}

void FileOfferCommands::insertFile()
{
    const QStringList files =
        FileDialogs::OpenFileNames(m_context.window, QString(), QStringLiteral("All files (*.*)"));
    InsertReferences(files);
}

void FileOfferCommands::insertFolder()
{
    const QString folder = FileDialogs::ExistingDirectory(m_context.window, QString(), QDir::homePath());
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        InsertReferences({QDir::toNativeSeparators(folder)});
}

bool FileOfferCommands::isOwnFile(int record) const
{
    return m_context.files->isOwnFile(record);
}

void FileOfferCommands::menuAboutToShow()
{
    const std::optional<RLFile> record = m_context.files->records().at(m_current);
    if (!record)
        return;
    const bool own = isOwnFile(m_current);
    if (m_context.open)
        m_context.open->setEnabled(own);
    if (m_context.saveAs)
        m_context.saveAs->setEnabled(own);
    if (m_context.get)
        m_context.get->setEnabled(!own);
}

void FileOfferCommands::openCurrent()
{
    const std::optional<RLFile> record = m_context.files->records().at(m_current);
    if (record && isOwnFile(m_current) && QFileInfo::exists(record->Path))
        ShellOpen::open(record->Path);
}

void FileOfferCommands::saveCurrentAs()
{
    const std::optional<RLFile> record = m_context.files->records().at(m_current);
    if (!record || !isOwnFile(m_current))
        return;
    const QString target = FileDialogs::SaveFileName(m_context.window, QString(), record->Path,
                                                     QStringLiteral("All file (*.*)"));
    if (target.isEmpty() || !QFileInfo(record->Path).isFile() || target == record->Path)
        return;
    if (QFileInfo::exists(target))
        QFile::remove(target);
    QFile::copy(record->Path, target);
}

void FileOfferCommands::getCurrent()
{
    const std::optional<RLFile> record = m_context.files->records().at(m_current);
    if (!record || isOwnFile(m_current))
        return;
    // Asked like an offer, for this one file or folder.
    confirm(PendingOffer{{m_current}, -1, record->OwnerIP, record->OwnerIP});
}

bool FileOfferCommands::transcriptClick(QTextEdit *edit, const QPoint &pos, const QPoint &globalPos)
{
    QTextDocument *doc = edit->document();
    const QPointF point(pos.x() + edit->horizontalScrollBar()->value(),
                        pos.y() + edit->verticalScrollBar()->value());
    const int hit = doc->documentLayout()->hitTest(point, Qt::ExactHit);
    if (hit < 0)
        return false;
    QTextCursor cursor(doc);
    cursor.setPosition(hit);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    const QTextCharFormat format = cursor.charFormat();
    if (!format.isImageFormat())
        return false;
    if (format.hasProperty(RichProperty::FileRecordIndex)) {
        m_current = format.intProperty(RichProperty::FileRecordIndex);
        m_menu->popup(globalPos);
        return true;
    }
    // A reference in an input editor opens its path, as the control does.
    const QString path = format.stringProperty(RichProperty::FilePath);
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        ShellOpen::open(path);
        return true;
    }
    return false;
}

bool FileOfferCommands::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonRelease) {
        auto *viewport = qobject_cast<QWidget *>(watched);
        auto *edit = viewport ? qobject_cast<QTextEdit *>(viewport->parentWidget()) : nullptr;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (edit && edit->viewport() == viewport && mouse->button() == Qt::LeftButton &&
            (edit->objectName() == u"reAllMessage" || edit->objectName() == u"reMessage") &&
            viewport->window() == m_context.window)
            return transcriptClick(edit, mouse->position().toPoint(), mouse->globalPosition().toPoint());
        return false;
    }
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || !m_context.window || widget->window() != m_context.window)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    const QStringList paths = localPaths(drop->mimeData());
    if (paths.isEmpty())
        return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop)
        InsertReferences(paths);
    return true;
}
