#pragma once

#include "protocol/SecurePackets.h"
#include "settings/SettingsStore.h"

#include <QHash>
#include <QString>

#include <optional>

// What the local user knows of the keys a user speaks with.
enum class KeyTrust {
    Unknown,  // no key is pinned for the user (or none could be)
    Pinned,   // the key first seen for the user
    Verified, // the pinned key, and the local user compared its fingerprint and marked it
    Changed,  // another key than the pinned one: a warning, until the local user accepts it
};

struct KeyPin {
    PeerPublicKeys pinned;
    bool verified = false;
    // The last key seen for the user that is not the pinned one; invalid when there is none.
    PeerPublicKeys offered;
    // Seconds since 1970.
    qint64 firstSeen = 0;
    qint64 lastSeen = 0;
};

// Trust on first use: the first key seen for a user ID is pinned and stored; a different key later is
// remembered as offered, shown as a change, and replaces the pinned one only when the local user
// accepts it. Kept in the settings section "KeyPins", one value per user ID:
//   "1 <box key> <sign key> <verified 0|1> <first seen> <last seen>[ <offered box key> <offered sign key>]"
// with keys in base64 and times in seconds since 1970. A value that does not read so is passed over.
//
// At most MaxPins users are pinned. When the table is full, the pin of a user not seen for
// StalePinSeconds and not verified makes room; otherwise a new user is not pinned (Unknown), so that
// a flood of made-up users never pushes out the pins of real ones.
class KeyPins {
public:
    static constexpr qsizetype MaxPins = 2048;
    static constexpr qint64 StalePinSeconds = qint64(180) * 24 * 3600;

    // Reads the pins once; a store that cannot be read gives none (readFailed()).
    explicit KeyPins(const SettingsStore &store);

    // Notes a key that a signed announcement shows for a user: pins it when the user has no pin,
    // keeps it as offered when it is not the pinned one. The trust in that key comes back.
    KeyTrust observe(const QString &userId, const PeerPublicKeys &keys, qint64 nowSeconds);
    // The trust in this key for this user; notes nothing.
    KeyTrust trustFor(const QString &userId, const PeerPublicKeys &keys) const;
    // The user's state as the user list shows it: Changed while an offered key waits for a decision.
    KeyTrust state(const QString &userId) const;
    std::optional<KeyPin> pin(const QString &userId) const;

    // The offered key becomes the pinned one, not verified. False when nothing was offered.
    bool acceptOffered(const QString &userId);
    // The pinned key stays; the offered one is forgotten. False when nothing was offered.
    bool dismissOffered(const QString &userId);
    // The "verified" mark of the pinned key. False when the user has no pin.
    bool setVerified(const QString &userId, bool verified);
    bool forget(const QString &userId);

    qsizetype count() const { return m_pins.size(); }
    bool readFailed() const { return m_readFailed; }

    // The stored text of a pin and back; nothing for a text that does not read as one.
    static QString PinText(const KeyPin &pin);
    static std::optional<KeyPin> ParsePinText(const QString &text);

private:
    bool store(const QString &userId, const KeyPin &pin) const;
    // Makes room for one more pin; false when the table is full of pins that must stay.
    bool makeRoom(qint64 nowSeconds);

    SettingsStore m_store;
    QHash<QString, KeyPin> m_pins;
    bool m_readFailed = false;
};
