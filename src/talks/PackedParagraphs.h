#pragma once

#include "talks/Transcript.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A message's paragraphs packed into one byte array, as a history keeps them: it holds thousands of
// messages for as long as their talk is open, and items of their own with UTF-16 text cost about
// twice as much. Text in Latin-1 takes a byte a character, any other text its UTF-16 code units
// (lone surrogates included), so unpacking gives back exactly what was packed. Text items take the
// message's sender; text equal to the message's header is kept once, by the message.
class PackedParagraphs {
public:
    static QByteArray pack(const QList<TranscriptParagraph> &paragraphs, const QString &header);

    // Appends the paragraphs to `out`. The first `skipAnimations` animation items are left out, and
    // the count goes down by those left out: the oldest animations of a transcript are gone.
    static void unpack(const QByteArray &packed, const QString &senderId, const QString &header,
                       QList<TranscriptParagraph> &out, int &skipAnimations);
};
