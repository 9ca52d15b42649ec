#pragma once

#include "ProtocolUn.h"

#include <QString>
#include <QStringList>

// An opening and a closing tag, e.g. "<ALIAS>" and "</ALIAS>".
struct TagPair {
    QByteArrayView open;
    QByteArrayView close;
};

namespace Tag {
inline constexpr TagPair Alias{"<ALIAS>", "</ALIAS>"};
inline constexpr TagPair EMail{"<EMAIL>", "</EMAIL>"};
inline constexpr TagPair Field{"<FIELD>", "</FIELD>"};
inline constexpr TagPair House{"<HOUSE>", "</HOUSE>"};
inline constexpr TagPair ICQ{"<ICQ>", "</ICQ>"};
inline constexpr TagPair Color{"<COLOR>", "</COLOR>"};
inline constexpr TagPair ImageIndex{"<IMAGEINDEX>", "</IMAGEINDEX>"};
inline constexpr TagPair IP{"<IP>", "</IP>"};
inline constexpr TagPair Name{"<NAME>", "</NAME>"};
inline constexpr TagPair Name2{"<NAME2>", "</NAME2>"};
inline constexpr TagPair Old{"<OLD>", "</OLD>"};
inline constexpr TagPair Sex{"<SEX>", "</SEX>"};
inline constexpr TagPair Street{"<STREET>", "</STREET>"};
inline constexpr TagPair Town{"<TOWN>", "</TOWN>"};
inline constexpr TagPair WDepartment{"<WDEPARTMENT>", "</WDEPARTMENT>"};
inline constexpr TagPair WField{"<WFIELD>", "</WFIELD>"};
inline constexpr TagPair WHouse{"<WHOUSE>", "</WHOUSE>"};
inline constexpr TagPair WName{"<WNAME>", "</WNAME>"};
inline constexpr TagPair WPost{"<WPOST>", "</WPOST>"};
inline constexpr TagPair WStreet{"<WSTREET>", "</WSTREET>"};
inline constexpr TagPair WTown{"<WTOWN>", "</WTOWN>"};
inline constexpr TagPair WTypeWork{"<WTYPEWORK>", "</WTYPEWORK>"};
inline constexpr TagPair ID{"<ID>", "</ID>"};
inline constexpr TagPair MAC{"<MAC>", "</MAC>"};
inline constexpr TagPair Interest{"<Interest>", "</Interest>"};
inline constexpr TagPair MessageStr{"<MESSAGESTR>", "</MESSAGESTR>"};
inline constexpr TagPair FromUserID{"<FROMUSERID>", "</FROMUSERID>"};
inline constexpr TagPair GroupID{"<GROUPID>", "</GROUPID>"};
inline constexpr TagPair AutorGroupAliase{"<AUTORGROUPALIASE>", "</AUTORGROUPALIASE>"};
inline constexpr TagPair AutorGroupID{"<AUTORGROUPID>", "</AUTORGROUPID>"};
inline constexpr TagPair AutorGroupIP{"<AUTORGROUPIP>", "</AUTORGROUPIP>"};
inline constexpr TagPair AutorGroupMAC{"<AUTORGROUPMAC>", "</AUTORGROUPMAC>"};
inline constexpr TagPair GroupName{"<GROUPNAME>", "</GROUPNAME>"};
inline constexpr TagPair ClientID{"<CLIENTID>", "</CLIENTID>"};
inline constexpr TagPair ClientIP{"<CLIENTIP>", "</CLIENTIP>"};
inline constexpr TagPair FileName{"<FILENAME>", "</FILENAME>"};
inline constexpr TagPair NomberFile{"<NOMBERFILE>", "</NOMBERFILE>"};
inline constexpr TagPair ServerID{"<SERVERID>", "</SERVERID>"};
inline constexpr TagPair ServerIP{"<SERVERIP>", "</SERVERIP>"};
} // namespace Tag

inline constexpr char AutoReplyMarker[] = "<AVTOMASHINE>";
inline constexpr char UserIDSeparator[] = "<USERIDSEPARATOR>";

// The bytes between the first opening tag and the first closing tag after it; empty when either is missing.
QByteArrayView GetTagBytes(QByteArrayView packet, const TagPair &tag);
// The same value as text; invalid UTF-8 reads with replacement characters.
QString GetTagValue(QByteArrayView packet, const TagPair &tag);

// Optional leading blanks, an optional sign and decimal digits, nothing after them; otherwise 0.
qint32 ParseIntegerRule(QStringView text);
// Like the integer rule, but a blank text and -1 also read as 0.
qint32 ParsePictureNumberRule(QStringView text);
// True and the number when the text is a valid integer in the sense of the integer rule.
bool TryParseInteger(QStringView text, qint32 *value);

// Splits a user-ID list ("<USERIDSEPARATOR>" delimited) into its non-empty items, in order.
void SplitUserIDList(const QString &list, QStringList *items);

// Read-side view of any packet but FILETO.
class TDataNewMessage {
public:
    explicit TDataNewMessage(Packet packet)
        : m_packet(std::move(packet))
    {}

    const Packet &PacketText() const { return m_packet; }

    QString GetAlias() const { return value(Tag::Alias); }
    QString GetEMail() const { return value(Tag::EMail); }
    QString GetField() const { return value(Tag::Field); }
    QString GetHouse() const { return value(Tag::House); }
    QString GetICQ() const { return value(Tag::ICQ); }
    qint32 GetColor() const { return ParseIntegerRule(value(Tag::Color)); }
    qint32 GetImageIndex() const { return ParsePictureNumberRule(value(Tag::ImageIndex)); }
    QString GetIP() const { return value(Tag::IP); }
    QString GetName() const { return value(Tag::Name); }
    QString GetName2() const { return value(Tag::Name2); }
    qint32 GetOld() const { return ParseIntegerRule(value(Tag::Old)); }
    qint32 GetSex() const { return ParseIntegerRule(value(Tag::Sex)); }
    QString GetStreet() const { return value(Tag::Street); }
    QString GetTown() const { return value(Tag::Town); }
    QString GetWDepartment() const { return value(Tag::WDepartment); }
    QString GetWField() const { return value(Tag::WField); }
    QString GetWHouse() const { return value(Tag::WHouse); }
    QString GetWName() const { return value(Tag::WName); }
    QString GetWPost() const { return value(Tag::WPost); }
    QString GetWStreet() const { return value(Tag::WStreet); }
    QString GetWTown() const { return value(Tag::WTown); }
    QString GetWTypeWork() const { return value(Tag::WTypeWork); }
    QString GetID() const { return value(Tag::ID); }
    QString GetMAC() const { return value(Tag::MAC); }
    QString GetInterest() const { return value(Tag::Interest); }
    QString GetMessageStr() const { return value(Tag::MessageStr); }
    QString GetFromUserID() const { return value(Tag::FromUserID); }
    void GetUserIDList(QStringList *list) const;
    bool IsUserInList(const QString &id) const;
    QString GetGroupID() const { return value(Tag::GroupID); }
    bool IsAutoReply() const;
    QString GetAutorGroupAliase() const { return value(Tag::AutorGroupAliase); }
    QString GetAutorGroupID() const { return value(Tag::AutorGroupID); }
    QString GetAutorGroupIP() const { return value(Tag::AutorGroupIP); }
    QString GetAutorGroupMAC() const { return value(Tag::AutorGroupMAC); }
    QString GetGroupName() const { return value(Tag::GroupName); }

private:
    QString value(const TagPair &tag) const { return GetTagValue(m_packet, tag); }

    Packet m_packet;
};

// Read-side view of a FILETO packet.
class TDataFileMessage {
public:
    explicit TDataFileMessage(Packet packet)
        : m_packet(std::move(packet))
    {}

    QString GetClientID() const { return GetTagValue(m_packet, Tag::ClientID); }
    QString GetClientIP() const { return GetTagValue(m_packet, Tag::ClientIP); }
    QString GetFileName() const { return GetTagValue(m_packet, Tag::FileName); }
    QString GetNomberFile() const { return GetTagValue(m_packet, Tag::NomberFile); }
    QString GetServerID() const { return GetTagValue(m_packet, Tag::ServerID); }
    QString GetServerIP() const { return GetTagValue(m_packet, Tag::ServerIP); }

private:
    Packet m_packet;
};
