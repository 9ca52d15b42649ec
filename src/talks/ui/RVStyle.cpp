#include "talks/ui/RVStyle.h"

#include "features/ui/WireColor.h"
#include "talks/ui/RichTextItems.h"

#include <QElapsedTimer>
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

RVStyle::RVStyle(QObject *parent)
    : QObject(parent)
{
    const QColor text = WireColorToQColor(WireColors::WindowText);
    m_textStyles = {{QStringLiteral("Normal text"), styleFont(false), text, {}},
                    {QStringLiteral("Header message"), styleFont(true), text, {}}};
    for (int styleNo = 0; styleNo < m_textStyles.size(); ++styleNo)
        m_textStyles[styleNo].format = makeCharFormat(m_textStyles.at(styleNo), styleNo);
    m_paragraphStyles = {{QStringLiteral("Paragraph Style"), Qt::AlignLeft, {}},
                         {QStringLiteral("Centered"), Qt::AlignHCenter, {}}};
    for (int styleNo = 0; styleNo < m_paragraphStyles.size(); ++styleNo) {
        QTextBlockFormat &format = m_paragraphStyles[styleNo].format;
        format.setAlignment(m_paragraphStyles.at(styleNo).alignment);
        format.setProperty(RichProperty::ParagraphStyle, styleNo);
    }
    m_lastUse = {0, 0};
    m_recolourTimer.setSingleShot(true);
    connect(&m_recolourTimer, &QTimer::timeout, this, [this] {
        recolourSlice(RecolourSliceMs);
        if (!m_recolours.isEmpty())
            m_recolourTimer.start(0);
    });
    connect(this, &RVStyle::textStyleChanged, this, &RVStyle::scheduleRecolour);
}

QString RVStyle::textStyleName(int styleNo) const
{
    return styleNo >= 0 && styleNo < m_textStyles.size() ? m_textStyles.at(styleNo).name : QString();
}

QFont RVStyle::textStyleFont(int styleNo) const
{
    return styleNo >= 0 && styleNo < m_textStyles.size() ? m_textStyles.at(styleNo).font : QFont();
}

QColor RVStyle::textStyleColor(int styleNo) const
{
    return styleNo >= 0 && styleNo < m_textStyles.size() ? m_textStyles.at(styleNo).color : QColor(Qt::black);
}

QTextCharFormat RVStyle::charFormat(int styleNo) const
{
    if (styleNo < 0 || styleNo >= m_textStyles.size())
        styleNo = 0;
    return m_textStyles.at(styleNo).format;
}

QTextCharFormat RVStyle::makeCharFormat(const TextStyle &style, int styleNo)
{
    QTextCharFormat format;
    format.setFont(style.font, QTextCharFormat::FontPropertiesAll);
    format.setForeground(style.color);
    format.setProperty(RichProperty::TextStyle, styleNo);
    return format;
}

QString RVStyle::paragraphStyleName(int styleNo) const
{
    return styleNo >= 0 && styleNo < m_paragraphStyles.size() ? m_paragraphStyles.at(styleNo).name
                                                              : QString();
}

QTextBlockFormat RVStyle::paragraphFormat(int styleNo) const
{
    if (styleNo < 0 || styleNo >= m_paragraphStyles.size())
        styleNo = 0;
    return m_paragraphStyles.at(styleNo).format;
}

int RVStyle::addTextStyle(const QString &name, const QFont &font, const QColor &color)
{
    const int styleNo = int(m_textStyles.size());
    TextStyle style{name, font, color, {}};
    // Most styles are a sender's, in the normal font: its format differs from the normal one only in
    // colour and number, and copying it saves setting every font property again.
    if (!m_textStyles.isEmpty() && font == m_textStyles.first().font) {
        style.format = m_textStyles.first().format;
        style.format.setForeground(color);
        style.format.setProperty(RichProperty::TextStyle, styleNo);
    } else {
        style.format = makeCharFormat(style, styleNo);
    }
    m_textStyles.append(style);
    m_lastUse.append(++m_useClock);
    return styleNo;
}

bool RVStyle::setTextStyleColor(int styleNo, const QColor &color)
{
    if (styleNo < 0 || styleNo >= m_textStyles.size())
        return false;
    if (m_textStyles[styleNo].color != color) {
        TextStyle &style = m_textStyles[styleNo];
        style.color = color;
        style.format = makeCharFormat(style, styleNo);
        Q_EMIT textStyleChanged(styleNo);
    }
    return true;
}

int RVStyle::SenderTextStyle(const QString &senderId, qint32 wireColor)
{
    try {
        const QColor color = WireColorToQColor(wireColor);
        if (const auto found = m_senderStyles.constFind(senderId); found != m_senderStyles.cend()) {
            m_lastUse[*found] = ++m_useClock;
            setTextStyleColor(*found, color);
            return *found;
        }
        int styleNo = 0;
        if (m_senderStyles.size() < MaxSenderStyles) {
            styleNo = addTextStyle(senderId, textStyleFont(0), color);
        } else {
            // Earlier text of that sender takes the newcomer's colour: a cosmetic price for a bound.
            styleNo = reuseSenderStyle();
            m_textStyles[styleNo].name = senderId;
            m_lastUse[styleNo] = ++m_useClock;
            setTextStyleColor(styleNo, color);
        }
        m_senderStyles.insert(senderId, styleNo);
        return styleNo;
    } catch (...) {
        return 0;
    }
}

int RVStyle::reuseSenderStyle()
{
    int oldest = -1;
    for (auto it = m_senderStyles.cbegin(); it != m_senderStyles.cend(); ++it) {
        if (oldest < 0 || m_lastUse[*it] < m_lastUse[oldest])
            oldest = *it;
    }
    m_senderStyles.remove(m_textStyles[oldest].name);
    return oldest;
}

void RVStyle::TrackDocument(QTextDocument *doc)
{
    if (!doc)
        return;
    m_documents.removeAll(nullptr);
    m_documents.append(doc);
}

void RVStyle::scheduleRecolour(int styleNo)
{
    m_documents.removeAll(nullptr);
    for (const QPointer<QTextDocument> &doc : std::as_const(m_documents)) {
        bool queued = false;
        for (Recolour &job : m_recolours) {
            if (job.doc == doc && job.styleNo == styleNo) {
                // The pass picks the new colour up from here on; what it has done needs doing again.
                job.again = job.nextBlock > 0;
                queued = true;
            }
        }
        if (!queued)
            m_recolours.append({doc, styleNo, 0, false});
    }
    if (!m_recolours.isEmpty() && !m_recolourTimer.isActive())
        m_recolourTimer.start(0);
}

void RVStyle::recolourSlice(qint64 budgetMs)
{
    QElapsedTimer slice;
    slice.start();
    while (!m_recolours.isEmpty() && (budgetMs < 0 || slice.elapsed() < budgetMs)) {
        Recolour &job = m_recolours.first();
        QTextBlock block = job.doc ? job.doc->findBlockByNumber(job.nextBlock) : QTextBlock();
        const QTextCharFormat format = charFormat(job.styleNo);
        for (int done = 0; block.isValid() && (budgetMs < 0 || slice.elapsed() < budgetMs || done == 0);
             ++done) {
            ApplyTextStyleToBlock(block, job.styleNo, format);
            block = block.next();
            ++job.nextBlock;
        }
        if (block.isValid())
            return;
        if (job.doc && job.again) {
            job.again = false;
            job.nextBlock = 0;
            continue;
        }
        m_recolours.removeFirst();
    }
}

void RVStyle::FlushRecolour()
{
    recolourSlice(-1);
}

void ApplyTextStyleToBlock(const QTextBlock &block, int styleNo, const QTextCharFormat &format)
{
    QList<std::pair<int, int>> ranges;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat current = fragment.charFormat();
        if (current.isImageFormat() || !current.hasProperty(RichProperty::TextStyle) ||
            current.intProperty(RichProperty::TextStyle) != styleNo ||
            current.foreground() == format.foreground())
            continue;
        ranges.append({fragment.position(), fragment.position() + fragment.length()});
    }
    if (ranges.isEmpty())
        return;
    QTextCharFormat colour;
    colour.setForeground(format.foreground());
    QTextCursor cursor(block);
    for (const auto &[start, end] : std::as_const(ranges)) {
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(colour);
    }
}

void ApplyTextStyle(QTextDocument *doc, int styleNo, const QTextCharFormat &format)
{
    if (!doc)
        return;
    QTextCursor edit(doc);
    edit.beginEditBlock();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        ApplyTextStyleToBlock(block, styleNo, format);
    edit.endEditBlock();
}
