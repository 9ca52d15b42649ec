#pragma once

#include "talks/Transcript.h"

#include <QString>

#include <functional>

// What decides the items of a received or sent message in a transcript.
struct TranscriptBodyContext {
    QString myId;
    // Whether an animation with that number exists; a missing one shows nothing.
    std::function<bool(int number)> hasAnimation;
};

// The pieces of a received message string (decoded by the message codec) as a transcript places them: text
// (with line feeds and returns kept inside the paragraph as line breaks), paragraph breaks, pictures,
// animations and file references. Malformed elements are consumed and give nothing.
QList<TranscriptMessage::Piece> TranscriptBody(const QString &message, const TranscriptBodyContext &context);
