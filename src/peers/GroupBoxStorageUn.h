#pragma once

#include <QList>
#include <QString>

class SettingsStore;

// Where the contact groups and each user's group membership live in the settings store.
namespace GroupStorage {

inline constexpr int MainGroupNumber = 1;
inline constexpr int BadListNumber = 2;
inline constexpr char GroupSectionSuffix[] = "_GROUPBOX!>!";
inline constexpr char MainGroupIDSection[] = "MainGoupID";
inline constexpr char BadGroupIDSection[] = "BadGoupID";
inline constexpr char MainCollapseSection[] = "MainCollapse";
inline constexpr char BadCollapseSection[] = "BadCollapse";

struct StoredGroup {
    int number = 0;
    bool collapsed = false;
    QString caption;
    QString groupId;
};

QString GroupSection(int number);
QString UserGroupSection(const QString &userId);

// The number of the group the user was last put in; -1 when none is stored.
int StoredGroupOfUser(const SettingsStore &store, const QString &userId);
void StoreUserGroup(const SettingsStore &store, const QString &userId, int number);

// The ID of a fixed group; a fresh GUID when it is missing or blank.
QString ReadFixedGroupID(const SettingsStore &store, const char *section);
void WriteFixedGroupID(const SettingsStore &store, const char *section, const QString &groupId);
bool ReadFixedCollapsed(const SettingsStore &store, const char *section);
void WriteFixedCollapsed(const SettingsStore &store, const char *section, bool collapsed);

// The user groups, in the order the store lists their sections: number (absolute value, 0 when
// missing), caption (empty when missing) and ID (a fresh GUID when missing).
QList<StoredGroup> LoadStoredGroups(const SettingsStore &store);
bool HasStoredGroup(const SettingsStore &store, int number);
// Writes "TagNumber_Value", "Collapse_Value", "Caption_Value" and "GroupID", in this order.
void WriteStoredGroup(const SettingsStore &store, const StoredGroup &group);
// "Collapse_Value" of a user group; false when missing.
bool ReadStoredCollapsed(const SettingsStore &store, int number);
void WriteStoredCollapsed(const SettingsStore &store, int number, bool collapsed);
void EraseStoredGroup(const SettingsStore &store, int number);

} // namespace GroupStorage
