#pragma once

#include <QString>
#include <QStringList>

// Opens a path, a web address or a "MailTo:" address with the system's "open" action. Tests put a
// recorder in place of the system, so that nothing is launched.
class ShellOpen {
public:
    // False when nothing could be opened.
    static bool open(const QString &target);

    // Test hook: while set, targets are only recorded.
    static void setRecording(bool recording);
    static QStringList opened();
    static void clearOpened();
};
