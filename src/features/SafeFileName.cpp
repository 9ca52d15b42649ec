#include "features/SafeFileName.h"

#include <QDir>
#include <QFileInfo>

namespace SafeFileName {

namespace {

bool isRefused(QChar c)
{
    static const QString reserved = QStringLiteral("/\\:*?\"<>|");
    if (c.unicode() < 0x20 || c.unicode() == 0x7f || reserved.contains(c))
        return true;
    // Direction controls reorder what a user reads ("x\u202Etxt.exe"); format characters hide.
    const QChar::Category category = c.category();
    return category == QChar::Other_Format || category == QChar::Other_Control ||
           category == QChar::Other_NotAssigned || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

bool isDeviceName(const QString &name)
{
    // Windows refuses these with any extension: "CON.txt" is the console too.
    const QString stem = name.section(u'.', 0, 0).trimmed().toUpper();
    static const QStringList devices = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                        QStringLiteral("NUL")};
    if (devices.contains(stem))
        return true;
    return stem.size() == 4 &&
           (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))) &&
           stem.at(3) >= u'1' && stem.at(3) <= u'9';
}

} // namespace

QString SafeName(const QString &text, int maxLength)
{
    QString name;
    name.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            name += c;
            name += text.at(++i);
        } else if (c.isSurrogate() || isRefused(c)) {
            name += u'_';
        } else {
            name += c;
        }
    }
    while (name.startsWith(u'.') || name.startsWith(u' '))
        name.remove(0, 1);
    if (maxLength > 0 && name.size() > maxLength) {
        name.truncate(maxLength);
        if (name.back().isHighSurrogate())
            name.chop(1);
    }
    while (name.endsWith(u'.') || name.endsWith(u' '))
        name.chop(1);
    if (name.isEmpty())
        return QStringLiteral("_");
    if (isDeviceName(name))
        name.prepend(u'_');
    return name;
}

bool IsInside(const QString &folder, const QString &path)
{
    if (folder.isEmpty() || path.isEmpty())
        return false;
    const QString base = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString target = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString prefix = base.endsWith(u'/') ? base : base + u'/';
    return target.startsWith(prefix) && target.size() > prefix.size();
}

} // namespace SafeFileName
