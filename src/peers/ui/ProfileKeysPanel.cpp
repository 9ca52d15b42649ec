#include "peers/ui/ProfileKeysPanel.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

ProfileKeysPanel::ProfileKeysPanel(const ProfileKeys &keys, QWidget *parent)
    : QGroupBox(tr("Keys"), parent)
    , m_keys(keys)
    , m_own(new QLabel(this))
    , m_user(new QLabel(this))
    , m_state(new QLabel(this))
    , m_verified(new QCheckBox(tr("Verified: we compared these digits by voice or in person"), this))
    , m_accept(new QPushButton(tr("Accept the new key"), this))
{
    setObjectName(QStringLiteral("gbKeys"));
    const QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (QLabel *label : {m_own, m_user, m_state}) {
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_own->setFont(digits);
    m_user->setFont(digits);
    m_own->setText(keys.ownFingerprint.isEmpty() ? tr("no keys") : keys.ownFingerprint);
    auto *layout = new QFormLayout(this);
    layout->addRow(tr("Your fingerprint:"), m_own);
    const bool other = keys.setVerified != nullptr;
    if (other) {
        layout->addRow(tr("This user's fingerprint:"), m_user);
        layout->addRow(m_state);
        layout->addRow(m_verified);
        layout->addRow(m_accept);
    } else {
        m_user->hide();
        m_state->hide();
        m_verified->hide();
        m_accept->hide();
    }
    connect(m_verified, &QCheckBox::toggled, this, [this](bool on) {
        if (m_keys.setVerified && m_keys.setVerified(on))
            m_keys.trust = on ? KeyTrust::Verified : KeyTrust::Pinned;
        showState();
    });
    connect(m_accept, &QPushButton::clicked, this, [this] {
        if (!m_keys.acceptOffered || !m_keys.acceptOffered())
            return;
        m_keys.userFingerprint = m_keys.offeredFingerprint;
        m_keys.offeredFingerprint.clear();
        m_keys.trust = KeyTrust::Pinned;
        showState();
    });
    showState();
}

QString ProfileKeysPanel::ownText() const
{
    return m_own->text();
}

QString ProfileKeysPanel::userText() const
{
    return m_user->text();
}

void ProfileKeysPanel::showState()
{
    m_user->setText(m_keys.userFingerprint.isEmpty() ? tr("no key") : m_keys.userFingerprint);
    switch (m_keys.trust) {
    case KeyTrust::Unknown:
        m_state->setText(m_keys.userFingerprint.isEmpty()
                             ? tr("This user has no key: talks with this user are not encrypted.")
                             : tr("This key is not pinned."));
        break;
    case KeyTrust::Pinned:
        m_state->setText(tr("The first key seen for this user. Compare the digits, then mark it verified."));
        break;
    case KeyTrust::Verified:
        m_state->setText(tr("Verified."));
        break;
    case KeyTrust::Changed:
        m_state->setText(tr("\u26A0 THE KEY CHANGED. New key: %1\nAccept it only after comparing the "
                            "digits with the user.")
                             .arg(m_keys.offeredFingerprint));
        break;
    }
    const QSignalBlocker quiet(m_verified);
    m_verified->setChecked(m_keys.trust == KeyTrust::Verified);
    m_verified->setEnabled(m_keys.trust == KeyTrust::Pinned || m_keys.trust == KeyTrust::Verified);
    m_accept->setVisible(m_keys.setVerified != nullptr && m_keys.trust == KeyTrust::Changed);
}
