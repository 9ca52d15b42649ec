#pragma once

#include "protocol/SecurePackets.h"

#include <QString>

// A short text of both public keys of a user that two people can read to each other: eight groups of
// five digits, "12345 67890 ...". Each group is five bytes of a BLAKE2b hash of the keys, as a
// big-endian number modulo 100000, so the text carries about 132 bits. Empty for invalid keys or
// without libsodium.
QString KeyFingerprint(const PeerPublicKeys &keys);
