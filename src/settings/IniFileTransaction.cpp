#include "settings/IniFileTransaction.h"

#include "settings/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryFile>

IniFileTransaction::IniFileTransaction(const QString &path)
    : m_path(QFileInfo(path).absoluteFilePath())
{
    m_settings = makeCopy();
    // A transaction that cannot go on holds nothing: the next one must not wait for this lock.
    if (!m_settings)
        m_lock.reset();
}

std::unique_ptr<QSettings> IniFileTransaction::makeCopy()
{
    const QFileInfo info(m_path);
    if (info.isDir() || !QDir().mkpath(info.absolutePath()))
        return nullptr;
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    if (!m_lock->tryLock(LockWaitMs))
        return nullptr;
    QByteArray current;
    if (info.exists()) {
        // As QSettings does: a file that may not be written is not replaced either.
        if (!info.isWritable())
            return nullptr;
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return nullptr;
        current = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return nullptr;
    }
    QTemporaryFile copy(m_path + QStringLiteral(".edit-XXXXXX"));
    copy.setAutoRemove(false);
    if (!copy.open())
        return nullptr;
    m_copy = copy.fileName();
    const bool copied = copy.write(current) == current.size() && copy.flush();
    copy.close();
    if (!copied)
        return nullptr;
    return std::make_unique<QSettings>(m_copy, QSettings::IniFormat);
}

IniFileTransaction::~IniFileTransaction()
{
    // QSettings may still write its file when it goes, so it goes first.
    m_settings.reset();
    if (!m_copy.isEmpty())
        QFile::remove(m_copy);
}

bool IniFileTransaction::commit()
{
    if (!m_settings)
        return false;
    if (!m_changed)
        return true;
    m_settings->sync();
    // A format error only says that the old file held lines QSettings could not read; the new file
    // holds what it could read, as QSettings' own write would.
    if (m_settings->status() == QSettings::AccessError)
        return false;
    const qsizetype keys = m_settings->allKeys().size();
    QFile written(m_copy);
    if (!written.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = written.readAll();
    if (written.error() != QFileDevice::NoError || !IsWholeIniText(text, keys))
        return false;
    written.close();
    // Readers in this process keep the parsed file while its size and modification time stay the same,
    // so the new file is given a later time than the old one, even within the same millisecond.
    QDateTime modified = QDateTime::currentDateTimeUtc();
    const QFileInfo old(m_path);
    if (old.exists() && modified <= old.lastModified().toUTC())
        modified = old.lastModified().toUTC().addMSecs(1);
    if (!WriteWholeFile(m_path, text, false, modified))
        return false;
    m_changed = false;
    return true;
}

bool IniFileTransaction::IsWholeIniText(const QByteArray &text, qsizetype keys)
{
    if (!text.isEmpty() && !text.endsWith('\n'))
        return false;
    qsizetype keyLines = 0;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        // QSettings escapes "[" in key names, so only a section header starts with it.
        if (!line.isEmpty() && !line.startsWith('['))
            ++keyLines;
    }
    return keyLines == keys;
}
