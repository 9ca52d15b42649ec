#include "transfer/FileOffers.h"

#include "protocol/ProtocolClassUn.h"

#include <QFileInfo>
#include <QMutexLocker>

bool FileOfferList::Add(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || (!info.isFile() && !info.isDir()))
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_offers.contains(path) && m_offers.size() >= MaxOffers)
        return false;
    m_offers.insert(path, FileOffer{path, canonical, info.isDir()});
    return true;
}

std::optional<FileOffer> FileOfferList::Find(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_offers.constFind(path);
    if (it == m_offers.constEnd())
        return std::nullopt;
    return *it;
}

int FileOfferList::count() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_offers.size());
}

std::optional<QByteArray> FileHashCache::Find(const QString &path, qint64 size, qint64 modifiedMs) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_entries.constFind(path);
    if (it == m_entries.constEnd() || it->size != size || it->modifiedMs != modifiedMs)
        return std::nullopt;
    return it->sha256;
}

void FileHashCache::Store(const QString &path, qint64 size, qint64 modifiedMs, const QByteArray &sha256)
{
    QMutexLocker lock(&m_mutex);
    if (!m_entries.contains(path) && m_entries.size() >= MaxEntries)
        m_entries.erase(m_entries.begin());
    m_entries.insert(path, Entry{size, modifiedMs, sha256});
}

FileToVerdict FileToGate::Accept(const TDataFileMessage &message, const QString &myId,
                                 const FileOfferList &offers, qint64 nowMs, const QByteArray &boxKey)
{
    if (myId.isEmpty() || message.GetServerID() != myId)
        return FileToVerdict::NotForMe;
    const QString path = message.GetFileName();
    if (!offers.Find(path))
        return FileToVerdict::Refused;
    QMutexLocker lock(&m_mutex);
    expire(nowMs);
    while (m_grants.size() >= MaxGrants)
        m_grants.removeFirst();
    m_grants.append(FileToGrant{message.GetClientID(), message.GetClientIP(), path, message.GetNomberFile(),
                                nowMs, boxKey});
    return FileToVerdict::Accepted;
}

GrantLookup FileToGate::Take(const QString &clientId, const QString &path, const QHostAddress &peer,
                             qint64 nowMs, const QByteArray &boxKey)
{
    QMutexLocker lock(&m_mutex);
    expire(nowMs);
    bool otherAddress = false;
    bool otherKey = false;
    // The newest grant first: a retry's FILETO replaces what an earlier one said.
    for (qsizetype i = m_grants.size() - 1; i >= 0; --i) {
        const FileToGrant &grant = m_grants.at(i);
        if (grant.clientId != clientId || grant.path != path)
            continue;
        // A sealed grant is never taken by address alone, and a key never takes a plain grant.
        if (grant.boxKey != boxKey) {
            otherKey = true;
            continue;
        }
        if (!boxKey.isEmpty() || SameHostAddress(QHostAddress(grant.clientIp), peer)) {
            m_grants.removeAt(i);
            return GrantLookup::Granted;
        }
        otherAddress = true;
    }
    if (otherKey)
        return GrantLookup::WrongKey;
    return otherAddress ? GrantLookup::WrongAddress : GrantLookup::None;
}

QByteArray FileToGate::KeyOf(const QString &clientId, qint64 nowMs)
{
    QMutexLocker lock(&m_mutex);
    expire(nowMs);
    for (qsizetype i = m_grants.size() - 1; i >= 0; --i) {
        if (m_grants.at(i).clientId == clientId && !m_grants.at(i).boxKey.isEmpty())
            return m_grants.at(i).boxKey;
    }
    return {};
}

int FileToGate::count() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_grants.size());
}

void FileToGate::expire(qint64 nowMs)
{
    m_grants.removeIf([nowMs](const FileToGrant &g) { return nowMs - g.receivedMs > GrantLifetimeMs; });
}

bool SameHostAddress(const QHostAddress &a, const QHostAddress &b)
{
    if (a.isNull() || b.isNull())
        return false;
    return a.isEqual(b, QHostAddress::ConvertV4MappedToIPv4);
}
