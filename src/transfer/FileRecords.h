#pragma once

#include "talks/MessageMarkers.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One received file or folder reference; its index in the list is its identity.
struct RLFile {
    bool IsOwn = false; // the owner ID is my user ID and this run offered the path
    QString Path;       // on the owner's machine
    qint32 SizeKB = 0;
    QString OwnerID;
    QString OwnerIP;
    QString LocalPath; // nothing sets it
};

// Records are never removed, so an index stays valid for the whole run.
class FileRecordList {
public:
    int append(const RLFile &record);
    std::optional<RLFile> at(int index) const;
    int count() const { return int(m_records.size()); }

private:
    QList<RLFile> m_records;
};

// The fields of a file info in order (owner ID, owner IP, size, path), at most four. Empty fields
// take no place, so a missing value moves the later ones forward.
QStringList SplitFileInfo(const QString &info);
