#include "cli/PathsReport.h"

#include "app/AppContext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>

QString PathsReport(const AppContext &context, bool json)
{
    const QList<QPair<QString, QString>> entries{
        {QStringLiteral("settings"), context.store.location()},
        {QStringLiteral("history"), context.paths.historyDir()},
        {QStringLiteral("languages"), context.paths.lngDir()},
        {QStringLiteral("sounds"), context.paths.soundDir()},
        {QStringLiteral("help"), context.paths.helpFile()},
    };
    if (json) {
        QJsonObject object;
        for (const auto &[name, path] : entries)
            object.insert(name, path);
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n';
    }
    QString text;
    for (const auto &[name, path] : entries)
        text += name.leftJustified(10) + path + u'\n';
    return text;
}
