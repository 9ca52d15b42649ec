#include "app/ui/FirstStartName.h"

#include "features/LngUn.h"
#include "settings/SettingsStore.h"
#include "settings/TMyUserData.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <pwd.h>
#include <unistd.h>

namespace {
// An alias travels in every presence packet: a long GECOS entry is cut.
constexpr int MaxNameLength = 60;
} // namespace

FirstStartName::FirstStartName(const QString &offered, QWidget *parent)
    : QDialog(parent)
    , m_edName(new QLineEdit(this))
{
    setObjectName(QStringLiteral("fmFirstStartName"));
    setWindowTitle(Lng::Caption(QStringLiteral("fmFirstStartName"), QStringLiteral("Your name")));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(Lng::Text(QStringLiteral("fmFirstStartName"), QStringLiteral("lbName"),
                                       QStringLiteral("The name the other users see in their lists:")),
                             this);
    label->setObjectName(QStringLiteral("lbName"));
    label->setBuddy(m_edName);
    label->setWordWrap(true);
    layout->addWidget(label);
    m_edName->setObjectName(QStringLiteral("edName"));
    m_edName->setMaxLength(MaxNameLength);
    m_edName->setText(offered.left(MaxNameLength));
    m_edName->selectAll();
    m_edName->setAccessibleName(label->text());
    m_edName->setAccessibleDescription(Lng::Text(QStringLiteral("fmFirstStartName"),
                                                 QStringLiteral("edNameHint"),
                                                 QStringLiteral("It can be changed later in My profile.")));
    layout->addWidget(m_edName);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("bbButtons"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    const auto okEnabled = [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!name().isEmpty());
    };
    connect(m_edName, &QLineEdit::textChanged, this, okEnabled);
    okEnabled();
    m_edName->setFocus();
}

QString FirstStartName::name() const
{
    return m_edName->text().simplified();
}

QString FirstStartName::FullNameFromGecos(const QString &gecos, const QString &login)
{
    QString full = gecos.section(u',', 0, 0).trimmed();
    if (full.contains(u'&')) {
        QString capitalised = login;
        if (!capitalised.isEmpty())
            capitalised[0] = capitalised[0].toUpper();
        full.replace(u'&', capitalised);
    }
    return full.isEmpty() ? login : full;
}

QString FirstStartName::LoginFullName()
{
    struct passwd entry {};
    struct passwd *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return qEnvironmentVariable("USER");
    return FullNameFromGecos(QString::fromLocal8Bit(found->pw_gecos ? found->pw_gecos : ""),
                             QString::fromLocal8Bit(found->pw_name ? found->pw_name : ""));
}

bool FirstStartName::IsFirstStart(const SettingsStore &store)
{
    return !store.contains(QString::fromLatin1(Profile::Section), QString::fromLatin1(Profile::Alias)) &&
           TMyUserData(store).GetAlias().trimmed().isEmpty();
}

bool FirstStartName::AskIfFirstStart(const SettingsStore &store, QWidget *parent)
{
    if (!IsFirstStart(store))
        return false;
    FirstStartName dialog(LoginFullName(), parent);
    const bool given = dialog.exec() == QDialog::Accepted && !dialog.name().isEmpty();
    TSetUserData(store).SetAlias(given ? dialog.name() : QString());
    return given;
}
