#include "app/Identity.h"

#include "app/AppContext.h"

KeyFileResult LoadIdentity(AppContext &context)
{
    KeyFileResult result = LoadOrCreateIdentityKeys(IdentityKeyFile(context.store));
    if (result.hasKeys() && !result.mustRefuseStart())
        context.identity = result.keys;
    return result;
}
