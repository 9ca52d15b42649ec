#include "talks/ui/WorkFormatTextRichViewEditUn.h"

#include "features/ui/ImageList.h"
#include "protocol/ProtocolClassUn.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "transfer/FileRecords.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QTextDocument>

AnimationCatalogue::~AnimationCatalogue() = default;

namespace {

using namespace MessageMarker;

constexpr QLatin1StringView marker(const char *text)
{
    return QLatin1StringView(text);
}

// Where a closing marker next occurs. Every position found is consumed by the caller, so later
// searches start behind it and the whole decode reads the string only a few times.
class NextMarker {
public:
    explicit NextMarker(QLatin1StringView text)
        : m_text(text)
    {}

    qsizetype find(const QString &string, qsizetype from)
    {
        if (m_at == NotThere)
            return -1;
        if (m_at < from) {
            m_at = string.indexOf(m_text, from);
            if (m_at < 0) {
                m_at = NotThere;
                return -1;
            }
        }
        return m_at;
    }

private:
    static constexpr qsizetype NotThere = -2;
    QLatin1StringView m_text;
    qsizetype m_at = -1;
};

// Characters with which the document would start a paragraph or a frame inside a text item. A lone
// line feed or carriage return still shows as a line break, without leaving the paragraph.
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

class Decoder {
public:
    Decoder(DecodeContext &context, const QString &message)
        : m_context(context)
        , m_message(message)
    {}

    void run()
    {
        const QStringView message(m_message);
        const qsizetype size = message.size();
        qsizetype pending = 0;
        qsizetype at = 0;
        while (at < size) {
            const QChar c = message[at];
            if (c != u'\n' && c != u'{') {
                ++at;
                continue;
            }
            const QStringView rest = message.sliced(at);
            if (rest.startsWith(marker(LineBreak))) {
                appendText(pending, at);
                AppendNewParagraph(m_context.cursor, *m_context.style, m_context.textStyle);
                at += 2;
            } else if (rest.startsWith(marker(BulletOpen))) {
                appendText(pending, at);
                const QStringView number =
                    element(at, marker(BulletOpen), marker(BulletClose), m_bulletClose);
                qint32 index = 0;
                if (m_context.pictures && TryParseInteger(number, &index))
                    AppendBullet(m_context.cursor, *m_context.pictures, index);
            } else if (rest.startsWith(marker(ControlOpen))) {
                appendText(pending, at);
                const QStringView number =
                    element(at, marker(ControlOpen), marker(ControlClose), m_controlClose);
                appendAnimation(number);
            } else if (rest.startsWith(marker(ControlFileOpen))) {
                appendText(pending, at);
                element(at, marker(ControlFileOpen), marker(ControlFileClose), m_fileClose);
                appendFile();
            } else {
                ++at;
                continue;
            }
            pending = at;
        }
        appendText(pending, size);
    }

private:
    void appendText(qsizetype from, qsizetype to)
    {
        if (to > from)
            AppendTextItem(m_context.cursor, textOfItem(QStringView(m_message).sliced(from, to - from)),
                           *m_context.style, m_context.textStyle);
    }

    // The text between an opening marker at "at" and its closing marker; moves "at" behind the
    // closing marker, or, when there is none, as far as a closing marker would have reached.
    QStringView element(qsizetype &at, QLatin1StringView open, QLatin1StringView close, NextMarker &next)
    {
        const qsizetype start = at + open.size();
        const qsizetype end = next.find(m_message, start);
        if (end < 0) {
            at = qMin(m_message.size(), start + close.size());
            return {};
        }
        at = end + close.size();
        return QStringView(m_message).sliced(start, end - start);
    }

    void appendAnimation(QStringView number)
    {
        qint32 value = 0;
        AnimationCatalogue *animations = m_context.animations;
        if (!animations || !TryParseInteger(number, &value) || !animations->hasAnimation(value))
            return;
        animations->trimAnimations();
        const int position = m_context.cursor.position();
        if (AppendAnimation(m_context.cursor, value, animations->animationFrame(value)))
            animations->animationInserted(m_context.cursor.document(), position, value);
    }

    // The record was made from the reference when the message arrived.
    void appendFile()
    {
        if (!m_context.fileRecords || m_nextFile >= m_context.fileRecordIndexes.size())
            return;
        const int index = m_context.fileRecordIndexes.at(m_nextFile++);
        if (const std::optional<RLFile> record = m_context.fileRecords->at(index))
            AppendFilePicture(m_context.cursor, record->Path, FileReferenceIcon(record->Path, record->IsOwn),
                              index);
    }

    DecodeContext &m_context;
    const QString &m_message;
    NextMarker m_bulletClose{marker(BulletClose)};
    NextMarker m_controlClose{marker(ControlClose)};
    NextMarker m_fileClose{marker(ControlFileClose)};
    qsizetype m_nextFile = 0;
};

} // namespace

QString TrimLineBreaks(const QString &text)
{
    const QLatin1StringView lineBreak(LineBreak);
    if (!text.contains(lineBreak))
        return text;
    QStringView rest(text);
    if (rest.startsWith(lineBreak))
        rest = rest.sliced(lineBreak.size());
    const qsizetype first = rest.indexOf(lineBreak);
    if (first >= 0 && first + lineBreak.size() == rest.size())
        rest.chop(lineBreak.size());
    return rest.toString();
}

QString EncodeMessageText(QTextDocument *editorDocument, const QString &myId, const QString &myIp)
{
    if (!editorDocument)
        return {};
    try {
        const QList<RichItem> items = RichItems(editorDocument, ItemLines::Compute);
        const QString fileInfoStart =
            QLatin1StringView(FileInfoSeparator) + myId + QLatin1StringView(FileInfoSeparator) + myIp +
            QLatin1StringView(FileInfoSeparator) + u'0' + QLatin1StringView(FileInfoSeparator);
        QString result;
        result.reserve(editorDocument->characterCount() + 16);
        int nextLine = -1;
        for (qsizetype i = 0; i < items.size(); ++i) {
            const RichItem &item = items.at(i);
            const int thisLine = item.line;
            switch (item.kind) {
            case RichItemKind::Text:
                result += item.text;
                break;
            case RichItemKind::Bullet:
                result += marker(BulletOpen) + QString::number(item.index) + marker(BulletClose);
                break;
            case RichItemKind::Animation:
                result += marker(ControlOpen) + QString::number(item.tag) + marker(ControlClose);
                break;
            case RichItemKind::File:
                result += marker(ControlFileOpen) + fileInfoStart + item.path + marker(ControlFileClose);
                break;
            case RichItemKind::Other:
                break;
            }
            if (i + 1 < items.size())
                nextLine = items.at(i + 1).line;
            if (thisLine != nextLine)
                result += marker(LineBreak);
        }
        return TrimLineBreaks(result);
    } catch (...) {
        return {};
    }
}

void DecodeMessageText(DecodeContext &context, const QString &message)
{
    if (context.cursor.isNull() || !context.cursor.document() || !context.style)
        return;
    // One edit block: the layout then runs once at the end instead of after every item, which
    // would cost the whole paragraph again for each of them.
    context.cursor.beginEditBlock();
    try {
        Decoder(context, message).run();
    } catch (...) {
    }
    context.cursor.endEditBlock();
}

QImage FileReferenceIcon(const QString &path, bool isOwn)
{
    // The shell icon needs a widget style, which only a QApplication has.
    if (isOwn && !path.isEmpty() && qobject_cast<QApplication *>(QCoreApplication::instance()) &&
        QFileInfo::exists(path)) {
        const QFileIconProvider provider;
        const QImage icon = provider.icon(QFileInfo(path)).pixmap(32, 32).toImage();
        if (!icon.isNull())
            return icon.size() == QSize(32, 32) ? icon : icon.scaled(32, 32, Qt::KeepAspectRatio);
    }
    return ToolbarImage(QStringLiteral("file"), 32);
}
