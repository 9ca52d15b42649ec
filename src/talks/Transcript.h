#pragma once

#include "features/MoodRules.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// One item of a transcript paragraph.
// The small fields come first: a history keeps one per item of every message it holds.
struct TranscriptItem {
    enum class Kind : quint8 { Text, Picture, Animation, File };
    Kind kind = Kind::Text;
    bool header = false; // Text: the bold header style; else the style of the sender
    bool own = false;    // File: the reference names the local user as owner (and, for the look, the
                         // file is one the user offers)
    int number = -1;     // Picture: its index in the picture list; Animation: its number
    QString text;        // Text: the text; File: the path
    QString senderId;    // Text: whose colour the text takes
};

using TranscriptParagraph = QList<TranscriptItem>;

// A message as the transcript shows it: the sender's picture (when shown), the header line and the
// body. A body piece that is a paragraph break starts a new paragraph.
struct TranscriptMessage {
    QString senderId;
    int picture = -1; // -1: no picture in front of the header
    QString header;   // "[name]" with the IP and the time as shown
    struct Piece {
        bool paragraphBreak = false;
        TranscriptItem item;
    };
    QList<Piece> body;
};

// A talk's transcript as data: paragraphs of items, laid out as the window's transcript lays them
// out, so that the history can be written from it without any window. Each message is kept packed
// and its paragraphs are made again when they are asked for (the history is written).
class Transcript {
public:
    bool isEmpty() const { return m_messages.isEmpty(); }
    // Paragraphs, as the on-screen transcript counts its blocks.
    int paragraphCount() const { return m_paragraphCount; }
    QList<TranscriptParagraph> paragraphs() const;
    void clear();

    // beforeAnimation runs before each animation is placed: the place to trim every transcript.
    void append(const TranscriptMessage &message, const std::function<void()> &beforeAnimation = {});
    // Removes the oldest animations so that at most `keep` stay.
    void trimAnimations(int keep = MoodRules::KeptTranscriptAnimations);

private:
    struct KeptMessage {
        QString senderId;
        QString header;
        QByteArray paragraphs;
    };

    QList<KeptMessage> m_messages;
    int m_paragraphCount = 1;
    // Animations kept, and how many of the oldest were trimmed away.
    int m_animations = 0;
    int m_trimmedAnimations = 0;
};
