#include "talks/ui/TranscriptBatch.h"

#include "talks/ui/RichTextItems.h"

#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>

namespace {

// Open batches of a document, kept on the document so that batches of different owners meet there.
constexpr char OpenBatches[] = "perixOpenBatches";

int openBatches(const QTextDocument *doc)
{
    return doc ? doc->property(OpenBatches).toInt() : 0;
}

// The scroll bar that appears under new lines narrows the view, and everything is laid out again at
// the new width. Lines sure to overflow the view show the bar first, so that they are laid out once;
// the policy goes back afterwards and the bar stays only if the text needs it, as it would anyway.
bool showScrollBarAhead(QTextEdit *transcript)
{
    // The bar sits in a container of the scroll area that is hidden while the text fits.
    if (!transcript->isVisible() || transcript->verticalScrollBarPolicy() != Qt::ScrollBarAsNeeded ||
        transcript->verticalScrollBar()->isVisibleTo(transcript))
        return false;
    const QTextDocument *doc = transcript->document();
    // Every paragraph is at least one line; half a line of the smallest font is a safe floor.
    const qreal least = QFontMetricsF(doc->defaultFont()).height() / 2;
    if (doc->blockCount() * least <= transcript->viewport()->height())
        return false;
    transcript->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return true;
}

} // namespace

TranscriptBatch::~TranscriptBatch()
{
    end();
}

void TranscriptBatch::begin(QTextEdit *transcript)
{
    if (m_open || !transcript)
        return;
    m_transcript = transcript;
    QTextDocument *doc = transcript->document();
    m_cursor = QTextCursor(doc);
    m_cursor.beginEditBlock();
    doc->setProperty(OpenBatches, openBatches(doc) + 1);
    m_startLength = doc->characterCount();
    m_open = true;
}

QTextEdit *TranscriptBatch::transcript() const
{
    return m_transcript;
}

int TranscriptBatch::grownBy() const
{
    return m_open && m_transcript ? m_transcript->document()->characterCount() - m_startLength : 0;
}

void TranscriptBatch::end()
{
    if (!m_open)
        return;
    m_open = false;
    // A transcript that went meanwhile took its document and this cursor's hold on it along.
    QTextDocument *doc = m_transcript ? m_transcript->document() : nullptr;
    const int others = openBatches(doc) - 1;
    if (doc)
        doc->setProperty(OpenBatches, others > 0 ? QVariant(others) : QVariant());
    const bool last = doc && others <= 0;
    const bool barShown = last && showScrollBarAhead(m_transcript);
    m_cursor.endEditBlock();
    m_cursor = QTextCursor();
    if (!last)
        return;
    ShowTranscriptEnd(m_transcript);
    if (barShown)
        m_transcript->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ShowTranscriptEnd(QTextEdit *transcript)
{
    if (!transcript)
        return;
    // Straight to the end: one step per item would grow with the transcript.
    EnsureLayout(transcript->document());
    transcript->verticalScrollBar()->setValue(transcript->verticalScrollBar()->maximum());
}
