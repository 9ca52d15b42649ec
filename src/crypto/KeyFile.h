#pragma once

#include "crypto/IdentityKeys.h"

#include <QString>

#include <optional>

class SettingsStore;

// The identity keys live in a file of their own, readable by the user alone, next to the settings:
// "FILE.key" for a settings file FILE (so two settings files are two users), "Perix Chat.key" in the
// user's configuration folder for the user's own store. The file is never logged, never rewritten
// and never replaced: a damaged one stays as it is until the user moves it away.
//
// File format, text, one "name=value" a line; lines starting with "#" and blank lines are skipped:
//   version=1
//   box-secret=<base64 of 32 bytes>    box-public=<base64 of 32 bytes>
//   sign-seed=<base64 of 32 bytes>     sign-public=<base64 of 32 bytes>
// (each on its own line). Every name exactly once; the public keys must be those of the secrets.
enum class KeyFileStatus {
    Loaded,       // the file was there and is sound
    Created,      // there was none; new keys were made and stored
    NoCrypto,     // libsodium did not start: a peer without keys
    CannotCreate, // there was none and none could be made: a peer without keys
    Exposed,      // group or others may read or write it
    NotOwned,     // it belongs to another user
    Unreadable,   // it is there but cannot be read, or is no plain file
    Damaged,      // it does not hold the keys in the format above
};

struct KeyFileResult {
    KeyFileStatus status = KeyFileStatus::NoCrypto;
    QString path;
    std::optional<IdentityKeys> keys;
    // What went wrong, for the user; empty when the keys were loaded or made.
    QString message;

    bool hasKeys() const { return keys.has_value(); }
    // A key file that is there but unsafe or unreadable: the program must not start with it, nor
    // silently make new keys over it.
    bool mustRefuseStart() const
    {
        return status == KeyFileStatus::Exposed || status == KeyFileStatus::NotOwned ||
               status == KeyFileStatus::Unreadable || status == KeyFileStatus::Damaged;
    }
};

// Where the keys of the user of this settings store are kept.
QString IdentityKeyFile(const SettingsStore &store);

// Loads the keys, or makes them when the file does not exist. A new file is written under a
// temporary name with mode 0600 from its creation on and then linked to its name, so it is never
// readable by others nor seen half-written, and a copy that started at the same moment loads the
// same keys instead of making others.
KeyFileResult LoadOrCreateIdentityKeys(const QString &path);

// The text of a key file for these keys.
QByteArray KeyFileText(const IdentityKeys &keys);
// The keys of a key file's text; the reason in *error when it is not sound.
std::optional<IdentityKeys> ParseKeyFileText(QByteArrayView text, QString *error);
