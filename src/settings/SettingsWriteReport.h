#pragma once

#include <QObject>
#include <QSet>
#include <QString>

// Where the failed writes of the settings stores go, for the program to show. A failure is told once:
// further failures of the same store stay quiet until a write there succeeds again.
class SettingsWriteReport : public QObject {
    Q_OBJECT
public:
    static SettingsWriteReport &instance();

    // Every write of a store ends here with its outcome.
    void record(const QString &location, bool written);
    bool isFailing(const QString &location) const { return m_failing.contains(location); }
    // The store is known not to take writes and the user was told already: its failures stay quiet
    // until a write there succeeds.
    void markFailing(const QString &location) { m_failing.insert(location); }

Q_SIGNALS:
    // The first failed write of the store at that location since its last good one.
    void writeFailed(const QString &location);

private:
    QSet<QString> m_failing;
};
