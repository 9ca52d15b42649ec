#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QSettings;
class QVariant;

// The per-user hierarchical store: sections under one base key, named values inside a section, and a
// few values directly in the base key (section ""). Every call opens the store, reads or writes and
// closes it again; nothing is cached, so a write is stored when the call returns. No call throws: a
// failed read yields the caller's fallback, a failed write returns false.
//
// A read fails when QSettings reports an error for the access: AccessError when the store cannot be
// opened (for an INI file, e.g. a directory in its place), FormatError when the part of the file that
// the access parses is malformed. QSettings keeps the parsed file per process and reports a format
// error only to the first access after the file changed; later accesses see what it could parse.
//
// A store kept in a file is written through an IniFileTransaction: a write that fails leaves the file,
// and so every later read, as it was. Every write's outcome goes to SettingsWriteReport.
class SettingsStore {
public:
    // While a Batch lives, every access to this store shares one open store and the file is written
    // once, when the batch ends (closing the program writes many values in a row). The writes of the
    // batch then succeed or fail together.
    class Batch {
    public:
        explicit Batch(const SettingsStore &store);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        bool m_active = false;
    };

    // The user's own store: HKEY_CURRENT_USER\Software\Perix Chat on Windows, "Perix Chat.conf" in the
    // user's configuration folder elsewhere.
    SettingsStore();
    // A store kept in one INI file (never the user's own store, even for an empty name).
    explicit SettingsStore(const QString &iniFile);

    // The file (or registry path) behind the store.
    QString location() const;
    // True for the user's own store, false for a store kept in a file named on the command line.
    bool isUserStore() const { return m_userStore; }

    // A number, or decimal text; a non-number gives the default. Any non-zero number is true.
    bool readBool(const QString &section, const QString &name, bool defaultValue, bool onReadError) const;
    qint32 readInt(const QString &section, const QString &name, qint32 defaultValue,
                   qint32 onReadError) const;
    // Missing, unreadable or not text: the default.
    QString readString(const QString &section, const QString &name, const QString &defaultValue = {}) const;
    // Missing, unreadable or not binary: empty.
    QByteArray readBytes(const QString &section, const QString &name) const;
    bool contains(const QString &section, const QString &name) const;
    // The text values of a section by name, at most limit of them, in one access; nullopt when the
    // store cannot be read.
    std::optional<QHash<QString, QString>> readSectionTexts(const QString &section, qsizetype limit) const;
    // Several integers of one section in one access, in the order of the names; nullopt when the store
    // cannot be read, so that no mix of stored values and fallbacks comes back.
    std::optional<QList<qint32>> readInts(const QString &section, const QStringList &names,
                                          qint32 defaultValue) const;

    // Booleans are stored as the text "0" or "1".
    bool writeBool(const QString &section, const QString &name, bool value) const;
    // A number, or decimal text when the value already exists as text.
    bool writeInt(const QString &section, const QString &name, qint32 value) const;
    bool writeString(const QString &section, const QString &name, const QString &value) const;
    bool writeBytes(const QString &section, const QString &name, const QByteArray &value) const;
    // Removes one value; true when it is gone (also when it was never there).
    bool removeValue(const QString &section, const QString &name) const;

    // The sections of the base key, in the store's order; base-level values are not sections.
    QStringList sections() const;
    // The same, but nullopt when the store cannot be read.
    std::optional<QStringList> readSections() const;
    bool hasSection(const QString &name) const;
    // Removes the section with all its values; a base-level value of the same name stays.
    bool removeSection(const QString &name) const;

private:
    enum class ReadResult { Found, Missing, Error };
    enum class EditResult { Failed, Unchanged, Changed };

    std::shared_ptr<QSettings> open() const;
    std::shared_ptr<QSettings> openNew() const;
    QString batchKey() const;
    bool inBatch() const;
    ReadResult read(const QString &section, const QString &name, QVariant *value) const;
    bool write(const QString &section, const QString &name, const QVariant &value) const;
    // Runs the edit on the open batch, or on a store of its own that is written at once.
    bool change(const std::function<EditResult(QSettings &)> &edit) const;
    // True when this class writes the store's file itself (everywhere but in the registry and in
    // property lists).
    bool isFile() const;

    bool m_userStore = true;
    QString m_iniFile;
    // Made once: every read in a batch asks whether the batch is this file's.
    QString m_absoluteFile;
};
