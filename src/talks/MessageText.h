#pragma once

#include <QString>

// Message strings for programs that show plain text (the headless peer, scripts).
namespace MessageText {

// The message for a plain-text reader: line breaks as "\n", a picture as "[picture N]", an animation
// as "[animation N]", a file reference as "[file PATH]". A marker that is never closed stays text,
// as the transcript shows it.
QString PlainText(const QString &body);

// Plain text as a message string: every line break becomes the marker the windows expect.
QString FromPlainText(const QString &text);

} // namespace MessageText
