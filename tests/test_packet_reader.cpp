// The one-pass packet reader against a literal implementation of the tag rule: over the fuzz
// corpora, their random mutations and random tag soups, every getter must give what the rule gives.
#include "protocol/ProtocolClassUn.h"
#include "protocol/ProtocolUn.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

namespace {

// The tag rule step by step, on plain byte strings.
QString referenceTagValue(const QByteArray &packet, const TagPair &tag)
{
    const QByteArray open = tag.open.toByteArray();
    const QByteArray close = tag.close.toByteArray();
    if (!packet.contains(open) || !packet.contains(close))
        return QString();
    QByteArray rest = packet.mid(packet.indexOf(open));
    const qsizetype closeAt = rest.indexOf(close);
    if (closeAt < 0)
        return QString(); // only closing tags before the opening tag
    rest.truncate(closeAt + close.size());
    rest.remove(0, open.size());
    rest.chop(close.size());
    return QString::fromUtf8(rest);
}

struct TextGetter {
    const char *name;
    TagPair tag;
    std::function<QString(const TDataNewMessage &, const TDataFileMessage &)> get;
};

#define NEW_GETTER(Name, TagName)                                                                            \
    TextGetter                                                                                               \
    {                                                                                                        \
#Name, Tag::TagName, [](const TDataNewMessage &m, const TDataFileMessage &) {                        \
            return m.Name();                                                                                 \
        }                                                                                                    \
    }
#define FILE_GETTER(Name, TagName)                                                                           \
    TextGetter                                                                                               \
    {                                                                                                        \
#Name, Tag::TagName, [](const TDataNewMessage &, const TDataFileMessage &f) {                        \
            return f.Name();                                                                                 \
        }                                                                                                    \
    }

const std::vector<TextGetter> &textGetters()
{
    static const std::vector<TextGetter> getters = {
        NEW_GETTER(GetAlias, Alias),
        NEW_GETTER(GetEMail, EMail),
        NEW_GETTER(GetField, Field),
        NEW_GETTER(GetHouse, House),
        NEW_GETTER(GetICQ, ICQ),
        NEW_GETTER(GetIP, IP),
        NEW_GETTER(GetName, Name),
        NEW_GETTER(GetName2, Name2),
        NEW_GETTER(GetStreet, Street),
        NEW_GETTER(GetTown, Town),
        NEW_GETTER(GetWDepartment, WDepartment),
        NEW_GETTER(GetWField, WField),
        NEW_GETTER(GetWHouse, WHouse),
        NEW_GETTER(GetWName, WName),
        NEW_GETTER(GetWPost, WPost),
        NEW_GETTER(GetWStreet, WStreet),
        NEW_GETTER(GetWTown, WTown),
        NEW_GETTER(GetWTypeWork, WTypeWork),
        NEW_GETTER(GetID, ID),
        NEW_GETTER(GetMAC, MAC),
        NEW_GETTER(GetInterest, Interest),
        NEW_GETTER(GetMessageStr, MessageStr),
        NEW_GETTER(GetFromUserID, FromUserID),
        NEW_GETTER(GetGroupID, GroupID),
        NEW_GETTER(GetAutorGroupAliase, AutorGroupAliase),
        NEW_GETTER(GetAutorGroupID, AutorGroupID),
        NEW_GETTER(GetAutorGroupIP, AutorGroupIP),
        NEW_GETTER(GetAutorGroupMAC, AutorGroupMAC),
        NEW_GETTER(GetGroupName, GroupName),
        FILE_GETTER(GetClientID, ClientID),
        FILE_GETTER(GetClientIP, ClientIP),
        FILE_GETTER(GetFileName, FileName),
        FILE_GETTER(GetNomberFile, NomberFile),
        FILE_GETTER(GetServerID, ServerID),
        FILE_GETTER(GetServerIP, ServerIP),
    };
    return getters;
}

// How often the odd cases of the rule came up, so that a weak input set shows as a failure.
struct Coverage {
    int values = 0;
    int firstOfSeveral = 0;
    int closingOnlyBefore = 0;
    int noClosingTag = 0;
    int holdsOtherTag = 0;
    int replacement = 0;
    int autoReply = 0;
    int userLists = 0;
};

QList<QByteArray> tagTexts()
{
    QList<QByteArray> texts;
    for (int i = 0; i < PacketFieldCount; ++i) {
        const TagPair &tag = PacketFieldTag(static_cast<PacketField>(i));
        texts << tag.open.toByteArray() << tag.close.toByteArray();
    }
    texts << AutoReplyMarker << QByteArray("</AVTOMASHINE>") << UserIDSeparator;
    return texts;
}

void noteCoverage(const QByteArray &packet, const TagPair &tag, const QString &value, Coverage &coverage)
{
    const qsizetype openAt = packet.indexOf(tag.open);
    const qsizetype closeAt = packet.indexOf(tag.close);
    if (!value.isEmpty()) {
        ++coverage.values;
        if (packet.indexOf(tag.open, openAt + 1) >= 0)
            ++coverage.firstOfSeveral;
        if (value.contains(QChar(QChar::ReplacementCharacter)))
            ++coverage.replacement;
        static const QList<QByteArray> tags = tagTexts();
        const QByteArray bytes = value.toUtf8();
        for (const QByteArray &t : tags) {
            if (bytes.contains(t)) {
                ++coverage.holdsOtherTag;
                break;
            }
        }
    } else if (openAt >= 0 && closeAt < 0) {
        ++coverage.noClosingTag;
    } else if (openAt >= 0 && closeAt < openAt && packet.indexOf(tag.close, openAt) < 0) {
        ++coverage.closingOnlyBefore;
    }
}

QString hex(const QByteArray &packet)
{
    return QString::fromLatin1(packet.left(400).toHex());
}

// Empty when the reader agrees with the reference everywhere, else what differs.
QString mismatch(const QByteArray &packet, Coverage &coverage)
{
    const TDataNewMessage m(packet);
    const TDataFileMessage f(packet);
    for (const TextGetter &getter : textGetters()) {
        const QString expected = referenceTagValue(packet, getter.tag);
        const QString actual = getter.get(m, f);
        if (actual != expected)
            return QStringLiteral("%1 gave \"%2\", the rule \"%3\"").arg(getter.name, actual, expected);
        // Null exactly where the search of a single tag gives null, so no caller sees a change.
        if (actual.isNull() != GetTagValue(packet, getter.tag).isNull())
            return QStringLiteral("%1 differs in being null").arg(getter.name);
        noteCoverage(packet, getter.tag, expected, coverage);
    }

    const PacketFields fields(packet);
    for (int i = 0; i < PacketFieldCount; ++i) {
        const TagPair &tag = PacketFieldTag(static_cast<PacketField>(i));
        if (fields.Bytes(packet, static_cast<PacketField>(i)) != GetTagBytes(packet, tag))
            return QStringLiteral("bytes of %1").arg(QString::fromLatin1(tag.open));
    }

    struct IntegerGetter {
        const char *name;
        qint32 actual;
        qint32 expected;
    };
    const IntegerGetter integers[] = {
        {"GetColor", m.GetColor(), ParseIntegerRule(referenceTagValue(packet, Tag::Color))},
        {"GetImageIndex", m.GetImageIndex(),
         ParsePictureNumberRule(referenceTagValue(packet, Tag::ImageIndex))},
        {"GetSex", m.GetSex(), ParseIntegerRule(referenceTagValue(packet, Tag::Sex))},
        {"GetOld", m.GetOld(), ParseIntegerRule(referenceTagValue(packet, Tag::Old))},
    };
    for (const IntegerGetter &i : integers) {
        if (i.actual != i.expected)
            return QStringLiteral("%1 gave %2, the rule %3")
                .arg(QLatin1StringView(i.name))
                .arg(i.actual)
                .arg(i.expected);
    }

    const bool autoReply = packet.contains(AutoReplyMarker);
    coverage.autoReply += autoReply ? 1 : 0;
    if (m.IsAutoReply() != autoReply)
        return QStringLiteral("IsAutoReply");

    const QString fromUserId = referenceTagValue(packet, Tag::FromUserID);
    QStringList expectedList;
    SplitUserIDList(fromUserId, &expectedList);
    QStringList list;
    m.GetUserIDList(&list);
    if (list != expectedList)
        return QStringLiteral("GetUserIDList");
    coverage.userLists += expectedList.isEmpty() ? 0 : 1;
    const QString candidates[] = {referenceTagValue(packet, Tag::ID), fromUserId.mid(3, 38), QString(),
                                  QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")};
    for (const QString &id : candidates) {
        if (m.IsUserInList(id) != (!id.isEmpty() && fromUserId.contains(id)))
            return QStringLiteral("IsUserInList(%1)").arg(id);
    }
    return QString();
}

// Pieces that make the odd cases likely: tags, broken tags, separators and invalid UTF-8.
QByteArray randomPiece(QRandomGenerator &random)
{
    static const QList<QByteArray> tags = tagTexts();
    static const QList<QByteArray> others = {"<",
                                             "</",
                                             ">",
                                             "<<",
                                             "/>",
                                             "\xFF",
                                             "\xC3",
                                             "\xE2\x82",
                                             "\xD0\x90",
                                             QByteArray(1, '\0'),
                                             "!^:^$",
                                             "NEW!^:^$",
                                             "\r\n",
                                             " ",
                                             "a",
                                             "\xF0\x9F\x98\x80",
                                             "<ALIASX>",
                                             "<alias>",
                                             "</ ALIAS>",
                                             " -1",
                                             "-1",
                                             "42",
                                             "+7",
                                             "\t5",
                                             "5 ",
                                             "-0",
                                             "2147483647",
                                             "2147483648",
                                             "-2147483648",
                                             "-2147483649",
                                             "99999999999",
                                             "\xC2\xA0"
                                             "5",
                                             "\xD9\xA3",
                                             "0x10",
                                             "--1"};
    const quint32 pick = random.bounded(10);
    if (pick < 6)
        return tags.at(qsizetype(random.bounded(int(tags.size()))));
    if (pick < 8) {
        // A tag cut short or with a letter changed.
        QByteArray tag = tags.at(qsizetype(random.bounded(int(tags.size()))));
        if (random.bounded(2))
            return tag.left(1 + qsizetype(random.bounded(int(tag.size()) - 1)));
        tag[1 + qsizetype(random.bounded(int(tag.size()) - 2))] = char('A' + random.bounded(26));
        return tag;
    }
    return others.at(qsizetype(random.bounded(int(others.size()))));
}

QByteArray mutate(QByteArray input, QRandomGenerator &random)
{
    const int edits = 1 + int(random.bounded(6));
    for (int i = 0; i < edits; ++i) {
        const qsizetype at = qsizetype(random.bounded(int(input.size()) + 1));
        switch (random.bounded(5)) {
        case 0:
        case 1:
            input.insert(at, randomPiece(random));
            break;
        case 2:
            input.remove(at, 1 + qsizetype(random.bounded(24)));
            break;
        case 3:
            input.insert(qsizetype(random.bounded(int(input.size()) + 1)),
                         input.mid(at, 1 + random.bounded(40)));
            break;
        default:
            if (at < input.size())
                input[at] = char(random.bounded(256));
            break;
        }
    }
    return input;
}

// A packet made only of pieces, short values and whole fields, dense with tags.
QByteArray tagSoup(QRandomGenerator &random)
{
    QByteArray packet = PacketHeader(1 + int(random.bounded(PacketKindCount - 1))).toByteArray();
    const int pieces = int(random.bounded(40));
    for (int i = 0; i < pieces; ++i) {
        switch (random.bounded(4)) {
        case 0:
            packet += QByteArray::number(qint32(random.generate()) >> random.bounded(32));
            break;
        case 1: {
            const TagPair &tag = PacketFieldTag(static_cast<PacketField>(random.bounded(PacketFieldCount)));
            packet += tag.open.toByteArray() + randomPiece(random) + tag.close.toByteArray();
            break;
        }
        default:
            packet += randomPiece(random);
            break;
        }
    }
    return packet;
}

QList<QByteArray> corpus()
{
    QList<QByteArray> inputs;
    for (const char *folder : {"packet", "message"}) {
        const QDir dir(QStringLiteral(PERIX_FUZZ_CORPUS "/") + QLatin1StringView(folder));
        for (const QString &name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                inputs.append(file.readAll());
        }
    }
    return inputs;
}

} // namespace

class TestPacketReader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oddCases_data();
    void oddCases();
    void autoReplyMarker_data();
    void autoReplyMarker();
    void integerFields_data();
    void integerFields();
    void copiesReadTheSame();
    void sameAsTheRuleOverCorpusAndMutations();
};

void TestPacketReader::oddCases_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("name2");
    QTest::newRow("fields") << QByteArray("NEW!^:^$<ALIAS>a</ALIAS><ID>i</ID><NAME>n</NAME><NAME2>m</NAME2>")
                            << "a"
                            << "i"
                            << "n"
                            << "m";
    QTest::newRow("first occurrence wins")
        << QByteArray("NEW!^:^$<ALIAS>a</ALIAS><ALIAS>b</ALIAS><ID>i</ID><ID>j</ID>") << "a"
        << "i"
        << ""
        << "";
    QTest::newRow("closing only before opening") << QByteArray("NEW!^:^$</ALIAS></ID><ALIAS>a<ID>i") << ""
                                                 << ""
                                                 << ""
                                                 << "";
    QTest::newRow("closing before and after") << QByteArray("NEW!^:^$</ALIAS><ALIAS>a</ALIAS>") << "a"
                                              << ""
                                              << ""
                                              << "";
    QTest::newRow("no closing tag") << QByteArray("NEW!^:^$<ALIAS>a<ID>i</ID>") << ""
                                    << "i"
                                    << ""
                                    << "";
    QTest::newRow("value holds another field")
        << QByteArray("NEW!^:^$<ALIAS>x<ID>y</ID>z</ALIAS><ID>w</ID>") << "x<ID>y</ID>z"
        << "y"
        << ""
        << "";
    QTest::newRow("value holds its own opening tag")
        << QByteArray("NEW!^:^$<ALIAS>a<ALIAS>b</ALIAS>") << "a<ALIAS>b"
        << ""
        << ""
        << "";
    QTest::newRow("closing tag inside an earlier value")
        << QByteArray("NEW!^:^$<ALIAS>a</ID>b</ALIAS><ID>i</ID>") << "a</ID>b"
        << "i"
        << ""
        << "";
    QTest::newRow("tag inside a broken tag")
        << QByteArray("NEW!^:^$<<ALIAS>>a</ALIAS<</ALIAS>") << ">a</ALIAS<"
        << ""
        << ""
        << "";
    QTest::newRow("names that extend others")
        << QByteArray("NEW!^:^$<NAME2>m</NAME2><NAME>n</NAME><NAMEX>q</NAMEX>") << ""
        << ""
        << "n"
        << "m";
    QTest::newRow("case matters") << QByteArray("NEW!^:^$<alias>a</alias><ALIAS>b</ALIAS>") << "b"
                                  << ""
                                  << ""
                                  << "";
    QTest::newRow("no header") << QByteArray("<ALIAS>a</ALIAS>") << "a"
                               << ""
                               << ""
                               << "";
    QTest::newRow("nul bytes") << QByteArray("NEW!^:^$<ALIAS>a\0b</ALIAS>", 26)
                               << QString::fromUtf8("a\0b", 3) << ""
                               << ""
                               << "";
    QTest::newRow("packet ends inside a tag") << QByteArray("NEW!^:^$<ALIAS>a</ALIAS") << ""
                                              << ""
                                              << ""
                                              << "";
}

void TestPacketReader::oddCases()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, alias);
    QFETCH(QString, id);
    QFETCH(QString, name);
    QFETCH(QString, name2);
    const TDataNewMessage m(packet);
    QCOMPARE(m.GetAlias(), alias);
    QCOMPARE(m.GetID(), id);
    QCOMPARE(m.GetName(), name);
    QCOMPARE(m.GetName2(), name2);
    QCOMPARE(m.GetAlias(), referenceTagValue(packet, Tag::Alias));
}

void TestPacketReader::autoReplyMarker_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<bool>("autoReply");
    QTest::newRow("marker") << QByteArray("MESSAGETOUSER!^:^$<AVTOMASHINE><MESSAGESTR>x</MESSAGESTR>")
                            << true;
    QTest::newRow("inside a value") << QByteArray("MESSAGE!^:^$<MESSAGESTR>a<AVTOMASHINE>b</MESSAGESTR>")
                                    << true;
    QTest::newRow("at the very end") << QByteArray("x<AVTOMASHINE>") << true;
    QTest::newRow("after a stray bracket") << QByteArray("<<AVTOMASHINE>") << true;
    QTest::newRow("closing form only") << QByteArray("MESSAGETOUSER!^:^$</AVTOMASHINE>") << false;
    QTest::newRow("unterminated") << QByteArray("MESSAGETOUSER!^:^$<AVTOMASHINE") << false;
    QTest::newRow("lower case") << QByteArray("MESSAGETOUSER!^:^$<avtomashine>") << false;
    QTest::newRow("none") << QByteArray("MESSAGETOUSER!^:^$<MESSAGESTR>x</MESSAGESTR>") << false;
}

void TestPacketReader::autoReplyMarker()
{
    QFETCH(QByteArray, packet);
    QFETCH(bool, autoReply);
    QCOMPARE(TDataNewMessage(packet).IsAutoReply(), autoReply);
}

void TestPacketReader::integerFields_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("picture");
    QTest::newRow("plain") << QByteArray("7") << 7 << 7;
    QTest::newRow("leading blanks") << QByteArray("  7") << 7 << 7;
    QTest::newRow("plus") << QByteArray("+7") << 7 << 7;
    QTest::newRow("minus one") << QByteArray("-1") << -1 << 0;
    QTest::newRow("negative") << QByteArray("-16777201") << -16777201 << -16777201;
    QTest::newRow("trailing blank") << QByteArray("7 ") << 0 << 0;
    QTest::newRow("tab") << QByteArray("\t7") << 0 << 0;
    QTest::newRow("no-break space") << QByteArray("\xC2\xA0"
                                                  "7")
                                    << 0 << 0;
    QTest::newRow("other digits") << QByteArray("\xD9\xA3") << 0 << 0;
    QTest::newRow("invalid utf8") << QByteArray("7\xFF") << 0 << 0;
    QTest::newRow("sign only") << QByteArray("-") << 0 << 0;
    QTest::newRow("blank") << QByteArray(" ") << 0 << 0;
    QTest::newRow("empty") << QByteArray("") << 0 << 0;
    QTest::newRow("largest") << QByteArray("2147483647") << 2147483647 << 2147483647;
    QTest::newRow("too large") << QByteArray("2147483648") << 0 << 0;
    QTest::newRow("smallest") << QByteArray("-2147483648") << int(-2147483647 - 1) << int(-2147483647 - 1);
    QTest::newRow("too small") << QByteArray("-2147483649") << 0 << 0;
    QTest::newRow("hex") << QByteArray("0x10") << 0 << 0;
}

void TestPacketReader::integerFields()
{
    QFETCH(QByteArray, value);
    QFETCH(int, number);
    QFETCH(int, picture);
    const TDataNewMessage m("NEW!^:^$<COLOR>" + value + "</COLOR><IMAGEINDEX>" + value +
                            "</IMAGEINDEX><SEX>" + value + "</SEX><OLD>" + value + "</OLD>");
    QCOMPARE(m.GetColor(), number);
    QCOMPARE(m.GetSex(), number);
    QCOMPARE(m.GetOld(), number);
    QCOMPARE(m.GetImageIndex(), picture);
    QCOMPARE(ParseIntegerRule(QString::fromUtf8(value)), number);
    QCOMPARE(ParsePictureNumberRule(QString::fromUtf8(value)), picture);
}

void TestPacketReader::copiesReadTheSame()
{
    QByteArray packet("NEW!^:^$<ALIAS>Anna</ALIAS><COLOR>-5</COLOR><IMAGEINDEX>-1</IMAGEINDEX><SEX>2</SEX>");
    const TDataNewMessage original(packet);
    packet.replace("Anna", "Boris");
    const TDataNewMessage copy = original;
    QCOMPARE(copy.GetAlias(), QStringLiteral("Anna"));
    QCOMPARE(copy.GetColor(), -5);
    QCOMPARE(copy.GetImageIndex(), 0);
    QCOMPARE(copy.GetSex(), 2);
    QCOMPARE(TDataNewMessage(packet).GetAlias(), QStringLiteral("Boris"));
}

void TestPacketReader::sameAsTheRuleOverCorpusAndMutations()
{
    const QList<QByteArray> seeds = corpus();
    QVERIFY2(seeds.size() >= 15, "the fuzz corpora were not found");
    QRandomGenerator random(20250917);
    Coverage coverage;
    int cases = 0;
    auto check = [&](const QByteArray &packet) {
        ++cases;
        if (QTest::currentTestFailed())
            return;
        const QString difference = mismatch(packet, coverage);
        if (!difference.isEmpty())
            QFAIL(qPrintable(difference + QStringLiteral(" for the packet ") + hex(packet)));
    };
    for (const QByteArray &seed : seeds)
        check(seed);
    constexpr int Mutations = 8000;
    constexpr int Soups = 4000;
    for (int i = 0; i < Mutations; ++i)
        check(mutate(seeds.at(qsizetype(random.bounded(int(seeds.size())))), random));
    for (int i = 0; i < Soups; ++i)
        check(tagSoup(random));
    QCOMPARE(cases, int(seeds.size()) + Mutations + Soups);

    const QString counts =
        QStringLiteral("values %1, first of several %2, closing only before %3, no closing %4, "
                       "holding a tag %5, replacement %6, auto-reply %7, user lists %8")
            .arg(coverage.values)
            .arg(coverage.firstOfSeveral)
            .arg(coverage.closingOnlyBefore)
            .arg(coverage.noClosingTag)
            .arg(coverage.holdsOtherTag)
            .arg(coverage.replacement)
            .arg(coverage.autoReply)
            .arg(coverage.userLists);
    QVERIFY2(coverage.values > 10000, qPrintable(counts));
    QVERIFY2(coverage.firstOfSeveral > 500, qPrintable(counts));
    QVERIFY2(coverage.closingOnlyBefore > 500, qPrintable(counts));
    QVERIFY2(coverage.noClosingTag > 500, qPrintable(counts));
    QVERIFY2(coverage.holdsOtherTag > 500, qPrintable(counts));
    QVERIFY2(coverage.replacement > 100, qPrintable(counts));
    QVERIFY2(coverage.autoReply > 500, qPrintable(counts));
    QVERIFY2(coverage.userLists > 500, qPrintable(counts));
}

QTEST_GUILESS_MAIN(TestPacketReader)
#include "test_packet_reader.moc"
