#include "talks/PackedParagraphs.h"

#include <cstring>

namespace {

// The first byte of an entry: a paragraph break, or an item's kind with its flags.
constexpr quint8 ParagraphBreak = 0x80;
constexpr quint8 KindMask = 0x03;
constexpr quint8 HeaderFlag = 0x04;
constexpr quint8 OwnFlag = 0x08;
constexpr quint8 WholeHeaderText = 0x10; // the text is the message's header
constexpr quint8 WideText = 0x20;        // UTF-16 code units rather than Latin-1

void putNumber(QByteArray &out, quint32 value)
{
    while (value >= 0x80) {
        out.append(char((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.append(char(value));
}

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

quint8 textFlags(const TranscriptItem &item, const QString &header)
{
    if (item.kind == TranscriptItem::Kind::Text && item.header && item.text == header)
        return WholeHeaderText;
    return isLatin1(item.text) ? 0 : WideText;
}

// Reads what pack() wrote; packed data never comes from outside the program, but a read past the
// end still gives nothing rather than reading memory that is not there.
class Reader {
public:
    explicit Reader(const QByteArray &data)
        : m_data(data)
    {}

    bool atEnd() const { return m_at >= m_data.size(); }
    quint8 byte() { return atEnd() ? 0 : quint8(m_data.at(m_at++)); }

    quint32 number()
    {
        quint32 value = 0;
        for (int shift = 0; shift < 35 && !atEnd(); shift += 7) {
            const quint8 b = byte();
            value |= quint32(b & 0x7F) << shift;
            if (!(b & 0x80))
                break;
        }
        return value;
    }

    QString text(bool wide)
    {
        const qsizetype length = qsizetype(number());
        const qsizetype bytes = wide ? length * 2 : length;
        if (bytes < 0 || bytes > m_data.size() - m_at) {
            m_at = m_data.size();
            return {};
        }
        QString result;
        if (wide) {
            result.resize(length);
            std::memcpy(result.data(), m_data.constData() + m_at, size_t(bytes));
        } else {
            result = QString::fromLatin1(m_data.constData() + m_at, length);
        }
        m_at += bytes;
        return result;
    }

private:
    const QByteArray &m_data;
    qsizetype m_at = 0;
};

} // namespace

QByteArray PackedParagraphs::pack(const QList<TranscriptParagraph> &paragraphs, const QString &header)
{
    QByteArray out;
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        if (p > 0)
            out.append(char(ParagraphBreak));
        for (const TranscriptItem &item : paragraphs.at(p)) {
            const quint8 flags = textFlags(item, header);
            out.append(
                char(quint8(item.kind) | (item.header ? HeaderFlag : 0) | (item.own ? OwnFlag : 0) | flags));
            if (item.kind == TranscriptItem::Kind::Picture || item.kind == TranscriptItem::Kind::Animation)
                putNumber(out, quint32(item.number));
            if (item.kind != TranscriptItem::Kind::Text && item.kind != TranscriptItem::Kind::File)
                continue;
            if (flags & WholeHeaderText)
                continue;
            putNumber(out, quint32(item.text.size()));
            if (flags & WideText)
                out.append(reinterpret_cast<const char *>(item.text.constData()), item.text.size() * 2);
            else
                out.append(item.text.toLatin1());
        }
    }
    out.squeeze();
    return out;
}

void PackedParagraphs::unpack(const QByteArray &packed, const QString &senderId, const QString &header,
                              QList<TranscriptParagraph> &out, int &skipAnimations)
{
    out.append(TranscriptParagraph());
    Reader reader(packed);
    while (!reader.atEnd()) {
        const quint8 first = reader.byte();
        if (first == ParagraphBreak) {
            out.append(TranscriptParagraph());
            continue;
        }
        TranscriptItem item;
        item.kind = TranscriptItem::Kind(first & KindMask);
        item.header = first & HeaderFlag;
        item.own = first & OwnFlag;
        if (item.kind == TranscriptItem::Kind::Picture || item.kind == TranscriptItem::Kind::Animation)
            item.number = int(reader.number());
        if (item.kind == TranscriptItem::Kind::Text || item.kind == TranscriptItem::Kind::File)
            item.text = (first & WholeHeaderText) ? header : reader.text(first & WideText);
        if (item.kind == TranscriptItem::Kind::Text)
            item.senderId = senderId;
        if (item.kind == TranscriptItem::Kind::Animation && skipAnimations > 0) {
            --skipAnimations;
            continue;
        }
        out.last().append(item);
    }
}
