#pragma once

#include "protocol/ProtocolClassUn.h"
#include "protocol/RUserID.h"

#include <QString>
#include <QStringList>

// Builder of the presence packets (NEW, DISCONNECT, UPDATEINFO): empty text fields are left out.
class TMainMessage {
public:
    // Kinds 1..7 start the text with their header; any other number leaves it empty.
    explicit TMainMessage(int kind);

    void AddField(QByteArrayView open, const QString &value, QByteArrayView close);

    void AddAlias(const QString &v) { add(Tag::Alias, v); }
    void AddImageIndex(qint32 v) { add(Tag::ImageIndex, v); }
    void AddIP(const QString &v) { add(Tag::IP, v); }
    void AddMAC(const QString &v) { add(Tag::MAC, v); }
    void AddID(const QString &v) { add(Tag::ID, v); }
    void AddICQ(const QString &v) { add(Tag::ICQ, v); }
    void AddColor(qint32 v) { add(Tag::Color, v); }
    void AddName(const QString &v) { add(Tag::Name, v); }
    void AddName2(const QString &v) { add(Tag::Name2, v); }
    void AddEMail(const QString &v) { add(Tag::EMail, v); }
    void AddStreet(const QString &v) { add(Tag::Street, v); }
    void AddTown(const QString &v) { add(Tag::Town, v); }
    void AddHouse(const QString &v) { add(Tag::House, v); }
    void AddHomeField(const QString &v) { add(Tag::Field, v); }
    void AddWStreet(const QString &v) { add(Tag::WStreet, v); }
    void AddWTown(const QString &v) { add(Tag::WTown, v); }
    void AddWHouse(const QString &v) { add(Tag::WHouse, v); }
    void AddWField(const QString &v) { add(Tag::WField, v); }
    void AddWName(const QString &v) { add(Tag::WName, v); }
    void AddWDepartment(const QString &v) { add(Tag::WDepartment, v); }
    void AddWTypeWork(const QString &v) { add(Tag::WTypeWork, v); }
    void AddWPost(const QString &v) { add(Tag::WPost, v); }
    void AddSex(qint32 v) { add(Tag::Sex, v); }
    void AddOld(qint32 v) { add(Tag::Old, v); }
    void AddInterest(const QString &v) { add(Tag::Interest, v); }

    Packet GetPacketText() const { return m_text; }

private:
    void add(const TagPair &tag, const QString &value) { AddField(tag.open, value, tag.close); }
    void add(const TagPair &tag, qint32 value) { AddField(tag.open, QString::number(value), tag.close); }

    Packet m_text;
};

// The identity fields that every talk packet carries for its sender.
struct WireIdentity {
    QString alias;
    QString ip;
    QString id;
    QString mac;
    qint32 pictureIndex = -1;
    qint32 color = 0;

    static WireIdentity fromEntry(const RUserID &entry);
};

// The group-talk fields of MESSAGETOGROUP, UPDATEINFOTOGROUP_ and the author's MESSAGETOGROUPDELETE.
struct GroupTalkWire {
    QString groupId;
    QString authorId;
    QString authorIp;
    QString authorMac;
    QString authorAlias;
    QString groupName;
};

// "<USERIDSEPARATOR>" + own ID, then "<USERIDSEPARATOR>" + ID + "<USERIDSEPARATOR>" per member.
QString BuildUserIDList(const QString &ownId, const QStringList &memberIds);

Packet BuildPresencePacket(const RUserID &local, bool isNew);
Packet BuildDisconnectPacket(const RUserID &local);
Packet BuildMessagePacket(const WireIdentity &sender, const QString &body);
Packet BuildGroupMessagePacket(const QString &userIdList, const GroupTalkWire &talk,
                               const WireIdentity &sender, const QString &body);
Packet BuildUserMessagePacket(const QString &addresseeId, const WireIdentity &sender, const QString &body,
                              bool autoReply);
Packet BuildFileToPacket(int fileNumber, const QString &fileName, const QString &serverId,
                         const QString &serverIp, const QString &clientId, const QString &clientIp);
Packet BuildUpdateInfoToGroupPacket(const QString &userIdList, const GroupTalkWire &talk,
                                    const WireIdentity &sender);
// Sent by the author when it closes its group talk.
Packet BuildGroupTalkDeletePacket(const GroupTalkWire &talk);
// Sent when a contact group is deleted; the caption goes as it is.
Packet BuildContactGroupDeletePacket(const QString &groupId, const WireIdentity &local,
                                     const QString &caption);
// Sent when a contact group is renamed; the caption is trimmed, and a blank one goes as " ".
Packet BuildContactGroupRenamePacket(const QString &groupId, const WireIdentity &local,
                                     const QString &caption);
Packet BuildPrivateDeletePacket(const QString &peerId, const WireIdentity &sender);

// The caption a renamed group gets: trimmed, or a single blank when nothing is left.
QString NormalizeGroupCaption(const QString &caption);
