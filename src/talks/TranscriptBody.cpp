#include "talks/TranscriptBody.h"

#include "talks/MessageCodec.h"

namespace {

// Characters with which a document would start a paragraph or a frame inside a text item. A lone
// line feed or return still shows as a line break, without leaving the paragraph.
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
        case 0xFDD0:
        case 0xFDD1:
            c = QChar::ReplacementCharacter;
            break;
        default:
            break;
        }
    }
    return result;
}

} // namespace

QList<TranscriptMessage::Piece> TranscriptBody(const QString &message, const TranscriptBodyContext &context)
{
    QList<TranscriptMessage::Piece> pieces;
    const MessageBody body = MessageCodec::Decode(message);
    for (const BodyItem &item : body.items) {
        TranscriptMessage::Piece piece;
        switch (item.kind) {
        case BodyItemKind::LineBreak:
            piece.paragraphBreak = true;
            break;
        case BodyItemKind::Text:
            if (item.text.isEmpty())
                continue;
            piece.item.text = textOfItem(item.text);
            break;
        case BodyItemKind::Picture:
            piece.item.kind = TranscriptItem::Kind::Picture;
            piece.item.number = item.number;
            break;
        case BodyItemKind::Animation:
            if (!context.hasAnimation || !context.hasAnimation(item.number))
                continue;
            piece.item.kind = TranscriptItem::Kind::Animation;
            piece.item.number = item.number;
            break;
        case BodyItemKind::File:
            piece.item.kind = TranscriptItem::Kind::File;
            piece.item.text = item.file.path;
            // Mine only if it names my ID; whether the file is one I offer is asked when it is written.
            piece.item.own = !context.myId.isEmpty() && item.file.ownerId == context.myId;
            break;
        }
        pieces.append(piece);
    }
    return pieces;
}
