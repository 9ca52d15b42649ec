#pragma once

#include <QString>
#include <QUuid>

// A fresh GUID in registry text form: 38 characters, braces and upper-case hexadecimal digits.
inline QString NewRegistryGuid()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}
