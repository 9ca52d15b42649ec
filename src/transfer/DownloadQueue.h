#pragma once

#include <QList>
#include <QString>

// One fetch as the queue sees it, in the order the user asked for them.
struct QueuedDownload {
    int id = 0;
    QString owner; // the owner's address
    bool running = false;
};

// The waiting fetches that may start now, first asked first: at most maxDownloads run in all and
// maxPerOwner from one owner; the rest keep waiting.
QList<int> DownloadsToStart(const QList<QueuedDownload> &downloads, int maxDownloads, int maxPerOwner);
