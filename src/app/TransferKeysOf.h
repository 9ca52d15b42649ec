#pragma once

#include "crypto/IdentityKeys.h"
#include "transfer/TransferKeyring.h"

#include <optional>

class SecureChannel;

// The file share's view of the keys the channel knows: a fetch is sealed to the owner's pinned key
// (else the announced one), and a FILETO grants its transfer to the key that opened it, when that is
// a trusted one (not a changed key the user has not accepted).
TransferKeyring TransferKeysOf(const SecureChannel &channel, const std::optional<IdentityKeys> &identity);
