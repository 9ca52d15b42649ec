#include "app/TranscriptBody.h"

#include "protocol/ProtocolClassUn.h"
#include "talks/MessageMarkers.h"
#include "transfer/FileRecords.h"

#include <QHash>

namespace {

using namespace MessageMarker;

// Characters with which a document would start a paragraph or a frame inside a text item. A lone
// line feed or return still shows as a line break, without leaving the paragraph.
QString textOfItem(QStringView text)
{
    QString result = text.toString();
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

class BodyReader {
public:
    BodyReader(const QString &message, const TranscriptBodyContext &context)
        : m_message(message)
        , m_context(context)
    {}

    QList<TranscriptMessage::Piece> run()
    {
        const qsizetype size = m_message.size();
        qsizetype pending = 0;
        qsizetype at = 0;
        while (at < size) {
            const QChar c = m_message.at(at);
            if (c != u'\n' && c != u'{') {
                ++at;
                continue;
            }
            const QStringView rest = QStringView(m_message).sliced(at);
            if (rest.startsWith(QLatin1StringView(LineBreak))) {
                text(pending, at);
                m_pieces.append(TranscriptMessage::Piece{true, {}});
                at += 2;
            } else if (rest.startsWith(QLatin1StringView(BulletOpen))) {
                text(pending, at);
                number(element(at, BulletOpen, BulletClose), TranscriptItem::Kind::Picture);
            } else if (rest.startsWith(QLatin1StringView(ControlOpen))) {
                text(pending, at);
                number(element(at, ControlOpen, ControlClose), TranscriptItem::Kind::Animation);
            } else if (rest.startsWith(QLatin1StringView(ControlFileOpen))) {
                text(pending, at);
                file(element(at, ControlFileOpen, ControlFileClose));
            } else {
                ++at;
                continue;
            }
            pending = at;
        }
        text(pending, size);
        return m_pieces;
    }

private:
    void text(qsizetype from, qsizetype to)
    {
        if (to <= from)
            return;
        TranscriptMessage::Piece piece;
        piece.item.text = textOfItem(QStringView(m_message).sliced(from, to - from));
        m_pieces.append(piece);
    }

    // The text between an opening marker at "at" and its closing marker; moves "at" behind the
    // closing marker, or, when there is none, as far as a closing marker would have reached.
    QString element(qsizetype &at, const char *open, const char *close)
    {
        const QLatin1StringView openMarker(open);
        const QLatin1StringView closeMarker(close);
        const qsizetype start = at + openMarker.size();
        const qsizetype end = nextClose(close, start);
        if (end < 0) {
            at = qMin(m_message.size(), start + closeMarker.size());
            return {};
        }
        at = end + closeMarker.size();
        return m_message.mid(start, end - start);
    }

    // Where a closing marker next occurs. Every position found is consumed, so later searches start
    // behind it and the whole message is read only a few times, however many markers it holds.
    qsizetype nextClose(const char *close, qsizetype from)
    {
        constexpr qsizetype NotThere = -2;
        qsizetype &cached = m_closes[close];
        if (cached == NotThere)
            return -1;
        if (cached < from) {
            cached = m_message.indexOf(QLatin1StringView(close), from);
            if (cached < 0) {
                cached = NotThere;
                return -1;
            }
        }
        return cached;
    }

    void number(const QString &text, TranscriptItem::Kind kind)
    {
        qint32 value = 0;
        if (!TryParseInteger(text, &value))
            return;
        if (kind == TranscriptItem::Kind::Animation &&
            (!m_context.hasAnimation || !m_context.hasAnimation(value)))
            return;
        TranscriptMessage::Piece piece;
        piece.item.kind = kind;
        piece.item.number = value;
        m_pieces.append(piece);
    }

    void file(const QString &info)
    {
        const QStringList fields = SplitFileInfo(info);
        TranscriptMessage::Piece piece;
        piece.item.kind = TranscriptItem::Kind::File;
        piece.item.text = fields.value(3);
        // Mine only if it names my ID; whether the file is one I offer is asked when it is written.
        piece.item.own = !m_context.myId.isEmpty() && fields.value(0) == m_context.myId;
        m_pieces.append(piece);
    }

    const QString &m_message;
    const TranscriptBodyContext &m_context;
    QList<TranscriptMessage::Piece> m_pieces;
    QHash<const char *, qsizetype> m_closes{{BulletClose, -1}, {ControlClose, -1}, {ControlFileClose, -1}};
};

} // namespace

QList<TranscriptMessage::Piece> TranscriptBody(const QString &message, const TranscriptBodyContext &context)
{
    return BodyReader(message, context).run();
}
