#include "talks/ui/TfmInformation.h"

#include "features/ui/PeerText.h"
#include "protocol/ConstUnit.h"
#include "settings/SettingsStore.h"
#include "settings/iniFileUn.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
struct AutoAnswer {
    std::function<bool(TfmInformation &)> answer;
    int shown = 0;
};

AutoAnswer &autoAnswer()
{
    static AutoAnswer a;
    return a;
}

using ConstUnit::Text;
} // namespace

TfmInformation::TfmInformation(Page page, const QString &text, QWidget *parent)
    : QDialog(parent)
    , m_header(new QLabel(this))
    , m_text(new QLabel(this))
    , m_notShowAgain(new QCheckBox(ConstUnit::text(Text::NotShowAgain), this))
{
    setObjectName(QStringLiteral("fmInformation"));
    if (page == FilesPage) {
        buildFilesPage();
        return;
    }
    const QString headerText = ConstUnit::text(page == GroupClosedPage ? Text::CloseTalkInformation
                                                                       : Text::CloseTalkPrivateInformation);
    setWindowTitle(headerText);
    PeerText::setLabelText(m_header, headerText);
    // The text names peers and groups: it is shown literally, never as markup.
    PeerText::setLabelText(m_text, text);
    QFont bold = m_header->font();
    bold.setBold(true);
    m_header->setFont(bold);
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(320);

    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->addWidget(m_header);
    texts->addWidget(m_text);
    top->addLayout(texts, 1);
    layout->addLayout(top);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(ConstUnit::text(Text::BtnOk), QDialogButtonBox::AcceptRole)->setDefault(true);
    if (page == PrivateClosedPage) {
        m_notShowAgain->setObjectName(QStringLiteral("cbClosePrivate"));
        m_alwaysClose = new QRadioButton(ConstUnit::text(Text::AlwaysClose), this);
        m_alwaysClose->setObjectName(QStringLiteral("rbAlwaysClose"));
        m_alwaysLeave = new QRadioButton(ConstUnit::text(Text::AlwaysLeave), this);
        m_alwaysLeave->setObjectName(QStringLiteral("rbAlwaysLeave"));
        m_alwaysClose->setChecked(true);
        layout->addWidget(m_alwaysClose);
        layout->addWidget(m_alwaysLeave);
        buttons->addButton(ConstUnit::text(Text::BtnCancel), QDialogButtonBox::RejectRole);
    } else {
        m_notShowAgain->setObjectName(QStringLiteral("cbNotCloseTalkDialog"));
    }
    layout->addWidget(m_notShowAgain);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool TfmInformation::run()
{
    ++autoAnswer().shown;
    if (autoAnswer().answer)
        return autoAnswer().answer(*this);
    return exec() == QDialog::Accepted;
}

void TfmInformation::ShowGroupClosed(QWidget *parent, const SettingsStore &store, const QString &authorAlias,
                                     const QString &caption)
{
    if (readSetting(store, Setting::CloseTalkGroupValue))
        return;
    TfmInformation dialog(
        GroupClosedPage, ConstUnit::Format(ConstUnit::text(Text::CloseTalkGroupText),
                          {PeerText::name(authorAlias), PeerText::name(caption)}),
        parent);
    if (dialog.run())
        writeSetting(store, Setting::CloseTalkGroupValue, dialog.m_notShowAgain->isChecked());
}

PrivateCloseAnswer TfmInformation::AskPrivateClose(QWidget *parent, const SettingsStore &store,
                                                   const QString &alias)
{
    if (readSetting(store, Setting::CloseTalkPrivateNotShow)) {
        if (readSetting(store, Setting::CloseTalkPrivateCloseAll))
            return PrivateCloseAnswer::Close;
        if (readSetting(store, Setting::CloseTalkPrivateLeaveAll))
            return PrivateCloseAnswer::Leave;
        return PrivateCloseAnswer::Undecided;
    }
    TfmInformation dialog(PrivateClosedPage,
                          ConstUnit::Format(ConstUnit::text(Text::CloseTalkPrivateText), {PeerText::name(alias)}), parent);
    if (!dialog.run())
        return PrivateCloseAnswer::Leave;
    writeSetting(store, Setting::CloseTalkPrivateNotShow, dialog.m_notShowAgain->isChecked());
    writeSetting(store, Setting::CloseTalkPrivateCloseAll, dialog.m_alwaysClose->isChecked());
    writeSetting(store, Setting::CloseTalkPrivateLeaveAll, dialog.m_alwaysLeave->isChecked());
    return dialog.m_alwaysClose->isChecked() ? PrivateCloseAnswer::Close : PrivateCloseAnswer::Leave;
}

void TfmInformation::setAutoAnswer(std::function<bool(TfmInformation &)> answer)
{
    autoAnswer().answer = std::move(answer);
}

void TfmInformation::clearAutoAnswer()
{
    autoAnswer().answer = nullptr;
}

int TfmInformation::shownCount()
{
    return autoAnswer().shown;
}
