#include "features/StoryFileUn.h"

#include "features/SafeFileName.h"
#include "protocol/ConstUnit.h"
#include "settings/WholeFile.h"
#include "settings/iniFileUn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QTimeZone>

namespace StoryFile {

namespace {
constexpr qint64 SecondsPerDay = 24 * 60 * 60;
constexpr qint64 CopyChunk = 64 * 1024;

bool isIsolateControl(QChar c)
{
    return c.unicode() >= 0x2066 && c.unicode() <= 0x2069;
}

// Cut at a character boundary so that the UTF-8 form fits.
QString boundUtf8(const QString &text, int bytes)
{
    QString bounded = text;
    while (bounded.toUtf8().size() > bytes) {
        bounded.chop(1);
        if (!bounded.isEmpty() && bounded.back().isHighSurrogate())
            bounded.chop(1);
    }
    return bounded;
}
} // namespace

Options ReadOptions(const SettingsStore &store)
{
    Options o;
    o.SaveHistory = readSetting(store, Setting::StorySaveHistory);
    o.PeriodStorage = readSetting(store, Setting::StoryPeriodStorage);
    o.Days = readSetting(store, Setting::StoryDays);
    o.SaveAsRTF = readSetting(store, Setting::StorySaveAsRTF);
    o.SaveAsTXT = readSetting(store, Setting::StorySaveAsTXT);
    return o;
}

bool WriteOptions(const SettingsStore &store, const Options &o)
{
    bool written = writeSetting(store, Setting::StorySaveHistory, o.SaveHistory);
    written = writeSetting(store, Setting::StoryPeriodStorage, o.PeriodStorage) && written;
    written = writeSetting(store, Setting::StorySaveAsRTF, o.SaveAsRTF) && written;
    written = writeSetting(store, Setting::StorySaveAsTXT, o.SaveAsTXT) && written;
    return writeSetting(store, Setting::StoryDays, o.Days) && written;
}

QString TalkName(const QString &sheetCaption, const QString &localAlias)
{
    // Each name gets its share, so that a long alias cannot push the other one out of the file name.
    return ConstUnit::Format(
        ConstUnit::text(ConstUnit::Text::FileNameStoryPrefix),
        {boundUtf8(sheetCaption, MaxNamePartBytes), boundUtf8(localAlias, MaxNamePartBytes)});
}

QString SafeTalkName(const QString &talkName)
{
    // The isolates that keep a peer's name apart on screen carry nothing a file name needs.
    QString name = talkName;
    name.removeIf(isIsolateControl);
    int length = SafeFileName::MaxLength;
    QString safe = SafeFileName::SafeName(name, length);
    while (safe.toUtf8().size() > MaxTalkNameBytes && length > 1)
        safe = SafeFileName::SafeName(name, --length);
    return safe;
}

QString DateText(const QDate &date)
{
    QString text = QLocale::system().toString(date, QLocale::ShortFormat);
    for (QChar &c : text) {
        if (c == u'/' || c == u'\\' || c == u':')
            c = u'-';
    }
    return SafeFileName::SafeName(text);
}

QString NewFileName(const QString &folder, const QString &talkName, const QDateTime &now, bool rtf)
{
    if (folder.isEmpty())
        return QString();
    const QString base = QDir(folder).filePath(SafeTalkName(talkName) + u' ' + DateText(now.date()) + u' ' +
                                               now.time().toString(QStringLiteral("hh.mm.ss")));
    const QString extension = rtf ? QStringLiteral(".rtf") : QStringLiteral(".txt");
    for (int n = 1; n <= MaxSameNameFiles; ++n) {
        const QString path = n == 1 ? base + extension : base + QStringLiteral(" (%1)").arg(n) + extension;
        if (!SafeFileName::IsInside(folder, path))
            return QString();
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return path;
    }
    return QString();
}

WriteResult WriteTalk(const QString &folder, const QString &talkName, const QByteArray &content, bool rtf,
                      const QDateTime &now)
{
    if (content.isEmpty() || !QFileInfo(folder).isDir())
        return {};
    const QString path = NewFileName(folder, talkName, now, rtf);
    if (path.isEmpty() || !WriteWholeFile(path, content, !rtf))
        return {QString(), true};
    return {path, false};
}

bool EnsureFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    QDir().mkpath(folder);
    return QFileInfo(folder).isDir();
}

QDateTime FileDate(const QString &path)
{
    const QFileInfo info(path);
    const QDateTime modified = info.lastModified().toUTC();
    const QDateTime born = info.birthTime().toUTC();
    if (born.isValid() && (!modified.isValid() || born < modified))
        return born;
    return modified;
}

qint64 AgeInDays(const QDateTime &fileDate, const QDateTime &now)
{
    const QDateTime startOfToday = now.date().startOfDay(now.timeZone());
    return qAbs(fileDate.secsTo(startOfToday)) / SecondsPerDay;
}

int Purge(const QString &folder, int days, const QDateTime &now)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return 0;
    int deleted = 0;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        const QDateTime date = FileDate(entry.filePath());
        if (date.isValid() && AgeInDays(date, now) > days && QFile::remove(entry.filePath()))
            ++deleted;
    }
    return deleted;
}

QStringList ListFiles(const QString &folder)
{
    if (folder.isEmpty())
        return {};
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Unsorted);
}

bool CopyFile(const QString &source, const QString &target)
{
    const QFileInfo from(source);
    const QFileInfo to(target);
    if (!from.isFile() || target.isEmpty() || to.isDir())
        return false;
    if (to.exists() && from.canonicalFilePath() == to.canonicalFilePath())
        return true;
    QFile in(source);
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(CopyChunk);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return false;
        }
    }
    // The commit would rename the copy even when its last buffered bytes could not be written.
    if (!out.flush()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool MoveFile(const QString &source, const QString &target)
{
    if (!QFileInfo(source).isFile() || target.isEmpty() || QFileInfo::exists(target) ||
        QFileInfo(target).isSymLink())
        return false;
    return QFile::rename(source, target);
}

bool DeleteFile(const QString &path)
{
    return QFileInfo(path).isFile() && QFile::remove(path);
}

bool WriteBudget::take(qint64 nowMs)
{
    constexpr qint64 Minute = 60 * 1000;
    while (!m_times.isEmpty() && nowMs - m_times.first() >= Minute)
        m_times.removeFirst();
    if (m_times.size() >= m_perMinute)
        return false;
    m_times.append(nowMs);
    return true;
}

} // namespace StoryFile
