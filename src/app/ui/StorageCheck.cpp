#include "app/ui/StorageCheck.h"

#include "features/LngUn.h"
#include "features/ui/MessageBox.h"
#include "protocol/ConstUnit.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsWriteReport.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace StorageCheck {

bool CanWriteFolder(const QString &folder)
{
    QFileInfo info(QDir::cleanPath(QDir(folder).absolutePath()));
    // Up to the first part of the path that exists; bounded by the path's depth.
    for (int depth = 0; depth < 256 && !info.exists(); ++depth) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return false;
        info = QFileInfo(parent);
    }
    return info.isDir() && info.isWritable();
}

Findings Check(const SettingsStore &store, const QString &historyDir)
{
    Findings findings;
    QStringList &problems = findings.problems;
    const QString location = QDir::toNativeSeparators(store.location());
    if (!store.readSections()) {
        problems.append(ConstUnit::Format(
            Lng::Caption(
                QStringLiteral("SettingsReadFailedText"),
                QStringLiteral("The settings \"%s\" cannot be read: this run starts with the defaults "
                               "and writes nothing over them.")),
            {location}));
        findings.settingsUnusable = true;
    } else if (!store.location().isEmpty()) {
        const QFileInfo file(store.location());
        const bool writable = file.exists()
                                  ? file.isFile() && file.isWritable() && CanWriteFolder(file.absolutePath())
                                  : CanWriteFolder(file.absolutePath());
        findings.settingsUnusable = !writable;
        if (!writable)
            problems.append(ConstUnit::Format(
                Lng::Caption(QStringLiteral("SettingsCannotWriteText"),
                             QStringLiteral("The settings cannot be saved to \"%s\": changes last only until "
                                            "the program ends.")),
                {location}));
    }
    if (!CanWriteFolder(historyDir))
        problems.append(ConstUnit::Format(
            Lng::Caption(QStringLiteral("DataFolderCannotWriteText"),
                         QStringLiteral("The data folder \"%s\" cannot be written: no history is kept.")),
            {QDir::toNativeSeparators(QDir::cleanPath(historyDir))}));
    return findings;
}

void Report(QWidget *parent, const SettingsStore &store, const Findings &findings)
{
    const QStringList &problems = findings.problems;
    if (problems.isEmpty())
        return;
    for (const QString &problem : problems)
        std::fprintf(stderr, "perixchat: %s\n", qPrintable(problem));
    if (findings.settingsUnusable)
        SettingsWriteReport::instance().markFailing(store.location());
    const QPointer<QWidget> window = parent;
    QTimer::singleShot(0, parent, [window, problems] {
        if (window)
            MessageBox::error(window, problems.join(QStringLiteral("\n\n")));
    });
}

} // namespace StorageCheck
