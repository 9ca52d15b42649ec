#include "transfer/FreeSpace.h"

#include <QFile>
#include <QStorageInfo>

#ifdef Q_OS_UNIX
#include <sys/statvfs.h>
#endif

qint64 FreeBytes(const QString &folder)
{
#ifdef Q_OS_UNIX
    // statvfs alone: QStorageInfo reads the whole mount table each time, and a download asks often.
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return -1;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
#else
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
#endif
}
