#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Writes the file through a temporary file that is renamed over it only when every byte reached the
// disk's file system; otherwise the file stays as it was, or absent, and the result is false. Text
// mode writes the system's line ends. A valid modification time is given to the new file.
bool WriteWholeFile(const QString &path, const QByteArray &bytes, bool text = false,
                    const QDateTime &modified = QDateTime());
