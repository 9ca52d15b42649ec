#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QLockFile;
class QSettings;

// A change of an INI settings file, made on a private copy and put in place only when the whole new
// file could be written. QSettings alone cannot give that: a change whose write failed stays in its
// per-process cache of the file, where every later access sees it (and a failed write again), and a
// write whose last bytes do not fit still replaces the file, leaving it empty or cut.
//
// The file's lock (the one QSettings takes, "<file>.lock") is held from the copy to the end.
class IniFileTransaction {
public:
    static constexpr int LockWaitMs = 5000;

    explicit IniFileTransaction(const QString &path);
    ~IniFileTransaction();
    IniFileTransaction(const IniFileTransaction &) = delete;
    IniFileTransaction &operator=(const IniFileTransaction &) = delete;

    // The copy to read and change; null when no copy could be made (the file unreadable or not
    // writable, its lock held elsewhere, or no room for the copy).
    QSettings *settings() const { return m_settings.get(); }
    // Something was changed through settings(), so that commit() has a file to write.
    void markChanged() { m_changed = true; }
    bool isChanged() const { return m_changed; }
    // Puts the changed copy in place of the file; true when there was nothing to change. On false the
    // file is as it was.
    bool commit();

    // True when the text is all of what QSettings writes for that many keys: one line per key besides
    // the section headers, the last one ended. A write that stopped early fails this.
    static bool IsWholeIniText(const QByteArray &text, qsizetype keys);

private:
    std::unique_ptr<QSettings> makeCopy();

    QString m_path;
    QString m_copy;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QSettings> m_settings;
    bool m_changed = false;
};
