#include "peers/GroupBoxStorageUn.h"

#include "protocol/Guid.h"
#include "settings/SettingsStore.h"

#include <cstdlib>

namespace GroupStorage {
namespace {
const QString GroupIDValue = QStringLiteral("GroupID");
const QString CollapseValue = QStringLiteral("Collapse_Value");
const QString TagNumberValue = QStringLiteral("TagNumber_Value");
const QString CaptionValue = QStringLiteral("Caption_Value");
const QString GroupNomberValue = QStringLiteral("GroupNomber");
} // namespace

QString GroupSection(int number)
{
    return QString::number(number) + QLatin1StringView(GroupSectionSuffix);
}

QString UserGroupSection(const QString &userId)
{
    return userId + QStringLiteral("UserGroup_");
}

int StoredGroupOfUser(const SettingsStore &store, const QString &userId)
{
    return store.readInt(UserGroupSection(userId), GroupNomberValue, -1, -1);
}

void StoreUserGroup(const SettingsStore &store, const QString &userId, int number)
{
    store.writeInt(UserGroupSection(userId), GroupNomberValue, number);
}

QString ReadFixedGroupID(const SettingsStore &store, const char *section)
{
    const QString id = store.readString(QString::fromLatin1(section), GroupIDValue);
    return id.trimmed().isEmpty() ? NewRegistryGuid() : id;
}

void WriteFixedGroupID(const SettingsStore &store, const char *section, const QString &groupId)
{
    store.writeString(QString::fromLatin1(section), GroupIDValue, groupId);
}

bool ReadFixedCollapsed(const SettingsStore &store, const char *section)
{
    return store.readBool(QString::fromLatin1(section), CollapseValue, false, false);
}

void WriteFixedCollapsed(const SettingsStore &store, const char *section, bool collapsed)
{
    store.writeBool(QString::fromLatin1(section), CollapseValue, collapsed);
}

QList<StoredGroup> LoadStoredGroups(const SettingsStore &store)
{
    QList<StoredGroup> groups;
    for (const QString &section : store.sections()) {
        if (!section.contains(QLatin1StringView(GroupSectionSuffix)))
            continue;
        StoredGroup group;
        group.number = std::abs(store.readInt(section, TagNumberValue, 0, 0));
        group.collapsed = store.readBool(section, CollapseValue, false, false);
        group.caption = store.readString(section, CaptionValue);
        group.groupId = store.contains(section, GroupIDValue) ? store.readString(section, GroupIDValue)
                                                              : NewRegistryGuid();
        groups.append(group);
    }
    return groups;
}

bool HasStoredGroup(const SettingsStore &store, int number)
{
    return store.hasSection(GroupSection(number));
}

void WriteStoredGroup(const SettingsStore &store, const StoredGroup &group)
{
    const QString section = GroupSection(group.number);
    store.writeInt(section, TagNumberValue, group.number);
    store.writeBool(section, CollapseValue, group.collapsed);
    store.writeString(section, CaptionValue, group.caption);
    store.writeString(section, GroupIDValue, group.groupId);
}

bool ReadStoredCollapsed(const SettingsStore &store, int number)
{
    return store.readBool(GroupSection(number), CollapseValue, false, false);
}

void WriteStoredCollapsed(const SettingsStore &store, int number, bool collapsed)
{
    store.writeBool(GroupSection(number), CollapseValue, collapsed);
}

void EraseStoredGroup(const SettingsStore &store, int number)
{
    store.removeSection(GroupSection(number));
}

} // namespace GroupStorage
