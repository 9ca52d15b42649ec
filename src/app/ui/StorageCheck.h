#pragma once

#include <QString>
#include <QStringList>

class QWidget;
class SettingsStore;

// What the program cannot use at start-up: a settings file it cannot read or write, a data folder it
// cannot write. Each problem is told once, in one box and on standard error, and the program goes on
// with what it has: an unreadable store is never written over, so the stored profile is kept.
namespace StorageCheck {

struct Findings {
    // As texts for the user; empty when everything can be used.
    QStringList problems;
    bool settingsUnusable = false;
};
Findings Check(const SettingsStore &store, const QString &historyDir);
// True when a file or folder could be made at the path (it exists as a writable folder, or its
// nearest existing ancestor is one).
bool CanWriteFolder(const QString &folder);
// Prints the problems on standard error and shows them in one box once the event loop runs. Later
// write failures of the store stay quiet: the user knows already.
void Report(QWidget *parent, const SettingsStore &store, const Findings &findings);

} // namespace StorageCheck
