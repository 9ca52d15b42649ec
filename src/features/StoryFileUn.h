#pragma once

#include "settings/SettingsStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// History files: one file per written transcript in the history folder, their names, their content,
// the purge of old files at start-up and the file commands of the history window.
namespace StoryFile {

// The talk name's share of a file name, in UTF-8 bytes; date, time, counter and extension fit in the
// rest of the 255 bytes that common file systems allow.
inline constexpr int MaxTalkNameBytes = 150;
// Each of the two names in the talk name, in UTF-8 bytes.
inline constexpr int MaxNamePartBytes = 64;
inline constexpr int MaxSameNameFiles = 999;

struct Options {
    bool SaveHistory = true;
    bool PeriodStorage = false;
    int Days = 10;
    bool SaveAsRTF = false;
    bool SaveAsTXT = true;
};

Options ReadOptions(const SettingsStore &store);
bool WriteOptions(const SettingsStore &store, const Options &options);

// The language text "FileNameStoryPrefix" ("%s and %s") with the sheet's caption and the local alias,
// each cut to MaxNamePartBytes.
QString TalkName(const QString &sheetCaption, const QString &localAlias);

// The talk name made fit for a file name on every common file system: refused characters replaced,
// leading dots and trailing blanks and dots gone, bounded in characters and in UTF-8 bytes.
QString SafeTalkName(const QString &talkName);

// The short date of the system's locale, with path separators turned into "-".
QString DateText(const QDate &date);

// folder + safe talk name + " " + date + " " + "hh.mm.ss" + ".rtf" or ".txt"; when that file exists,
// " (2)", " (3)" ... before the extension. Empty when no free name lies inside the folder.
QString NewFileName(const QString &folder, const QString &talkName, const QDateTime &now, bool rtf);

// What became of a history write.
struct WriteResult {
    QString path;        // the file written; empty when none was
    bool failed = false; // there was a transcript to keep, but no whole file of it could be written
};

// Writes the content to a new file of the folder through a temporary file that is renamed to its
// name only when every byte was written, so that neither a crash nor a full disk leaves an empty or
// half file. Nothing is written, and nothing failed, for empty content or a missing folder.
WriteResult WriteTalk(const QString &folder, const QString &talkName, const QByteArray &content, bool rtf,
                      const QDateTime &now = QDateTime::currentDateTime());

// Creates the folder with its parents; true when it exists afterwards.
bool EnsureFolder(const QString &folder);

// The date that ages a history file: its creation time when the file system reports one, but the
// modification time when that is earlier (a file restored or copied with its dates) or when the file
// system keeps no creation time.
QDateTime FileDate(const QString &path);
// Whole days (truncated) between the date and the start of the day of now, either way round.
qint64 AgeInDays(const QDateTime &fileDate, const QDateTime &now);
// Deletes every regular file of the folder older than days; the number deleted.
int Purge(const QString &folder, int days, const QDateTime &now = QDateTime::currentDateTime());

// The regular files of the folder, names only, in the order the file system lists them.
QStringList ListFiles(const QString &folder);
// Copies over an existing target, through a temporary file.
bool CopyFile(const QString &source, const QString &target);
// Fails, and changes nothing, when the target exists.
bool MoveFile(const QString &source, const QString &target);
bool DeleteFile(const QString &path);

// A peer that opens and closes talks in a loop would make the program write a file each time. The
// budget lets a number of writes through in any minute; the writes at closing are not counted.
class WriteBudget {
public:
    static constexpr int DefaultPerMinute = 60;

    explicit WriteBudget(int perMinute = DefaultPerMinute)
        : m_perMinute(perMinute)
    {}
    // True, and the write counted, while fewer than the budget were counted in the minute up to now.
    bool take(qint64 nowMs);

private:
    int m_perMinute;
    QList<qint64> m_times;
};

} // namespace StoryFile
