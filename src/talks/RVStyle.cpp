#include "RVStyle.h"

#include "RichTextItems.h"
#include "WireColor.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

namespace {

QFont styleFont(bool bold)
{
    QFont font(QStringLiteral("Arial"), 10);
    font.setBold(bold);
    return font;
}

} // namespace

TRVStyle::TRVStyle(QObject *parent)
    : QObject(parent)
{
    const QColor text = WireColorToQColor(WireColors::WindowText);
    m_textStyles = {{QStringLiteral("Normal text"), styleFont(false), text},
                    {QStringLiteral("Header message"), styleFont(true), text}};
    m_paragraphStyles = {{QStringLiteral("Paragraph Style"), Qt::AlignLeft},
                         {QStringLiteral("Centered"), Qt::AlignHCenter}};
}

QString TRVStyle::textStyleName(int styleNo) const
{
    return styleNo >= 0 && styleNo < m_textStyles.size() ? m_textStyles.at(styleNo).name : QString();
}

QFont TRVStyle::textStyleFont(int styleNo) const
{
    return styleNo >= 0 && styleNo < m_textStyles.size() ? m_textStyles.at(styleNo).font : QFont();
}

QColor TRVStyle::textStyleColor(int styleNo) const
{
    return styleNo >= 0 && styleNo < m_textStyles.size() ? m_textStyles.at(styleNo).color : QColor(Qt::black);
}

QTextCharFormat TRVStyle::charFormat(int styleNo) const
{
    if (styleNo < 0 || styleNo >= m_textStyles.size())
        styleNo = 0;
    const TextStyle &style = m_textStyles.at(styleNo);
    QTextCharFormat format;
    format.setFont(style.font, QTextCharFormat::FontPropertiesAll);
    format.setForeground(style.color);
    format.setProperty(RichProperty::TextStyle, styleNo);
    return format;
}

QString TRVStyle::paragraphStyleName(int styleNo) const
{
    return styleNo >= 0 && styleNo < m_paragraphStyles.size() ? m_paragraphStyles.at(styleNo).name
                                                              : QString();
}

QTextBlockFormat TRVStyle::paragraphFormat(int styleNo) const
{
    if (styleNo < 0 || styleNo >= m_paragraphStyles.size())
        styleNo = 0;
    QTextBlockFormat format;
    format.setAlignment(m_paragraphStyles.at(styleNo).alignment);
    format.setProperty(RichProperty::ParagraphStyle, styleNo);
    return format;
}

int TRVStyle::addTextStyle(const QString &name, const QFont &font, const QColor &color)
{
    m_textStyles.append({name, font, color});
    return int(m_textStyles.size()) - 1;
}

bool TRVStyle::setTextStyleColor(int styleNo, const QColor &color)
{
    if (styleNo < 0 || styleNo >= m_textStyles.size())
        return false;
    if (m_textStyles[styleNo].color != color) {
        m_textStyles[styleNo].color = color;
        Q_EMIT textStyleChanged(styleNo);
    }
    return true;
}

int TRVStyle::SenderTextStyle(const QString &senderId, qint32 wireColor)
{
    try {
        const QColor color = WireColorToQColor(wireColor);
        for (int i = 0; i < m_textStyles.size(); ++i) {
            if (m_textStyles.at(i).name == senderId) {
                setTextStyleColor(i, color);
                return i;
            }
        }
        return addTextStyle(senderId, textStyleFont(0), color);
    } catch (...) {
        return 0;
    }
}

void TRVStyle::TrackDocument(QTextDocument *doc)
{
    if (!doc)
        return;
    connect(this, &TRVStyle::textStyleChanged, doc,
            [this, doc](int styleNo) { ApplyTextStyle(doc, styleNo, charFormat(styleNo)); });
}

void ApplyTextStyle(QTextDocument *doc, int styleNo, const QTextCharFormat &format)
{
    if (!doc)
        return;
    // Collect first: changing formats while walking the fragments would invalidate the walk.
    // Neighbouring fragments of the style become one range, so each stretch is changed once.
    QList<std::pair<int, int>> ranges;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat current = fragment.charFormat();
            if (current.isImageFormat() || !current.hasProperty(RichProperty::TextStyle) ||
                current.intProperty(RichProperty::TextStyle) != styleNo)
                continue;
            const int start = fragment.position();
            const int end = start + fragment.length();
            if (!ranges.isEmpty() && ranges.last().second == start)
                ranges.last().second = end;
            else
                ranges.append({start, end});
        }
    }
    if (ranges.isEmpty())
        return;
    QTextCharFormat colour;
    colour.setForeground(format.foreground());
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    for (const auto &[start, end] : std::as_const(ranges)) {
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(colour);
    }
    cursor.endEditBlock();
}
