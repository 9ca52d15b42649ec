#include "transfer/TransferFileOps.h"

#include "transfer/ContentHash.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace TransferOps {

namespace {

std::filesystem::path nativePath(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    return std::filesystem::path(std::string(encoded.constData(), size_t(encoded.size())));
}

} // namespace

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void removePartialFiles(const QSet<QString> &partials)
{
    for (const QString &part : partials) {
        if (!QFileInfo(part).isSymLink())
            QFile::remove(part);
    }
}

bool sleepUnlessCancelled(int ms, const std::atomic<bool> &cancel)
{
    for (int slept = 0; slept < ms; slept += 20) {
        if (cancel.load())
            return false;
        QThread::msleep(20);
    }
    return !cancel.load();
}

bool hashPrefix(QFile &file, qint64 length, ContentHash &sha, QByteArray &buffer,
                const std::atomic<bool> &cancel)
{
    if (!file.seek(0))
        return false;
    qint64 left = length;
    while (left > 0) {
        if (cancel.load())
            return false;
        const qint64 n = file.read(buffer.data(), std::min<qint64>(left, buffer.size()));
        if (n <= 0)
            return false;
        sha.addData(QByteArrayView(buffer.constData(), n));
        left -= n;
    }
    return true;
}

bool renameOver(const QString &from, const QString &to)
{
    std::error_code ec;
    std::filesystem::rename(nativePath(from), nativePath(to), ec);
    return !ec;
}

} // namespace TransferOps
