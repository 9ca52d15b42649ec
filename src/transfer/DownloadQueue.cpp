#include "transfer/DownloadQueue.h"

#include <QHash>

QList<int> DownloadsToStart(const QList<QueuedDownload> &downloads, int maxDownloads, int maxPerOwner)
{
    QHash<QString, int> perOwner;
    int running = 0;
    for (const QueuedDownload &d : downloads) {
        if (d.running) {
            ++running;
            ++perOwner[d.owner];
        }
    }
    QList<int> start;
    for (const QueuedDownload &d : downloads) {
        if (running >= maxDownloads)
            break;
        if (d.running || perOwner.value(d.owner) >= maxPerOwner)
            continue;
        start.append(d.id);
        ++running;
        ++perOwner[d.owner];
    }
    return start;
}
