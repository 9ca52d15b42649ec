#include "documents/RichTextExport.h"

#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>

namespace RichTextExport {

namespace {

constexpr int TwipsPerPixel = 15; // at 96 dots per inch
constexpr int HexLineLength = 128;

QImage resourceImage(const QTextDocument &doc, const QString &name)
{
    const QVariant resource = doc.resource(QTextDocument::ImageResource, QUrl(name));
    if (resource.canConvert<QImage>() && resource.typeId() == QMetaType::QImage)
        return resource.value<QImage>();
    if (resource.typeId() == QMetaType::QPixmap)
        return resource.value<QPixmap>().toImage();
    if (resource.typeId() == QMetaType::QByteArray)
        return QImage::fromData(resource.toByteArray());
    return QImage();
}

// Collects fonts and colours while the body is written; the tables go in front of it.
class RtfBuilder {
public:
    explicit RtfBuilder(const QTextDocument &doc)
        : m_doc(doc)
    {
        fontIndex(doc.defaultFont().family());
    }

    QByteArray build(const QColor &background)
    {
        for (QTextBlock block = m_doc.begin(); block.isValid(); block = block.next())
            writeBlock(block);
        QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (int i = 0; i < m_fonts.size(); ++i)
            out += "{\\f" + QByteArray::number(i) + "\\fnil " + escaped(m_fonts.at(i)) + ";}";
        out += "}\n{\\colortbl;";
        for (const QColor &c : std::as_const(m_colors)) {
            out += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) +
                   "\\blue" + QByteArray::number(c.blue()) + ';';
        }
        out += "}\n";
        if (background.isValid()) {
            // The fill colour is a BGR number, as Word writes it.
            const int bgr = background.red() | (background.green() << 8) | (background.blue() << 16);
            out += "{\\*\\background{\\shp{\\*\\shpinst{\\sp{\\sn fillType}{\\sv 0}}{\\sp{\\sn "
                   "fillColor}{\\sv " +
                   QByteArray::number(bgr) + "}}}}}\\viewbksp1\n";
        }
        out += m_body;
        out += "}\n";
        return out;
    }

    static QByteArray escaped(const QString &text)
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
    int colorIndex(const QColor &color)
    {
        const QColor rgb = color.toRgb();
        for (int i = 0; i < m_colors.size(); ++i) {
            if (m_colors.at(i).rgb() == rgb.rgb())
                return i + 1;
        }
        m_colors.append(rgb);
        return int(m_colors.size());
    }

    void writeBlock(const QTextBlock &block)
    {
        const Qt::Alignment align = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        m_body += "\\pard\\plain";
        if (align & Qt::AlignHCenter)
            m_body += "\\qc";
        else if (align & Qt::AlignRight)
            m_body += "\\qr";
        else if (align & Qt::AlignJustify)
            m_body += "\\qj";
        else
            m_body += "\\ql";
        m_body += ' ';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            if (format.hasProperty(TranscriptOnly))
                continue;
            if (format.isImageFormat()) {
                for (int i = 0; i < fragment.length(); ++i)
                    writeImage(format.toImageFormat());
                continue;
            }
            writeRun(format, fragment.text());
        }
        m_body += "\\par\n";
    }

    void writeRun(const QTextCharFormat &format, const QString &text)
    {
        const QFont font = format.font();
        QByteArray run = "{\\f" + QByteArray::number(fontIndex(font.family()));
        double points = font.pointSizeF();
        if (points <= 0 && font.pixelSize() > 0)
            points = font.pixelSize() * 0.75;
        if (points > 0)
            run += "\\fs" + QByteArray::number(qRound(points * 2));
        if (font.bold())
            run += "\\b";
        if (font.italic())
            run += "\\i";
        if (font.underline())
            run += "\\ul";
        if (font.strikeOut())
            run += "\\strike";
        if (format.foreground().style() != Qt::NoBrush)
            run += "\\cf" + QByteArray::number(colorIndex(format.foreground().color()));
        if (format.background().style() != Qt::NoBrush) {
            const QByteArray n = QByteArray::number(colorIndex(format.background().color()));
            run += "\\chcbpat" + n + "\\cb" + n;
        }
        run += ' ';
        run += escaped(text);
        run += '}';
        m_body += run;
    }

    void writeImage(const QTextImageFormat &format)
    {
        const QImage image = resourceImage(m_doc, format.name());
        if (image.isNull())
            return;
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
            return;
        const int shownWidth = format.width() > 0 ? qRound(format.width()) : image.width();
        const int shownHeight = format.height() > 0 ? qRound(format.height()) : image.height();
        m_body += "{\\pict\\pngblip\\picw" + QByteArray::number(image.width()) + "\\pich" +
                  QByteArray::number(image.height()) + "\\picwgoal" +
                  QByteArray::number(shownWidth * TwipsPerPixel) + "\\pichgoal" +
                  QByteArray::number(shownHeight * TwipsPerPixel) + '\n';
        const QByteArray hex = png.toHex();
        for (qsizetype i = 0; i < hex.size(); i += HexLineLength) {
            m_body += hex.mid(i, HexLineLength);
            m_body += '\n';
        }
        m_body += '}';
    }

    const QTextDocument &m_doc;
    QStringList m_fonts;
    QList<QColor> m_colors;
    QByteArray m_body;
};

} // namespace

QByteArray ToRtf(const QTextDocument &doc, const QColor &background)
{
    return RtfBuilder(doc).build(background);
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

QString ToPlainText(const QTextDocument &doc, int lineWidth)
{
    QStringList lines;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QString paragraph;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            if (format.hasProperty(TranscriptOnly))
                continue;
            if (format.isImageFormat()) {
                const QString text = format.toolTip();
                for (int i = 0; !text.isEmpty() && i < fragment.length(); ++i)
                    paragraph += text;
                continue;
            }
            QString text = fragment.text();
            text.remove(QChar::ObjectReplacementCharacter);
            paragraph += text;
        }
        for (const QString &line : paragraph.split(QChar::LineSeparator))
            lines += WrapLine(line, lineWidth);
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace RichTextExport
