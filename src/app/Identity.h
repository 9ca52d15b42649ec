#pragma once

#include "crypto/KeyFile.h"

struct AppContext;

// Loads the local user's keys from the key file beside the settings, or makes them at the first
// start, and gives them to the context. When the result says mustRefuseStart(), the program shows
// its message and ends; a peer without keys (no libsodium, no file could be made) starts all the
// same and says the message once.
KeyFileResult LoadIdentity(AppContext &context);
