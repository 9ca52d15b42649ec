#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct FileOffer;

// One file or folder of what an owner sends, relative to the offered file or folder ("" is the
// offered file itself), components joined by "/".
struct ManifestEntry {
    QString relative;
    bool isDir = false;
    qint64 size = 0;
};

struct TransferManifest {
    bool isDir = false;
    QList<ManifestEntry> entries;
};

namespace TransferPath {

inline constexpr int MaxDepth = 64;
inline constexpr int MaxRelativeLength = 4096;
inline constexpr int MaxEntries = 100000;
inline constexpr char PartSuffix[] = ".part";

// The name part of a path as its owner wrote it, with "/" or "\" between folders:
// "C:\docs\a.txt" gives "a.txt", "/home/x/dir/" gives "dir".
QString OwnerFileName(const QString &ownerPath);

// The name a received file or folder gets here: the owner's name made safe like history names.
QString LocalName(const QString &ownerPath);

// The components of a relative path an owner sent, each made safe like history names. Nothing for
// an absolute path, an empty, "." or ".." component, or a path too deep or too long.
std::optional<QStringList> SafeComponents(const QString &relative);

// Where an entry goes under the local root (the received file or folder itself); empty when the
// result would leave it.
QString LocalTarget(const QString &root, const QString &relative);

// True when writing path cannot leave root: every existing folder from root down to path's folder
// is a real folder (no symbolic link), and path itself is no link.
bool IsSafeWriteLocation(const QString &root, const QString &path);

// "name", or "name (2).ext", "name (3).ext"... whichever is free in folder, ".part" files included.
QString FreeName(const QString &folder, const QString &name);

// A fresh tag for the partial files of one fetch.
QString NewPartialTag();

// The partial file of an entry while it arrives, beside the entry's target: a hidden name with the
// fetch's own tag. Received names never begin with a dot, so no offered file can take it, nor can a
// file another program left in the folder.
QString PartialName(const QString &tag, const QString &relative);

// The tree of an offer, walked without following links. Links that lead out of the offered folder
// are left out and named in refused; links to folders and anything that is neither a regular file
// nor a folder are left out silently. Nothing when the offer no longer leads where it did or the
// tree has too many entries.
std::optional<TransferManifest> BuildManifest(const FileOffer &offer, QStringList *refused, QString *error);

// The local file behind an entry of an offer, checked again when it is served: it must still be a
// regular file inside the offered folder once links are resolved (or the offered file itself).
// Empty, with the reason, otherwise.
QString ServedFilePath(const FileOffer &offer, const QString &relative, QString *why);

} // namespace TransferPath
