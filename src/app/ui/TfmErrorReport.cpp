#include "app/ui/TfmErrorReport.h"

#include "app/ui/ProductLinks.h"
#include "features/ui/ShellOpen.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

TfmErrorReport::TfmErrorReport(const QString &description, QWidget *parent, const ErrorReportTexts &texts)
    : QDialog(parent)
    , m_description(description)
    , m_stText(new QLabel(texts.apology, this))
    , m_lbDescription(new QLabel(texts.description, this))
    , m_mmDescription(new QPlainTextEdit(description, this))
    , m_btnOk(new QPushButton(texts.ok, this))
    , m_btnMail(new QPushButton(texts.mail, this))
{
    setObjectName(QStringLiteral("fmError"));
    setWindowTitle(QStringLiteral("Error"));

    auto *imIcon = new QLabel(this);
    imIcon->setObjectName(QStringLiteral("imIcon"));
    imIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this).pixmap(32, 32));

    m_stText->setObjectName(QStringLiteral("stText"));
    m_stText->setWordWrap(true);
    m_lbDescription->setObjectName(QStringLiteral("lbDescription"));
    m_lbDescription->setBuddy(m_mmDescription);
    m_mmDescription->setObjectName(QStringLiteral("mmDescription"));
    m_mmDescription->setReadOnly(true);
    m_mmDescription->setMinimumSize(360, 100);

    m_btnOk->setObjectName(QStringLiteral("btnOk"));
    m_btnOk->setDefault(true);
    m_btnMail->setObjectName(QStringLiteral("btnMail"));
    m_btnMail->setAutoDefault(false);
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnMail, &QPushButton::clicked, this, [this] { ShellOpen::open(MailTarget(m_description)); });

    auto *top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(imIcon, 0, Qt::AlignTop);
    top->addWidget(m_stText, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnMail);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(6);
    layout->addWidget(m_lbDescription);
    layout->addWidget(m_mmDescription, 1);
    layout->addLayout(buttons);
    m_btnOk->setFocus();
}

QString TfmErrorReport::MailTarget(const QString &description)
{
    const QString subject = QStringLiteral("Perix Chat %1: error report").arg(QStringLiteral(PERIX_VERSION));
    return QStringLiteral("MailTo:") + QString::fromLatin1(ProductLinks::SupportMail) +
           QStringLiteral("?subject=") + QString::fromLatin1(QUrl::toPercentEncoding(subject)) +
           QStringLiteral("&body=") + QString::fromLatin1(QUrl::toPercentEncoding(description));
}
