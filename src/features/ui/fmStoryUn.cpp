#include "features/ui/fmStoryUn.h"
#include "features/ui/ToolbarKeys.h"

#include "features/StoryFileUn.h"
#include "features/LngUn.h"
#include "features/ui/ImageList.h"
#include "features/ui/SaveDialog.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/fmAnsweringmachineUn.h"
#include "protocol/ConstUnit.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int MinDays = 1;
constexpr int MaxDays = 365;
constexpr int InitialDays = 10;
} // namespace

TfmStory::TfmStory(const SettingsStore &store, const QString &historyDir, std::function<bool(int)> openHelp,
                   QWidget *parent)
    : QDialog(parent)
    , m_store(store)
    , m_historyDir(historyDir)
    , m_openHelp(std::move(openHelp))
{
    setObjectName(QStringLiteral("fmStory"));
    buildForm();
    listFiles();
    applyTexts();
    loadOptions();
    m_btnApply->setEnabled(false);
}

void TfmStory::buildForm()
{
    resize(470, 360);
    buildFilesPane();
    buildOptionsPane();
    QHBoxLayout *buttons = buildButtons();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_gbHistoryFile, 1);
    layout->addWidget(m_gpOptions);
    layout->addLayout(buttons);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
}

void TfmStory::buildFilesPane()
{
    m_gbHistoryFile = new QGroupBox(this);
    m_gbHistoryFile->setObjectName(QStringLiteral("gbHistoryFile"));
    const auto action = [this](const char *name, const char *icon) {
        auto *a = new QAction(ToolbarIcon(QLatin1StringView(icon), 16), QString(), this);
        a->setObjectName(QLatin1StringView(name));
        return a;
    };
    m_actOpenFile = action("actOpenFile", "history");
    m_actSaveAs = action("actSaveAs", "save-as");
    m_actMoveFile = action("actMoveFile", "save-as");
    m_actDeleteFile = action("actDeleteFile", "clear-message");
    // The keys work through the window's key handling, so that Del still edits the days field.
    m_actOpenFile->setShortcut(QKeySequence(Qt::Key_Return));
    m_actDeleteFile->setShortcut(QKeySequence(Qt::Key_Delete));
    for (QAction *a : {m_actOpenFile, m_actDeleteFile})
        a->setShortcutContext(Qt::WidgetShortcut);
    connect(m_actOpenFile, &QAction::triggered, this, &TfmStory::OpenFile);
    connect(m_actSaveAs, &QAction::triggered, this, &TfmStory::SaveAs);
    connect(m_actMoveFile, &QAction::triggered, this, &TfmStory::MoveFile);
    connect(m_actDeleteFile, &QAction::triggered, this, &TfmStory::DeleteFile);
    m_toolbar = new QToolBar(m_gbHistoryFile);
    MakeToolbarReachable(m_toolbar);
    m_toolbar->setObjectName(QStringLiteral("tbStoryFile"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->addActions({m_actOpenFile, m_actSaveAs, m_actMoveFile, m_actDeleteFile});
    m_tvHitoryList = new QTreeWidget(m_gbHistoryFile);
    m_tvHitoryList->setObjectName(QStringLiteral("tvHitoryList"));
    m_tvHitoryList->setAccessibleName(QStringLiteral("History files"));
    m_tvHitoryList->setHeaderHidden(true);
    m_tvHitoryList->setRootIsDecorated(false);
    m_tvHitoryList->setContextMenuPolicy(Qt::CustomContextMenu);
    ApplySelectionColors(m_tvHitoryList);
    connect(m_tvHitoryList, &QTreeWidget::itemDoubleClicked, this, &TfmStory::OpenFile);
    buildFilePopup();
    auto *files = new QVBoxLayout(m_gbHistoryFile);
    files->addWidget(m_toolbar);
    files->addWidget(m_tvHitoryList);
}

// The popup's items follow the selection; the toolbar's stay enabled.
void TfmStory::buildFilePopup()
{
    m_pmStoryFile = new QMenu(this);
    m_pmStoryFile->setObjectName(QStringLiteral("pmStoryFile"));
    for (QAction *a : {m_actOpenFile, m_actSaveAs, m_actMoveFile, m_actDeleteFile}) {
        QAction *item = m_pmStoryFile->addAction(a->icon(), QString());
        item->setObjectName(QStringLiteral("mi") + a->objectName().mid(3));
        connect(item, &QAction::triggered, a, &QAction::trigger);
    }
    connect(m_pmStoryFile, &QMenu::aboutToShow, this, [this] {
        const QList<QAction *> items = m_pmStoryFile->actions();
        const QList<QAction *> commands = {m_actOpenFile, m_actSaveAs, m_actMoveFile, m_actDeleteFile};
        for (int i = 0; i < items.size() && i < commands.size(); ++i) {
            items[i]->setText(commands.at(i)->text());
            items[i]->setEnabled(!selectedFile().isEmpty());
        }
    });
    connect(m_tvHitoryList, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        m_pmStoryFile->popup(m_tvHitoryList->viewport()->mapToGlobal(pos));
    });
}

void TfmStory::buildOptionsPane()
{
    m_gpOptions = new QGroupBox(this);
    m_gpOptions->setObjectName(QStringLiteral("gpOptions"));
    m_cbSaveHistory = new QCheckBox(m_gpOptions);
    m_cbSaveHistory->setObjectName(QStringLiteral("cbSaveHistory"));
    m_cbPeriodOfStorage = new QCheckBox(m_gpOptions);
    m_cbPeriodOfStorage->setObjectName(QStringLiteral("cbPeriodOfStorage"));
    m_udDays = new QSpinBox(m_gpOptions);
    m_udDays->setObjectName(QStringLiteral("udDays"));
    m_udDays->setRange(MinDays, MaxDays);
    m_udDays->setValue(InitialDays);
    edDays()->setObjectName(QStringLiteral("edDays"));
    m_udDays->setAccessibleName(QStringLiteral("Days of storage"));
    edDays()->setAccessibleName(QStringLiteral("Days of storage"));
    m_lbDay = new QLabel(m_gpOptions);
    m_lbDay->setObjectName(QStringLiteral("lbDay"));
    m_rbSaveAsRTF = new QRadioButton(m_gpOptions);
    m_rbSaveAsRTF->setObjectName(QStringLiteral("rbSaveAsRTF"));
    m_rbSaveAsTXT = new QRadioButton(m_gpOptions);
    m_rbSaveAsTXT->setObjectName(QStringLiteral("rbSaveAsTXT"));
    m_rbSaveAsTXT->setChecked(true);
    auto *format = new QButtonGroup(this);
    format->addButton(m_rbSaveAsRTF);
    format->addButton(m_rbSaveAsTXT);
    connect(m_cbPeriodOfStorage, &QCheckBox::toggled, this, &TfmStory::periodChanged);
    for (QAbstractButton *b :
         {static_cast<QAbstractButton *>(m_cbSaveHistory),
          static_cast<QAbstractButton *>(m_cbPeriodOfStorage), static_cast<QAbstractButton *>(m_rbSaveAsRTF),
          static_cast<QAbstractButton *>(m_rbSaveAsTXT)})
        connect(b, &QAbstractButton::clicked, this, &TfmStory::optionTouched);
    connect(m_udDays, &QSpinBox::valueChanged, this, &TfmStory::optionTouched);
    connect(edDays(), &QLineEdit::textEdited, this, &TfmStory::optionTouched);
    auto *period = new QHBoxLayout;
    period->addWidget(m_cbPeriodOfStorage);
    period->addWidget(m_udDays);
    period->addWidget(m_lbDay);
    period->addStretch(1);
    auto *options = new QVBoxLayout(m_gpOptions);
    options->addWidget(m_cbSaveHistory);
    options->addLayout(period);
    options->addWidget(m_rbSaveAsRTF);
    options->addWidget(m_rbSaveAsTXT);
}

QHBoxLayout *TfmStory::buildButtons()
{
    m_btnOk = new QPushButton(this);
    m_btnOk->setObjectName(QStringLiteral("btnOk"));
    m_btnCancel = new QPushButton(this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    m_btnApply = new QPushButton(this);
    m_btnApply->setObjectName(QStringLiteral("btnApply"));
    connect(m_btnOk, &QPushButton::clicked, this, &TfmStory::Ok);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnApply, &QPushButton::clicked, this, &TfmStory::Apply);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : {m_btnOk, m_btnCancel, m_btnApply}) {
        // Enter opens the selected file; no button takes it.
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    return buttons;
}

QLineEdit *TfmStory::edDays() const
{
    return m_udDays->findChild<QLineEdit *>();
}

void TfmStory::applyTexts()
{
    const auto caption = [](const char *section, const char *text) {
        return Lng::Caption(QLatin1StringView(section), QLatin1StringView(text));
    };
    setWindowTitle(caption("fmStory", "History of messages"));
    m_gbHistoryFile->setTitle(caption("gbHistoryFile", "History file"));
    m_gpOptions->setTitle(caption("gpOptions", "Save history options"));
    m_cbSaveHistory->setText(caption("cbSaveHistory", "Save history"));
    m_cbPeriodOfStorage->setText(caption("cbPeriodOfStorage", "Period of storage:"));
    m_lbDay->setText(caption("lbDay", "days."));
    m_rbSaveAsRTF->setText(caption("rbSaveAsRTF", "Save history as rich text format (rtf)"));
    m_rbSaveAsTXT->setText(caption("rbSaveAsTXT", "Save history as text (txt)"));
    m_actOpenFile->setText(caption("actOpenFile", "Open file"));
    m_actSaveAs->setText(caption("actSaveAs", "Save as..."));
    m_actDeleteFile->setText(caption("actDeleteFile", "Delete file"));
    m_actMoveFile->setText(caption("actMoveFile", "Move file"));
    m_btnOk->setText(ConstUnit::text(ConstUnit::Text::BtnOk));
    m_btnCancel->setText(ConstUnit::text(ConstUnit::Text::BtnCancel));
    m_btnApply->setText(ConstUnit::text(ConstUnit::Text::BtnApply));
}

void TfmStory::listFiles()
{
    // History file names are the program's own, but other files may lie in the folder: plain text.
    for (const QString &name : StoryFile::ListFiles(m_historyDir))
        new QTreeWidgetItem(m_tvHitoryList, {name});
    const int count = m_tvHitoryList->topLevelItemCount();
    if (count >= 2) {
        m_tvHitoryList->setCurrentItem(m_tvHitoryList->topLevelItem(count - 1));
        m_tvHitoryList->setFocus();
    } else {
        m_tvHitoryList->setCurrentItem(nullptr);
        m_tvHitoryList->clearSelection();
    }
}

void TfmStory::loadOptions()
{
    m_loading = true;
    const StoryFile::Options o = StoryFile::ReadOptions(m_store);
    m_cbSaveHistory->setChecked(o.SaveHistory);
    m_cbPeriodOfStorage->setChecked(o.PeriodStorage);
    m_udDays->setValue(o.Days);
    if (o.SaveAsRTF)
        m_rbSaveAsRTF->setChecked(true);
    else
        m_rbSaveAsTXT->setChecked(true);
    periodChanged();
    m_loading = false;
}

void TfmStory::periodChanged()
{
    const bool on = m_cbPeriodOfStorage->isChecked();
    m_udDays->setReadOnly(!on);
    m_udDays->setButtonSymbols(on ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
    QPalette palette = m_udDays->palette();
    palette.setColor(QPalette::Base, QApplication::palette().color(on ? QPalette::Base : QPalette::Button));
    m_udDays->setPalette(palette);
}

void TfmStory::optionTouched()
{
    if (!m_loading)
        m_btnApply->setEnabled(true);
}

QString TfmStory::selectedFile() const
{
    const QTreeWidgetItem *node = m_tvHitoryList->currentItem();
    return node && node->isSelected() ? node->text(0) : QString();
}

QTreeWidgetItem *TfmStory::findNode(const QString &fileName) const
{
    for (int i = 0; i < m_tvHitoryList->topLevelItemCount(); ++i) {
        if (m_tvHitoryList->topLevelItem(i)->text(0) == fileName)
            return m_tvHitoryList->topLevelItem(i);
    }
    return nullptr;
}

void TfmStory::OpenFile()
{
    const QString name = selectedFile();
    const QString path = QDir(m_historyDir).filePath(name);
    if (!name.isEmpty() && QFileInfo(path).isFile())
        ShellOpen::open(path);
}

void TfmStory::SaveAs()
{
    const QString name = selectedFile();
    if (name.isEmpty())
        return;
    const QString source = QDir(m_historyDir).filePath(name);
    const QString target = SaveDialog::GetSaveFileName(this, name);
    if (!target.isEmpty())
        StoryFile::CopyFile(source, target);
}

void TfmStory::MoveFile()
{
    const QString name = selectedFile();
    if (name.isEmpty())
        return;
    const QString source = QDir(m_historyDir).filePath(name);
    // The dialog runs its own event loop; the window may be gone when it returns.
    const QPointer<TfmStory> self(this);
    const QString target = SaveDialog::GetSaveFileName(this, name);
    if (!self || target.isEmpty() || !StoryFile::MoveFile(source, target))
        return;
    delete findNode(name);
}

void TfmStory::DeleteFile()
{
    const QString name = selectedFile();
    if (!name.isEmpty() && StoryFile::DeleteFile(QDir(m_historyDir).filePath(name)))
        delete findNode(name);
}

void TfmStory::Apply()
{
    StoryFile::Options o;
    o.SaveHistory = m_cbSaveHistory->isChecked();
    o.PeriodStorage = m_cbPeriodOfStorage->isChecked();
    o.SaveAsRTF = m_rbSaveAsRTF->isChecked();
    o.SaveAsTXT = m_rbSaveAsTXT->isChecked();
    o.Days = m_udDays->value();
    StoryFile::WriteOptions(m_store, o);
    m_btnApply->setEnabled(false);
}

void TfmStory::Ok()
{
    Apply();
    accept();
}

bool TfmStory::handleKey(QObject *watched, QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OpenFile();
        return true;
    case Qt::Key_Delete:
        if (watched != m_tvHitoryList)
            return false;
        DeleteFile();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    case Qt::Key_F1:
        if (m_openHelp)
            m_openHelp(HelpTopic);
        return true;
    default:
        return false;
    }
}

bool TfmStory::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const QWidget *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this && !m_pmStoryFile->isVisible() &&
            handleKey(watched, static_cast<QKeyEvent *>(event)))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
