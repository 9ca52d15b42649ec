#pragma once

#include <QString>

enum TalkKind : quint8 {
    tkAllUsers = 0,
    tkOwnGroup = 1,
    tkPrivate = 2,
    tkMemberGroup = 3,
};

// What a talk is about. Private: the peer; group talks: the author and the group.
struct TalkData {
    TalkKind kind = tkAllUsers;
    QString PeerIP;
    QString PeerID;
    QString PeerMAC;
    int GroupTag = -1;
    QString GroupID;
    QString AuthorAlias;
    QString GroupName;
    // The tab's caption as the peers' texts make it; windows show it bidi-isolated.
    QString Caption;
};
