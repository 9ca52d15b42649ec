// The pure message codec: bodies to the exact strings the input editor sent (MessageGoldens.h), received
// strings to items, and hostile strings.
#include "MessageGoldens.h"

#include "talks/MessageCodec.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

using namespace MessageGoldens;

namespace {

const QString Sep = QStringLiteral("<[FILEINFOSEPARATOR]>");

QString bullet(int index)
{
    return QStringLiteral("{[!BULLET!]}%1{[/!BULLET!]}").arg(index);
}

QString animation(int number)
{
    return QStringLiteral("{[!CONTROL!]}%1{[/!CONTROL!]}").arg(number);
}

QString fileRef(const QString &info)
{
    return QStringLiteral("{[!CONTROLFILE!]}") + info + QStringLiteral("{[!/CONTROLFILE!]}");
}

FileReference myFile(const QString &path)
{
    return {MyId, MyIp, 0, path};
}

// The body an editor script stands for. In a wrapped document every item starts a line of its own.
MessageBody bodyOfScript(const QString &script, bool wrapped)
{
    MessageBody body;
    bool afterItem = false;
    for (const QString &part : script.split(u'|', Qt::SkipEmptyParts)) {
        const QString value = part.section(u':', 1);
        if (part == u"P") {
            body.addLineBreak();
            afterItem = false;
            continue;
        }
        if (wrapped && afterItem)
            body.addLineBreak();
        afterItem = true;
        if (part.startsWith(u"T:") || part.startsWith(u'S'))
            body.addPlainText(value);
        else if (part.startsWith(u"B:"))
            body.addPicture(value.toInt());
        else if (part.startsWith(u"A:"))
            body.addAnimation(value.toInt());
        else if (part.startsWith(u"F:"))
            body.addFile(myFile(value));
    }
    return body;
}

// A compact picture of items: "T:text", "/" for a line break, "B:n", "A:n", "F:id,ip,size,path".
QString signature(const MessageBody &body)
{
    QStringList parts;
    for (const BodyItem &item : body.items) {
        switch (item.kind) {
        case BodyItemKind::Text:
            parts.append(QStringLiteral("T:") + item.text);
            break;
        case BodyItemKind::LineBreak:
            parts.append(QStringLiteral("/"));
            break;
        case BodyItemKind::Picture:
            parts.append(QStringLiteral("B:%1").arg(item.number));
            break;
        case BodyItemKind::Animation:
            parts.append(QStringLiteral("A:%1").arg(item.number));
            break;
        case BodyItemKind::File:
            parts.append(QStringLiteral("F:%1,%2,%3,%4")
                             .arg(item.file.ownerId, item.file.ownerIp)
                             .arg(item.file.sizeKB)
                             .arg(item.file.path));
            break;
        }
    }
    return parts.join(u'|');
}

} // namespace

class TestMessageCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encodeGoldens_data();
    void encodeGoldens();
    void answerGoldens_data();
    void answerGoldens();
    void encodeFileFields();
    void plainTextLines_data();
    void plainTextLines();
    void decode_data();
    void decode();
    void roundTrip_data();
    void roundTrip();
    void splitFileInfo_data();
    void splitFileInfo();
    void hostileStrings();
    void decodeIsLinear();
};

void TestMessageCodec::encodeGoldens_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("wrapped");
    QTest::addColumn<QString>("golden");
    for (const EditorCase &c : editorCases())
        QTest::newRow(c.name) << c.script << (c.width > 0 && c.width < 100) << c.golden;
}

void TestMessageCodec::encodeGoldens()
{
    QFETCH(QString, script);
    QFETCH(bool, wrapped);
    QFETCH(QString, golden);
    QCOMPARE(MessageCodec::Encode(bodyOfScript(script, wrapped)), golden);
}

void TestMessageCodec::answerGoldens_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("golden");
    for (const AnswerCase &c : answerCases())
        QTest::newRow(c.name) << c.caption << c.text << c.golden;
}

void TestMessageCodec::answerGoldens()
{
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(QString, golden);
    MessageBody body;
    body.addPicture(3).addPlainText(caption).addLineBreak().addPlainText(text);
    QCOMPARE(MessageCodec::Encode(body), golden);
}

void TestMessageCodec::encodeFileFields()
{
    MessageBody body;
    body.addFile({QStringLiteral("id"), QStringLiteral("ip"), 42, QStringLiteral("/p")});
    QCOMPARE(MessageCodec::Encode(body), fileRef(Sep + "id" + Sep + "ip" + Sep + "42" + Sep + "/p"));
    // Styles are not sent.
    TextStyle bold;
    bold.bold = true;
    bold.colour = 0xFF0000;
    bold.fontName = QStringLiteral("Serif");
    QCOMPARE(MessageCodec::Encode(MessageBody().addText("a", bold).addText("b")), QStringLiteral("ab"));
    QCOMPARE(body.filePaths(), QStringList{QStringLiteral("/p")});
}

void TestMessageCodec::plainTextLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("items");
    QTest::newRow("one line") << "abc"
                              << "T:abc";
    QTest::newRow("empty") << ""
                           << "T:";
    QTest::newRow("LF") << "a\nb"
                        << "T:a|/|T:b";
    QTest::newRow("CR LF is one break") << "a\r\nb"
                                        << "T:a|/|T:b";
    QTest::newRow("LF CR are two") << "a\n\rb"
                                   << "T:a|/|T:|/|T:b";
    QTest::newRow("trailing") << "a\n"
                              << "T:a|/|T:";
    QTest::newRow("CR at the end") << "a\r"
                                   << "T:a|/|T:";
    QTest::newRow("separators") << QStringLiteral("a\u2028b\u2029c") << "T:a|/|T:b|/|T:c";
}

void TestMessageCodec::plainTextLines()
{
    QFETCH(QString, text);
    QFETCH(QString, items);
    QCOMPARE(signature(MessageBody().addPlainText(text)), items);
}

void TestMessageCodec::decode_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    const QString peer = QStringLiteral("{AAAAAAAA-2222-3333-4444-555555555555}");
    QTest::newRow("plain text") << "hello"
                                << "T:hello";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("picture in text") << QStringLiteral("Hi") + bullet(3) + QStringLiteral("\n\rBye")
                                     << "T:Hi|B:3|/|T:Bye";
    QTest::newRow("empty line") << "a\n\r\n\rb"
                                << "T:a|/|/|T:b";
    QTest::newRow("lone LF and CR stay text") << "a\nb\rc\r\nd"
                                              << "T:a\nb\rc\r\nd";
    QTest::newRow("CR LF then a break") << "a\r\n\rb"
                                        << "T:a\r|/|T:b";
    QTest::newRow("out of range picture is still a picture") << bullet(50) + bullet(-1) << "B:50|B:-1";
    QTest::newRow("blanks before the index") << QStringLiteral("{[!BULLET!]}  7{[/!BULLET!]}") << "B:7";
    QTest::newRow("no closing marker") << QStringLiteral("{[!BULLET!]}5 and some more text") << "T:re text";
    QTest::newRow("no closing marker at the end") << QStringLiteral("x{[!BULLET!]}12") << "T:x";
    QTest::newRow("closing marker further on")
        << QStringLiteral("a{[!BULLET!]}1b{[/!BULLET!]}c") << "T:a|T:c";
    QTest::newRow("non-numeric index") << QStringLiteral("a{[!BULLET!]}x1{[/!BULLET!]}b") << "T:a|T:b";
    QTest::newRow("huge index") << QStringLiteral("{[!BULLET!]}99999999999{[/!BULLET!]}") << "";
    QTest::newRow("lower-case marker")
        << QStringLiteral("{[!bullet!]}3{[/!bullet!]}") << "T:{[!bullet!]}3{[/!bullet!]}";
    QTest::newRow("animation") << QStringLiteral("a") + animation(3) << "T:a|A:3";
    QTest::newRow("animation without closing marker")
        << QStringLiteral("{[!CONTROL!]}3 rest of the message") << "T:message";
    QTest::newRow("file") << QStringLiteral("see ") +
                                 fileRef(Sep + peer + Sep + QStringLiteral("10.0.0.9") + Sep +
                                         QStringLiteral("12") + Sep + QStringLiteral("C:\\a.txt"))
                          << "T:see |F:" + peer + ",10.0.0.9,12,C:\\a.txt";
    QTest::newRow("file with a bad size")
        << fileRef(Sep + "i" + Sep + "p" + Sep + "x" + Sep + "/f") << "F:i,p,0,/f";
    QTest::newRow("file with empty fields")
        << fileRef(Sep + Sep + "p" + Sep + "0" + Sep + "/f") << "F:p,0,0,";
    QTest::newRow("file with the wrong closing marker")
        << QStringLiteral("{[!CONTROLFILE!]}{[/!CONTROLFILE!]}and the rest") << "F:,,0,|T:and the rest";
    QTest::newRow("file at the end") << "ab{[!CONTROLFILE!]}"
                                     << "T:ab|F:,,0,";
    QTest::newRow("closing markers alone") << "{[/!BULLET!]}{[/!CONTROL!]}{[!/CONTROLFILE!]}"
                                           << "T:{[/!BULLET!]}{[/!CONTROL!]}{[!/CONTROLFILE!]}";
    QTest::newRow("nested") << QStringLiteral("{[!BULLET!]}{[!BULLET!]}1{[/!BULLET!]}{[/!BULLET!]}x")
                            << "T:{[/!BULLET!]}x";
}

void TestMessageCodec::decode()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QCOMPARE(signature(MessageCodec::Decode(message)), expected);
}

void TestMessageCodec::roundTrip_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("text") << "plain words";
    QTest::newRow("paragraphs") << "a\n\r\n\rb\n\rc";
    QTest::newRow("pictures") << bullet(0) + bullet(0) + QStringLiteral(" and ") + bullet(49);
    QTest::newRow("animation") << QStringLiteral("look ") + animation(8) + QStringLiteral(" there");
    QTest::newRow("file") << fileRef(Sep + MyId + Sep + MyIp + Sep + "0" + Sep + "/tmp/x y") + " x y";
    for (const EditorCase &c : editorCases())
        QTest::newRow(c.name) << c.golden;
    for (const AnswerCase &c : answerCases())
        QTest::newRow(c.name) << c.golden;
}

void TestMessageCodec::roundTrip()
{
    QFETCH(QString, message);
    const MessageBody body = MessageCodec::Decode(message);
    // Only a leading line break is lost: the encoder drops it as it drops the editor's empty first line.
    QCOMPARE(MessageCodec::Encode(body), MessageCodec::TrimLineBreaks(message));
    if (!message.startsWith(QStringLiteral("\n\r")))
        QCOMPARE(MessageCodec::Encode(body), message);
}

void TestMessageCodec::splitFileInfo_data()
{
    QTest::addColumn<QString>("info");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("four fields") << Sep + "id" + Sep + "ip" + Sep + "0" + Sep + "/p"
                                 << QStringList{"id", "ip", "0", "/p"};
    QTest::newRow("beyond the fourth")
        << Sep + "a" + Sep + "b" + Sep + "c" + Sep + "d" + Sep + "e" << QStringList{"a", "b", "c", "d"};
    QTest::newRow("one separator") << Sep << QStringList{};
    QTest::newRow("part of a separator") << "<[FILEINFO" << QStringList{"<[FILEINFO"};
    QTest::newRow("separators in a row") << Sep + Sep + Sep + "a" << QStringList{"a"};
}

void TestMessageCodec::splitFileInfo()
{
    QFETCH(QString, info);
    QFETCH(QStringList, fields);
    QCOMPARE(MessageCodec::SplitFileInfo(info), fields);
}

void TestMessageCodec::hostileStrings()
{
    // Random strings of marker pieces: every decode ends, gives at most one item per character, and
    // the items of a well-formed re-encoding decode to themselves.
    const QStringList pieces = {"{[!BULLET!]}",
                                "{[/!BULLET!]}",
                                "{[!CONTROL!]}",
                                "{[/!CONTROL!]}",
                                "{[!CONTROLFILE!]}",
                                "{[!/CONTROLFILE!]}",
                                Sep,
                                "\n\r",
                                "\n",
                                "\r",
                                "{",
                                "[",
                                "7",
                                "-",
                                "x",
                                " ",
                                QString(QChar(0xD800)),
                                QString(QChar(0))};
    QRandomGenerator random(22);
    for (int round = 0; round < 3000; ++round) {
        QString message;
        const int count = random.bounded(1, 40);
        for (int i = 0; i < count; ++i)
            message += pieces.at(random.bounded(int(pieces.size())));
        const MessageBody body = MessageCodec::Decode(message);
        QVERIFY2(body.items.size() <= message.size(), qPrintable(message));
        for (const BodyItem &item : body.items) {
            if (item.kind == BodyItemKind::Text)
                QVERIFY2(!item.text.isEmpty(), qPrintable(message));
        }
    }
}

void TestMessageCodec::decodeIsLinear()
{
    // A datagram full of openings without a close: the decode must not search once per opening.
    const QString openings = QStringLiteral("{[!BULLET!]}{[!CONTROL!]}{[!CONTROLFILE!]}").repeated(20000);
    const QString pictures = bullet(4).repeated(20000);
    QElapsedTimer clock;
    clock.start();
    const MessageBody unclosed = MessageCodec::Decode(openings);
    const MessageBody many = MessageCodec::Decode(pictures);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(many.items.size(), 20000);
    QCOMPARE(MessageCodec::Encode(many), pictures);
    // Openings without their close give no picture and no animation.
    QVERIFY(!unclosed.isEmpty());
    for (const BodyItem &item : unclosed.items)
        QVERIFY(item.kind == BodyItemKind::File || item.kind == BodyItemKind::Text);
}

QTEST_MAIN(TestMessageCodec)
#include "test_messagecodec.moc"
