#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QMenu;
class SettingsStore;

// The Language submenu: one checkable item per language file, captioned with the file's language
// name, its hint the file's full path. At most one item is checked: the language applied last.
class LngMenu : public QObject {
    Q_OBJECT
public:
    explicit LngMenu(QMenu *tbsiLanguage, QObject *parent = nullptr);

    // Fills the submenu from the folder (left empty when the folder does not exist).
    void Build(const QString &lngDir);
    QList<QAction *> items() const { return m_items; }
    // The hint (full path) of the checked item; empty when none is checked.
    QString checkedFile() const;
    static QString itemFile(const QAction *item);

    // Checks the item of the stored choice; returns the file to apply, or empty text.
    QString RestoreChoice(const SettingsStore &store);
    // Writes the checked item's path; writes nothing while none is checked.
    void StoreChoice(const SettingsStore &store) const;

    // The click on an item: an unchecked item naming an existing file becomes the checked one and its
    // file is chosen; a click on the checked item, or on one whose file is gone, changes nothing.
    void Pick(QAction *item);

Q_SIGNALS:
    void languageChosen(const QString &path);

private:
    void check(QAction *item);

    QPointer<QMenu> m_menu;
    QList<QAction *> m_items;
    QPointer<QAction> m_checked;
};
