#pragma once

#include "talks/MessageMarkers.h"
#include "talks/TalkCore.h"

#include <QString>
#include <QStringList>

// Transcripts with every kind of content a history file keeps, played into a talk through the talk
// core's own signals, as received and sent messages reach the transcripts.
namespace HistoryScenarios {

inline const QString BorisId = QStringLiteral("{B0A1B2C3-0000-0000-0000-00000000000B}");
inline const QString CarlaId = QStringLiteral("{C0A1B2C3-0000-0000-0000-00000000000C}");
inline const QString BorisIp = QStringLiteral("127.0.0.2");
inline const QString CarlaIp = QStringLiteral("127.0.0.3");
inline constexpr qint32 WindowTextColor = qint32(0x80000008u);

inline QStringList names()
{
    return {QStringLiteral("plain"),    QStringLiteral("styled"), QStringLiteral("breaks"),
            QStringLiteral("pictures"), QStringLiteral("files"),  QStringLiteral("presence"),
            QStringLiteral("names")};
}

inline QString bullet(int index)
{
    return QLatin1StringView(MessageMarker::BulletOpen) + QString::number(index) +
           QLatin1StringView(MessageMarker::BulletClose);
}

inline QString animation(int number)
{
    return QLatin1StringView(MessageMarker::ControlOpen) + QString::number(number) +
           QLatin1StringView(MessageMarker::ControlClose);
}

inline QString fileReference(const QString &ownerId, const QString &ip, const QString &path)
{
    const QLatin1StringView sep(FileInfoSeparator);
    return QLatin1StringView(MessageMarker::ControlFileOpen) + sep + ownerId + sep + ip + sep +
           QStringLiteral("12") + sep + path + QLatin1StringView(MessageMarker::ControlFileClose);
}

inline QString lineBreak()
{
    return QLatin1StringView(MessageMarker::LineBreak);
}

// Plays the scenario into the talk; me is the local user (ID, IP, alias, colour, picture).
inline void play(TalkCore *core, int talk, const QString &name, const QString &myId, const QString &myIp,
                 const QString &myAlias)
{
    const auto boris = [&](const QString &body, qint32 color = 0x0000C0, int picture = 3) {
        Q_EMIT core->messageForTalk(talk, BorisId, BorisIp, body, color, picture, QStringLiteral("Boris"));
    };
    const auto mine = [&](const QString &body) {
        Q_EMIT core->messageForTalk(talk, myId, myIp, body, WindowTextColor, 1, myAlias);
    };
    if (name == u"plain") {
        boris(QStringLiteral("Hello, Anna."));
        mine(QStringLiteral("Hi Boris, all well here."));
    } else if (name == u"styled") {
        boris(QStringLiteral("red words"));
        Q_EMIT core->messageForTalk(talk, CarlaId, CarlaIp, QStringLiteral("green words"), 0x00A000, 7,
                                    QStringLiteral("Carla"));
        mine(QStringLiteral("system colour words"));
        // Boris takes another colour: his earlier words take it too.
        boris(QStringLiteral("blue words now"), 0xFF0000);
        mine(QStringLiteral("braces {like} these \\ and tabs\there"));
    } else if (name == u"breaks") {
        boris(QStringLiteral("line one") + lineBreak() + QStringLiteral("line two") + lineBreak() +
              lineBreak() + QStringLiteral("after an empty line"));
        boris(QStringLiteral("soft\nbreak and\rreturn"));
        QString longLine;
        for (int i = 0; i < 40; ++i)
            longLine += QStringLiteral("word%1 ").arg(i, 3, 10, QLatin1Char('0'));
        mine(longLine + lineBreak() + QString(350, u'x'));
    } else if (name == u"pictures") {
        boris(QStringLiteral("look ") + bullet(5) + QStringLiteral(" and ") + animation(2) +
              QStringLiteral(" end"));
        mine(bullet(0) + bullet(0) + bullet(9999) + animation(77));
        boris(animation(1), 0x0000C0, -1);
        // More animations than a transcript keeps: the oldest go.
        QString many;
        for (int n = 3; n <= 8; ++n)
            many += QString::number(n) + animation(n);
        mine(many);
    } else if (name == u"files") {
        boris(QStringLiteral("take this ") +
              fileReference(BorisId, BorisIp, QStringLiteral("/srv/share/report 2024.pdf")) +
              QStringLiteral(" and ") + fileReference(BorisId, BorisIp, QStringLiteral("C:\\data\\x.txt")));
        mine(QStringLiteral("thanks"));
    } else if (name == u"presence") {
        core->peerPresence(-1, BorisIp, true, BorisId, 0x0000C0, 3, QStringLiteral("Boris"));
        boris(QStringLiteral("here I am"));
        core->peerPresence(-1, BorisIp, false, BorisId, 0x0000C0, 3, QStringLiteral("Boris"));
        core->peerPresence(-1, CarlaIp, true, CarlaId, 0x00A000, 7, QString());
    } else if (name == u"names") {
        Q_EMIT core->messageForTalk(talk, CarlaId, CarlaIp, QStringLiteral("\u3053\u3093\u306B\u3061\u306F"),
                                    0x00A000, 7, QStringLiteral("\u540D\u524D"));
        Q_EMIT core->messageForTalk(talk, BorisId, BorisIp, QStringLiteral("\u05E9\u05DC\u05D5\u05DD"),
                                    0x0000C0, 3, QStringLiteral("\u05D0\u05E0\u05D4 Anna"));
        Q_EMIT core->messageForTalk(talk, BorisId, BorisIp, QStringLiteral("long one"), 0x0000C0, 3,
                                    QString(330, u'L'));
        core->peerPresence(-1, CarlaIp, true, CarlaId, 0x00A000, 7,
                           QStringLiteral("\u540D\u524D \U0001F600"));
    }
}

} // namespace HistoryScenarios
