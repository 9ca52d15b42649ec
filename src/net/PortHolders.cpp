#include "net/PortHolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {
// The walk through /proc stays short on any machine.
constexpr int MaxProcesses = 8192;
constexpr int MaxDescriptors = 4096;
} // namespace

QList<quint64> ParseUdpPortInodes(QByteArrayView procNetUdp, quint16 port)
{
    QList<quint64> inodes;
    const QList<QByteArray> lines = procNetUdp.toByteArray().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> columns = lines.at(i).simplified().split(' ');
        if (columns.size() < 10)
            continue;
        const QByteArray &local = columns.at(1);
        const qsizetype colon = local.lastIndexOf(':');
        if (colon < 0)
            continue;
        bool ok = false;
        const uint localPort = local.mid(colon + 1).toUInt(&ok, 16);
        if (!ok || localPort != port)
            continue;
        const quint64 inode = columns.at(9).toULongLong(&ok);
        if (ok && inode != 0 && !inodes.contains(inode))
            inodes.append(inode);
    }
    return inodes;
}

QList<PortHolder> FindUdpPortHolders(quint16 port)
{
    QList<quint64> inodes;
    for (const char *table : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile file{QString::fromLatin1(table)};
        // Files of /proc have no size: read until their end.
        if (file.open(QIODevice::ReadOnly))
            inodes += ParseUdpPortInodes(file.readAll(), port);
    }
    QList<PortHolder> holders;
    if (inodes.isEmpty())
        return holders;
    QStringList wanted;
    for (quint64 inode : std::as_const(inodes))
        wanted.append(QStringLiteral("socket:[%1]").arg(inode));
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    int seen = 0;
    for (const QString &entry : processes) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        if (++seen > MaxProcesses)
            break;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList descriptors = fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        for (qsizetype i = 0; i < descriptors.size() && i < MaxDescriptors; ++i) {
            if (!wanted.contains(
                    QFileInfo(fds.filePath(descriptors.at(i))).symLinkTarget().section(u'/', -1)))
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            QString name;
            if (comm.open(QIODevice::ReadOnly))
                name = QString::fromLocal8Bit(comm.readAll()).trimmed();
            holders.append({pid, name});
            break;
        }
    }
    std::sort(holders.begin(), holders.end(),
              [](const PortHolder &a, const PortHolder &b) { return a.pid < b.pid; });
    return holders;
}
