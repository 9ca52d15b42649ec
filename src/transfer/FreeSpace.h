#pragma once

#include <QString>

#include <functional>

// Bytes this user may still write on the file system that holds the folder; -1 when unknown.
qint64 FreeBytes(const QString &folder);

// Where a download learns the free space of its folder; FreeBytes unless a test says otherwise.
using FreeSpaceSource = std::function<qint64(const QString &folder)>;
