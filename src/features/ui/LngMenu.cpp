#include "features/ui/LngMenu.h"

#include "features/LngUn.h"
#include "settings/SettingsStore.h"
#include "settings/iniFileUn.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

LngMenu::LngMenu(QMenu *tbsiLanguage, QObject *parent)
    : QObject(parent)
    , m_menu(tbsiLanguage)
{}

void LngMenu::Build(const QString &lngDir)
{
    if (!m_menu)
        return;
    for (QAction *item : std::as_const(m_items)) {
        m_menu->removeAction(item);
        item->deleteLater();
    }
    m_items.clear();
    m_checked = nullptr;
    for (const Lng::LanguageFile &file : Lng::ListLanguageFiles(lngDir)) {
        // The name comes from a file: an ampersand in it is a letter, not a mnemonic.
        auto *item = new QAction(QString(file.name).replace(u'&', QStringLiteral("&&")), m_menu);
        item->setObjectName(QStringLiteral("miLanguage%1").arg(m_items.size()));
        item->setCheckable(true);
        item->setData(file.path);
        item->setToolTip(file.path);
        item->setStatusTip(file.path);
        connect(item, &QAction::triggered, this, [this, item] { Pick(item); });
        m_menu->addAction(item);
        m_items.append(item);
    }
}

QString LngMenu::itemFile(const QAction *item)
{
    return item ? item->data().toString() : QString();
}

QString LngMenu::checkedFile() const
{
    return m_checked ? itemFile(m_checked) : QString();
}

void LngMenu::check(QAction *item)
{
    m_checked = item;
    for (QAction *other : std::as_const(m_items))
        other->setChecked(other == item);
}

QString LngMenu::RestoreChoice(const SettingsStore &store)
{
    QStringList paths;
    for (const QAction *item : std::as_const(m_items))
        paths.append(itemFile(item));
    const int index = Lng::StoredChoiceIndex(paths, readSetting(store, Setting::LNGName));
    if (index < 0)
        return QString();
    check(m_items[index]);
    return checkedFile();
}

void LngMenu::StoreChoice(const SettingsStore &store) const
{
    if (m_checked)
        writeSetting(store, Setting::LNGName, checkedFile());
}

void LngMenu::Pick(QAction *item)
{
    if (!item || !m_items.contains(item))
        return;
    const QString path = itemFile(item);
    // The menu has already flipped the check mark: put it back where it belongs first.
    item->setChecked(item == m_checked);
    if (item == m_checked || path.trimmed().isEmpty() || !QFileInfo(path).isFile())
        return;
    check(item);
    Q_EMIT languageChosen(path);
}
