#include "talks/TranscriptFormats.h"

#include "features/MoodRules.h"
#include "features/RemoteText.h"

#include <QList>

TranscriptLook::~TranscriptLook() = default;

QString TranscriptLook::defaultFontFamily() const
{
    return QStringLiteral("Arial");
}

quint32 TranscriptLook::background() const
{
    return 0;
}

quint32 TranscriptLook::systemColour(qint32 wireColour) const
{
    Q_UNUSED(wireColour);
    return 0xFF000000u;
}

bool TranscriptLook::hasAnimation(int number) const
{
    return MoodRules::IsAnimationNumber(number);
}

TranscriptPicture TranscriptLook::picture(const TranscriptItem &item) const
{
    Q_UNUSED(item);
    return {};
}

namespace TranscriptFormats {

namespace {

constexpr int TwipsPerPixel = 15; // at 96 dots per inch
constexpr int HexLineLength = 128;
// Arial 10, as every text style of a transcript is.
constexpr char StyleFont[] = "Arial";
constexpr int StyleHalfPoints = 20;
// The header style's colour: the system's window text.
constexpr qint32 WindowTextWireColour = qint32(0x80000008u);

// A run of text in one style, or a picture, as the RTF form writes them.
struct Piece {
    bool isText = false;
    bool header = false;
    QString senderId;
    QString text;
    TranscriptPicture picture;
};

// Adjacent text in one style is one run, also where a picture between the two came to nothing.
QList<Piece> piecesOf(const TranscriptParagraph &paragraph, const TranscriptLook &look)
{
    QList<Piece> pieces;
    for (const TranscriptItem &item : paragraph) {
        if (item.kind == TranscriptItem::Kind::Text) {
            if (!pieces.isEmpty() && pieces.last().isText && pieces.last().header == item.header &&
                pieces.last().senderId == item.senderId) {
                pieces.last().text += item.text;
                continue;
            }
            Piece piece;
            piece.isText = true;
            piece.header = item.header;
            piece.senderId = item.senderId;
            piece.text = item.text;
            pieces.append(piece);
            continue;
        }
        Piece piece;
        piece.picture = look.picture(item);
        if (!piece.picture.png.isEmpty())
            pieces.append(piece);
    }
    return pieces;
}

class RtfWriter {
public:
    RtfWriter(const QHash<QString, qint32> &senderColours, const TranscriptLook &look)
        : m_senderColours(senderColours)
        , m_look(look)
    {
        fontIndex(look.defaultFontFamily());
    }

    QByteArray build(const Transcript &transcript)
    {
        for (const TranscriptParagraph &paragraph : transcript.paragraphs())
            writeParagraph(paragraph);
        QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (int i = 0; i < m_fonts.size(); ++i)
            out += "{\\f" + QByteArray::number(i) + "\\fnil " + RtfEscaped(m_fonts.at(i)) + ";}";
        out += "}\n{\\colortbl;";
        for (const quint32 c : std::as_const(m_colours)) {
            out += "\\red" + QByteArray::number((c >> 16) & 0xFF) + "\\green" +
                   QByteArray::number((c >> 8) & 0xFF) + "\\blue" + QByteArray::number(c & 0xFF) + ';';
        }
        out += "}\n";
        const quint32 background = m_look.background();
        if (background >> 24) {
            // The fill colour is a BGR number, as Word writes it.
            const quint32 bgr =
                ((background >> 16) & 0xFF) | (background & 0xFF00) | ((background & 0xFF) << 16);
            out += "{\\*\\background{\\shp{\\*\\shpinst{\\sp{\\sn fillType}{\\sv 0}}{\\sp{\\sn "
                   "fillColor}{\\sv " +
                   QByteArray::number(bgr) + "}}}}}\\viewbksp1\n";
        }
        out += m_body;
        out += "}\n";
        return out;
    }

private:
    int fontIndex(const QString &family)
    {
        const QString name = family.isEmpty() ? QStringLiteral("Arial") : family;
        qsizetype i = m_fonts.indexOf(name);
        if (i < 0) {
            m_fonts.append(name);
            i = m_fonts.size() - 1;
        }
        return int(i);
    }

    // Colour 0 is the reader's automatic colour; the table's entries count from 1.
    int colourIndex(quint32 rgb)
    {
        const qsizetype i = m_colours.indexOf(rgb & 0xFFFFFF);
        if (i >= 0)
            return int(i + 1);
        m_colours.append(rgb & 0xFFFFFF);
        return int(m_colours.size());
    }

    quint32 rgbOf(qint32 wireColour) const
    {
        if (wireColour < 0)
            return m_look.systemColour(wireColour);
        const auto bits = quint32(wireColour);
        return ((bits & 0xFF) << 16) | (bits & 0xFF00) | ((bits >> 16) & 0xFF);
    }

    void writeParagraph(const TranscriptParagraph &paragraph)
    {
        m_body += "\\pard\\plain\\ql ";
        for (const Piece &piece : piecesOf(paragraph, m_look)) {
            if (piece.isText)
                writeRun(piece);
            else
                writePicture(piece.picture);
        }
        m_body += "\\par\n";
    }

    void writeRun(const Piece &piece)
    {
        const qint32 wire =
            piece.header ? WindowTextWireColour : m_senderColours.value(piece.senderId, WindowTextWireColour);
        m_body += "{\\f" + QByteArray::number(fontIndex(QLatin1StringView(StyleFont))) + "\\fs" +
                  QByteArray::number(StyleHalfPoints);
        if (piece.header)
            m_body += "\\b";
        m_body += "\\cf" + QByteArray::number(colourIndex(rgbOf(wire))) + ' ';
        m_body += RtfEscaped(piece.text);
        m_body += '}';
    }

    void writePicture(const TranscriptPicture &picture)
    {
        m_body += "{\\pict\\pngblip\\picw" + QByteArray::number(picture.width) + "\\pich" +
                  QByteArray::number(picture.height) + "\\picwgoal" +
                  QByteArray::number(picture.shownWidth * TwipsPerPixel) + "\\pichgoal" +
                  QByteArray::number(picture.shownHeight * TwipsPerPixel) + '\n';
        const QByteArray hex = picture.png.toHex();
        for (qsizetype i = 0; i < hex.size(); i += HexLineLength) {
            m_body += hex.mid(i, HexLineLength);
            m_body += '\n';
        }
        m_body += '}';
    }

    const QHash<QString, qint32> &m_senderColours;
    const TranscriptLook &m_look;
    QStringList m_fonts;
    QList<quint32> m_colours;
    QByteArray m_body;
};

} // namespace

QString fileText(const QString &path)
{
    if (path.isEmpty())
        return path;
    return QStringLiteral("<p style='white-space:pre-wrap'>") + RemoteText::escaped(path) +
           QStringLiteral("</p>");
}

QStringList WrapLine(const QString &line, int lineWidth)
{
    if (lineWidth <= 0 || line.size() <= lineWidth)
        return {line};
    QStringList lines;
    QString rest = line;
    while (rest.size() > lineWidth) {
        qsizetype cut = rest.lastIndexOf(u' ', lineWidth);
        qsizetype next = cut + 1;
        if (cut <= 0) {
            cut = lineWidth;
            // Never between the two halves of a surrogate pair.
            if (rest.at(cut - 1).isHighSurrogate())
                --cut;
            next = cut;
        }
        lines.append(rest.left(cut));
        rest = rest.mid(next);
    }
    lines.append(rest);
    return lines;
}

QByteArray ToPlainText(const Transcript &transcript, int lineWidth)
{
    QStringList lines;
    for (const TranscriptParagraph &paragraph : transcript.paragraphs()) {
        QString text;
        for (const TranscriptItem &item : paragraph) {
            if (item.kind == TranscriptItem::Kind::Text)
                text += QString(item.text).remove(QChar::ObjectReplacementCharacter);
            else if (item.kind == TranscriptItem::Kind::File)
                text += fileText(item.text);
        }
        for (const QString &line : text.split(QChar::LineSeparator))
            lines += WrapLine(line, lineWidth);
    }
    return (lines.join(u'\n') + u'\n').toUtf8();
}

QByteArray ToRtf(const Transcript &transcript, const QHash<QString, qint32> &senderColours,
                 const TranscriptLook &look)
{
    return RtfWriter(senderColours, look).build(transcript);
}

QByteArray RtfEscaped(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u == u'\t') {
            out += "\\tab ";
        } else if (u == QChar::LineSeparator || u == u'\n') {
            out += "\\line ";
        } else if (u < 0x20 || u == QChar::ObjectReplacementCharacter) {
            continue;
        } else if (u < 0x80) {
            out += char(u);
        } else {
            // A signed 16-bit number per UTF-16 unit, with "?" for readers that know no Unicode.
            out += "\\u" + QByteArray::number(qint16(u)) + '?';
        }
    }
    return out;
}

} // namespace TranscriptFormats
