#pragma once

#include "talks/MessageBody.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// The message string of a body and back. Pure: no document, no pictures, no files.
namespace MessageCodec {

// The string the peers receive. Text is not escaped (a marker typed as text becomes the item at the
// receiver); text styles are not sent; one leading line break is dropped, then a trailing one when it
// is the only one left (an editor's empty first or last line).
QString Encode(const MessageBody &body);

// The items of a received string in order, as a transcript shows them. A line break is "\n\r"; a lone
// "\n" or "\r" stays in the text. An element whose number is not a number gives no item; one without
// its closing marker is consumed up to where that marker would have ended, and gives no item (a file
// reference gives an empty one). Linear in the length of the string; never throws.
MessageBody Decode(QStringView message);

// The leading and trailing line breaks the encoder removes (see Encode).
QString TrimLineBreaks(const QString &text);

// The fields of a file reference (owner ID, owner IP, size, path): empty fields are skipped, at most
// four are read.
QStringList SplitFileInfo(QStringView info);

} // namespace MessageCodec
