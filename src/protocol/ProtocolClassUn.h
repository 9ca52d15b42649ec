#pragma once

#include "protocol/ProtocolUn.h"

#include <QString>
#include <QStringList>

#include <array>

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

// Every field that the read-side views know, numbered for PacketFields.
enum class PacketField : quint8 {
    Alias,
    EMail,
    Field,
    House,
    ICQ,
    Color,
    ImageIndex,
    IP,
    Name,
    Name2,
    Old,
    Sex,
    Street,
    Town,
    WDepartment,
    WField,
    WHouse,
    WName,
    WPost,
    WStreet,
    WTown,
    WTypeWork,
    ID,
    MAC,
    Interest,
    MessageStr,
    FromUserID,
    GroupID,
    AutorGroupAliase,
    AutorGroupID,
    AutorGroupIP,
    AutorGroupMAC,
    GroupName,
    ClientID,
    ClientIP,
    FileName,
    NomberFile,
    ServerID,
    ServerIP,
};
inline constexpr int PacketFieldCount = 39;

// The tag pair of a field.
const TagPair &PacketFieldTag(PacketField field);

// Where the known fields of one packet lie, found in one pass over its bytes: for each field the
// first opening tag and the first closing tag after it, as GetTagBytes finds them, and whether the
// auto-reply marker occurs. Holds offsets, so it stays valid for any copy of the same bytes.
class PacketFields {
public:
    PacketFields() = default;
    explicit PacketFields(QByteArrayView packet);

    // Equal to GetTagBytes(packet, PacketFieldTag(field)) for the bytes it was made from.
    QByteArrayView Bytes(QByteArrayView packet, PacketField field) const
    {
        const Span &span = m_spans[static_cast<size_t>(field)];
        if (span.end < 0)
            return {};
        return packet.sliced(span.begin, span.end - span.begin);
    }
    QString Value(QByteArrayView packet, PacketField field) const
    {
        return QString::fromUtf8(Bytes(packet, field));
    }
    bool HasAutoReplyMarker() const { return m_autoReply; }

private:
    struct Span {
        qsizetype begin = -1; // first byte of the value
        qsizetype end = -1;   // first byte of the closing tag; set only after begin
    };
    std::array<Span, PacketFieldCount> m_spans{};
    bool m_autoReply = false;
};

// Splits a user-ID list ("<USERIDSEPARATOR>" delimited) into its non-empty items, in order.
void SplitUserIDList(const QString &list, QStringList *items);

// Read-side view of any packet but FILETO.
class TDataNewMessage {
public:
    explicit TDataNewMessage(Packet packet)
        : m_packet(std::move(packet))
        , m_fields(m_packet)
    {}

    const Packet &PacketText() const { return m_packet; }

    QString GetAlias() const { return value(PacketField::Alias); }
    QString GetEMail() const { return value(PacketField::EMail); }
    QString GetField() const { return value(PacketField::Field); }
    QString GetHouse() const { return value(PacketField::House); }
    QString GetICQ() const { return value(PacketField::ICQ); }
    qint32 GetColor() const;
    qint32 GetImageIndex() const;
    QString GetIP() const { return value(PacketField::IP); }
    QString GetName() const { return value(PacketField::Name); }
    QString GetName2() const { return value(PacketField::Name2); }
    qint32 GetOld() const;
    qint32 GetSex() const;
    QString GetStreet() const { return value(PacketField::Street); }
    QString GetTown() const { return value(PacketField::Town); }
    QString GetWDepartment() const { return value(PacketField::WDepartment); }
    QString GetWField() const { return value(PacketField::WField); }
    QString GetWHouse() const { return value(PacketField::WHouse); }
    QString GetWName() const { return value(PacketField::WName); }
    QString GetWPost() const { return value(PacketField::WPost); }
    QString GetWStreet() const { return value(PacketField::WStreet); }
    QString GetWTown() const { return value(PacketField::WTown); }
    QString GetWTypeWork() const { return value(PacketField::WTypeWork); }
    QString GetID() const { return value(PacketField::ID); }
    QString GetMAC() const { return value(PacketField::MAC); }
    QString GetInterest() const { return value(PacketField::Interest); }
    QString GetMessageStr() const { return value(PacketField::MessageStr); }
    QString GetFromUserID() const { return value(PacketField::FromUserID); }
    void GetUserIDList(QStringList *list) const;
    bool IsUserInList(const QString &id) const;
    QString GetGroupID() const { return value(PacketField::GroupID); }
    bool IsAutoReply() const { return m_fields.HasAutoReplyMarker(); }
    QString GetAutorGroupAliase() const { return value(PacketField::AutorGroupAliase); }
    QString GetAutorGroupID() const { return value(PacketField::AutorGroupID); }
    QString GetAutorGroupIP() const { return value(PacketField::AutorGroupIP); }
    QString GetAutorGroupMAC() const { return value(PacketField::AutorGroupMAC); }
    QString GetGroupName() const { return value(PacketField::GroupName); }

private:
    QString value(PacketField field) const { return m_fields.Value(m_packet, field); }

    Packet m_packet;
    PacketFields m_fields;
};

// Read-side view of a FILETO packet.
class TDataFileMessage {
public:
    explicit TDataFileMessage(Packet packet)
        : m_packet(std::move(packet))
        , m_fields(m_packet)
    {}

    QString GetClientID() const { return value(PacketField::ClientID); }
    QString GetClientIP() const { return value(PacketField::ClientIP); }
    QString GetFileName() const { return value(PacketField::FileName); }
    QString GetNomberFile() const { return value(PacketField::NomberFile); }
    QString GetServerID() const { return value(PacketField::ServerID); }
    QString GetServerIP() const { return value(PacketField::ServerIP); }

private:
    QString value(PacketField field) const { return m_fields.Value(m_packet, field); }

    Packet m_packet;
    PacketFields m_fields;
};
