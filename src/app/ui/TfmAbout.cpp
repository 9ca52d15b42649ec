#include "app/ui/TfmAbout.h"

#include "features/ui/ImageList.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

TfmAbout::TfmAbout(QWidget *parent, const QString &caption)
    : QDialog(parent)
    , m_imIcon(new QLabel(this))
    , m_lbProductName(new QLabel(QStringLiteral("Perix Chat"), this))
    , m_lbVersion(new QLabel(QStringLiteral("Version %1").arg(QStringLiteral(PERIX_VERSION)), this))
    , m_lbDescription(
          new QLabel(QStringLiteral("A messenger for the local network, without a server."), this))
    , m_btnOk(new QPushButton(QStringLiteral("&OK"), this))
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(caption.isEmpty() ? DefaultCaption() : caption);

    InitPictureResources();
    m_imIcon->setObjectName(QStringLiteral("imIcon"));
    m_imIcon->setPixmap(ProgramIcon().pixmap(64));
    m_imIcon->setFixedSize(64, 64);
    m_imIcon->setScaledContents(true);
    setWindowIcon(ProgramIcon());

    m_lbProductName->setObjectName(QStringLiteral("lbProductName"));
    QFont nameFont = m_lbProductName->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    m_lbProductName->setFont(nameFont);
    m_lbVersion->setObjectName(QStringLiteral("lbVersion"));
    m_lbDescription->setObjectName(QStringLiteral("lbDescription"));
    m_lbDescription->setWordWrap(true);
    for (QLabel *label : {m_lbProductName, m_lbVersion, m_lbDescription})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_btnOk->setObjectName(QStringLiteral("btnOk"));
    m_btnOk->setDefault(true);
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);

    auto *texts = new QVBoxLayout;
    texts->addWidget(m_lbProductName);
    texts->addWidget(m_lbVersion);
    texts->addSpacing(6);
    texts->addWidget(m_lbDescription);
    texts->addStretch(1);

    auto *top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(m_imIcon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(m_btnOk, QDialogButtonBox::AcceptRole);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_lbDescription->setMinimumWidth(220);
    m_btnOk->setFocus();
}
