#include "protocol/ConstUnit.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/ProtocolUn.h"
#include "protocol/SendMessageUn.h"

#include <QTest>

namespace {

const QString IdS = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QString IdA = QStringLiteral("{AAAAAAAA-2222-3333-4444-555555555555}");
const QString IdB = QStringLiteral("{BBBBBBBB-2222-3333-4444-555555555555}");

WireIdentity anna()
{
    return {QStringLiteral("Anna"), QStringLiteral("10.1.2.3"), IdS, QString(), 7, 255};
}

GroupTalkWire friends()
{
    return {QStringLiteral("{G}"),      IdA,
            QStringLiteral("10.1.2.4"), QStringLiteral("M1"),
            QStringLiteral("Boris"),    QStringLiteral("Friends")};
}

} // namespace

class TestProtocol : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void classify_data();
    void classify();
    void headersRoundTrip();

    void tagValue_data();
    void tagValue();
    void integerRule_data();
    void integerRule();
    void pictureNumberRule_data();
    void pictureNumberRule();
    void userIdList_data();
    void userIdList();
    void isUserInList();
    void autoReplyMarker();
    void invalidUtf8ReadsWithReplacement();
    void emptyNewReadsEmpty();
    void fileMessageGetters();

    void mainMessageHeaders();
    void mainMessageOmitsEmptyFields();
    void presencePacketFullProfile();
    void presencePacketMinimal();
    void disconnectPacket();
    void directPackets_data();
    void directPackets();
    void builtPacketsReadBack();
    void userIdListBuilder();

    void formatPlaceholders();
};

void TestProtocol::classify_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("kind");
    QTest::newRow("new alone") << QByteArray("NEW!^:^$") << 1;
    QTest::newRow("message") << QByteArray("MESSAGE!^:^$<ALIAS>a</ALIAS>") << 2;
    QTest::newRow("group is not message") << QByteArray("MESSAGETOGROUP!^:^$") << 3;
    QTest::newRow("to user") << QByteArray("MESSAGETOUSER!^:^$x") << 4;
    QTest::newRow("fileto") << QByteArray("FILETO!^:^$") << 5;
    QTest::newRow("disconnect") << QByteArray("DISCONNECT!^:^$") << 6;
    QTest::newRow("updateinfo") << QByteArray("UPDATEINFO!^:^$") << 7;
    QTest::newRow("updateinfo to group") << QByteArray("UPDATEINFOTOGROUP_!^:^$") << 8;
    QTest::newRow("rename") << QByteArray("MESSAGETOGROUPRENAME!^:^$") << 9;
    QTest::newRow("group delete") << QByteArray("MESSAGETOGROUPDELETE!^:^$") << 10;
    QTest::newRow("private delete") << QByteArray("MESSAGETOPRIVATEDELETE!^:^$") << 11;
    QTest::newRow("blank before header") << QByteArray(" NEW!^:^$") << 0;
    QTest::newRow("lower case") << QByteArray("new!^:^$") << 0;
    QTest::newRow("no marker") << QByteArray("NEW<ALIAS>x</ALIAS>") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("marker alone") << QByteArray("!^:^$") << 0;
    QTest::newRow("unknown word") << QByteArray("HELLO!^:^$") << 0;
    QTest::newRow("first marker decides") << QByteArray("NEWX!^:^$NEW!^:^$") << 0;
    QTest::newRow("second marker ignored") << QByteArray("NEW!^:^$MESSAGE!^:^$") << 1;
    QTest::newRow("truncated marker") << QByteArray("NEW!^:^") << 0;
    QTest::newRow("old suffix") << QByteArray("UPDATEINFOTOGROUP!^:^$") << 0;
}

void TestProtocol::classify()
{
    QFETCH(QByteArray, packet);
    QFETCH(int, kind);
    QCOMPARE(int(ClassifyPacket(packet)), kind);
}

void TestProtocol::headersRoundTrip()
{
    for (int kind = 1; kind < PacketKindCount; ++kind)
        QCOMPARE(int(ClassifyPacket(PacketHeader(kind).toByteArray() + "<ID>x</ID>")), kind);
    QVERIFY(PacketHeader(0).isEmpty());
    QVERIFY(PacketHeader(12).isEmpty());
    QVERIFY(PacketHeader(-1).isEmpty());
}

void TestProtocol::tagValue_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("alias");
    QTest::newRow("plain") << QByteArray("NEW!^:^$<ALIAS>Anna</ALIAS>") << "Anna";
    QTest::newRow("first occurrence wins")
        << QByteArray("NEW!^:^$<ALIAS>one</ALIAS><ALIAS>two</ALIAS>") << "one";
    QTest::newRow("untrimmed") << QByteArray("NEW!^:^$<ALIAS>  a b </ALIAS>") << "  a b ";
    QTest::newRow("missing") << QByteArray("NEW!^:^$<IP>1</IP>") << "";
    QTest::newRow("no closing tag") << QByteArray("NEW!^:^$<ALIAS>Anna") << "";
    QTest::newRow("closing before opening") << QByteArray("NEW!^:^$</ALIAS><ALIAS>Anna") << "";
    QTest::newRow("closing before and after")
        << QByteArray("NEW!^:^$</ALIAS>junk<ALIAS>Anna</ALIAS>") << "Anna";
    QTest::newRow("empty value") << QByteArray("NEW!^:^$<ALIAS></ALIAS>") << "";
    QTest::newRow("value cut at own closing tag") << QByteArray("NEW!^:^$<ALIAS>a</ALIAS>b</ALIAS>") << "a";
    QTest::newRow("line breaks kept") << QByteArray("NEW!^:^$<ALIAS>a\r\nb</ALIAS>") << "a\r\nb";
    QTest::newRow("utf8") << QByteArray("NEW!^:^$<ALIAS>\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0</ALIAS>")
                          << QString::fromUtf8("\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0");
}

void TestProtocol::tagValue()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, alias);
    QCOMPARE(TDataNewMessage(packet).GetAlias(), alias);
}

void TestProtocol::integerRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("number") << "255" << 255;
    QTest::newRow("negative") << "-16777201" << -16777201;
    QTest::newRow("plus sign") << "+12" << 12;
    QTest::newRow("leading blanks") << "  42" << 42;
    QTest::newRow("trailing blank") << "42 " << 0;
    QTest::newRow("digits then letters") << "12ab" << 0;
    QTest::newRow("sign alone") << "-" << 0;
    QTest::newRow("hex not accepted") << "0x10" << 0;
    QTest::newRow("largest") << "2147483647" << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << int(-2147483647 - 1);
    QTest::newRow("overflow") << "2147483648" << 0;
    QTest::newRow("huge") << "99999999999999999999" << 0;
}

void TestProtocol::integerRule()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(ParseIntegerRule(text), value);
    const QByteArray packet = "NEW!^:^$<COLOR>" + text.toUtf8() + "</COLOR><SEX>" + text.toUtf8() +
                              "</SEX><OLD>" + text.toUtf8() + "</OLD>";
    const TDataNewMessage m(packet);
    QCOMPARE(m.GetColor(), value);
    QCOMPARE(m.GetSex(), value);
    QCOMPARE(m.GetOld(), value);
}

void TestProtocol::pictureNumberRule_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("value");
    QTest::newRow("seven") << QByteArray("NEW!^:^$<IMAGEINDEX>7</IMAGEINDEX>") << 7;
    QTest::newRow("minus one") << QByteArray("NEW!^:^$<IMAGEINDEX>-1</IMAGEINDEX>") << 0;
    QTest::newRow("blank") << QByteArray("NEW!^:^$<IMAGEINDEX> </IMAGEINDEX>") << 0;
    QTest::newRow("empty") << QByteArray("NEW!^:^$<IMAGEINDEX></IMAGEINDEX>") << 0;
    QTest::newRow("missing") << QByteArray("NEW!^:^$") << 0;
    QTest::newRow("letters") << QByteArray("NEW!^:^$<IMAGEINDEX>x</IMAGEINDEX>") << 0;
    QTest::newRow("minus two kept") << QByteArray("NEW!^:^$<IMAGEINDEX>-2</IMAGEINDEX>") << -2;
    QTest::newRow("leading blank") << QByteArray("NEW!^:^$<IMAGEINDEX> 12</IMAGEINDEX>") << 12;
}

void TestProtocol::pictureNumberRule()
{
    QFETCH(QByteArray, packet);
    QFETCH(int, value);
    QCOMPARE(TDataNewMessage(packet).GetImageIndex(), value);
}

void TestProtocol::userIdList_data()
{
    const QString sep = QStringLiteral("<USERIDSEPARATOR>");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("sender and two members")
        << sep + IdS + sep + IdA + sep + sep + IdB + sep << QStringList{IdS, IdA, IdB};
    QTest::newRow("trailing separator") << sep + "S" + sep + "A" + sep << QStringList{"S", "A"};
    QTest::newRow("no trailing separator") << sep + "S" + sep + "A" << QStringList{"S", "A"};
    QTest::newRow("exactly one separator") << sep << QStringList{};
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("no separator at all") << "S" << QStringList{"S"};
    QTest::newRow("many separators") << sep + sep + sep + "S" + sep + sep << QStringList{"S"};
    QTest::newRow("partial separator is text") << "S<USERIDSEP" << QStringList{"S<USERIDSEP"};
}

void TestProtocol::userIdList()
{
    QFETCH(QString, value);
    QFETCH(QStringList, items);
    const TDataNewMessage m("MESSAGETOGROUP!^:^$<FROMUSERID>" + value.toUtf8() + "</FROMUSERID>");
    QStringList list;
    m.GetUserIDList(&list);
    QCOMPARE(list, items);
    m.GetUserIDList(nullptr); // no list given: nothing happens
}

void TestProtocol::isUserInList()
{
    const QString list = BuildUserIDList(IdS, {IdA});
    const TDataNewMessage m("MESSAGETOGROUP!^:^$<FROMUSERID>" + list.toUtf8() + "</FROMUSERID>");
    QVERIFY(m.IsUserInList(IdS));
    QVERIFY(m.IsUserInList(IdA));
    QVERIFY(!m.IsUserInList(IdB));
    QVERIFY(!m.IsUserInList(QString()));
    QVERIFY(!TDataNewMessage("MESSAGETOGROUP!^:^$").IsUserInList(IdA));
}

void TestProtocol::autoReplyMarker()
{
    QVERIFY(TDataNewMessage(BuildUserMessagePacket(IdA, anna(), "hi", true)).IsAutoReply());
    QVERIFY(!TDataNewMessage(BuildUserMessagePacket(IdA, anna(), "hi", false)).IsAutoReply());
    QVERIFY(TDataNewMessage("MESSAGETOUSER!^:^$<MESSAGESTR>x</MESSAGESTR><AVTOMASHINE>").IsAutoReply());
}

void TestProtocol::invalidUtf8ReadsWithReplacement()
{
    const TDataNewMessage m(QByteArray("NEW!^:^$<ALIAS>a\xFF\xC3</ALIAS><ID>{X}</ID>"));
    const QString alias = m.GetAlias();
    QVERIFY(alias.startsWith(u'a'));
    QVERIFY(alias.contains(QChar(QChar::ReplacementCharacter)));
    QCOMPARE(m.GetID(), QStringLiteral("{X}"));
}

void TestProtocol::emptyNewReadsEmpty()
{
    const TDataNewMessage m("NEW!^:^$");
    QCOMPARE(ClassifyPacket(m.PacketText()), quint8(pkNew));
    const QStringList texts = {m.GetAlias(),
                               m.GetEMail(),
                               m.GetField(),
                               m.GetHouse(),
                               m.GetICQ(),
                               m.GetIP(),
                               m.GetName(),
                               m.GetName2(),
                               m.GetStreet(),
                               m.GetTown(),
                               m.GetWDepartment(),
                               m.GetWField(),
                               m.GetWHouse(),
                               m.GetWName(),
                               m.GetWPost(),
                               m.GetWStreet(),
                               m.GetWTown(),
                               m.GetWTypeWork(),
                               m.GetID(),
                               m.GetMAC(),
                               m.GetInterest(),
                               m.GetMessageStr(),
                               m.GetFromUserID(),
                               m.GetGroupID(),
                               m.GetAutorGroupAliase(),
                               m.GetAutorGroupID(),
                               m.GetAutorGroupIP(),
                               m.GetAutorGroupMAC(),
                               m.GetGroupName()};
    for (const QString &t : texts)
        QVERIFY(t.isEmpty());
    QCOMPARE(m.GetColor(), 0);
    QCOMPARE(m.GetImageIndex(), 0);
    QCOMPARE(m.GetSex(), 0);
    QCOMPARE(m.GetOld(), 0);
    QVERIFY(!m.IsAutoReply());
}

void TestProtocol::fileMessageGetters()
{
    const Packet p = BuildFileToPacket(3, "C:\\docs\\a.txt", IdA, "10.0.0.2", IdS, "10.0.0.1");
    QCOMPARE(p, QByteArray("FILETO!^:^$<NOMBERFILE>3</NOMBERFILE><FILENAME>C:\\docs\\a.txt</FILENAME>"
                           "<SERVERID>") +
                    IdA.toUtf8() + "</SERVERID><SERVERIP>10.0.0.2</SERVERIP><CLIENTID>" + IdS.toUtf8() +
                    "</CLIENTID><CLIENTIP>10.0.0.1</CLIENTIP>");
    const TDataFileMessage f(p);
    QCOMPARE(f.GetNomberFile(), QStringLiteral("3"));
    QCOMPARE(f.GetFileName(), QStringLiteral("C:\\docs\\a.txt"));
    QCOMPARE(f.GetServerID(), IdA);
    QCOMPARE(f.GetServerIP(), QStringLiteral("10.0.0.2"));
    QCOMPARE(f.GetClientID(), IdS);
    QCOMPARE(f.GetClientIP(), QStringLiteral("10.0.0.1"));
}

void TestProtocol::mainMessageHeaders()
{
    const char *headers[] = {"",
                             "NEW!^:^$",
                             "MESSAGE!^:^$",
                             "MESSAGETOGROUP!^:^$",
                             "MESSAGETOUSER!^:^$",
                             "FILETO!^:^$",
                             "DISCONNECT!^:^$",
                             "UPDATEINFO!^:^$"};
    for (int kind = 0; kind <= 7; ++kind)
        QCOMPARE(TMainMessage(kind).GetPacketText(), QByteArray(headers[kind]));
    QVERIFY(TMainMessage(8).GetPacketText().isEmpty());
    QVERIFY(TMainMessage(-3).GetPacketText().isEmpty());
}

void TestProtocol::mainMessageOmitsEmptyFields()
{
    TMainMessage m(pkNew);
    m.AddAlias(QString());
    m.AddIP("10.0.0.1");
    m.AddMAC(QString());
    m.AddColor(0);
    m.AddField("<X>", QString(), "</X>");
    QCOMPARE(m.GetPacketText(), QByteArray("NEW!^:^$<IP>10.0.0.1</IP><COLOR>0</COLOR>"));
}

void TestProtocol::presencePacketFullProfile()
{
    RUserID u;
    u.Alias = "Anna";
    u.PictureIndex = 12;
    u.IP = "10.1.2.3";
    u.MAC = "00-11";
    u.ID = IdS;
    u.ICQ = "123";
    u.Color = -16777201;
    u.FirstName = "An";
    u.SecondName = "Na";
    u.EMail = "a@b";
    u.Street = "Main 1\r\nBack";
    u.Town = "T";
    u.House = "H";
    u.Field = "F";
    u.WorkStreet = "WS";
    u.WorkTown = "WT";
    u.WorkHouse = "WH";
    u.WorkField = "WF";
    u.WorkName = "WN";
    u.WorkDepartment = "WD";
    u.WorkType = "WY";
    u.WorkPost = "WP";
    u.Sex = 2;
    u.Age = 30;
    u.Interest = "I";
    const QByteArray expectedFields =
        "<ALIAS>Anna</ALIAS><IMAGEINDEX>12</IMAGEINDEX><IP>10.1.2.3</IP><MAC>00-11</MAC><ID>" + IdS.toUtf8() +
        "</ID><ICQ>123</ICQ><COLOR>-16777201</COLOR><NAME>An</NAME><NAME2>Na</NAME2><EMAIL>a@b</EMAIL>"
        "<STREET>Main 1\r\nBack</STREET><TOWN>T</TOWN><HOUSE>H</HOUSE><FIELD>F</FIELD><WSTREET>WS</WSTREET>"
        "<WTOWN>WT</WTOWN><WHOUSE>WH</WHOUSE><WFIELD>WF</WFIELD><WNAME>WN</WNAME><WDEPARTMENT>WD</"
        "WDEPARTMENT>"
        "<WTYPEWORK>WY</WTYPEWORK><WPOST>WP</WPOST><SEX>2</SEX><OLD>30</OLD><Interest>I</Interest>";
    QCOMPARE(BuildPresencePacket(u, true), "NEW!^:^$" + expectedFields);
    QCOMPARE(BuildPresencePacket(u, false), "UPDATEINFO!^:^$" + expectedFields);

    const TDataNewMessage m(BuildPresencePacket(u, false));
    QCOMPARE(m.GetStreet(), u.Street);
    QCOMPARE(m.GetField(), u.Field);
    QCOMPARE(m.GetInterest(), u.Interest);
    QCOMPARE(m.GetColor(), u.Color);
    QCOMPARE(m.GetImageIndex(), 12);
}

void TestProtocol::presencePacketMinimal()
{
    RUserID u;
    u.Alias = "Anna";
    u.IP = "10.1.2.3";
    u.ID = IdS;
    QCOMPARE(BuildPresencePacket(u, false), "UPDATEINFO!^:^$<ALIAS>Anna</ALIAS><IMAGEINDEX>-1</IMAGEINDEX>"
                                            "<IP>10.1.2.3</IP><ID>" +
                                                IdS.toUtf8() +
                                                "</ID><COLOR>0</COLOR><SEX>0</SEX><OLD>0</OLD>");
    u.Alias.clear();
    QVERIFY(BuildPresencePacket(u, true).startsWith("NEW!^:^$<IMAGEINDEX>-1</IMAGEINDEX>"));
    // -1 goes on the wire and reads back as 0 at the peers.
    QCOMPARE(TDataNewMessage(BuildPresencePacket(u, true)).GetImageIndex(), 0);
}

void TestProtocol::disconnectPacket()
{
    RUserID u;
    u.Alias = "Anna";
    u.IP = "10.1.2.3";
    u.ID = IdS;
    u.Color = 255;
    u.PictureIndex = 4;
    QCOMPARE(BuildDisconnectPacket(u), "DISCONNECT!^:^$<ALIAS>Anna</ALIAS><IP>10.1.2.3</IP><ID>" +
                                           IdS.toUtf8() +
                                           "</ID><COLOR>255</COLOR><IMAGEINDEX>4</IMAGEINDEX>");
    u.MAC = "MM";
    QVERIFY(BuildDisconnectPacket(u).contains("<IP>10.1.2.3</IP><MAC>MM</MAC><ID>"));
}

void TestProtocol::directPackets_data()
{
    const QByteArray s = IdS.toUtf8();
    const QByteArray a = IdA.toUtf8();
    const QByteArray sender = "<ALIAS>Anna</ALIAS><IP>10.1.2.3</IP><ID>" + s +
                              "</ID><MAC></MAC><IMAGEINDEX>7</IMAGEINDEX><COLOR>255</COLOR>";
    const QByteArray group =
        "<GROUPID>{G}</GROUPID><AUTORGROUPID>" + a +
        "</AUTORGROUPID><AUTORGROUPIP>10.1.2.4</AUTORGROUPIP><AUTORGROUPMAC>M1</AUTORGROUPMAC>"
        "<AUTORGROUPALIASE>Boris</AUTORGROUPALIASE><GROUPNAME>Friends</GROUPNAME>";
    const QString list = BuildUserIDList(IdS, {IdA});
    const QByteArray listBytes = list.toUtf8();

    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("message") << BuildMessagePacket(anna(), "Hi")
                             << "MESSAGE!^:^$" + sender + "<MESSAGESTR>Hi</MESSAGESTR>";
    QTest::newRow("message with empty body")
        << BuildMessagePacket(anna(), QString()) << "MESSAGE!^:^$" + sender + "<MESSAGESTR></MESSAGESTR>";
    QTest::newRow("message to group") << BuildGroupMessagePacket(list, friends(), anna(), "Hi")
                                      << "MESSAGETOGROUP!^:^$<FROMUSERID>" + listBytes + "</FROMUSERID>" +
                                             group + sender + "<MESSAGESTR>Hi</MESSAGESTR>";
    QTest::newRow("message to user") << BuildUserMessagePacket(IdA, anna(), "Hi", false)
                                     << "MESSAGETOUSER!^:^$<FROMUSERID>" + a + "</FROMUSERID>" + sender +
                                            "<MESSAGESTR>Hi</MESSAGESTR>";
    QTest::newRow("auto-reply marker before the body")
        << BuildUserMessagePacket(IdA, anna(), "Away", true)
        << "MESSAGETOUSER!^:^$<FROMUSERID>" + a + "</FROMUSERID>" + sender +
               "<AVTOMASHINE><MESSAGESTR>Away</MESSAGESTR>";
    QTest::newRow("update info to group")
        << BuildUpdateInfoToGroupPacket(list, friends(), anna())
        << "UPDATEINFOTOGROUP_!^:^$<FROMUSERID>" + listBytes + "</FROMUSERID>" + group + sender;
    QTest::newRow("author closes group talk")
        << BuildGroupTalkDeletePacket(friends()) << "MESSAGETOGROUPDELETE!^:^$" + group;
    QTest::newRow("contact group deleted")
        << BuildContactGroupDeletePacket("{G}", anna(), " Old ")
        << "MESSAGETOGROUPDELETE!^:^$<GROUPID>{G}</GROUPID><AUTORGROUPID>" + s +
               "</AUTORGROUPID><AUTORGROUPIP>10.1.2.3</AUTORGROUPIP><AUTORGROUPALIASE>Anna</AUTORGROUPALIASE>"
               "<GROUPNAME> Old </GROUPNAME>";
    QTest::newRow("contact group renamed, trimmed")
        << BuildContactGroupRenamePacket("{G}", anna(), "  New  ")
        << "MESSAGETOGROUPRENAME!^:^$<GROUPID>{G}</GROUPID><AUTORGROUPID>" + s +
               "</AUTORGROUPID><AUTORGROUPIP>10.1.2.3</AUTORGROUPIP><AUTORGROUPALIASE>Anna</AUTORGROUPALIASE>"
               "<GROUPNAME>New</GROUPNAME>";
    QTest::newRow("blank rename is one blank")
        << BuildContactGroupRenamePacket("{G}", anna(), "   ")
        << "MESSAGETOGROUPRENAME!^:^$<GROUPID>{G}</GROUPID><AUTORGROUPID>" + s +
               "</AUTORGROUPID><AUTORGROUPIP>10.1.2.3</AUTORGROUPIP><AUTORGROUPALIASE>Anna</AUTORGROUPALIASE>"
               "<GROUPNAME> </GROUPNAME>";
    QTest::newRow("private delete") << BuildPrivateDeletePacket(IdA, anna())
                                    << "MESSAGETOPRIVATEDELETE!^:^$<FROMUSERID>" + a + "</FROMUSERID>" +
                                           sender;
    QTest::newRow("empty fields keep their tags")
        << BuildPrivateDeletePacket(QString(), WireIdentity{})
        << QByteArray("MESSAGETOPRIVATEDELETE!^:^$<FROMUSERID></FROMUSERID><ALIAS></ALIAS><IP></IP><ID></ID>"
                      "<MAC></MAC><IMAGEINDEX>-1</IMAGEINDEX><COLOR>0</COLOR>");
}

void TestProtocol::directPackets()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built, expected);
}

void TestProtocol::builtPacketsReadBack()
{
    const QString body = QStringLiteral("Line <b>1</b>\n\rЖ");
    const TDataNewMessage m(
        BuildGroupMessagePacket(BuildUserIDList(IdS, {IdA, IdB}), friends(), anna(), body));
    QCOMPARE(ClassifyPacket(m.PacketText()), quint8(pkMessageToGroup));
    QCOMPARE(m.GetMessageStr(), body);
    QCOMPARE(m.GetGroupID(), QStringLiteral("{G}"));
    QCOMPARE(m.GetAutorGroupID(), IdA);
    QCOMPARE(m.GetAutorGroupIP(), QStringLiteral("10.1.2.4"));
    QCOMPARE(m.GetAutorGroupMAC(), QStringLiteral("M1"));
    QCOMPARE(m.GetAutorGroupAliase(), QStringLiteral("Boris"));
    QCOMPARE(m.GetGroupName(), QStringLiteral("Friends"));
    // The sender's own fields follow the author's: "<ID>" is not found inside "<AUTORGROUPID>".
    QCOMPARE(m.GetID(), IdS);
    QCOMPARE(m.GetIP(), QStringLiteral("10.1.2.3"));
    QCOMPARE(m.GetAlias(), QStringLiteral("Anna"));
    QCOMPARE(m.GetImageIndex(), 7);
    QCOMPARE(m.GetColor(), 255);
    QStringList ids;
    m.GetUserIDList(&ids);
    QCOMPARE(ids, (QStringList{IdS, IdA, IdB}));
}

void TestProtocol::userIdListBuilder()
{
    const QString sep = QStringLiteral("<USERIDSEPARATOR>");
    QCOMPARE(BuildUserIDList("S", {"A", "B"}), sep + "S" + sep + "A" + sep + sep + "B" + sep);
    QCOMPARE(BuildUserIDList("S", {}), sep + "S");
}

void TestProtocol::formatPlaceholders()
{
    using ConstUnit::Format;
    QCOMPARE(Format("User \"%s\" is connect...", {"[Anna]"}),
             QStringLiteral("User \"[Anna]\" is connect..."));
    QCOMPARE(Format("%s and %s", {"Anna", "Boris"}), QStringLiteral("Anna and Boris"));
    QCOMPARE(Format("%s and %s", {"Anna"}), QStringLiteral("Anna and "));
    QCOMPARE(Format("no placeholder %d", {"x"}), QStringLiteral("no placeholder %d"));
    QCOMPARE(Format("100%", {"x"}), QStringLiteral("100%"));
    QCOMPARE(ConstUnit::text(ConstUnit::Text::ConnectUser), QStringLiteral("User \"%s\" is connect..."));
    ConstUnit::setText(ConstUnit::Text::ConnectUser, "Hallo %s");
    QCOMPARE(ConstUnit::text(ConstUnit::Text::ConnectUser), QStringLiteral("Hallo %s"));
    ConstUnit::resetTexts();
    QCOMPARE(ConstUnit::text(ConstUnit::Text::ConnectUser),
             ConstUnit::defaultText(ConstUnit::Text::ConnectUser));
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "test_protocol.moc"
