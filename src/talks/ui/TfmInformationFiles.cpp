// The files page of TfmInformation: the confirmation of reception of offered files.
#include "talks/ui/TfmInformation.h"

#include "features/LngUn.h"
#include "features/ui/FileDialogs.h"
#include "features/ui/ImageList.h"
#include "features/ui/PeerText.h"
#include "protocol/ConstUnit.h"
#include "transfer/TransferPaths.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int RecordRole = Qt::UserRole + 1;

QString headerText()
{
    // The first letter is the Cyrillic capital Es, as the texts of the program have always had it.
    return Lng::Caption(QStringLiteral("FileInformation"),
                        QStringLiteral("\u0421onfirmation of reception of files"));
}
} // namespace

void TfmInformation::buildFilesPage()
{
    m_text->hide();
    m_notShowAgain->hide();
    const QString header = headerText();
    setWindowTitle(header);
    m_header->setText(header);
    QFont bold = m_header->font();
    bold.setBold(true);
    m_header->setFont(bold);

    m_userPicture = new QLabel(this);
    m_userPicture->setObjectName(QStringLiteral("imUserPicture"));
    m_userPicture->setFixedSize(32, 32);
    m_userName = new QLabel(this);
    m_userName->setObjectName(QStringLiteral("lbUserName"));
    m_userIP = new QLabel(this);
    m_userIP->setObjectName(QStringLiteral("lbUserIP"));
    m_files = new QTreeWidget(this);
    m_files->setObjectName(QStringLiteral("tvFiles"));
    m_files->setHeaderHidden(true);
    m_files->setRootIsDecorated(false);
    m_files->setMinimumSize(340, 140);
    auto *saveTo = new QLabel(Lng::Caption(QStringLiteral("lbSaveTo"), QStringLiteral("Save to:")), this);
    saveTo->setObjectName(QStringLiteral("lbSaveTo"));
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("edFolder"));
    saveTo->setBuddy(m_folder);
    m_openFolder =
        new QPushButton(Lng::Caption(QStringLiteral("btnOpenFolder"), QStringLiteral("Open")), this);
    m_openFolder->setObjectName(QStringLiteral("btnOpenFolder"));
    m_openFolder->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    auto *who = new QGridLayout;
    who->addWidget(m_userPicture, 0, 0, 2, 1, Qt::AlignTop);
    who->addWidget(m_userName, 0, 1);
    who->addWidget(m_userIP, 1, 1);
    who->setColumnStretch(1, 1);
    layout->addLayout(who);
    layout->addWidget(m_files, 1);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(saveTo);
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_openFolder);
    layout->addLayout(folderRow);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(ConstUnit::text(ConstUnit::Text::BtnOk), QDialogButtonBox::AcceptRole)
        ->setDefault(true);
    buttons->addButton(ConstUnit::text(ConstUnit::Text::BtnCancel), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_openFolder, &QPushButton::clicked, this, [this] {
        const QString chosen = FileDialogs::ExistingDirectory(this, m_header->text(), m_folder->text());
        if (!chosen.isEmpty())
            m_folder->setText(chosen);
    });
}

std::optional<FileConfirmation> TfmInformation::ConfirmFiles(QWidget *parent, const QList<FileOfferRow> &rows,
                                                             int picture, const QString &ip,
                                                             const QString &name, const QString &folder)
{
    TfmInformation dialog(FilesPage, QString(), parent);
    PeerText::setLabelText(dialog.m_userName, PeerText::name(name));
    PeerText::setLabelText(dialog.m_userIP, ip);
    dialog.m_userPicture->setPixmap(ProfileImages32().pixmap(picture < 0 ? 0 : picture));
    for (const FileOfferRow &row : rows) {
        auto *item = new QTreeWidgetItem(dialog.m_files);
        item->setText(0, TransferPath::OwnerFileName(row.path) + QStringLiteral("  ") +
                             QString::number(row.sizeKB) + QStringLiteral(" KB"));
        item->setToolTip(0, PeerText::toolTip(row.path));
        item->setData(0, RecordRole, row.record);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Checked);
    }
    if (dialog.m_files->topLevelItemCount() > 0)
        dialog.m_files->setCurrentItem(dialog.m_files->topLevelItem(0));
    dialog.m_folder->setText(folder);
    if (!dialog.run())
        return std::nullopt;
    FileConfirmation answer;
    for (int i = 0; i < dialog.m_files->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = dialog.m_files->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            answer.records.append(item->data(0, RecordRole).toInt());
    }
    answer.folder = dialog.m_folder->text().trimmed();
    if (answer.records.isEmpty() || answer.folder.isEmpty())
        return std::nullopt;
    return answer;
}
