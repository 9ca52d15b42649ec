#include "settings/WholeFile.h"

#include <QSaveFile>

bool WriteWholeFile(const QString &path, const QByteArray &bytes, bool text, const QDateTime &modified)
{
    QSaveFile file(path);
    if (!file.open(text ? QIODevice::WriteOnly | QIODevice::Text : QIODevice::WriteOnly))
        return false;
    // QSaveFile's commit does not check the flush of its last buffered bytes: on a full disk it renames
    // an empty or cut file over the old one. Flushed here, a failure drops the temporary instead.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    if (modified.isValid())
        file.setFileTime(modified, QFileDevice::FileModificationTime);
    return file.commit();
}
