#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The interface texts of the chosen language file. Every window reads its texts through here when it
// is created; a text the file lacks (or every text, while no file is chosen) is the built-in default.
namespace Lng {

// The value of name in [section] of the current language file, or defaultText. A text whose number
// of "%s" placeholders differs from the default's would format wrongly: the default stands instead.
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
// Reads the file once; an unreadable file leaves every text at its default.
void SetCurrentFile(const QString &path);

// How many "%s" a text holds.
int PlaceholderCount(const QString &text);

// The shared texts of ConstUnit (message boxes, notices, group captions, buttons) from the current file.
void ApplySharedTexts();

// One entry of the Language menu.
struct LanguageFile {
    QString path;
    QString name;
};
// [LNG] LanguageName of the file, or its file name when it has none.
QString LanguageName(const QString &path);
// Every regular file of the folder in the order the file system lists them; none without the folder.
QList<LanguageFile> ListLanguageFiles(const QString &dir);
// The first of the paths whose file name equals the stored path's (case included, folders not
// compared); -1 when the stored file does not exist or no path matches.
int StoredChoiceIndex(const QStringList &paths, const QString &storedPath);

} // namespace Lng
