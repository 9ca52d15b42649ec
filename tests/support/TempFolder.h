#pragma once

#include "settings/SettingsStore.h"

#include <QString>
#include <QTemporaryDir>

// A settings file and a data folder of their own, removed with the object: tests never touch the
// user's settings or folders.
class TempFolder {
public:
    TempFolder();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString settingsFile() const { return filePath(QStringLiteral("settings.ini")); }
    SettingsStore store() const { return SettingsStore(settingsFile()); }
    // The user ID of the profile in the settings file (made on first use).
    QString userId() const;
    void setAlias(const QString &alias) const;

private:
    QTemporaryDir m_dir;
};
