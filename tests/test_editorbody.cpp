// The input editor's side of a message: what an editor's content is sent as (the golden strings of
// MessageGoldens.h), and the auto-reply's answer as the editor made it.
#include "MessageGoldens.h"

#include "features/ui/ImageList.h"
#include "talks/ui/RVStyle.h"
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

QTEST_MAIN(TestEditorBody)
#include "test_editorbody.moc"
