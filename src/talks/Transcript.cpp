#include "talks/Transcript.h"

namespace {

bool startsParagraph(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0 ||
           c.unicode() == 0xFDD1;
}

} // namespace

bool Transcript::isEmpty() const
{
    return m_paragraphs.size() == 1 && m_paragraphs.first().isEmpty();
}

void Transcript::clear()
{
    m_paragraphs = {TranscriptParagraph()};
}

void Transcript::newParagraph()
{
    m_paragraphs.append(TranscriptParagraph());
}

void Transcript::appendItem(const TranscriptItem &item)
{
    m_paragraphs.last().append(item);
}

void Transcript::appendText(const QString &text, bool header, const QString &senderId)
{
    TranscriptItem item;
    item.header = header;
    item.senderId = senderId;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !startsParagraph(text.at(i)))
            continue;
        if (i > from) {
            item.text = text.mid(from, i - from);
            appendItem(item);
        }
        if (i == text.size())
            break;
        // A return before a line feed makes one break with it.
        if (text.at(i) == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        newParagraph();
        from = i + 1;
    }
}

void Transcript::trimAnimations(int keep)
{
    int count = 0;
    for (const TranscriptParagraph &paragraph : std::as_const(m_paragraphs)) {
        for (const TranscriptItem &item : paragraph)
            count += item.kind == TranscriptItem::Kind::Animation;
    }
    for (TranscriptParagraph &paragraph : m_paragraphs) {
        for (qsizetype i = 0; count > keep && i < paragraph.size();) {
            if (paragraph.at(i).kind == TranscriptItem::Kind::Animation) {
                paragraph.removeAt(i);
                --count;
            } else {
                ++i;
            }
        }
    }
}

void Transcript::append(const TranscriptMessage &message, const std::function<void()> &beforeAnimation)
{
    if (!isEmpty())
        newParagraph();
    const qsizetype first = m_paragraphs.size() - 1;
    if (message.picture >= 0) {
        TranscriptItem picture;
        picture.kind = TranscriptItem::Kind::Picture;
        picture.number = message.picture;
        appendItem(picture);
    }
    appendText(message.header, true, message.senderId);
    newParagraph();
    for (const TranscriptMessage::Piece &piece : message.body) {
        if (piece.paragraphBreak) {
            newParagraph();
        } else if (piece.item.kind == TranscriptItem::Kind::Text) {
            appendText(piece.item.text, false, message.senderId);
        } else {
            if (piece.item.kind == TranscriptItem::Kind::Animation && beforeAnimation)
                beforeAnimation();
            appendItem(piece.item);
        }
    }
    // The message's paragraphs are complete (the next message starts a paragraph of its own): room
    // kept for more items would only cost memory for as long as the history is held.
    for (qsizetype i = first; i < m_paragraphs.size(); ++i)
        m_paragraphs[i].squeeze();
}
