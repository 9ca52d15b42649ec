#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <atomic>

class QFile;
class ContentHash;

// Small file and timing steps the transfer threads and the engine share.
namespace TransferOps {

qint64 nowMs();
// Removes the partial files; a link in their place is left alone.
void removePartialFiles(const QSet<QString> &partials);
// False when the flag was raised meanwhile.
bool sleepUnlessCancelled(int ms, const std::atomic<bool> &cancel);
// Hashes the first bytes of an open file, as the start of a resumed transfer.
bool hashPrefix(QFile &file, qint64 length, ContentHash &sha, QByteArray &buffer,
                const std::atomic<bool> &cancel);
// Replaces an existing file in one step where the system allows it.
bool renameOver(const QString &from, const QString &to);

} // namespace TransferOps
