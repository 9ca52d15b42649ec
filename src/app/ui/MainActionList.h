#pragma once

#include <QHash>
#include <QList>
#include <QObject>

class QAction;
class QActionGroup;
class SettingsStore;

// Every command and option of the main window, one action each, named as in the command map.
class MainActionList : public QObject {
    Q_OBJECT
public:
    explicit MainActionList(QObject *parent);

    // The action with that object name; nullptr for an unknown name.
    QAction *action(const QString &name) const;
    QList<QAction *> actions() const { return m_actions; }
    // The options that start checked before anything is read from the store.
    static QStringList initiallyChecked();

    // The options that the store keeps (all but the stay-on-top pair, which the start timer reads).
    void readOptions(const SettingsStore &store);
    void writeOptions(const SettingsStore &store) const;
    void readStayOnTop(const SettingsStore &store);

private:
    QList<QAction *> m_actions;
    QHash<QString, QAction *> m_byName;
    QActionGroup *m_iconSize;
};
