#pragma once

#include <QString>
#include <cstdint>

// One entry of the peer list: a user's wire identity and published profile.
struct RUserID {
    QString Alias;
    qint32 GroupNumber = -1;
    quint8 Blocked = 0;
    qint32 PictureIndex = -1;
    QString IP;
    QString MAC;
    QString ID;
    QString ICQ;
    QString FirstName;
    QString SecondName;
    QString EMail;
    qint32 Color = 0;
    QString Street;
    QString Town;
    QString House;
    QString Field;
    QString WorkStreet;
    QString WorkTown;
    QString WorkHouse;
    QString WorkField;
    QString WorkName;
    QString WorkDepartment;
    QString WorkType;
    QString WorkPost;
    quint8 Sex = 0;
    quint8 Age = 0;
    QString Interest;
    quint8 Online = 0;
};
