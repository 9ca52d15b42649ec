#include "settings/SettingsStore.h"

#include "protocol/ProtocolClassUn.h"
#include "settings/IniFileTransaction.h"
#include "settings/SettingsWriteReport.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace {

constexpr char ProductName[] = "Perix Chat";

// QSettings reads both separators as a level of the tree, and the registry forbids the backslash in a
// key name, so such a name could never come back unchanged.
bool isValidName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\');
}

bool isValidSection(const QString &section)
{
    return section.isEmpty() || isValidName(section);
}

QString keyPath(const QString &section, const QString &name)
{
    return section.isEmpty() ? name : section + u'/' + name;
}

// A registry number comes back typed; INI values come back as text.
bool tryInteger(const QVariant &value, qint32 *result)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        *result = static_cast<qint32>(value.toLongLong());
        return true;
    case QMetaType::QString:
        return TryParseInteger(value.toString(), result);
    default:
        return false;
    }
}

} // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(const QString &iniFile)
    : m_userStore(false)
    , m_iniFile(iniFile)
    , m_absoluteFile(QFileInfo(iniFile).absoluteFilePath())
{}

namespace {
// The store that a Batch holds open, and the key it was opened for. A file store is read as it is
// until the batch's first change, and from then on through the copy of a transaction: most batches
// (a turn of arriving peers) only read, and need neither the copy nor the file's lock.
struct OpenBatch {
    QString key;
    QString location;
    bool file = false;
    std::unique_ptr<IniFileTransaction> transaction;
    std::shared_ptr<QSettings> settings;
    int depth = 0;

    // Ready to take a change: a file store's transaction is begun. False when no copy could be made;
    // then the batch is over for this store, and every access goes its own way.
    bool readyToChange()
    {
        if (!file || transaction)
            return true;
        auto begun = std::make_unique<IniFileTransaction>(location);
        QSettings *copy = begun->settings();
        if (!copy) {
            settings.reset();
            return false;
        }
        settings = std::shared_ptr<QSettings>(std::shared_ptr<QSettings>(), copy);
        transaction = std::move(begun);
        return true;
    }
};

OpenBatch &openBatch()
{
    static OpenBatch batch;
    return batch;
}
} // namespace

QString SettingsStore::batchKey() const
{
    return m_userStore ? QStringLiteral("user-store") : m_absoluteFile;
}

bool SettingsStore::inBatch() const
{
    return openBatch().settings && openBatch().key == batchKey();
}

SettingsStore::Batch::Batch(const SettingsStore &store)
{
    OpenBatch &batch = openBatch();
    if (batch.depth > 0 && batch.key != store.batchKey())
        return; // one batch at a time; others write as usual
    if (batch.depth++ == 0) {
        batch.key = store.batchKey();
        batch.location = store.location();
        batch.file = store.isFile();
        batch.settings = store.openNew();
    }
    m_active = true;
}

SettingsStore::Batch::~Batch()
{
    OpenBatch &batch = openBatch();
    if (!m_active || --batch.depth > 0)
        return;
    if (batch.transaction) {
        // A batch that only read has nothing to tell.
        if (batch.transaction->isChanged())
            SettingsWriteReport::instance().record(batch.location, batch.transaction->commit());
    } else if (batch.settings && !batch.file) {
        batch.settings->sync();
        SettingsWriteReport::instance().record(batch.location,
                                               batch.settings->status() == QSettings::NoError);
    }
    batch.settings.reset();
    batch.transaction.reset();
    batch.file = false;
    batch.key.clear();
    batch.location.clear();
}

std::shared_ptr<QSettings> SettingsStore::open() const
{
    if (inBatch())
        return openBatch().settings;
    return openNew();
}

bool SettingsStore::isFile() const
{
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    return !m_userStore;
#else
    return true;
#endif
}

std::shared_ptr<QSettings> SettingsStore::openNew() const
{
    if (!m_userStore)
        return std::make_shared<QSettings>(m_iniFile, QSettings::IniFormat);
#ifdef Q_OS_WIN
    // The full path names exactly HKEY_CURRENT_USER\Software\Perix Chat, with no fallback keys.
    return std::make_shared<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\") +
                                           QLatin1StringView(ProductName),
                                       QSettings::NativeFormat);
#else
    auto settings = std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QString::fromLatin1(ProductName));
    // Only the user's own file counts; system-wide defaults would mask "missing".
    settings->setFallbacksEnabled(false);
    return settings;
#endif
}

QString SettingsStore::location() const
{
    // Opening an INI file here would use up its one format-error report before the next real access.
    if (!m_userStore)
        return m_absoluteFile;
    // Not the open batch: that is a copy.
    return openNew()->fileName();
}

SettingsStore::ReadResult SettingsStore::read(const QString &section, const QString &name,
                                              QVariant *value) const
{
    if (!isValidSection(section) || !isValidName(name))
        return ReadResult::Missing;
    const auto settings = open();
    // The status is checked after the access because QSettings parses a section only when it is used.
    *value = settings->value(keyPath(section, name));
    if (settings->status() != QSettings::NoError)
        return ReadResult::Error;
    return value->isValid() ? ReadResult::Found : ReadResult::Missing;
}

bool SettingsStore::change(const std::function<EditResult(QSettings &)> &edit) const
{
    if (inBatch() && openBatch().readyToChange()) {
        OpenBatch &batch = openBatch();
        const EditResult result = edit(*batch.settings);
        if (result == EditResult::Changed && batch.transaction)
            batch.transaction->markChanged();
        return result != EditResult::Failed && batch.settings->status() != QSettings::AccessError;
    }
    bool written = false;
    if (isFile()) {
        IniFileTransaction transaction(location());
        if (QSettings *copy = transaction.settings()) {
            const EditResult result = edit(*copy);
            if (result == EditResult::Unchanged)
                return true;
            if (result == EditResult::Changed) {
                transaction.markChanged();
                written = transaction.commit();
            }
        }
    } else {
        const auto settings = openNew();
        if (edit(*settings) != EditResult::Failed) {
            settings->sync();
            written = settings->status() == QSettings::NoError;
        }
    }
    SettingsWriteReport::instance().record(location(), written);
    return written;
}

bool SettingsStore::write(const QString &section, const QString &name, const QVariant &value) const
{
    if (!isValidSection(section) || !isValidName(name))
        return false;
    return change([&](QSettings &settings) {
        settings.setValue(keyPath(section, name), value);
        return EditResult::Changed;
    });
}

bool SettingsStore::readBool(const QString &section, const QString &name, bool defaultValue,
                             bool onReadError) const
{
    QVariant value;
    switch (read(section, name, &value)) {
    case ReadResult::Error:
        return onReadError;
    case ReadResult::Missing:
        return defaultValue;
    case ReadResult::Found:
        break;
    }
    qint32 number = 0;
    return tryInteger(value, &number) ? number != 0 : defaultValue;
}

qint32 SettingsStore::readInt(const QString &section, const QString &name, qint32 defaultValue,
                              qint32 onReadError) const
{
    QVariant value;
    switch (read(section, name, &value)) {
    case ReadResult::Error:
        return onReadError;
    case ReadResult::Missing:
        return defaultValue;
    case ReadResult::Found:
        break;
    }
    qint32 number = 0;
    return tryInteger(value, &number) ? number : defaultValue;
}

std::optional<QList<qint32>> SettingsStore::readInts(const QString &section, const QStringList &names,
                                                     qint32 defaultValue) const
{
    QList<qint32> values(names.size(), defaultValue);
    if (!isValidSection(section))
        return values;
    const auto settings = open();
    for (qsizetype i = 0; i < names.size(); ++i) {
        qint32 number = 0;
        if (isValidName(names[i]) && tryInteger(settings->value(keyPath(section, names[i])), &number))
            values[i] = number;
    }
    if (settings->status() != QSettings::NoError)
        return std::nullopt;
    return values;
}

std::optional<QHash<QString, QString>> SettingsStore::readSectionTexts(const QString &section,
                                                                       qsizetype limit) const
{
    QHash<QString, QString> values;
    if (!isValidName(section))
        return values;
    const auto settings = open();
    settings->beginGroup(section);
    const QStringList names = settings->childKeys();
    for (const QString &name : names) {
        if (values.size() >= limit)
            break;
        const QVariant value = settings->value(name);
        if (value.typeId() == QMetaType::QString)
            values.insert(name, value.toString());
    }
    settings->endGroup();
    if (settings->status() != QSettings::NoError)
        return std::nullopt;
    return values;
}

QString SettingsStore::readString(const QString &section, const QString &name,
                                  const QString &defaultValue) const
{
    QVariant value;
    if (read(section, name, &value) != ReadResult::Found)
        return defaultValue;
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toString();
    default:
        return defaultValue;
    }
}

QByteArray SettingsStore::readBytes(const QString &section, const QString &name) const
{
    QVariant value;
    if (read(section, name, &value) != ReadResult::Found || value.typeId() != QMetaType::QByteArray)
        return {};
    return value.toByteArray();
}

bool SettingsStore::contains(const QString &section, const QString &name) const
{
    QVariant value;
    return read(section, name, &value) == ReadResult::Found;
}

bool SettingsStore::writeBool(const QString &section, const QString &name, bool value) const
{
    return write(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool SettingsStore::writeInt(const QString &section, const QString &name, qint32 value) const
{
    QVariant existing;
    if (read(section, name, &existing) == ReadResult::Found && existing.typeId() == QMetaType::QString)
        return write(section, name, QString::number(value));
    return write(section, name, value);
}

bool SettingsStore::writeString(const QString &section, const QString &name, const QString &value) const
{
    return write(section, name, value);
}

bool SettingsStore::writeBytes(const QString &section, const QString &name, const QByteArray &value) const
{
    return write(section, name, value);
}

bool SettingsStore::removeValue(const QString &section, const QString &name) const
{
    if (!isValidSection(section) || !isValidName(name))
        return false;
    return change([&](QSettings &settings) {
        const QString key = keyPath(section, name);
        if (!settings.contains(key))
            return settings.status() == QSettings::AccessError ? EditResult::Failed : EditResult::Unchanged;
        settings.remove(key);
        return EditResult::Changed;
    });
}

QStringList SettingsStore::sections() const
{
    return readSections().value_or(QStringList());
}

std::optional<QStringList> SettingsStore::readSections() const
{
    const auto settings = open();
    const QStringList groups = settings->childGroups();
    if (settings->status() != QSettings::NoError)
        return std::nullopt;
    return groups;
}

bool SettingsStore::hasSection(const QString &name) const
{
    return isValidName(name) && sections().contains(name);
}

bool SettingsStore::removeSection(const QString &name) const
{
    if (!isValidName(name))
        return false;
    return change([&](QSettings &settings) {
        // QSettings::remove(name) would also take a base-level value called the same; remove the
        // section's own values one by one instead.
        settings.beginGroup(name);
        const QStringList keys = settings.allKeys();
        if (settings.status() == QSettings::AccessError) {
            settings.endGroup();
            return EditResult::Failed;
        }
        for (const QString &key : keys)
            settings.remove(key);
        settings.endGroup();
        return keys.isEmpty() ? EditResult::Unchanged : EditResult::Changed;
    });
}
