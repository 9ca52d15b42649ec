#pragma once

#include <QString>

#include <optional>
#include <span>

// Every text the program looks up in a language file, with its built-in default. The shipped
// language files are checked against this list, and the English file holds these defaults.
namespace Lng {

// Who reads a text.
enum class TextUse {
    // A caption or hint of the main window's component of that name, set when a language is applied.
    MainWindow,
    // The user-list window, pushed to it when a language is applied and when it is created.
    UserList,
    // A shared text of ConstUnit (message boxes, notices, group captions, buttons, file names).
    Shared,
    // A dialog window reads it when it is created or shown.
    Dialog,
};

struct CatalogueEntry {
    TextUse use;
    const char *section;
    const char *name;
    // UTF-8.
    const char *defaultText;

    QString sectionName() const { return QString::fromLatin1(section); }
    QString keyName() const { return QString::fromLatin1(name); }
    QString defaultValue() const { return QString::fromUtf8(defaultText); }
};

std::span<const CatalogueEntry> Catalogue();
// The entry of that section and name (case ignored, as the reader ignores it).
std::optional<CatalogueEntry> FindCatalogueEntry(const QString &section, const QString &name);

// The display name of a language file: section "LNG", name "LanguageName".
inline constexpr char LanguageSection[] = "LNG";
inline constexpr char LanguageNameKey[] = "LanguageName";

} // namespace Lng
