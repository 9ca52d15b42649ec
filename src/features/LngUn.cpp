#include "features/LngUn.h"

#include "features/LngIniFile.h"
#include "protocol/ConstUnit.h"

#include <QDir>
#include <QFileInfo>

namespace Lng {

namespace {

struct Current {
    QString path;
    LngIniFile file;
};

Current &current()
{
    static Current c;
    return c;
}

} // namespace

int PlaceholderCount(const QString &text)
{
    return int(text.count(QStringLiteral("%s")));
}

QString Text(const QString &section, const QString &name, const QString &defaultText)
{
    const Current &c = current();
    if (c.path.isEmpty())
        return defaultText;
    const std::optional<QString> value = c.file.value(section, name);
    if (!value || PlaceholderCount(*value) != PlaceholderCount(defaultText))
        return defaultText;
    return *value;
}

QString CurrentFile()
{
    return current().path;
}

void SetCurrentFile(const QString &path)
{
    current().path = path;
    current().file = path.isEmpty() ? LngIniFile() : LngIniFile::load(path);
}

void ApplySharedTexts()
{
    for (int i = 0; i < int(ConstUnit::Text::Count); ++i) {
        const auto key = ConstUnit::Text(i);
        ConstUnit::setText(key, Caption(ConstUnit::languageSection(key), ConstUnit::defaultText(key)));
    }
}

QString LanguageName(const QString &path)
{
    const QString name =
        LngIniFile::load(path).value(QStringLiteral("LNG"), QStringLiteral("LanguageName"), QString());
    // A blank name would leave an empty menu item.
    return name.trimmed().isEmpty() ? QFileInfo(path).fileName() : name;
}

QList<LanguageFile> ListLanguageFiles(const QString &dir)
{
    QList<LanguageFile> files;
    const QFileInfoList entries = QDir(dir).entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        if (!entry.isFile())
            continue;
        const QString path = entry.absoluteFilePath();
        files.append({path, LanguageName(path)});
    }
    return files;
}

int StoredChoiceIndex(const QStringList &paths, const QString &storedPath)
{
    if (storedPath.isEmpty() || !QFileInfo(storedPath).isFile())
        return -1;
    const QString fileName = QFileInfo(storedPath).fileName();
    for (int i = 0; i < paths.size(); ++i) {
        if (QFileInfo(paths[i]).fileName() == fileName)
            return i;
    }
    return -1;
}

} // namespace Lng
