#pragma once

#include "talks/MessageBody.h"
#include "talks/MessageMarkers.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTextCursor>

#include <QList>

class QTextDocument;
class FileRecordList;
class ImageList;
class RVStyle;

// What the decoder needs of the animations. Null in the decode context means there are none, and
// an animation reference then decodes to nothing.
class AnimationCatalogue {
public:
    virtual ~AnimationCatalogue();
    virtual bool hasAnimation(int number) const = 0;
    virtual QImage animationFrame(int number) const = 0;

    // Called before each decoded animation is placed: the place to remove older animations from the
    // transcripts, so that only the newest few keep running.
    virtual void trimAnimations() {}
    // Called after the placeholder of an animation was inserted at the position, so that a player
    // can take it over.
    virtual void animationInserted(QTextDocument *doc, int position, int number)
    {
        Q_UNUSED(doc);
        Q_UNUSED(position);
        Q_UNUSED(number);
    }
};

struct DecodeContext {
    QTextCursor cursor; // where the items go, normally the end of the transcript; moved along
    int textStyle = 0;  // the one style of all text of the message
    const RVStyle *style = nullptr;
    const ImageList *pictures = nullptr;      // the 32x32 picture list; null shows no pictures
    const FileRecordList *fileRecords = nullptr; // null: file references produce nothing
    // The records the peer made of the message's file references when it arrived, in their order;
    // a reference without one shows nothing.
    QList<int> fileRecordIndexes;
    AnimationCatalogue *animations = nullptr; // null: animation references produce nothing
};

// Removes one leading line break, then a trailing one when it is the only one left.
QString TrimLineBreaks(const QString &text);

// The message string of an input editor's content. A line break stands between two items that start
// on different laid-out lines, so the editor's current width matters. Empty on any failure.
QString EncodeMessageText(QTextDocument *editorDocument, const QString &myId, const QString &myIp);

// Appends the items of a message string at the context's cursor. Malformed elements are consumed
// and show nothing; never throws.
void DecodeMessageText(DecodeContext &context, const QString &message);
// Appends the items of a decoded message at the context's cursor, in one edit block.
void RenderMessageBody(DecodeContext &context, const MessageBody &body);

// The icon of a received file reference: the shell's icon when the file is mine and exists here,
// else the stock file icon.
QImage FileReferenceIcon(const QString &path, bool isOwn);
