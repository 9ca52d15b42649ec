#include "crypto/Sodium.h"

#include <sodium.h>

bool SodiumReady()
{
    // sodium_init is safe to call from several threads; 1 means another call started it already.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

void WipeMemory(void *data, size_t size)
{
    sodium_memzero(data, size);
}
