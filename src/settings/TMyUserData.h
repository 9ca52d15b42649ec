#pragma once

#include "protocol/RUserID.h"
#include "settings/SettingsStore.h"

#include <QString>

// The local user's profile: one text value per field in one section.
namespace Profile {
inline constexpr char Section[] = "MYPROFILEUSER_";
inline constexpr char Alias[] = "ALIAS_";
inline constexpr char Name[] = "NAME_";
inline constexpr char Name2[] = "NAME2_";
inline constexpr char Color[] = "COLOR_";
inline constexpr char EMail[] = "EMAIL_";
inline constexpr char ICQ[] = "ICQ_";
inline constexpr char Street[] = "STREET_";
inline constexpr char Town[] = "TOWN_";
inline constexpr char Field[] = "FIELD_";
inline constexpr char House[] = "HOUSE_";
inline constexpr char WStreet[] = "WSTREET_";
inline constexpr char WTown[] = "WTOWN_";
inline constexpr char WHouse[] = "WHOUSE_";
inline constexpr char WField[] = "WFIELD_";
inline constexpr char WName[] = "WNAME_";
inline constexpr char WDepartment[] = "WDEPARTMENT_";
inline constexpr char WPost[] = "WPOST_";
inline constexpr char WTypeWork[] = "WTYPEWORK_";
inline constexpr char Sex[] = "SEX_";
inline constexpr char Old[] = "OLD_";
inline constexpr char Interest[] = "Interest_";
inline constexpr char ImageIndex[] = "IMAGEINDEX_";
inline constexpr char ID[] = "ID_";
inline constexpr char MAC[] = "MAC_";
} // namespace Profile

// Reads the stored profile. A missing or unreadable value reads as empty text; the integer values read
// as 0 (the picture number as -1) when blank or not a number.
class TMyUserData {
public:
    explicit TMyUserData(const SettingsStore &store);

    QString GetAlias() const;
    QString GetName() const;
    QString GetName2() const;
    qint32 GetColor() const;
    QString GetEMail() const;
    QString GetICQ() const;
    QString GetStreet() const;
    QString GetTown() const;
    QString GetField() const;
    QString GetHouse() const;
    QString GetWStreet() const;
    QString GetWTown() const;
    QString GetWHouse() const;
    QString GetWField() const;
    QString GetWName() const;
    QString GetWDepartment() const;
    QString GetWPost() const;
    QString GetWTypeWork() const;
    qint32 GetSex() const;
    // The low 8 bits, as the peer-list entry keeps it.
    quint8 GetSexByte() const;
    qint32 GetOld() const;
    // The low 8 bits, as the peer-list entry keeps it.
    quint8 GetOldByte() const;
    QString GetInterest() const;
    qint32 GetImageIndex() const;
    // The user's permanent ID; made and stored at once when missing or blank.
    QString GetID() const;
    QString GetMAC() const;

    // The local user's entry as far as the profile fills it; the IP is the caller's.
    RUserID ReadLocalEntry() const;

private:
    QString text(const char *name) const;
    qint32 number(const char *name, qint32 fallback) const;

    SettingsStore m_store;
};

// Writes profile values, each as text, and keeps an optional peer-list entry in step. Integer fields of
// the entry change only when the text is a number; the store keeps the text either way.
class TSetUserData {
public:
    explicit TSetUserData(const SettingsStore &store, RUserID *entry = nullptr);

    bool SetAlias(const QString &value);
    bool SetName(const QString &value);
    bool SetName2(const QString &value);
    bool SetColor(const QString &value);
    bool SetEMail(const QString &value);
    bool SetICQ(const QString &value);
    bool SetStreet(const QString &value);
    bool SetTown(const QString &value);
    bool SetField(const QString &value);
    bool SetHouse(const QString &value);
    bool SetWStreet(const QString &value);
    bool SetWTown(const QString &value);
    bool SetWHouse(const QString &value);
    bool SetWField(const QString &value);
    bool SetWName(const QString &value);
    bool SetWDepartment(const QString &value);
    bool SetWPost(const QString &value);
    bool SetWTypeWork(const QString &value);
    bool SetSex(const QString &value);
    // The entry keeps the low 8 bits of the absolute value.
    bool SetOld(const QString &value);
    bool SetInterest(const QString &value);
    bool SetImageIndex(const QString &value);
    bool SetID(const QString &value);

private:
    bool store(const char *name, const QString &value) const;
    bool storeText(const char *name, const QString &value, QString RUserID::*field);

    SettingsStore m_store;
    RUserID *m_entry;
};
