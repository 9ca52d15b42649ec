#pragma once

#include <QString>

// The interface texts of the chosen language file. Every window reads its texts through here when it
// is created; a text the file lacks (or every text, while no file is chosen) is the built-in default.
namespace Lng {

// The value of name in [section] of the current language file, or defaultText.
QString Text(const QString &section, const QString &name, const QString &defaultText);
inline QString Caption(const QString &section, const QString &defaultText)
{
    return Text(section, QStringLiteral("Caption"), defaultText);
}
inline QString Hint(const QString &section, const QString &defaultText)
{
    return Text(section, QStringLiteral("Hint"), defaultText);
}

// The file applied last; empty until one is applied.
QString CurrentFile();
void SetCurrentFile(const QString &path);

} // namespace Lng
