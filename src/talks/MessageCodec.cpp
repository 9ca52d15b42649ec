#include "talks/MessageCodec.h"

#include "protocol/ProtocolClassUn.h"
#include "talks/MessageMarkers.h"

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

    qsizetype find(QStringView string, qsizetype from)
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

class Decoder {
public:
    Decoder(QStringView message, MessageBody &body)
        : m_message(message)
        , m_body(body)
    {}

    void run()
    {
        const qsizetype size = m_message.size();
        qsizetype pending = 0;
        qsizetype at = 0;
        while (at < size) {
            const QChar c = m_message[at];
            if (c != u'\n' && c != u'{') {
                ++at;
                continue;
            }
            const QStringView rest = m_message.sliced(at);
            if (rest.startsWith(marker(LineBreak))) {
                appendText(pending, at);
                m_body.addLineBreak();
                at += 2;
            } else if (rest.startsWith(marker(BulletOpen))) {
                appendText(pending, at);
                qint32 index = 0;
                if (TryParseInteger(element(at, marker(BulletOpen), marker(BulletClose), m_bulletClose),
                                    &index))
                    m_body.addPicture(index);
            } else if (rest.startsWith(marker(ControlOpen))) {
                appendText(pending, at);
                qint32 number = 0;
                if (TryParseInteger(element(at, marker(ControlOpen), marker(ControlClose), m_controlClose),
                                    &number))
                    m_body.addAnimation(number);
            } else if (rest.startsWith(marker(ControlFileOpen))) {
                appendText(pending, at);
                appendFile(element(at, marker(ControlFileOpen), marker(ControlFileClose), m_fileClose));
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
            m_body.addText(m_message.sliced(from, to - from).toString());
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
        return m_message.sliced(start, end - start);
    }

    void appendFile(QStringView info)
    {
        const QStringList fields = MessageCodec::SplitFileInfo(info);
        FileReference file;
        file.ownerId = fields.value(0);
        file.ownerIp = fields.value(1);
        file.sizeKB = ParseIntegerRule(fields.value(2));
        file.path = fields.value(3);
        m_body.addFile(file);
    }

    QStringView m_message;
    MessageBody &m_body;
    NextMarker m_bulletClose{marker(BulletClose)};
    NextMarker m_controlClose{marker(ControlClose)};
    NextMarker m_fileClose{marker(ControlFileClose)};
};

void encodeItem(QString &result, const BodyItem &item)
{
    switch (item.kind) {
    case BodyItemKind::Text:
        result += item.text;
        break;
    case BodyItemKind::LineBreak:
        result += marker(LineBreak);
        break;
    case BodyItemKind::Picture:
        result += marker(BulletOpen) + QString::number(item.number) + marker(BulletClose);
        break;
    case BodyItemKind::Animation:
        result += marker(ControlOpen) + QString::number(item.number) + marker(ControlClose);
        break;
    case BodyItemKind::File: {
        const QLatin1StringView separator(FileInfoSeparator);
        const FileReference &file = item.file;
        result += marker(ControlFileOpen) + separator + file.ownerId + separator + file.ownerIp + separator +
                  QString::number(file.sizeKB) + separator + file.path + marker(ControlFileClose);
        break;
    }
    }
}

} // namespace

namespace MessageCodec {

QString Encode(const MessageBody &body)
{
    QString result;
    for (const BodyItem &item : body.items)
        encodeItem(result, item);
    return TrimLineBreaks(result);
}

MessageBody Decode(QStringView message)
{
    MessageBody body;
    try {
        Decoder(message, body).run();
    } catch (...) {
        // Out of memory: what was read so far.
    }
    return body;
}

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

QStringList SplitFileInfo(QStringView info)
{
    constexpr int MaxFields = 4;
    const QLatin1StringView separator(FileInfoSeparator);
    QStringList fields;
    QStringView rest(info);
    while (!rest.isEmpty() && rest != separator && fields.size() < MaxFields) {
        if (rest.startsWith(separator)) {
            rest = rest.sliced(separator.size());
            continue;
        }
        const qsizetype next = rest.indexOf(separator);
        if (next < 0) {
            fields.append(rest.toString());
            break;
        }
        fields.append(rest.first(next).toString());
        rest = rest.sliced(next);
    }
    return fields;
}

} // namespace MessageCodec
