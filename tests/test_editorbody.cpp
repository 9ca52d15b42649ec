// The input editor's side of a message: what an editor's content is sent as (the golden strings of
// MessageGoldens.h), and the auto-reply's answer as the editor made it.
#include "MessageGoldens.h"

#include "features/ui/ImageList.h"
#include "talks/ui/RVStyle.h"
#include "talks/MessageCodec.h"
#include "talks/ui/EditorBody.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"

#include <QTest>
#include <QTextDocument>
#include <QTextImageFormat>

#include <memory>

using namespace MessageGoldens;

namespace {

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

// The answer as the main window typed it into the talk's input editor before sending it.
void buildAnswerEditor(QTextDocument &doc, const RVStyle &style, const QString &caption, const QString &text)
{
    QTextCursor cursor(&doc);
    cursor.setBlockFormat(style.paragraphFormat(0));
    AppendBullet(cursor, ProfileImages32(), 3);
    AppendTextItem(cursor, caption, style, 0);
    AppendNewParagraph(cursor, style, 0);
    AppendTextItem(cursor, text, style, 0);
}

} // namespace

class TestEditorBody : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void editorGoldens_data();
    void editorGoldens();
    void answerGoldens_data();
    void answerGoldens();
    void adapterItems();
    void adapterTextStyle();
    void renderedLikeTheString();

private:
    std::unique_ptr<RVStyle> m_style;
};

void TestEditorBody::initTestCase()
{
    InitPictureResources();
    m_style = std::make_unique<RVStyle>();
}

void TestEditorBody::editorGoldens_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<qreal>("width");
    QTest::addColumn<QString>("golden");
    for (const EditorCase &c : editorCases())
        QTest::newRow(c.name) << c.script << c.width << c.golden;
}

void TestEditorBody::editorGoldens()
{
    QFETCH(QString, script);
    QFETCH(qreal, width);
    QFETCH(QString, golden);
    QTextDocument doc;
    if (width > 0)
        doc.setDocumentMargin(0);
    buildEditor(doc, *m_style, script);
    if (width > 0)
        doc.setTextWidth(width);
    QCOMPARE(EncodeMessageText(&doc, MyId, MyIp), golden);
}

void TestEditorBody::answerGoldens_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("golden");
    for (const AnswerCase &c : answerCases())
        QTest::newRow(c.name) << c.caption << c.text << c.golden;
}

void TestEditorBody::answerGoldens()
{
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(QString, golden);
    QTextDocument doc;
    buildAnswerEditor(doc, *m_style, caption, text);
    QCOMPARE(EncodeMessageText(&doc, MyId, MyIp), golden);
}

void TestEditorBody::adapterItems()
{
    QTextDocument doc;
    buildEditor(doc, *m_style, QStringLiteral("B:0|T: hi |A:22|O|P|F:/tmp/f|P|T:end"));
    const MessageBody body = EditorBody::FromEditor(&doc, MyId, MyIp);
    MessageBody expected;
    expected.addPicture(0).addText(QStringLiteral(" hi ")).addAnimation(22).addLineBreak();
    expected.addFile({MyId, MyIp, 0, QStringLiteral("/tmp/f")}).addLineBreak();
    expected.addText(QStringLiteral("end"));
    QCOMPARE(body.items.size(), expected.items.size());
    for (qsizetype i = 0; i < body.items.size(); ++i) {
        BodyItem item = body.items.at(i);
        item.style = {};
        QVERIFY2(item == expected.items.at(i), qPrintable(QString::number(i)));
    }
    QCOMPARE(body.filePaths(), QStringList{QStringLiteral("/tmp/f")});
    QVERIFY(EditorBody::FromEditor(nullptr, MyId, MyIp).isEmpty());
}

void TestEditorBody::adapterTextStyle()
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    QTextCharFormat format = m_style->charFormat(0);
    format.setFontWeight(QFont::Bold);
    format.setFontItalic(true);
    format.setFontStrikeOut(true);
    format.setFontPointSize(14);
    format.setFontFamilies({QStringLiteral("Serif")});
    format.setForeground(QColor(0x12, 0x34, 0x56));
    cursor.insertText(QStringLiteral("loud"), format);
    cursor.insertText(QStringLiteral("quiet"), m_style->charFormat(0));
    const MessageBody body = EditorBody::FromEditor(&doc, MyId, MyIp);
    QCOMPARE(body.items.size(), 2);
    const TextStyle loud = body.items.at(0).style;
    QCOMPARE(loud.styleNo, 0);
    QVERIFY(loud.bold && loud.italic && loud.strike && !loud.underline);
    QCOMPARE(loud.size, 14);
    QCOMPARE(loud.fontName, QStringLiteral("Serif"));
    QCOMPARE(loud.colour, 0x123456);
    QVERIFY(!body.items.at(1).style.bold);
    QCOMPARE(MessageCodec::Encode(body), QStringLiteral("loudquiet"));
}

void TestEditorBody::renderedLikeTheString()
{
    // A body the rules decoded shows exactly as the string it came from.
    const QString message = answerCases().front().golden + QStringLiteral("\n\r") + editorCases()[25].golden;
    QTextDocument fromString;
    QTextDocument fromBody;
    DecodeContext context;
    context.style = m_style.get();
    context.pictures = &ProfileImages32();
    context.cursor = QTextCursor(&fromString);
    DecodeMessageText(context, message);
    context.cursor = QTextCursor(&fromBody);
    RenderMessageBody(context, MessageCodec::Decode(message));
    QCOMPARE(fromBody.toRawText(), fromString.toRawText());
    QCOMPARE(RichItems(&fromBody).size(), RichItems(&fromString).size());
    // Picture and caption / text / picture and " hi " (no animation catalogue) / (no file records) / / end.
    QCOMPARE(fromBody.blockCount(), 6);
    QCOMPARE(EncodeMessageText(&fromBody, MyId, MyIp), EncodeMessageText(&fromString, MyId, MyIp));
}

QTEST_MAIN(TestEditorBody)
#include "test_editorbody.moc"
