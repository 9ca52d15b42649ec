#include "net/ui/fmNetworkUn.h"

#include "features/LngUn.h"
#include "peers/PresenceProbe.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString text(const char *key, const char *defaultText)
{
    return Lng::Text(QStringLiteral("fmNetwork"), QLatin1StringView(key), QString::fromUtf8(defaultText));
}

QLabel *plainLabel(const char *name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1StringView(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

TfmNetwork::TfmNetwork(NetworkWindowContext context, QWidget *parent)
    : QDialog(parent)
    , m_context(std::move(context))
    , m_lbPort(plainLabel("lbPort", this))
    , m_lbChoice(plainLabel("lbChoice", this))
    , m_lbInterfaces(plainLabel("lbInterfaces", this))
    , m_lbTraffic(plainLabel("lbTraffic", this))
    , m_cbInterface(new QComboBox(this))
    , m_mmAddresses(new QPlainTextEdit(this))
    , m_lbProblems(plainLabel("lbProblems", this))
    , m_btnTest(new QPushButton(text("btnTest", "Test"), this))
    , m_lbTestResult(plainLabel("lbTestResult", this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help,
                                     this))
    , m_refresh(new QTimer(this))
{
    setObjectName(QStringLiteral("fmNetwork"));
    setWindowTitle(text("Caption", "Network"));
    m_cbInterface->setObjectName(QStringLiteral("cbInterface"));
    m_mmAddresses->setObjectName(QStringLiteral("mmAddresses"));
    m_btnTest->setObjectName(QStringLiteral("btnTest"));
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    m_buttons->button(QDialogButtonBox::Help)->setObjectName(QStringLiteral("btnHelp"));

    auto *diagnosis = new QGroupBox(text("gbDiagnosis", "Diagnosis"), this);
    diagnosis->setObjectName(QStringLiteral("gbDiagnosis"));
    auto *diagnosisLayout = new QVBoxLayout(diagnosis);
    auto *others = new QLabel(text("lbOthers", "Other interfaces:"), diagnosis);
    diagnosisLayout->addWidget(m_lbPort);
    diagnosisLayout->addWidget(m_lbChoice);
    diagnosisLayout->addWidget(others);
    diagnosisLayout->addWidget(m_lbInterfaces);
    diagnosisLayout->addWidget(m_lbTraffic);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(m_btnTest);
    testRow->addWidget(m_lbTestResult, 1);
    diagnosisLayout->addLayout(testRow);
    m_btnTest->setToolTip(
        text("btnTestHint", "Broadcasts a probe and counts the computers that echo it within one second"));

    auto *settings = new QGroupBox(text("gbSettings", "Settings"), this);
    settings->setObjectName(QStringLiteral("gbSettings"));
    auto *form = new QFormLayout(settings);
    form->addRow(text("lbInterface", "Interface:"), m_cbInterface);
    auto *addressesCaption =
        new QLabel(text("lbAddresses", "Further broadcast or computer addresses, one a line (for other "
                                       "subnets; the computers there must list yours too):"),
                   settings);
    addressesCaption->setWordWrap(true);
    form->addRow(addressesCaption);
    form->addRow(m_mmAddresses);
    form->addRow(m_lbProblems);
    m_mmAddresses->setTabChangesFocus(true);
    m_mmAddresses->setPlaceholderText(QStringLiteral("192.168.2.255\n10.1.7.23"));
    m_mmAddresses->setPlainText(m_context.options.addressLines);
    m_mmAddresses->setMinimumHeight(80);
    QPalette problems = m_lbProblems->palette();
    problems.setColor(QPalette::WindowText, Qt::darkRed);
    m_lbProblems->setPalette(problems);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(diagnosis);
    layout->addWidget(settings);
    layout->addWidget(m_buttons);
    resize(560, 600);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &TfmNetwork::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &TfmNetwork::reject);
    connect(m_buttons, &QDialogButtonBox::helpRequested, this, [this] {
        if (m_context.help)
            m_context.help();
    });
    connect(m_mmAddresses, &QPlainTextEdit::textChanged, this, &TfmNetwork::checkAddresses);
    connect(m_btnTest, &QPushButton::clicked, this, &TfmNetwork::runTest);
    if (m_context.probe) {
        connect(m_context.probe, &PresenceProbe::testFinished, this, [this](int hosts) {
            m_lbTestResult->setText(DescribeTestResult(hosts));
            m_btnTest->setEnabled(true);
        });
    } else {
        m_btnTest->setEnabled(false);
    }
    m_refresh->setInterval(1000);
    connect(m_refresh, &QTimer::timeout, this, [this] { refresh(false); });
    m_refresh->start();
    refresh(true);
    checkAddresses();
}

void TfmNetwork::Execute(QWidget *parent, NetworkWindowContext context)
{
    TfmNetwork window(std::move(context), parent);
    window.exec();
}

void TfmNetwork::refresh(bool full)
{
    if (!m_context.diagnose)
        return;
    const NetworkDiagnosis d = m_context.diagnose(full);
    m_lbTraffic->setText(DescribeTraffic(d).join(u'\n'));
    if (!full)
        return;
    m_lbPort->setText(DescribePort(d).join(u'\n'));
    m_lbChoice->setText(DescribeChoice(d).join(u'\n'));
    const QStringList others = DescribeOtherInterfaces(d);
    m_lbInterfaces->setText(others.isEmpty() ? text("NoOthers", "none") : others.join(u'\n'));
    fillInterfaces(d);
}

void TfmNetwork::fillInterfaces(const NetworkDiagnosis &d)
{
    const QString wanted =
        m_cbInterface->count() ? m_cbInterface->currentData().toString() : m_context.options.interfaceName;
    m_cbInterface->clear();
    m_cbInterface->addItem(text("Automatic", "Automatic (the interface with the default route)"), QString());
    for (const NetInterface &iface : d.interfaces) {
        if (iface.addresses.isEmpty())
            continue;
        const InterfaceSkip skip = WhySkipped(iface);
        QString caption = DescribeInterface(iface);
        if (skip != InterfaceSkip::None)
            caption += QStringLiteral(" (") + DescribeSkip(skip) + u')';
        m_cbInterface->addItem(caption, iface.name);
    }
    int index = m_cbInterface->findData(wanted);
    if (index < 0) {
        // A card that is unplugged now stays chosen unless the user changes it.
        m_cbInterface->addItem(wanted + QStringLiteral(" (") + text("NotAvailable", "not available") + u')',
                               wanted);
        index = m_cbInterface->count() - 1;
    }
    m_cbInterface->setCurrentIndex(index);
}

void TfmNetwork::checkAddresses()
{
    const ExtraAddressLines lines = ParseExtraAddresses(m_mmAddresses->toPlainText());
    m_lbProblems->setText(DescribeProblems(lines).join(u'\n'));
    m_lbProblems->setVisible(!lines.isValid());
}

NetworkOptions TfmNetwork::options() const
{
    return {m_cbInterface->currentData().toString(), m_mmAddresses->toPlainText()};
}

void TfmNetwork::accept()
{
    if (!ParseExtraAddresses(m_mmAddresses->toPlainText()).isValid()) {
        checkAddresses();
        m_mmAddresses->setFocus();
        return;
    }
    if (m_context.apply && !(options() == m_context.options))
        m_context.apply(options());
    QDialog::accept();
}

void TfmNetwork::runTest()
{
    if (!m_context.probe || !m_context.probe->StartTest())
        return;
    m_btnTest->setEnabled(false);
    m_lbTestResult->setText(text("Testing", "Waiting one second for echoes..."));
}
