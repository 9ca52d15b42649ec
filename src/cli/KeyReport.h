#pragma once

#include "app/SecureChannel.h"
#include "crypto/KeyFile.h"

#include <QString>

// The local user's fingerprint and key file: "fingerprint 12345 ...\nkey-file PATH\n", or one JSON
// object with "fingerprint" and "keyFile" (the fingerprint empty without keys).
QString FingerprintReport(const KeyFileResult &keys, bool json);

// A user's key as list shows it: "no key", "pinned", "verified", "KEY CHANGED"; "key" for a key
// announced in this run that could not be pinned.
QString KeyStateName(const SecureChannel &channel, const QString &userId);
// How a message came: "sealed", "signed", "NOT VERIFIED", "KEY CHANGED", or empty for plain text.
QString MarkName(PacketMark mark);
