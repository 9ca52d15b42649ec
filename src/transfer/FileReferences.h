#pragma once

#include "transfer/FileRecords.h"

#include <QList>
#include <QString>

// The file and folder references of a message string, read the way a transcript shows them: the
// same markers in the same order, so that the n-th reference found here is the n-th file icon
// there. A reference whose closing marker is missing still counts, with empty fields. IsOwn is
// left false: only the peer knows what it offered.
QList<RLFile> ScanFileReferences(const QString &message);

// The message text of a reference to a local file or folder, as an input editor encodes it: the
// owner's ID and IP, a size of 0 and the path.
QString FileReferenceText(const QString &myId, const QString &myIp, const QString &path);
