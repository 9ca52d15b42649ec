#pragma once

#include "talks/MessageBody.h"

class QTextDocument;
struct DecodeContext;

// Between the talks' documents and message bodies: the input editor's content as a body, and a body
// appended to a transcript.
namespace EditorBody {

// The items of the editor's content. A line break stands between two items that start on different
// laid-out lines, so the editor's current width matters. File references name the local user (ID and
// address) as their owner, with size 0; pictures that are not ours are left out.
MessageBody FromEditor(const QTextDocument *editorDocument, const QString &myId, const QString &myIp);

// Appends the items at the context's cursor in the context's one text style; what the context lacks
// (pictures, animations, file records) shows nothing.
void Render(DecodeContext &context, const MessageBody &body);

} // namespace EditorBody
