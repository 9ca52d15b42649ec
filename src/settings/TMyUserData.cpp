#include "settings/TMyUserData.h"

#include "protocol/ProtocolClassUn.h"

#include "protocol/Guid.h"

#include <cstdlib>

namespace {

QString section()
{
    return QString::fromLatin1(Profile::Section);
}

} // namespace

TMyUserData::TMyUserData(const SettingsStore &store)
    : m_store(store)
{}

QString TMyUserData::text(const char *name) const
{
    return m_store.readString(section(), QString::fromLatin1(name));
}

qint32 TMyUserData::number(const char *name, qint32 fallback) const
{
    qint32 value = 0;
    return TryParseInteger(text(name), &value) ? value : fallback;
}

QString TMyUserData::GetAlias() const
{
    return text(Profile::Alias);
}
QString TMyUserData::GetName() const
{
    return text(Profile::Name);
}
QString TMyUserData::GetName2() const
{
    return text(Profile::Name2);
}
qint32 TMyUserData::GetColor() const
{
    return number(Profile::Color, 0);
}
QString TMyUserData::GetEMail() const
{
    return text(Profile::EMail);
}
QString TMyUserData::GetICQ() const
{
    return text(Profile::ICQ);
}
QString TMyUserData::GetStreet() const
{
    return text(Profile::Street);
}
QString TMyUserData::GetTown() const
{
    return text(Profile::Town);
}
QString TMyUserData::GetField() const
{
    return text(Profile::Field);
}
QString TMyUserData::GetHouse() const
{
    return text(Profile::House);
}
QString TMyUserData::GetWStreet() const
{
    return text(Profile::WStreet);
}
QString TMyUserData::GetWTown() const
{
    return text(Profile::WTown);
}
QString TMyUserData::GetWHouse() const
{
    return text(Profile::WHouse);
}
QString TMyUserData::GetWField() const
{
    return text(Profile::WField);
}
QString TMyUserData::GetWName() const
{
    return text(Profile::WName);
}
QString TMyUserData::GetWDepartment() const
{
    return text(Profile::WDepartment);
}
QString TMyUserData::GetWPost() const
{
    return text(Profile::WPost);
}
QString TMyUserData::GetWTypeWork() const
{
    return text(Profile::WTypeWork);
}
qint32 TMyUserData::GetSex() const
{
    return number(Profile::Sex, 0);
}
quint8 TMyUserData::GetSexByte() const
{
    return static_cast<quint8>(GetSex());
}
qint32 TMyUserData::GetOld() const
{
    return number(Profile::Old, 0);
}
quint8 TMyUserData::GetOldByte() const
{
    return static_cast<quint8>(GetOld());
}
QString TMyUserData::GetInterest() const
{
    return text(Profile::Interest);
}
qint32 TMyUserData::GetImageIndex() const
{
    return number(Profile::ImageIndex, -1);
}
QString TMyUserData::GetMAC() const
{
    return text(Profile::MAC);
}

QString TMyUserData::GetID() const
{
    const QString stored = text(Profile::ID);
    if (!stored.trimmed().isEmpty())
        return stored;
    const QString id = NewRegistryGuid();
    m_store.writeString(section(), QString::fromLatin1(Profile::ID), id);
    return id;
}

RUserID TMyUserData::ReadLocalEntry() const
{
    RUserID entry;
    entry.Alias = GetAlias();
    entry.GroupNumber = -1;
    entry.Blocked = 0;
    entry.PictureIndex = GetImageIndex();
    entry.MAC = GetMAC();
    entry.ID = GetID();
    entry.ICQ = GetICQ();
    entry.FirstName = GetName();
    entry.SecondName = GetName2();
    entry.EMail = GetEMail();
    entry.Color = GetColor();
    entry.Street = GetStreet();
    entry.Town = GetTown();
    entry.House = GetHouse();
    entry.Field = GetField();
    entry.WorkStreet = GetWStreet();
    entry.WorkTown = GetWTown();
    entry.WorkHouse = GetWHouse();
    entry.WorkField = GetWField();
    entry.WorkName = GetWName();
    entry.WorkDepartment = GetWDepartment();
    entry.WorkType = GetWTypeWork();
    entry.WorkPost = GetWPost();
    entry.Sex = GetSexByte();
    entry.Age = GetOldByte();
    entry.Interest = GetInterest();
    return entry;
}

TSetUserData::TSetUserData(const SettingsStore &store, RUserID *entry)
    : m_store(store)
    , m_entry(entry)
{}

bool TSetUserData::store(const char *name, const QString &value) const
{
    return m_store.writeString(section(), QString::fromLatin1(name), value);
}

// The entry follows the applied value even when the store write fails: it is what this run shows.
bool TSetUserData::storeText(const char *name, const QString &value, QString RUserID::*field)
{
    if (m_entry)
        m_entry->*field = value;
    return store(name, value);
}

bool TSetUserData::SetAlias(const QString &value)
{
    return storeText(Profile::Alias, value, &RUserID::Alias);
}
bool TSetUserData::SetName(const QString &value)
{
    return storeText(Profile::Name, value, &RUserID::FirstName);
}
bool TSetUserData::SetName2(const QString &value)
{
    return storeText(Profile::Name2, value, &RUserID::SecondName);
}
bool TSetUserData::SetEMail(const QString &value)
{
    return storeText(Profile::EMail, value, &RUserID::EMail);
}
bool TSetUserData::SetICQ(const QString &value)
{
    return storeText(Profile::ICQ, value, &RUserID::ICQ);
}
bool TSetUserData::SetStreet(const QString &value)
{
    return storeText(Profile::Street, value, &RUserID::Street);
}
bool TSetUserData::SetTown(const QString &value)
{
    return storeText(Profile::Town, value, &RUserID::Town);
}
bool TSetUserData::SetField(const QString &value)
{
    return storeText(Profile::Field, value, &RUserID::Field);
}
bool TSetUserData::SetHouse(const QString &value)
{
    return storeText(Profile::House, value, &RUserID::House);
}
bool TSetUserData::SetWStreet(const QString &value)
{
    return storeText(Profile::WStreet, value, &RUserID::WorkStreet);
}
bool TSetUserData::SetWTown(const QString &value)
{
    return storeText(Profile::WTown, value, &RUserID::WorkTown);
}
bool TSetUserData::SetWHouse(const QString &value)
{
    return storeText(Profile::WHouse, value, &RUserID::WorkHouse);
}
bool TSetUserData::SetWField(const QString &value)
{
    return storeText(Profile::WField, value, &RUserID::WorkField);
}
bool TSetUserData::SetWName(const QString &value)
{
    return storeText(Profile::WName, value, &RUserID::WorkName);
}
bool TSetUserData::SetWDepartment(const QString &value)
{
    return storeText(Profile::WDepartment, value, &RUserID::WorkDepartment);
}
bool TSetUserData::SetWPost(const QString &value)
{
    return storeText(Profile::WPost, value, &RUserID::WorkPost);
}
bool TSetUserData::SetWTypeWork(const QString &value)
{
    return storeText(Profile::WTypeWork, value, &RUserID::WorkType);
}
bool TSetUserData::SetInterest(const QString &value)
{
    return storeText(Profile::Interest, value, &RUserID::Interest);
}
bool TSetUserData::SetID(const QString &value)
{
    return storeText(Profile::ID, value, &RUserID::ID);
}

bool TSetUserData::SetColor(const QString &value)
{
    qint32 number = 0;
    if (m_entry && TryParseInteger(value, &number))
        m_entry->Color = number;
    return store(Profile::Color, value);
}

bool TSetUserData::SetSex(const QString &value)
{
    qint32 number = 0;
    if (m_entry && TryParseInteger(value, &number))
        m_entry->Sex = static_cast<quint8>(number);
    return store(Profile::Sex, value);
}

bool TSetUserData::SetOld(const QString &value)
{
    qint32 number = 0;
    if (m_entry && TryParseInteger(value, &number))
        m_entry->Age = static_cast<quint8>(std::llabs(qint64(number)));
    return store(Profile::Old, value);
}

bool TSetUserData::SetImageIndex(const QString &value)
{
    qint32 number = 0;
    if (m_entry && TryParseInteger(value, &number))
        m_entry->PictureIndex = number;
    return store(Profile::ImageIndex, value);
}
