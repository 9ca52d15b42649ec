#pragma once

#include "talks/ui/TranscriptBatch.h"

#include <QObject>

#include <memory>
#include <vector>

class QTextEdit;

// Lines that arrive in one slice of packet handling go into their transcript under one edit: under a
// stream of messages the document is laid out, and the view taken to its end, once per slice (or per
// few thousand characters) instead of once per message. The edit ends before the slice returns to
// the event loop, and before anything else can look at the transcript: an event for it (a paint, the
// mouse, a nested event loop's dialog), a clear, a talk that closes.
class TranscriptTail : public QObject {
public:
    // Characters held before the edit ends within the slice, so that a slice's time limit still sees
    // the layout work of what it handled.
    static constexpr int MaxHeldCharacters = 4096;

    explicit TranscriptTail(QObject *parent = nullptr);
    ~TranscriptTail() override;

    // A slice of handling begins and ends; slices may nest.
    void beginTurn();
    void endTurn();
    // Within a slice, opens the transcript's edit (once) and returns true; outside, false: the caller
    // lays out at once.
    bool hold(QTextEdit *transcript);
    // A line went into a held transcript: the edit ends early once it holds enough.
    void added(QTextEdit *transcript);
    // Ends every open edit now.
    void release();
    bool isHolding() const { return !m_batches.empty(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void releaseOne(QTextEdit *transcript);

    std::vector<std::unique_ptr<TranscriptBatch>> m_batches;
    int m_turns = 0;
};
