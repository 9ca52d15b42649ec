#include "talks/Outbox.h"

#include "settings/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>

namespace {

constexpr int FormatVersion = 1;
const QString KeyFormat = QStringLiteral("format");
const QString KeyEntries = QStringLiteral("entries");
const QString KeyId = QStringLiteral("id");
const QString KeyTo = QStringLiteral("to");
const QString KeyName = QStringLiteral("name");
const QString KeyBody = QStringLiteral("body");
const QString KeyCreated = QStringLiteral("created");
// Integers in JSON are doubles: IDs stay below 2^53.
constexpr qint64 MaxId = (qint64(1) << 53) - 1;

bool validText(const QString &text, qsizetype maxBytes)
{
    return text.toUtf8().size() <= maxBytes;
}

bool valid(const OutboxEntry &entry)
{
    return entry.id > 0 && entry.id <= MaxId && !entry.addresseeId.trimmed().isEmpty() &&
           validText(entry.addresseeId, Outbox::MaxIdLength) &&
           validText(entry.addresseeName, Outbox::MaxNameLength) && !entry.body.isEmpty() &&
           validText(entry.body, Outbox::MaxBodyBytes) && entry.created.isValid();
}

bool expired(const OutboxEntry &entry, const QDateTime &now)
{
    return entry.created.addDays(Outbox::MaxAgeDays) < now;
}

} // namespace

Outbox::Outbox(const QString &path)
    : m_path(path)
{}

QByteArray Outbox::Serialize(const QList<OutboxEntry> &entries)
{
    QJsonArray list;
    for (const OutboxEntry &entry : entries) {
        QJsonObject object;
        object.insert(KeyId, double(entry.id));
        object.insert(KeyTo, entry.addresseeId);
        object.insert(KeyName, entry.addresseeName);
        object.insert(KeyBody, entry.body);
        object.insert(KeyCreated, entry.created.toUTC().toString(Qt::ISODateWithMs));
        list.append(object);
    }
    QJsonObject root;
    root.insert(KeyFormat, FormatVersion);
    root.insert(KeyEntries, list);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<QList<OutboxEntry>> Outbox::Parse(const QByteArray &bytes)
{
    if (bytes.size() > MaxFileBytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    if (root.value(KeyFormat) != QJsonValue(FormatVersion) || !root.value(KeyEntries).isArray())
        return std::nullopt;
    const QJsonArray list = root.value(KeyEntries).toArray();
    if (list.size() > MaxEntries)
        return std::nullopt;
    QList<OutboxEntry> entries;
    for (const QJsonValue &value : list) {
        const QJsonObject object = value.toObject();
        const QJsonValue id = object.value(KeyId);
        if (!value.isObject() || !id.isDouble() || !object.value(KeyTo).isString() ||
            !object.value(KeyName).isString() || !object.value(KeyBody).isString() ||
            !object.value(KeyCreated).isString())
            return std::nullopt;
        const double number = id.toDouble();
        if (!(number >= 1 && number <= double(MaxId)) || number != double(qint64(number)))
            return std::nullopt;
        OutboxEntry entry;
        entry.id = qint64(number);
        entry.addresseeId = object.value(KeyTo).toString();
        entry.addresseeName = object.value(KeyName).toString();
        entry.body = object.value(KeyBody).toString();
        entry.created = QDateTime::fromString(object.value(KeyCreated).toString(), Qt::ISODateWithMs);
        const bool repeated = std::any_of(entries.cbegin(), entries.cend(),
                                          [&](const OutboxEntry &e) { return e.id == entry.id; });
        if (!valid(entry) || repeated)
            return std::nullopt;
        entries.append(entry);
    }
    return entries;
}

Outbox::LoadReport Outbox::load(const QDateTime &now)
{
    LoadReport report;
    m_entries.clear();
    m_sending.clear();
    m_nextId = 1;
    m_unreadable = false;
    const QFileInfo info(m_path);
    if (!info.exists())
        return report;
    QFile file(m_path);
    if (info.size() > MaxFileBytes || !file.open(QIODevice::ReadOnly)) {
        report.result = info.size() > MaxFileBytes ? Load::Damaged : Load::Unreadable;
    } else {
        const QByteArray bytes = file.read(MaxFileBytes + 1);
        const bool readFailed = file.error() != QFileDevice::NoError;
        file.close();
        if (readFailed)
            report.result = Load::Unreadable;
        else if (const std::optional<QList<OutboxEntry>> parsed = Parse(bytes)) {
            report.result = Load::Loaded;
            m_entries = *parsed;
        } else {
            report.result = Load::Damaged;
        }
    }
    // A file that is there but cannot be read may hold messages: it is never written over.
    m_unreadable = report.result == Load::Unreadable;
    if (report.result == Load::Damaged) {
        // Kept for a look, and out of the way of the next write.
        const QString aside = m_path + QStringLiteral(".damaged");
        QFile::remove(aside);
        QFile::rename(m_path, aside);
        return report;
    }
    if (report.result != Load::Loaded)
        return report;
    std::sort(m_entries.begin(), m_entries.end(), [](const OutboxEntry &a, const OutboxEntry &b) {
        return a.created < b.created || (a.created == b.created && a.id < b.id);
    });
    for (const OutboxEntry &entry : std::as_const(m_entries))
        m_nextId = std::max(m_nextId, entry.id + 1);
    report.expired = dropExpired(now);
    return report;
}

bool Outbox::save()
{
    m_stored = !m_unreadable && WriteWholeFile(m_path, Serialize(m_entries));
    return m_stored;
}

Outbox::AddResult Outbox::add(const QString &addresseeId, const QString &addresseeName, const QString &body,
                              const QDateTime &now)
{
    AddResult result;
    OutboxEntry entry;
    entry.id = m_nextId;
    entry.addresseeId = addresseeId;
    entry.addresseeName = addresseeName;
    entry.body = body;
    entry.created = now.toUTC();
    if (!valid(entry))
        return result;
    if (m_entries.size() >= MaxEntries) {
        result.result = Added::Full;
        return result;
    }
    ++m_nextId;
    m_entries.append(entry);
    result.id = entry.id;
    result.result = save() ? Added::Stored : Added::NotStored;
    return result;
}

bool Outbox::cancel(qint64 id)
{
    const qsizetype removed = m_entries.removeIf([id](const OutboxEntry &entry) { return entry.id == id; });
    if (removed == 0)
        return false;
    m_sending.remove(id);
    save();
    return true;
}

QList<OutboxEntry> Outbox::startSending(const QString &addresseeId)
{
    QList<OutboxEntry> due;
    for (const OutboxEntry &entry : std::as_const(m_entries)) {
        if (entry.addresseeId == addresseeId && !m_sending.contains(entry.id)) {
            due.append(entry);
            m_sending.insert(entry.id);
        }
    }
    return due;
}

bool Outbox::finishSending(qint64 id, bool delivered)
{
    m_sending.remove(id);
    if (delivered)
        return cancel(id);
    return entry(id).has_value();
}

QList<OutboxEntry> Outbox::takeDueFor(const QString &addresseeId)
{
    QList<OutboxEntry> due;
    QList<OutboxEntry> rest;
    for (const OutboxEntry &entry : std::as_const(m_entries))
        (entry.addresseeId == addresseeId ? due : rest).append(entry);
    if (!due.isEmpty()) {
        m_entries = rest;
        save();
    }
    return due;
}

QList<OutboxEntry> Outbox::dropExpired(const QDateTime &now)
{
    QList<OutboxEntry> dropped;
    QList<OutboxEntry> rest;
    for (const OutboxEntry &entry : std::as_const(m_entries))
        (expired(entry, now) ? dropped : rest).append(entry);
    for (const OutboxEntry &entry : std::as_const(dropped))
        m_sending.remove(entry.id);
    if (!dropped.isEmpty()) {
        m_entries = rest;
        save();
    }
    return dropped;
}

std::optional<OutboxEntry> Outbox::entry(qint64 id) const
{
    for (const OutboxEntry &entry : m_entries) {
        if (entry.id == id)
            return entry;
    }
    return std::nullopt;
}
