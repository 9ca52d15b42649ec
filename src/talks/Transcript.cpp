#include "talks/Transcript.h"

#include "talks/PackedParagraphs.h"

namespace {

bool startsParagraph(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0 ||
           c.unicode() == 0xFDD1;
}

// Text as a document's cursor inserts it: line feeds, returns and paragraph separators start
// paragraphs of their own.
void appendText(QList<TranscriptParagraph> &paragraphs, const QString &text, bool header,
                const QString &senderId)
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
            paragraphs.last().append(item);
        }
        if (i == text.size())
            break;
        // A return before a line feed makes one break with it.
        if (text.at(i) == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        paragraphs.append(TranscriptParagraph());
        from = i + 1;
    }
}

} // namespace

void Transcript::clear()
{
    m_messages.clear();
    m_paragraphCount = 1;
    m_animations = 0;
    m_trimmedAnimations = 0;
}

QList<TranscriptParagraph> Transcript::paragraphs() const
{
    QList<TranscriptParagraph> paragraphs;
    paragraphs.reserve(m_paragraphCount);
    int skip = m_trimmedAnimations;
    for (const KeptMessage &message : m_messages)
        PackedParagraphs::unpack(message.paragraphs, message.senderId, message.header, paragraphs, skip);
    if (paragraphs.isEmpty())
        paragraphs.append(TranscriptParagraph());
    return paragraphs;
}

void Transcript::trimAnimations(int keep)
{
    // The oldest go first, so a count of those gone says which they were.
    const int excess = m_animations - qMax(keep, 0);
    if (excess > 0) {
        m_animations -= excess;
        m_trimmedAnimations += excess;
    }
}

void Transcript::append(const TranscriptMessage &message, const std::function<void()> &beforeAnimation)
{
    // The message starts a paragraph of its own; in an empty transcript it fills the empty one.
    QList<TranscriptParagraph> paragraphs{TranscriptParagraph()};
    if (message.picture >= 0) {
        TranscriptItem picture;
        picture.kind = TranscriptItem::Kind::Picture;
        picture.number = message.picture;
        paragraphs.last().append(picture);
    }
    appendText(paragraphs, message.header, true, message.senderId);
    paragraphs.append(TranscriptParagraph());
    for (const TranscriptMessage::Piece &piece : message.body) {
        if (piece.paragraphBreak) {
            paragraphs.append(TranscriptParagraph());
        } else if (piece.item.kind == TranscriptItem::Kind::Text) {
            appendText(paragraphs, piece.item.text, false, message.senderId);
        } else {
            if (piece.item.kind == TranscriptItem::Kind::Animation) {
                if (beforeAnimation)
                    beforeAnimation();
                ++m_animations;
            }
            paragraphs.last().append(piece.item);
        }
    }
    m_paragraphCount = (isEmpty() ? 0 : m_paragraphCount) + int(paragraphs.size());
    m_messages.append({message.senderId, message.header, PackedParagraphs::pack(paragraphs, message.header)});
}
