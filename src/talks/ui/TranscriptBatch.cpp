#include "talks/ui/TranscriptBatch.h"

#include "talks/ui/RichTextItems.h"

#include <QScrollBar>
#include <QTextEdit>

TranscriptBatch::~TranscriptBatch()
{
    end();
}

void TranscriptBatch::begin(QTextEdit *transcript)
{
    if (m_open || !transcript)
        return;
    m_transcript = transcript;
    m_cursor = QTextCursor(transcript->document());
    m_cursor.beginEditBlock();
    m_open = true;
}

void TranscriptBatch::end()
{
    if (!m_open)
        return;
    m_open = false;
    // A transcript that went meanwhile took its document and this cursor's hold on it along.
    m_cursor.endEditBlock();
    m_cursor = QTextCursor();
    if (!m_transcript)
        return;
    EnsureLayout(m_transcript->document());
    m_transcript->verticalScrollBar()->setValue(m_transcript->verticalScrollBar()->maximum());
}
