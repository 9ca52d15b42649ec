#include "talks/ui/EditorBody.h"

#include "features/ui/ImageList.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"
#include "transfer/FileRecords.h"

#include <QTextCursor>
#include <QTextDocument>

namespace {

TextStyle styleAt(const QTextDocument *doc, const RichItem &item)
{
    TextStyle style;
    style.styleNo = item.textStyle;
    if (item.text.isEmpty())
        return style;
    QTextCursor at(const_cast<QTextDocument *>(doc));
    at.setPosition(item.position + 1);
    const QTextCharFormat format = at.charFormat();
    style.fontName = format.fontFamilies().toStringList().value(0);
    style.size = qRound(format.fontPointSize());
    style.bold = format.fontWeight() >= QFont::Bold;
    style.italic = format.fontItalic();
    style.underline = format.fontUnderline();
    style.strike = format.fontStrikeOut();
    if (format.hasProperty(QTextFormat::ForegroundBrush))
        style.colour = format.foreground().color().rgb() & 0xFFFFFF;
    return style;
}

void addItem(MessageBody &body, const QTextDocument *doc, const RichItem &item, const FileReference &owner)
{
    switch (item.kind) {
    case RichItemKind::Text:
        body.addText(item.text, styleAt(doc, item));
        break;
    case RichItemKind::Bullet:
        body.addPicture(item.index);
        break;
    case RichItemKind::Animation:
        body.addAnimation(item.tag);
        break;
    case RichItemKind::File: {
        FileReference file = owner;
        file.path = item.path;
        body.addFile(file);
        break;
    }
    case RichItemKind::Other:
        break;
    }
}

// Characters with which the document would start a paragraph or a frame inside a text item. A lone
// line feed or carriage return still shows as a line break, without leaving the paragraph.
QString textOfItem(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        switch (c.unicode()) {
        case u'\n':
        case u'\r':
        case QChar::ParagraphSeparator:
            c = QChar::LineSeparator;
            break;
        case 0xFDD0: // begin and end of a frame
        case 0xFDD1:
            c = QChar::ReplacementCharacter;
            break;
        default:
            break;
        }
    }
    return result;
}

void renderAnimation(DecodeContext &context, int number)
{
    AnimationCatalogue *animations = context.animations;
    if (!animations || !animations->hasAnimation(number))
        return;
    animations->trimAnimations();
    const int position = context.cursor.position();
    if (AppendAnimation(context.cursor, number, animations->animationFrame(number)))
        animations->animationInserted(context.cursor.document(), position, number);
}

// The record was made from the reference when the message arrived, in the order of the references.
void renderFile(DecodeContext &context, qsizetype &nextFile)
{
    if (!context.fileRecords || nextFile >= context.fileRecordIndexes.size())
        return;
    const int index = context.fileRecordIndexes.at(nextFile++);
    if (const std::optional<RLFile> record = context.fileRecords->at(index))
        AppendFilePicture(context.cursor, record->Path, FileReferenceIcon(record->Path, record->IsOwn), index);
}

void renderItem(DecodeContext &context, const BodyItem &item, qsizetype &nextFile)
{
    switch (item.kind) {
    case BodyItemKind::Text:
        AppendTextItem(context.cursor, textOfItem(item.text), *context.style, context.textStyle);
        break;
    case BodyItemKind::LineBreak:
        AppendNewParagraph(context.cursor, *context.style, context.textStyle);
        break;
    case BodyItemKind::Picture:
        if (context.pictures)
            AppendBullet(context.cursor, *context.pictures, item.number);
        break;
    case BodyItemKind::Animation:
        renderAnimation(context, item.number);
        break;
    case BodyItemKind::File:
        renderFile(context, nextFile);
        break;
    }
}

} // namespace

namespace EditorBody {

MessageBody FromEditor(const QTextDocument *editorDocument, const QString &myId, const QString &myIp)
{
    MessageBody body;
    if (!editorDocument)
        return body;
    const QList<RichItem> items = RichItems(editorDocument, ItemLines::Compute);
    const FileReference owner{myId, myIp, 0, QString()};
    int nextLine = -1;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const int thisLine = items.at(i).line;
        addItem(body, editorDocument, items.at(i), owner);
        if (i + 1 < items.size())
            nextLine = items.at(i + 1).line;
        if (thisLine != nextLine)
            body.addLineBreak();
    }
    return body;
}

void Render(DecodeContext &context, const MessageBody &body)
{
    if (context.cursor.isNull() || !context.cursor.document() || !context.style)
        return;
    qsizetype nextFile = 0;
    for (const BodyItem &item : body.items)
        renderItem(context, item, nextFile);
}

} // namespace EditorBody
