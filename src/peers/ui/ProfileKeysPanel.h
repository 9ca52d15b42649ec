#pragma once

#include "peers/KeyPins.h"

#include <QGroupBox>
#include <QString>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

// What the profile window shows of the keys: the local user's fingerprint and, for another user, the
// fingerprint of the pinned key, the one offered in its place when it changed, and the "verified"
// mark. Fingerprints are eight groups of five digits that two users read to each other.
struct ProfileKeys {
    QString ownFingerprint;
    // Empty for the local user's own profile, or for a user without a key.
    QString userFingerprint;
    QString offeredFingerprint;
    KeyTrust trust = KeyTrust::Unknown;
    // Sets the "verified" mark; false when it could not be set.
    std::function<bool(bool)> setVerified;
    // The offered key becomes the pinned one.
    std::function<bool()> acceptOffered;
};

class ProfileKeysPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ProfileKeysPanel(const ProfileKeys &keys, QWidget *parent = nullptr);

    QString ownText() const;
    QString userText() const;
    QCheckBox *verifiedBox() const { return m_verified; }
    QPushButton *acceptButton() const { return m_accept; }

private:
    void showState();

    ProfileKeys m_keys;
    QLabel *m_own;
    QLabel *m_user;
    QLabel *m_state;
    QCheckBox *m_verified;
    QPushButton *m_accept;
};
