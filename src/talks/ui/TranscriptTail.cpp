#include "talks/ui/TranscriptTail.h"

#include <QTextEdit>

#include <algorithm>
#include <utility>

TranscriptTail::TranscriptTail(QObject *parent)
    : QObject(parent)
{}

TranscriptTail::~TranscriptTail()
{
    release();
}

void TranscriptTail::beginTurn()
{
    ++m_turns;
}

void TranscriptTail::endTurn()
{
    if (m_turns > 0 && --m_turns == 0)
        release();
}

bool TranscriptTail::hold(QTextEdit *transcript)
{
    if (m_turns == 0 || !transcript)
        return false;
    const auto held = std::find_if(m_batches.begin(), m_batches.end(), [transcript](const auto &batch) {
        return batch->transcript() == transcript;
    });
    if (held != m_batches.end())
        return true;
    auto batch = std::make_unique<TranscriptBatch>();
    batch->begin(transcript);
    // Whatever reaches the transcript or its view first sees it laid out.
    transcript->installEventFilter(this);
    transcript->viewport()->installEventFilter(this);
    m_batches.push_back(std::move(batch));
    return true;
}

void TranscriptTail::added(QTextEdit *transcript)
{
    for (const auto &batch : m_batches) {
        if (batch->transcript() == transcript && batch->grownBy() >= MaxHeldCharacters) {
            releaseOne(transcript);
            return;
        }
    }
}

void TranscriptTail::releaseOne(QTextEdit *transcript)
{
    const auto held = std::find_if(m_batches.begin(), m_batches.end(), [transcript](const auto &batch) {
        return batch->transcript() == transcript;
    });
    if (held == m_batches.end())
        return;
    std::unique_ptr<TranscriptBatch> batch = std::move(*held);
    m_batches.erase(held);
    transcript->removeEventFilter(this);
    transcript->viewport()->removeEventFilter(this);
    batch->end();
}

void TranscriptTail::release()
{
    // Ending a batch lays out and scrolls; nothing it sets off may find a batch half ended.
    auto batches = std::exchange(m_batches, {});
    for (const auto &batch : batches) {
        if (QTextEdit *transcript = batch->transcript()) {
            transcript->removeEventFilter(this);
            transcript->viewport()->removeEventFilter(this);
        }
    }
    for (const auto &batch : batches)
        batch->end();
}

bool TranscriptTail::eventFilter(QObject *watched, QEvent *event)
{
    Q_UNUSED(event);
    for (const auto &batch : m_batches) {
        QTextEdit *transcript = batch->transcript();
        if (transcript && (watched == transcript || watched == transcript->viewport())) {
            releaseOne(transcript);
            break;
        }
    }
    return false;
}
