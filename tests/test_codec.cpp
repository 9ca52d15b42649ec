#include "features/ui/ImageList.h"
#include "features/ui/PeerText.h"
#include "features/ui/WireColor.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"
#include "transfer/FileRecords.h"
#include "transfer/FileReferences.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPalette>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextLayout>
#include <QUrl>

#include <set>

namespace {

const QString MyId = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QString MyIp = QStringLiteral("10.0.0.1");
const QString PeerId = QStringLiteral("{AAAAAAAA-2222-3333-4444-555555555555}");
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

QString fileInfo(const QString &id, const QString &ip, const QString &size, const QString &path)
{
    return Sep + id + Sep + ip + Sep + size + Sep + path;
}

bool hasInk(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
        }
    }
    return false;
}

QImage imageOf(const QTextDocument &doc, const RichItem &item)
{
    return doc.resource(QTextDocument::ImageResource, QUrl(item.imageName))
        .value<QImage>()
        .convertToFormat(QImage::Format_ARGB32);
}

// A compact picture of a document's items: "|" between items of one paragraph, "/" between
// paragraphs; T:text, B:picture, A:animation, F:path, O for anything else.
QString signature(const QTextDocument &doc)
{
    QString result;
    int block = -1;
    for (const RichItem &item : RichItems(&doc)) {
        if (block >= 0)
            result += item.block != block ? u'/' : u'|';
        block = item.block;
        switch (item.kind) {
        case RichItemKind::Text:
            result += QStringLiteral("T:") + item.text;
            break;
        case RichItemKind::Bullet:
            result += QStringLiteral("B:%1").arg(item.index);
            break;
        case RichItemKind::Animation:
            result += QStringLiteral("A:%1").arg(item.index);
            break;
        case RichItemKind::File:
            result += QStringLiteral("F:") + item.path;
            break;
        case RichItemKind::Other:
            result += u'O';
            break;
        }
    }
    return result;
}

// Fills an editor document from a script of the same shape as the signature above; "S<n>:text"
// writes text in style n, "P" alone starts a paragraph.
void buildEditor(QTextDocument &doc, const RVStyle &style, const QString &script)
{
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    if (script.isEmpty())
        return;
    for (const QString &part : script.split(u'|')) {
        const QString value = part.section(u':', 1);
        if (part == u"P") {
            AppendNewParagraph(cursor, style, 0);
        } else if (part.startsWith(u"T:")) {
            AppendTextItem(cursor, value, style, 0);
        } else if (part.startsWith(u'S')) {
            AppendTextItem(cursor, value, style, part.mid(1, part.indexOf(u':') - 1).toInt());
        } else if (part.startsWith(u"B:")) {
            QVERIFY(AppendBullet(cursor, ProfileImages32(), value.toInt()));
        } else if (part.startsWith(u"A:")) {
            QVERIFY(AppendAnimation(cursor, value.toInt(), ProfileImages32().image(1)));
        } else if (part.startsWith(u"F:")) {
            QVERIFY(AppendFileControl(cursor, value, ToolbarImage(QStringLiteral("file"), 32)));
        } else if (part == u"O") {
            QTextImageFormat plain;
            plain.setName(RegisterImageResource(&doc, ProfileImages32().image(2)));
            cursor.insertImage(plain);
        } else {
            QFAIL(qPrintable(QStringLiteral("bad script part ") + part));
        }
    }
}

class FakeCatalogue : public AnimationCatalogue {
public:
    explicit FakeCatalogue(std::set<int> numbers)
        : m_numbers(std::move(numbers))
    {}
    bool hasAnimation(int number) const override { return m_numbers.count(number) > 0; }
    QImage animationFrame(int number) const override { return ProfileImages32().image(number % 50); }
    void trimAnimations() override { calls.append(QStringLiteral("trim")); }
    void animationInserted(QTextDocument *, int position, int number) override
    {
        calls.append(QStringLiteral("inserted %1 at %2").arg(number).arg(position));
    }

    QStringList calls;

private:
    std::set<int> m_numbers;
};

} // namespace

class TestCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();

    void imageLists();
    void imageListMissingFiles();
    void wireColorPlain_data();
    void wireColorPlain();
    void wireColorSystem_data();
    void wireColorSystem();

    void richItems();
    void layoutCompleteForEveryBlock();
    void lineOfPosition_data();
    void lineOfPosition();

    void trimLineBreaks_data();
    void trimLineBreaks();
    void encode_data();
    void encode();
    void encodeNullDocument();
    void encodeWrappedItemsDependOnWidth();
    void encodeLongTextHasNoInnerBreak();

    void decode_data();
    void decode();
    void decodeTextStyleAndParagraphs();
    void decodeMalformed_data();
    void decodeMalformed();
    void decodeIncompleteContext();
    void roundTripFromString_data();
    void roundTripFromString();
    void roundTripFromEditor_data();
    void roundTripFromEditor();

    void splitFileInfo_data();
    void splitFileInfo();
    void fileRecordsFromMessage();
    void fileIconChoice();
    void fileReferencesWithoutRecordList();
    void animations();

    void styleSheetDefaults();
    void senderTextStyle();
    void senderColourRecoloursEarlierText();

private:
    DecodeContext contextFor(QTextDocument &doc, int textStyle = 0)
    {
        DecodeContext context;
        context.cursor = QTextCursor(&doc);
        context.cursor.movePosition(QTextCursor::End);
        context.textStyle = textStyle;
        context.style = m_style.get();
        context.pictures = &ProfileImages32();
        context.fileRecords = &m_records;
        return context;
    }

    // As the peer reads a message before a window shows it: a record of each file reference (my own
    // only when I offered its path), then the transcript with those records.
    void decode(DecodeContext &context, const QString &message)
    {
        if (context.fileRecords == &m_records) {
            for (RLFile record : ScanFileReferences(message)) {
                record.IsOwn = record.OwnerID == MyId && m_offered.contains(record.Path);
                const int index = m_records.append(record);
                context.fileRecordIndexes.append(index);
                m_collected.append(QString::number(index));
            }
        }
        DecodeMessageText(context, message);
    }

    std::unique_ptr<RVStyle> m_style;
    FileRecordList m_records;
    QStringList m_collected;
    // The paths the local user offered in this run.
    QStringList m_offered;
};

void TestCodec::init()
{
    m_style = std::make_unique<RVStyle>();
    m_records = FileRecordList();
    m_collected.clear();
    m_offered.clear();
}

void TestCodec::imageLists()
{
    const ImageList &big = ProfileImages32();
    QCOMPARE(big.count(), 50);
    QCOMPARE(big.size(), QSize(32, 32));
    const ImageList &small = ProfileImages16();
    QCOMPARE(small.count(), 25);
    QCOMPARE(small.size(), QSize(16, 16));
    for (int i = 0; i < big.count(); ++i) {
        QCOMPARE(big.image(i).size(), QSize(32, 32));
        // A resource that failed to load would leave a transparent placeholder.
        QVERIFY2(hasInk(big.image(i)), qPrintable(QString::number(i)));
    }
    for (int i = 0; i < small.count(); ++i) {
        QCOMPARE(small.image(i).size(), QSize(16, 16));
        QVERIFY2(hasInk(small.image(i)), qPrintable(QString::number(i)));
    }
    QVERIFY(big.image(0) != big.image(1));
    QVERIFY(big.image(-1).isNull());
    QVERIFY(big.image(50).isNull());
    QVERIFY(small.image(25).isNull());
    QVERIFY(!big.pixmap(3).isNull());
    QVERIFY(!big.icon(3).isNull());
    QVERIFY(big.icon(50).isNull());

    QCOMPARE(ToolbarImage(QStringLiteral("file"), 32).size(), QSize(32, 32));
    QCOMPARE(ToolbarImage(QStringLiteral("folder"), 16).size(), QSize(16, 16));
    QVERIFY(ToolbarImage(QStringLiteral("file"), 32) != ToolbarImage(QStringLiteral("folder"), 32));
    QVERIFY(ToolbarImage(QStringLiteral("no-such-icon"), 32).isNull());
    QVERIFY(ToolbarImage(QStringLiteral("file"), 24).isNull());
    QVERIFY(!ToolbarIcon(QStringLiteral("folder"), 32).isNull());
    QVERIFY(ToolbarIcon(QStringLiteral("no-such-icon"), 16).isNull());
}

void TestCodec::imageListMissingFiles()
{
    const ImageList list = ImageList::load(QStringLiteral(":/no/such/folder/"), 3, QSize(8, 8));
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.image(2).size(), QSize(8, 8));
    QVERIFY(!hasInk(list.image(2)));
    QCOMPARE(ImageList::load(QStringLiteral(":/pictures/32"), 0, QSize(32, 32)).count(), 0);
    // The same files as the program's list, found with or without the trailing slash.
    QCOMPARE(ImageList::load(QStringLiteral(":/pictures/32/"), 2, QSize(32, 32)).image(1),
             ProfileImages32().image(1));
}

void TestCodec::wireColorPlain_data()
{
    QTest::addColumn<qint32>("wire");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::newRow("black") << qint32(0) << 0 << 0 << 0;
    QTest::newRow("red") << qint32(0x0000FF) << 255 << 0 << 0;
    QTest::newRow("green") << qint32(0x00FF00) << 0 << 255 << 0;
    QTest::newRow("blue") << qint32(0xFF0000) << 0 << 0 << 255;
    QTest::newRow("mixed") << qint32(0x123456) << 0x56 << 0x34 << 0x12;
    QTest::newRow("white") << qint32(0xFFFFFF) << 255 << 255 << 255;
}

void TestCodec::wireColorPlain()
{
    QFETCH(qint32, wire);
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    QCOMPARE(WireColorToQColor(wire), QColor(red, green, blue));
    QCOMPARE(QColorToWireColor(QColor(red, green, blue)), wire);
    QCOMPARE(QColorToWireColor(WireColorToQColor(wire)), wire);
    // Alpha does not travel.
    QCOMPARE(QColorToWireColor(QColor(red, green, blue, 10)), wire);
}

void TestCodec::wireColorSystem_data()
{
    QTest::addColumn<qint32>("wire");
    QTest::addColumn<QColor>("expected");
    // Every role gets its own colour, so a wrong mapping cannot pass by accident.
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::Text, QColor(1, 2, 3));
    palette.setColor(QPalette::Base, QColor(4, 5, 6));
    palette.setColor(QPalette::Button, QColor(7, 8, 9));
    palette.setColor(QPalette::ButtonText, QColor(10, 11, 12));
    palette.setColor(QPalette::Highlight, QColor(13, 14, 15));
    palette.setColor(QPalette::WindowText, QColor(16, 17, 18));
    palette.setColor(QPalette::Window, QColor(19, 20, 21));
    QGuiApplication::setPalette(palette);

    QTest::newRow("window text") << qint32(0x80000008u) << QColor(1, 2, 3);
    QTest::newRow("window") << qint32(0x80000005u) << QColor(4, 5, 6);
    QTest::newRow("button face") << qint32(0x8000000Fu) << QColor(7, 8, 9);
    QTest::newRow("button text") << qint32(0x80000012u) << QColor(10, 11, 12);
    QTest::newRow("highlight") << qint32(0x8000000Du) << QColor(13, 14, 15);
    QTest::newRow("menu text") << qint32(0x80000007u) << QColor(16, 17, 18);
    QTest::newRow("unused number") << qint32(0x80000019u) << QColor(Qt::black);
    QTest::newRow("beyond the table") << qint32(0x800000FFu) << QColor(Qt::black);
    QTest::newRow("minus one") << qint32(-1) << QColor(Qt::black);
}

void TestCodec::wireColorSystem()
{
    QFETCH(qint32, wire);
    QFETCH(QColor, expected);
    QCOMPARE(WireColorToQColor(wire), expected);
    // Back on the wire a system colour is the plain colour it stood for.
    QCOMPARE(QColorToWireColor(WireColorToQColor(wire)),
             qint32(expected.red() | (expected.green() << 8) | (expected.blue() << 16)));
}

void TestCodec::richItems()
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    AppendTextItem(cursor, QStringLiteral("ab"), *m_style, 1);
    QVERIFY(AppendBullet(cursor, ProfileImages32(), 4));
    QVERIFY(AppendBullet(cursor, ProfileImages32(), 4));
    QVERIFY(
        AppendFilePicture(cursor, QStringLiteral("/srv/a.txt"), ToolbarImage(QStringLiteral("file"), 32), 7));
    AppendNewParagraph(cursor, *m_style, 1);
    AppendNewParagraph(cursor, *m_style, 0);
    QVERIFY(AppendAnimation(cursor, 12, QImage()));
    QVERIFY(!AppendBullet(cursor, ProfileImages32(), 50));
    AppendTextItem(cursor, QString(), *m_style, 0);

    const QList<RichItem> items = RichItems(&doc);
    QCOMPARE(items.size(), 6);
    QCOMPARE(items[0].kind, RichItemKind::Text);
    QCOMPARE(items[0].text, QStringLiteral("ab"));
    QCOMPARE(items[0].textStyle, 1);
    QCOMPARE(items[1].kind, RichItemKind::Bullet);
    QCOMPARE(items[2].kind, RichItemKind::Bullet);
    QCOMPARE(items[1].index, 4);
    QCOMPARE(items[1].position, 2);
    QCOMPARE(items[2].position, 3);
    QCOMPARE(items[3].kind, RichItemKind::File);
    QCOMPARE(items[3].path, QStringLiteral("/srv/a.txt"));
    QCOMPARE(items[3].index, 7);
    QCOMPARE(items[3].tag, 7);
    QCOMPARE(items[4].kind, RichItemKind::Text);
    QCOMPARE(items[4].text, QString());
    QCOMPARE(items[4].textStyle, 1);
    QCOMPARE(items[4].block, 1);
    QCOMPARE(items[5].kind, RichItemKind::Animation);
    QCOMPARE(items[5].index, 12);
    QCOMPARE(items[5].tag, 12);
    QCOMPARE(items[5].block, 2);

    // Formats as the transcript will use them: tooltip, alignment, a loadable picture.
    const QTextCharFormat textFormat = doc.findBlockByNumber(0).begin().fragment().charFormat();
    QCOMPARE(textFormat.property(RichProperty::TextStyle).toInt(), 1);
    QTextCursor at(&doc);
    at.setPosition(items[3].position + 1);
    QCOMPARE(at.charFormat().toolTip(), PeerText::toolTip(QStringLiteral("/srv/a.txt")));
    QCOMPARE(at.charFormat().verticalAlignment(), QTextCharFormat::AlignBaseline);
    at.setPosition(items[5].position + 1);
    QCOMPARE(at.charFormat().verticalAlignment(), QTextCharFormat::AlignMiddle);
    QCOMPARE(imageOf(doc, items[1]), ProfileImages32().image(4).convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(imageOf(doc, items[5]).size(), QSize(32, 32));
    QVERIFY(!items[3].imageName.contains(u'/'));
}

void TestCodec::layoutCompleteForEveryBlock()
{
    // A document that no widget ever showed: every block must have its lines once asked for.
    QTextDocument doc;
    doc.setTextWidth(300);
    QTextCursor cursor(&doc);
    for (int i = 0; i < 400; ++i) {
        AppendTextItem(
            cursor,
            QStringLiteral("paragraph %1 with a few words to wrap now and then ").arg(i).repeated(i % 4 + 1),
            *m_style, 0);
        if (i % 7 == 0)
            QVERIFY(AppendBullet(cursor, ProfileImages32(), i % 50));
        AppendNewParagraph(cursor, *m_style, 0);
    }
    const int lastLine = ::lineOfPosition(&doc, doc.characterCount() - 1);
    int total = 0;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QVERIFY2(block.layout()->lineCount() > 0, qPrintable(QString::number(block.blockNumber())));
        total += block.layout()->lineCount();
    }
    QCOMPARE(lastLine, total - 1);
    QVERIFY(total > doc.blockCount());
}

void TestCodec::lineOfPosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("line");
    // "short" / "alpha beta gamma delta" wrapped one word per line / "end"
    QTest::newRow("start") << 0 << 0;
    QTest::newRow("end of first block") << 5 << 0;
    QTest::newRow("alpha") << 6 << 1;
    QTest::newRow("beta") << 12 << 2;
    QTest::newRow("inside gamma") << 19 << 3;
    QTest::newRow("delta") << 23 << 4;
    QTest::newRow("end") << 29 << 5;
    QTest::newRow("outside") << 40 << -1;
    QTest::newRow("negative") << -1 << -1;
}

void TestCodec::lineOfPosition()
{
    QFETCH(int, position);
    QFETCH(int, line);
    QTextDocument doc;
    doc.setDocumentMargin(0);
    QTextCursor cursor(&doc);
    AppendTextItem(cursor, QStringLiteral("short"), *m_style, 0);
    AppendNewParagraph(cursor, *m_style, 0);
    AppendTextItem(cursor, QStringLiteral("alpha beta gamma delta"), *m_style, 0);
    AppendNewParagraph(cursor, *m_style, 0);
    AppendTextItem(cursor, QStringLiteral("end"), *m_style, 0);
    // Wider than any word, narrower than any two.
    const QFontMetricsF metrics(m_style->textStyleFont(0));
    qreal widest = 0;
    for (const char *word : {"alpha ", "beta ", "gamma ", "delta"})
        widest = qMax(widest, metrics.horizontalAdvance(QLatin1StringView(word)));
    doc.setTextWidth(widest + 2);
    QVERIFY(widest + 2 < metrics.horizontalAdvance(QStringLiteral("beta gamma")));
    QCOMPARE(::lineOfPosition(&doc, position), line);
    QCOMPARE(::lineOfPosition(nullptr, 0), -1);
}

void TestCodec::trimLineBreaks_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no break") << "abc"
                              << "abc";
    QTest::newRow("only a break") << "\n\r"
                                  << "";
    QTest::newRow("leading") << "\n\rabc"
                             << "abc";
    QTest::newRow("trailing only one") << "abc\n\r"
                                       << "abc";
    QTest::newRow("leading and trailing") << "\n\rabc\n\r"
                                          << "abc";
    QTest::newRow("trailing after another") << "a\n\rb\n\r"
                                            << "a\n\rb\n\r";
    QTest::newRow("leading, inner and trailing") << "\n\ra\n\rb\n\r"
                                                 << "a\n\rb\n\r";
    QTest::newRow("two breaks") << "\n\r\n\r"
                                << "";
    QTest::newRow("three breaks") << "\n\r\n\r\n\r"
                                  << "\n\r\n\r";
    QTest::newRow("two trailing") << "a\n\r\n\r"
                                  << "a\n\r\n\r";
    QTest::newRow("CR LF is no break") << "\r\nabc\r\n"
                                       << "\r\nabc\r\n";
    QTest::newRow("break then CR") << "a\n\r\r"
                                   << "a\n\r\r";
    QTest::newRow("LF before the break") << "a\n\n\r"
                                         << "a\n";
    QTest::newRow("inner only") << "a\n\rb"
                                << "a\n\rb";
}

void TestCodec::trimLineBreaks()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(TrimLineBreaks(input), expected);
}

void TestCodec::encode_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    const QString fileMarker =
        fileRef(fileInfo(MyId, MyIp, QStringLiteral("0"), QStringLiteral("/home/me/a b.txt")));
    QTest::newRow("empty editor") << ""
                                  << "";
    QTest::newRow("one line") << "T:Hello world"
                              << "Hello world";
    QTest::newRow("two paragraphs") << "T:a|P|T:b"
                                    << "a\n\rb";
    QTest::newRow("empty paragraph between") << "T:a|P|P|T:b"
                                             << "a\n\r\n\rb";
    QTest::newRow("example") << "T:Hi|B:3|P|T:Bye"
                             << QStringLiteral("Hi") + bullet(3) + QStringLiteral("\n\rBye");
    QTest::newRow("picture alone") << "B:7" << bullet(7);
    QTest::newRow("equal pictures side by side") << "B:2|B:2" << bullet(2) + bullet(2);
    QTest::newRow("animation") << "T:x|A:4" << QStringLiteral("x") + animation(4);
    QTest::newRow("file") << "F:/home/me/a b.txt|T: a b.txt" << fileMarker + QStringLiteral(" a b.txt");
    QTest::newRow("trailing empty paragraph") << "T:a|P"
                                              << "a";
    QTest::newRow("leading empty paragraph") << "P|T:a"
                                             << "a";
    QTest::newRow("two trailing empty paragraphs") << "T:a|P|P"
                                                   << "a\n\r\n\r";
    QTest::newRow("styles on one line") << "T:a|S1:b|T:c"
                                        << "abc";
    QTest::newRow("manual line break") << QStringLiteral("T:ab\u2028cd") << "ab\n\rcd";
    QTest::newRow("foreign picture") << "T:x|O|T:y"
                                     << "xy";
    QTest::newRow("markers typed as text") << QStringLiteral("T:") + bullet(1) << bullet(1);
}

void TestCodec::encode()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);
    QTextDocument doc;
    buildEditor(doc, *m_style, script);
    QCOMPARE(EncodeMessageText(&doc, MyId, MyIp), expected);
}

void TestCodec::encodeNullDocument()
{
    QCOMPARE(EncodeMessageText(nullptr, MyId, MyIp), QString());
}

void TestCodec::encodeWrappedItemsDependOnWidth()
{
    // "Hello " + picture + "World": wide, all on one line; narrow, each item on a line of its own.
    QTextDocument doc;
    doc.setDocumentMargin(0);
    buildEditor(doc, *m_style, QStringLiteral("T:Hello |B:5|T:World"));
    const QFontMetricsF metrics(m_style->textStyleFont(0));
    const qreal hello = metrics.horizontalAdvance(QStringLiteral("Hello"));
    const qreal world = metrics.horizontalAdvance(QStringLiteral("World"));
    const qreal narrow = qMax(qMax(hello, world), 32.0) + 2;
    QVERIFY(narrow < hello + 32 && narrow < 32 + world);

    doc.setTextWidth(1000);
    QCOMPARE(EncodeMessageText(&doc, MyId, MyIp),
             QStringLiteral("Hello ") + bullet(5) + QStringLiteral("World"));
    doc.setTextWidth(narrow);
    QCOMPARE(EncodeMessageText(&doc, MyId, MyIp),
             QStringLiteral("Hello \n\r") + bullet(5) + QStringLiteral("\n\rWorld"));
    // Only the layout changed; back at the wide width the first result returns.
    doc.setTextWidth(1000);
    QCOMPARE(EncodeMessageText(&doc, MyId, MyIp),
             QStringLiteral("Hello ") + bullet(5) + QStringLiteral("World"));
}

void TestCodec::encodeLongTextHasNoInnerBreak()
{
    const QString text = QStringLiteral("many words that will not fit on one line ").repeated(12);
    QTextDocument doc;
    doc.setTextWidth(200);
    buildEditor(doc, *m_style, QStringLiteral("T:") + text);
    QVERIFY(::lineOfPosition(&doc, int(text.size()) - 1) > 3);
    QCOMPARE(EncodeMessageText(&doc, MyId, MyIp), text);
}

void TestCodec::decode_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain text") << "hello"
                                << "T:hello";
    QTest::newRow("empty") << ""
                           << "T:";
    QTest::newRow("example") << QStringLiteral("Hi") + bullet(3) + QStringLiteral("\n\rBye")
                             << "T:Hi|B:3/T:Bye";
    QTest::newRow("empty paragraph") << "a\n\r\n\rb"
                                     << "T:a/T:/T:b";
    QTest::newRow("leading break") << "\n\ra"
                                   << "T:/T:a";
    QTest::newRow("trailing break") << "a\n\r"
                                    << "T:a/T:";
    QTest::newRow("lone LF stays in the paragraph") << "a\nb"
                                                    << "T:a|T:b";
    QTest::newRow("CR LF is no break") << "a\r\nb"
                                       << "T:a|T:|T:b";
    QTest::newRow("marker typed as text")
        << QStringLiteral("look {[!BULLET!]}12{[/!BULLET!]} here") << "T:look |B:12|T: here";
    QTest::newRow("equal pictures side by side") << bullet(1) + bullet(1) << "B:1|B:1";
    QTest::newRow("last picture") << bullet(49) << "B:49";
    QTest::newRow("blanks before the index") << QStringLiteral("{[!BULLET!]}  7{[/!BULLET!]}") << "B:7";
    QTest::newRow("no closing marker") << QStringLiteral("{[!BULLET!]}5 and some more text") << "T:re text";
    QTest::newRow("no closing marker at the end") << QStringLiteral("x{[!BULLET!]}12") << "T:x";
    QTest::newRow("closing marker further on") << QStringLiteral("a{[!BULLET!]}1b{[/!BULLET!]}c") << "T:ac";
    QTest::newRow("non-numeric index") << QStringLiteral("a{[!BULLET!]}x1{[/!BULLET!]}b") << "T:ab";
    QTest::newRow("empty index") << QStringLiteral("a{[!BULLET!]}{[/!BULLET!]}b") << "T:ab";
    QTest::newRow("index out of range") << QStringLiteral("a") + bullet(50) + QStringLiteral("b") << "T:ab";
    QTest::newRow("negative index") << QStringLiteral("a") + bullet(-1) + QStringLiteral("b") << "T:ab";
    QTest::newRow("huge index") << QStringLiteral("a{[!BULLET!]}99999999999{[/!BULLET!]}b") << "T:ab";
    QTest::newRow("lower-case marker")
        << QStringLiteral("{[!bullet!]}3{[/!bullet!]}") << "T:{[!bullet!]}3{[/!bullet!]}";
    QTest::newRow("break inside the index") << QStringLiteral("{[!BULLET!]}\n\r{[/!BULLET!]}x") << "T:x";
    QTest::newRow("animation without catalogue")
        << QStringLiteral("a") + animation(3) + QStringLiteral("b") + bullet(1) << "T:ab|B:1";
    QTest::newRow("animation without closing marker")
        << QStringLiteral("{[!CONTROL!]}3 rest of the message") << "T:message";
    QTest::newRow("file") << QStringLiteral("see ") +
                                 fileRef(fileInfo(PeerId, QStringLiteral("10.0.0.9"), QStringLiteral("0"),
                                                  QStringLiteral("C:\\a.txt")))
                          << "T:see |F:C:\\a.txt";
    QTest::newRow("file with the wrong closing marker")
        << QStringLiteral("{[!CONTROLFILE!]}{[/!CONTROLFILE!]}and the rest") << "F:|T:and the rest";
    QTest::newRow("opening brace alone") << "{ [{[!"
                                         << "T:{ [{[!";
    QTest::newRow("closing markers alone") << "{[/!BULLET!]}{[/!CONTROL!]}{[!/CONTROLFILE!]}"
                                           << "T:{[/!BULLET!]}{[/!CONTROL!]}{[!/CONTROLFILE!]}";
    QTest::newRow("object character in text") << QStringLiteral("a\uFFFCb") << QStringLiteral("T:a\uFFFCb");
}

void TestCodec::decode()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QTextDocument doc;
    DecodeContext context = contextFor(doc);
    decode(context, message);
    QCOMPARE(signature(doc), expected);
    QCOMPARE(context.cursor.position(), doc.characterCount() - 1);
}

void TestCodec::decodeTextStyleAndParagraphs()
{
    QTextDocument doc;
    QTextCursor start(&doc);
    start.setBlockFormat(m_style->paragraphFormat(1));
    const int style = m_style->SenderTextStyle(PeerId, 0x0000FF);
    DecodeContext context = contextFor(doc, style);
    decode(context, QStringLiteral("x\n\ry") + bullet(2) + QStringLiteral("z"));
    QCOMPARE(doc.blockCount(), 2);
    const QTextBlock second = doc.lastBlock();
    QCOMPARE(second.blockFormat().intProperty(RichProperty::ParagraphStyle), 0);
    QCOMPARE(second.blockFormat().alignment(), m_style->paragraphFormat(0).alignment());
    QCOMPARE(second.charFormat().intProperty(RichProperty::TextStyle), style);
    for (const RichItem &item : RichItems(&doc)) {
        if (item.kind != RichItemKind::Text)
            continue;
        QCOMPARE(item.textStyle, style);
        QTextCursor at(&doc);
        at.setPosition(item.position + 1);
        QCOMPARE(at.charFormat().foreground().color(), QColor(255, 0, 0));
        QCOMPARE(at.charFormat().fontFamilies().toStringList(), m_style->textStyleFont(0).families());
    }
}

void TestCodec::decodeMalformed_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("plainText"); // images left out, paragraphs joined by "\n"
    QTest::addColumn<int>("images");
    QTest::newRow("truncated opening") << "ab{[!BULLET!]"
                                       << "ab{[!BULLET!]" << 0;
    QTest::newRow("opening at the end") << "ab{[!BULLET!]}"
                                        << "ab" << 0;
    QTest::newRow("control at the end") << "ab{[!CONTROL!]}"
                                        << "ab" << 0;
    QTest::newRow("file at the end") << "ab{[!CONTROLFILE!]}"
                                     << "ab" << 1;
    QTest::newRow("file info cut") << "{[!CONTROLFILE!]}<[FILEINFOSEPARATOR]"
                                   << "R]" << 1;
    QTest::newRow("only openings") << "{[!BULLET!]}{[!CONTROL!]}{[!CONTROLFILE!]}"
                                   << "" << 1;
    QTest::newRow("nested") << QStringLiteral("{[!BULLET!]}{[!BULLET!]}1{[/!BULLET!]}{[/!BULLET!]}x")
                            << "{[/!BULLET!]}x" << 0;
    QTest::newRow("only breaks") << "\n\r\n\r\n\r"
                                 << "\n\n\n"
                                 << 0;
    QTest::newRow("half a break") << "\n" << QStringLiteral("\u2028") << 0;
    QTest::newRow("paragraph separator") << QStringLiteral("a\u2029b") << QStringLiteral("a\u2028b") << 0;
    QTest::newRow("frame characters")
        << QStringLiteral("a\uFDD0b\uFDD1") << QStringLiteral("a\uFFFDb\uFFFD") << 0;
    QTest::newRow("nul characters") << QString(3, QChar(0)) << QString(3, QChar(0)) << 0;
    QTest::newRow("many openings") << QStringLiteral("{[!BULLET!]}").repeated(1000) + bullet(3) << "" << 0;
    QTest::newRow("many pictures") << bullet(4).repeated(500) << "" << 500;
    QTest::newRow("surrogate pair") << QStringLiteral("\U0001F600") + bullet(1)
                                    << QStringLiteral("\U0001F600") << 1;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + bullet(1) << QString(QChar(0xD800)) << 1;
}

void TestCodec::decodeMalformed()
{
    QFETCH(QString, message);
    QFETCH(QString, plainText);
    QFETCH(int, images);
    QTextDocument doc;
    DecodeContext context = contextFor(doc);
    decode(context, message);
    int imageCount = 0;
    for (const RichItem &item : RichItems(&doc))
        imageCount += item.kind != RichItemKind::Text ? 1 : 0;
    QString plain = doc.toRawText();
    plain.replace(QChar::ParagraphSeparator, u'\n');
    plain.remove(QChar::ObjectReplacementCharacter);
    QCOMPARE(plain, plainText);
    QCOMPARE(imageCount, images);
}

void TestCodec::decodeIncompleteContext()
{
    QTextDocument doc;
    DecodeContext context = contextFor(doc);
    context.style = nullptr;
    decode(context, QStringLiteral("text") + bullet(1));
    QCOMPARE(doc.characterCount(), 1);

    context = contextFor(doc);
    context.pictures = nullptr;
    decode(context,
                      QStringLiteral("text") + bullet(1) + fileRef(fileInfo(PeerId, "ip", "0", "/p")));
    QCOMPARE(signature(doc), QStringLiteral("T:text|F:/p"));
    QCOMPARE(m_records.count(), 1);

    // No cursor: nothing to write to, and nothing may break.
    DecodeContext detached;
    detached.style = m_style.get();
    decode(detached, QStringLiteral("text"));
}

void TestCodec::roundTripFromString_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("text") << "plain words";
    QTest::newRow("example") << QStringLiteral("Hi") + bullet(3) + QStringLiteral("\n\rBye");
    QTest::newRow("paragraphs") << "a\n\r\n\rb\n\rc";
    QTest::newRow("pictures") << bullet(0) + bullet(0) + QStringLiteral(" and ") + bullet(49);
    QTest::newRow("animation") << QStringLiteral("look ") + animation(8) + QStringLiteral(" there");
    QTest::newRow("file") << fileRef(fileInfo(MyId, MyIp, QStringLiteral("0"), QStringLiteral("/tmp/x y"))) +
                                 QStringLiteral(" x y");
    QTest::newRow("everything") << QStringLiteral("1") + bullet(2) + QStringLiteral("\n\r") + animation(8) +
                                       fileRef(fileInfo(MyId, MyIp, QStringLiteral("0"),
                                                        QStringLiteral("C:\\f"))) +
                                       QStringLiteral("\n\r\n\rend");
}

void TestCodec::roundTripFromString()
{
    QFETCH(QString, message);
    QTextDocument doc;
    DecodeContext context = contextFor(doc);
    FakeCatalogue catalogue({8});
    context.animations = &catalogue;
    decode(context, message);
    QCOMPARE(EncodeMessageText(&doc, MyId, MyIp), message);
}

void TestCodec::roundTripFromEditor_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("example") << "T:Hi|B:3|P|T:Bye"
                             << "T:Hi|B:3/T:Bye";
    QTest::newRow("styles are not sent") << "T:a|S1:b|P|P|T:c"
                                         << "T:ab/T:/T:c";
    QTest::newRow("file") << "F:/x/y.txt|T: y.txt"
                          << "F:/x/y.txt|T: y.txt";
    QTest::newRow("manual break") << QStringLiteral("T:a\u2028b") << "T:a/T:b";
}

void TestCodec::roundTripFromEditor()
{
    QFETCH(QString, script);
    QFETCH(QString, decoded);
    QTextDocument editor;
    buildEditor(editor, *m_style, script);
    QTextDocument transcript;
    DecodeContext context = contextFor(transcript);
    decode(context, EncodeMessageText(&editor, MyId, MyIp));
    QCOMPARE(signature(transcript), decoded);
}

void TestCodec::splitFileInfo_data()
{
    QTest::addColumn<QString>("info");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("four fields") << fileInfo("id", "ip", "0", "/p") << QStringList{"id", "ip", "0", "/p"};
    QTest::newRow("empty ID") << fileInfo("", "ip", "0", "/p") << QStringList{"ip", "0", "/p"};
    QTest::newRow("all empty") << fileInfo("", "", "", "") << QStringList{};
    QTest::newRow("beyond the fourth")
        << fileInfo("a", "b", "c", "d") + Sep + "e" << QStringList{"a", "b", "c", "d"};
    QTest::newRow("no leading separator") << "a" + Sep + "b" << QStringList{"a", "b"};
    QTest::newRow("one separator") << Sep << QStringList{};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("trailing separator") << Sep + "a" + Sep << QStringList{"a"};
    QTest::newRow("separators in a row") << Sep + Sep + Sep + "a" << QStringList{"a"};
    QTest::newRow("part of a separator") << "<[FILEINFO" << QStringList{"<[FILEINFO"};
    QTest::newRow("path with blanks")
        << fileInfo("id", "ip", "0", " a b ") << QStringList{"id", "ip", "0", " a b "};
}

void TestCodec::splitFileInfo()
{
    QFETCH(QString, info);
    QFETCH(QStringList, fields);
    QCOMPARE(SplitFileInfo(info), fields);
}

void TestCodec::fileRecordsFromMessage()
{
    m_records.append(RLFile{true, QStringLiteral("/older"), 1, MyId, MyIp, QString()});
    m_offered = {QStringLiteral("/home/me/a.txt"), QStringLiteral("C:\\b.doc")};
    QTextDocument doc;
    DecodeContext context = contextFor(doc);
    decode(
        context, fileRef(fileInfo(MyId, MyIp, QStringLiteral("345"), QStringLiteral("/home/me/a.txt"))) +
                     QStringLiteral(" and ") + fileRef(fileInfo(PeerId, "10.0.0.9", "12x", "C:\\b.doc")) +
                     fileRef(fileInfo("", "127.0.0.5", "0", "/c")));

    QCOMPARE(m_collected, (QStringList{"1", "2", "3"}));
    QCOMPARE(m_records.count(), 4);
    const RLFile own = *m_records.at(1);
    QCOMPARE(own.IsOwn, true);
    QCOMPARE(own.Path, QStringLiteral("/home/me/a.txt"));
    QCOMPARE(own.SizeKB, 345);
    QCOMPARE(own.OwnerID, MyId);
    QCOMPARE(own.OwnerIP, MyIp);
    QCOMPARE(own.LocalPath, QString());
    const RLFile foreign = *m_records.at(2);
    QCOMPARE(foreign.IsOwn, false);
    QCOMPARE(foreign.Path, QStringLiteral("C:\\b.doc"));
    QCOMPARE(foreign.SizeKB, 0);
    QCOMPARE(foreign.OwnerID, PeerId);
    // The empty ID field moves the IP into the owner ID and the size into the IP.
    const RLFile shifted = *m_records.at(3);
    QCOMPARE(shifted.OwnerID, QStringLiteral("127.0.0.5"));
    QCOMPARE(shifted.OwnerIP, QStringLiteral("0"));
    QCOMPARE(shifted.SizeKB, 0); // the path stood in the size field
    QCOMPARE(shifted.Path, QString());
    QCOMPARE(shifted.IsOwn, false);
    QVERIFY(!m_records.at(4));
    QVERIFY(!m_records.at(-1));

    QList<int> tags;
    for (const RichItem &item : RichItems(&doc)) {
        if (item.kind != RichItemKind::File)
            continue;
        QCOMPARE(item.index, item.tag);
        QCOMPARE(m_records.at(item.index)->Path, item.path);
        tags.append(item.tag);
    }
    QCOMPARE(tags, (QList<int>{1, 2, 3}));
    QCOMPARE(signature(doc), QStringLiteral("F:/home/me/a.txt|T: and |F:C:\\b.doc|F:"));
}

void TestCodec::fileIconChoice()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("offered.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    const QString notOffered = dir.filePath(QStringLiteral("not offered.txt"));
    QVERIFY(QFile(notOffered).open(QIODevice::WriteOnly));
    m_offered = {path, missing, dir.path()};

    QTextDocument doc;
    DecodeContext context = contextFor(doc);
    decode(context, fileRef(fileInfo(MyId, MyIp, "0", path)) +
                                   fileRef(fileInfo(PeerId, "ip", "0", path)) +
                                   fileRef(fileInfo(MyId, MyIp, "0", missing)) +
                                   fileRef(fileInfo(MyId, MyIp, "0", dir.path())) +
                                   fileRef(fileInfo(MyId, MyIp, "0", notOffered)));
    QList<QImage> icons;
    for (const RichItem &item : RichItems(&doc)) {
        if (item.kind == RichItemKind::File)
            icons.append(imageOf(doc, item));
    }
    QCOMPARE(icons.size(), 5);
    const QImage stock = ToolbarImage(QStringLiteral("file"), 32).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!icons[0].isNull());
    QCOMPARE(icons[0].size(), QSize(32, 32));
    QVERIFY(icons[0] != stock);
    QCOMPARE(icons[1], stock);
    QCOMPARE(icons[2], stock);
    // A folder of mine shows the shell's folder icon, not the file's.
    QVERIFY(icons[3] != stock);
    QVERIFY(icons[3] != icons[0]);
    // A reference with my ID to a file here that I never offered: a peer's claim, not mine. Its
    // path is not even looked at.
    QCOMPARE(icons[4], stock);
    QCOMPARE(m_records.at(4)->IsOwn, false);
    QCOMPARE(m_records.at(0)->IsOwn, true);
}

void TestCodec::fileReferencesWithoutRecordList()
{
    QTextDocument doc;
    DecodeContext context = contextFor(doc);
    context.fileRecords = nullptr;
    decode(context,
                      QStringLiteral("a") + fileRef(fileInfo(MyId, MyIp, "0", "/p")) + QStringLiteral("b"));
    QCOMPARE(signature(doc), QStringLiteral("T:ab"));
    QVERIFY(m_collected.isEmpty());
}

void TestCodec::animations()
{
    QTextDocument doc;
    DecodeContext context = contextFor(doc);
    FakeCatalogue catalogue({2, 9});
    context.animations = &catalogue;
    decode(context, QStringLiteral("x") + animation(2) + animation(7) +
                                   QStringLiteral("{[!CONTROL!]}z{[/!CONTROL!]}") + QStringLiteral("y") +
                                   animation(9));
    QCOMPARE(signature(doc), QStringLiteral("T:x|A:2|T:y|A:9"));
    QCOMPARE(catalogue.calls, (QStringList{"trim", "inserted 2 at 1", "trim", "inserted 9 at 3"}));
    const QList<RichItem> items = RichItems(&doc);
    QCOMPARE(items[1].tag, 2);
    QCOMPARE(imageOf(doc, items[1]), ProfileImages32().image(2).convertToFormat(QImage::Format_ARGB32));
}

void TestCodec::styleSheetDefaults()
{
    QCOMPARE(m_style->textStyleCount(), 2);
    QCOMPARE(m_style->textStyleName(0), QStringLiteral("Normal text"));
    QCOMPARE(m_style->textStyleName(1), QStringLiteral("Header message"));
    QCOMPARE(m_style->textStyleFont(0).family(), QStringLiteral("Arial"));
    QCOMPARE(m_style->textStyleFont(1).family(), QStringLiteral("Arial"));
    QVERIFY(!m_style->textStyleFont(0).bold());
    QVERIFY(m_style->textStyleFont(1).bold());
    QCOMPARE(m_style->paragraphStyleCount(), 2);
    QCOMPARE(m_style->paragraphStyleName(0), QStringLiteral("Paragraph Style"));
    QCOMPARE(m_style->paragraphStyleName(1), QStringLiteral("Centered"));
    QCOMPARE(int(m_style->paragraphFormat(1).alignment() & Qt::AlignHorizontal_Mask), int(Qt::AlignHCenter));
    QVERIFY(!(m_style->paragraphFormat(0).alignment() & Qt::AlignHCenter));
    QCOMPARE(m_style->charFormat(1).intProperty(RichProperty::TextStyle), 1);
    QVERIFY(m_style->charFormat(1).font().bold());
    QCOMPARE(m_style->charFormat(99).intProperty(RichProperty::TextStyle), 0);
}

void TestCodec::senderTextStyle()
{
    QSignalSpy changed(m_style.get(), &RVStyle::textStyleChanged);
    const int a = m_style->SenderTextStyle(PeerId, 0x0000FF);
    QCOMPARE(a, 2);
    QCOMPARE(m_style->textStyleCount(), 3);
    QCOMPARE(m_style->textStyleName(a), PeerId);
    QCOMPARE(m_style->textStyleColor(a), QColor(255, 0, 0));
    QCOMPARE(m_style->textStyleFont(a), m_style->textStyleFont(0));
    QCOMPARE(changed.count(), 0);

    QCOMPARE(m_style->SenderTextStyle(PeerId, 0x0000FF), a);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_style->SenderTextStyle(PeerId, 0xFF0000), a);
    QCOMPARE(m_style->textStyleCount(), 3);
    QCOMPARE(m_style->textStyleColor(a), QColor(0, 0, 255));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), a);

    const int b = m_style->SenderTextStyle(MyId, 0x00FF00);
    QCOMPARE(b, 3);
    QCOMPARE(m_style->textStyleColor(b), QColor(0, 255, 0));
    QCOMPARE(m_style->SenderTextStyle(PeerId, 0xFF0000), a);
    QCOMPARE(m_style->textStyleCount(), 4);
}

void TestCodec::senderColourRecoloursEarlierText()
{
    QTextDocument first;
    QTextDocument second;
    m_style->TrackDocument(&first);
    m_style->TrackDocument(&second);
    const int a = m_style->SenderTextStyle(PeerId, 0x0000FF);
    const int b = m_style->SenderTextStyle(MyId, 0x00FF00);
    for (QTextDocument *doc : {&first, &second}) {
        for (int i = 0; i < 3; ++i) {
            DecodeContext context = contextFor(*doc, i == 1 ? b : a);
            decode(context,
                              QStringLiteral("message %1").arg(i) + bullet(i) + QStringLiteral("\n\rmore"));
            QTextCursor end(doc);
            end.movePosition(QTextCursor::End);
            AppendNewParagraph(end, *m_style, 1);
            AppendTextItem(end, QStringLiteral("[header]"), *m_style, 1);
        }
    }
    {
        // A document that is gone must not be touched.
        QTextDocument gone;
        m_style->TrackDocument(&gone);
    }
    QCOMPARE(m_style->SenderTextStyle(PeerId, 0xFF0000), a);
    // The change itself costs nothing: the text is recoloured afterwards, in slices.
    QVERIFY(m_style->recolourPending());
    QVERIFY(QTest::qWaitFor([&] { return !m_style->recolourPending(); }, 5000));

    for (QTextDocument *doc : {&first, &second}) {
        int seenA = 0;
        int seenB = 0;
        for (const RichItem &item : RichItems(doc)) {
            if (item.kind != RichItemKind::Text || item.text.isEmpty())
                continue;
            QTextCursor at(doc);
            at.setPosition(item.position + 1);
            const QColor colour = at.charFormat().foreground().color();
            if (item.textStyle == a) {
                QCOMPARE(colour, QColor(0, 0, 255));
                ++seenA;
            } else if (item.textStyle == b) {
                QCOMPARE(colour, QColor(0, 255, 0));
                ++seenB;
            } else {
                QCOMPARE(item.textStyle, 1);
                QCOMPARE(colour, m_style->textStyleColor(1));
            }
        }
        QCOMPARE(seenA, 4);
        QCOMPARE(seenB, 2);
    }

    // Applying a style directly works on an untracked document too.
    QTextDocument untracked;
    DecodeContext context = contextFor(untracked, a);
    decode(context, QStringLiteral("one\n\rtwo"));
    ApplyTextStyle(&untracked, a, m_style->charFormat(b));
    QTextCursor at(&untracked);
    at.movePosition(QTextCursor::End);
    QCOMPARE(at.charFormat().foreground().color(), QColor(0, 255, 0));
    QCOMPARE(at.charFormat().intProperty(RichProperty::TextStyle), a);
    ApplyTextStyle(nullptr, a, m_style->charFormat(b));
}

QTEST_MAIN(TestCodec)
#include "test_codec.moc"
