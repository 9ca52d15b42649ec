#pragma once

#include <QPointer>
#include <QTextCursor>

class QTextEdit;

// Holds one edit open on a transcript while many lines go in, so that the document is laid out once
// for all of them instead of once per inserted piece; at the end the view shows the last line, as
// every single append does.
class TranscriptBatch {
public:
    ~TranscriptBatch();

    void begin(QTextEdit *transcript);
    void end();
    bool isOpen() const { return m_open; }

private:
    QPointer<QTextEdit> m_transcript;
    QTextCursor m_cursor;
    bool m_open = false;
};
