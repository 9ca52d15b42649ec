#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QString>

#include <optional>

// One file or folder the local user offered in a message of this run.
struct FileOffer {
    QString path;      // exactly as the reference carried it
    QString canonical; // where it led when it was offered
    bool isDir = false;
};

// Digests of offered files, good while their size and modification time stay as they were. They
// spare the owner a hashing pass while it sends; a file changed behind them still fails the
// requester's check, never passes it.
class FileHashCache {
public:
    static constexpr int MaxEntries = 4096;

    std::optional<QByteArray> Find(const QString &path, qint64 size, qint64 modifiedMs) const;
    void Store(const QString &path, qint64 size, qint64 modifiedMs, const QByteArray &sha256);

private:
    struct Entry {
        qint64 size = 0;
        qint64 modifiedMs = 0;
        QByteArray sha256;
    };
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_entries;
};

// The owner's own list of what it offered. Only these are ever served, and only while they still
// lead where they led when offered. Shared with the transfer threads, so every call locks.
class FileOfferList {
public:
    static constexpr int MaxOffers = 4096;

    // False for a path that does not exist, is neither a file nor a folder, or when the list is full.
    bool Add(const QString &path);
    // The offer whose path is exactly this one.
    std::optional<FileOffer> Find(const QString &path) const;
    int count() const;
    FileHashCache &hashes() { return m_hashes; }

private:
    mutable QMutex m_mutex;
    QHash<QString, FileOffer> m_offers;
    FileHashCache m_hashes;
};

class TDataFileMessage;

// What a FILETO left behind: the requester may now fetch that path over TCP, from that address.
struct FileToGrant {
    QString clientId;
    QString clientIp;
    QString path;
    QString number;
    qint64 receivedMs = 0;
    // The box key of the user whose sealed FILETO this was: only a connection proven by this key
    // takes the grant, from any address; empty for a plain FILETO, taken by address.
    QByteArray boxKey;
};

enum class FileToVerdict {
    NotForMe, // SERVERID is another user's: ignored
    Accepted,
    Refused, // for me, but naming something that was not offered
};

enum class GrantLookup { Granted, WrongAddress, WrongKey, None };

// FILETO acceptance and the grants it leaves for the transfer connections. Bounded: the oldest
// grants go first, and each lives a few minutes at most.
class FileToGate {
public:
    static constexpr int MaxGrants = 256;
    static constexpr qint64 GrantLifetimeMs = 120000;

    FileToVerdict Accept(const TDataFileMessage &message, const QString &myId, const FileOfferList &offers,
                         qint64 nowMs, const QByteArray &boxKey = QByteArray());
    // Takes the grant for this requester and path: a plain one when the address is the one the
    // FILETO named and the connection has no key, a sealed one when the connection proved its key.
    GrantLookup Take(const QString &clientId, const QString &path, const QHostAddress &peer, qint64 nowMs,
                     const QByteArray &boxKey = QByteArray());
    // The key of the newest sealed grant of the requester; empty when there is none.
    QByteArray KeyOf(const QString &clientId, qint64 nowMs);
    int count() const;

private:
    void expire(qint64 nowMs);

    mutable QMutex m_mutex;
    QList<FileToGrant> m_grants;
};

// The address in its plain IPv4 form when it is a mapped one.
bool SameHostAddress(const QHostAddress &a, const QHostAddress &b);
