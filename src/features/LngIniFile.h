#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// A language file read the way the Windows profile-string reader reads an INI file: "[section]" lines
// open sections, "name=value" lines hold one text each, sections and names are found whatever their
// case, values are one line without the surrounding blanks and quotes, at most 2047 characters.
// The file is UTF-8 (a byte-order mark is allowed); a file that is not valid UTF-8 is a legacy file
// in the Windows-1251 code page. Nothing in a file makes the reader fail: what it cannot read is
// simply not there.
class LngIniFile {
public:
    static constexpr qsizetype MaxValueLength = 2047;
    // Language files are a few kilobytes; anything beyond this is not read at all.
    static constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

    LngIniFile() = default;
    static LngIniFile fromBytes(QByteArrayView bytes);
    static LngIniFile fromText(const QString &text);
    // A missing, unreadable or oversized file reads as an empty one.
    static LngIniFile load(const QString &path);

    bool isEmpty() const { return m_sections.isEmpty(); }
    bool hasSection(const QString &section) const;
    std::optional<QString> value(const QString &section, const QString &name) const;
    QString value(const QString &section, const QString &name, const QString &defaultText) const;
    // Section names as first written, in file order.
    QStringList sections() const { return m_sectionNames; }

    // The text of a file's bytes: UTF-8 without its byte-order mark, UTF-16 when it starts with a
    // UTF-16 mark, Windows-1251 otherwise.
    static QString decode(QByteArrayView bytes);
    // Well-formed UTF-8 as Unicode defines it: no overlong forms, no surrogates, nothing above U+10FFFF.
    static bool isValidUtf8(QByteArrayView bytes);
    static QString fromWindows1251(QByteArrayView bytes);

private:
    static QString key(const QString &text) { return text.toCaseFolded(); }

    // Case-folded section -> case-folded name -> value.
    QHash<QString, QHash<QString, QString>> m_sections;
    QStringList m_sectionNames;
};
