#include "support/TempFolder.h"

#include "settings/TMyUserData.h"

TempFolder::TempFolder() = default;

QString TempFolder::userId() const
{
    return TMyUserData(store()).GetID();
}

void TempFolder::setAlias(const QString &alias) const
{
    TSetUserData(store()).SetAlias(alias);
}
