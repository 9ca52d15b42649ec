#include "LngUn.h"

#include <QFile>
#include <QHash>

namespace Lng {

namespace {

struct Current {
    QString path;
    // Section and name in lower case, joined by a newline.
    QHash<QString, QString> values;
};

Current &current()
{
    static Current c;
    return c;
}

QHash<QString, QString> readFile(const QString &path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    QString section;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || section.isEmpty())
            continue;
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        const QString key = section + u'\n' + line.left(equals).trimmed().toLower();
        if (!values.contains(key))
            values.insert(key, value);
    }
    return values;
}

} // namespace

QString Text(const QString &section, const QString &name, const QString &defaultText)
{
    const Current &c = current();
    if (c.path.isEmpty())
        return defaultText;
    return c.values.value(section.toLower() + u'\n' + name.toLower(), defaultText);
}

QString CurrentFile()
{
    return current().path;
}

void SetCurrentFile(const QString &path)
{
    current().path = path;
    current().values = path.isEmpty() ? QHash<QString, QString>() : readFile(path);
}

} // namespace Lng
