#include "protocol/SendMessageUn.h"

namespace {

// Direct concatenation: every tag pair is written, also around an empty value.
class DirectPacket {
public:
    explicit DirectPacket(PacketKind kind)
        : m_text(PacketHeader(kind).toByteArray())
    {}

    DirectPacket &field(const TagPair &tag, const QString &value)
    {
        m_text += tag.open;
        m_text += value.toUtf8();
        m_text += tag.close;
        return *this;
    }
    DirectPacket &field(const TagPair &tag, qint64 value) { return field(tag, QString::number(value)); }
    DirectPacket &marker(QByteArrayView bare)
    {
        m_text += bare;
        return *this;
    }
    DirectPacket &sender(const WireIdentity &s)
    {
        return field(Tag::Alias, s.alias)
            .field(Tag::IP, s.ip)
            .field(Tag::ID, s.id)
            .field(Tag::MAC, s.mac)
            .field(Tag::ImageIndex, s.pictureIndex)
            .field(Tag::Color, s.color);
    }
    DirectPacket &groupTalk(const GroupTalkWire &g, bool withMac = true)
    {
        field(Tag::GroupID, g.groupId)
            .field(Tag::AutorGroupID, g.authorId)
            .field(Tag::AutorGroupIP, g.authorIp);
        if (withMac)
            field(Tag::AutorGroupMAC, g.authorMac);
        return field(Tag::AutorGroupAliase, g.authorAlias).field(Tag::GroupName, g.groupName);
    }
    Packet text() const { return m_text; }

private:
    Packet m_text;
};

} // namespace

TMainMessage::TMainMessage(int kind)
{
    if (kind >= pkNew && kind <= pkUpdateInfo)
        m_text = PacketHeader(kind).toByteArray();
}

void TMainMessage::AddField(QByteArrayView open, const QString &value, QByteArrayView close)
{
    if (value.isEmpty())
        return;
    m_text += open;
    m_text += value.toUtf8();
    m_text += close;
}

WireIdentity WireIdentity::fromEntry(const RUserID &entry)
{
    return {entry.Alias, entry.IP, entry.ID, entry.MAC, entry.PictureIndex, entry.Color};
}

QString BuildUserIDList(const QString &ownId, const QStringList &memberIds)
{
    const QLatin1StringView separator(UserIDSeparator);
    QString list = separator + ownId;
    for (const QString &id : memberIds)
        list += separator + id + separator;
    return list;
}

Packet BuildPresencePacket(const RUserID &local, bool isNew)
{
    TMainMessage m(isNew ? pkNew : pkUpdateInfo);
    m.AddAlias(local.Alias);
    m.AddImageIndex(local.PictureIndex);
    m.AddIP(local.IP);
    m.AddMAC(local.MAC);
    m.AddID(local.ID);
    m.AddICQ(local.ICQ);
    m.AddColor(local.Color);
    m.AddName(local.FirstName);
    m.AddName2(local.SecondName);
    m.AddEMail(local.EMail);
    m.AddStreet(local.Street);
    m.AddTown(local.Town);
    m.AddHouse(local.House);
    m.AddHomeField(local.Field);
    m.AddWStreet(local.WorkStreet);
    m.AddWTown(local.WorkTown);
    m.AddWHouse(local.WorkHouse);
    m.AddWField(local.WorkField);
    m.AddWName(local.WorkName);
    m.AddWDepartment(local.WorkDepartment);
    m.AddWTypeWork(local.WorkType);
    m.AddWPost(local.WorkPost);
    m.AddSex(local.Sex);
    m.AddOld(local.Age);
    m.AddInterest(local.Interest);
    return m.GetPacketText();
}

Packet BuildDisconnectPacket(const RUserID &local)
{
    TMainMessage m(pkDisconnect);
    m.AddAlias(local.Alias);
    m.AddIP(local.IP);
    m.AddMAC(local.MAC);
    m.AddID(local.ID);
    m.AddColor(local.Color);
    m.AddImageIndex(local.PictureIndex);
    return m.GetPacketText();
}

Packet BuildMessagePacket(const WireIdentity &sender, const QString &body)
{
    return DirectPacket(pkMessage).sender(sender).field(Tag::MessageStr, body).text();
}

Packet BuildGroupMessagePacket(const QString &userIdList, const GroupTalkWire &talk,
                               const WireIdentity &sender, const QString &body)
{
    return DirectPacket(pkMessageToGroup)
        .field(Tag::FromUserID, userIdList)
        .groupTalk(talk)
        .sender(sender)
        .field(Tag::MessageStr, body)
        .text();
}

Packet BuildUserMessagePacket(const QString &addresseeId, const WireIdentity &sender, const QString &body,
                              bool autoReply)
{
    DirectPacket p(pkMessageToUser);
    p.field(Tag::FromUserID, addresseeId).sender(sender);
    if (autoReply)
        p.marker(AutoReplyMarker);
    return p.field(Tag::MessageStr, body).text();
}

Packet BuildFileToPacket(int fileNumber, const QString &fileName, const QString &serverId,
                         const QString &serverIp, const QString &clientId, const QString &clientIp)
{
    return DirectPacket(pkFileTo)
        .field(Tag::NomberFile, fileNumber)
        .field(Tag::FileName, fileName)
        .field(Tag::ServerID, serverId)
        .field(Tag::ServerIP, serverIp)
        .field(Tag::ClientID, clientId)
        .field(Tag::ClientIP, clientIp)
        .text();
}

Packet BuildUpdateInfoToGroupPacket(const QString &userIdList, const GroupTalkWire &talk,
                                    const WireIdentity &sender)
{
    return DirectPacket(pkUpdateInfoToGroup)
        .field(Tag::FromUserID, userIdList)
        .groupTalk(talk)
        .sender(sender)
        .text();
}

Packet BuildGroupTalkDeletePacket(const GroupTalkWire &talk)
{
    return DirectPacket(pkMessageToGroupDelete).groupTalk(talk).text();
}

namespace {
Packet contactGroupPacket(PacketKind kind, const QString &groupId, const WireIdentity &local,
                          const QString &caption)
{
    GroupTalkWire g{groupId, local.id, local.ip, QString(), local.alias, caption};
    return DirectPacket(kind).groupTalk(g, false).text();
}
} // namespace

Packet BuildContactGroupDeletePacket(const QString &groupId, const WireIdentity &local,
                                     const QString &caption)
{
    return contactGroupPacket(pkMessageToGroupDelete, groupId, local, caption);
}

Packet BuildContactGroupRenamePacket(const QString &groupId, const WireIdentity &local,
                                     const QString &caption)
{
    return contactGroupPacket(pkMessageToGroupRename, groupId, local, NormalizeGroupCaption(caption));
}

Packet BuildPrivateDeletePacket(const QString &peerId, const WireIdentity &sender)
{
    return DirectPacket(pkMessageToPrivateDelete).field(Tag::FromUserID, peerId).sender(sender).text();
}

QString NormalizeGroupCaption(const QString &caption)
{
    const QString trimmed = caption.trimmed();
    return trimmed.isEmpty() ? QStringLiteral(" ") : trimmed;
}
