#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

// A private message that waits for its addressee: the user was offline when it was written, or it
// was not delivered after the retries. It is sent when the addressee's NEW or UPDATEINFO arrives.
struct OutboxEntry {
    qint64 id = 0;
    QString addresseeId;
    QString addresseeName;
    // The message string as the talk encoded it; the packet is built when it is sent.
    QString body;
    QDateTime created;
};

// The waiting messages, kept in one file that is replaced whole on every change (never left empty or
// cut), so that they survive a restart and a crash. Bounded: at most MaxEntries, none older than
// MaxAgeDays; a message that would pass the first bound is refused at once, one that passes the second
// is dropped, and both are reported to the caller, which tells the user in the talk. A file that is not
// one this class wrote is set aside as "<file>.damaged" and the outbox starts empty.
class Outbox {
public:
    static constexpr int MaxEntries = 1000;
    static constexpr int MaxAgeDays = 7;
    static constexpr qsizetype MaxIdLength = 256;
    static constexpr qsizetype MaxNameLength = 256;
    // A message string never outgrows its datagram.
    static constexpr qsizetype MaxBodyBytes = 8192;
    // Far above what MaxEntries full entries take; a larger file is not read at all.
    static constexpr qint64 MaxFileBytes = 64LL * 1024 * 1024;

    enum class Load { Missing, Loaded, Damaged, Unreadable };
    struct LoadReport {
        Load result = Load::Missing;
        // Entries of a readable file that were older than MaxAgeDays, dropped on loading.
        QList<OutboxEntry> expired;
    };
    enum class Added { Stored, NotStored, Full, Invalid };
    struct AddResult {
        Added result = Added::Invalid;
        qint64 id = 0;
    };

    explicit Outbox(const QString &path);

    const QString &path() const { return m_path; }
    LoadReport load(const QDateTime &now);

    // Keeps the message, written to the file at once. NotStored: kept for this run only, the file could
    // not be written. Full and Invalid keep nothing.
    AddResult add(const QString &addresseeId, const QString &addresseeName, const QString &body,
                  const QDateTime &now);
    // False when no entry has that ID.
    bool cancel(qint64 id);
    // The messages waiting for that user, oldest first; they leave the outbox.
    QList<OutboxEntry> takeDueFor(const QString &addresseeId);
    // The messages waiting for that user that are not being sent already, oldest first. They stay in
    // the outbox and its file while they are sent, so that a crash before their verdict loses none.
    QList<OutboxEntry> startSending(const QString &addresseeId);
    // The sending ended: a delivered message leaves the outbox, any other waits again. False when the
    // entry is gone (cancelled or expired meanwhile).
    bool finishSending(qint64 id, bool delivered);
    bool isSending(qint64 id) const { return m_sending.contains(id); }
    // Drops the entries older than MaxAgeDays and returns them.
    QList<OutboxEntry> dropExpired(const QDateTime &now);

    const QList<OutboxEntry> &entries() const { return m_entries; }
    std::optional<OutboxEntry> entry(qint64 id) const;
    // False after the last write failed; the next change tries again.
    bool isStored() const { return m_stored; }

    // The file's bytes for these entries, and the entries of such bytes (nullopt when damaged).
    static QByteArray Serialize(const QList<OutboxEntry> &entries);
    static std::optional<QList<OutboxEntry>> Parse(const QByteArray &bytes);

private:
    bool save();

    QString m_path;
    QList<OutboxEntry> m_entries;
    QSet<qint64> m_sending;
    qint64 m_nextId = 1;
    bool m_stored = true;
    bool m_unreadable = false;
};
