#pragma once

#include <QPointer>
#include <QTextCursor>

class QTextEdit;

// Holds one edit open on a transcript while many lines go in, so that the document is laid out once
// for all of them instead of once per inserted piece; at the end the view shows the last line, as
// every single append does. Batches on the same transcript may overlap: the last one to end lays out.
class TranscriptBatch {
public:
    TranscriptBatch() = default;
    TranscriptBatch(const TranscriptBatch &) = delete;
    TranscriptBatch &operator=(const TranscriptBatch &) = delete;
    ~TranscriptBatch();

    void begin(QTextEdit *transcript);
    void end();
    bool isOpen() const { return m_open; }
    QTextEdit *transcript() const;
    // Characters the document grew by since the batch began.
    int grownBy() const;

private:
    QPointer<QTextEdit> m_transcript;
    QTextCursor m_cursor;
    int m_startLength = 0;
    bool m_open = false;
};

// Lays the transcript out and shows its end, as after every single append.
void ShowTranscriptEnd(QTextEdit *transcript);
