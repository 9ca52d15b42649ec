#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QTextFormat>

class QTextDocument;

// The two forms in which a transcript is kept: RTF (Qt has no RTF writer of its own) and plain text.
namespace RichTextExport {

// Text and pictures carrying this property belong to the transcript on the screen alone (the state of
// an own message, say): neither form of the history gets them.
inline constexpr int TranscriptOnly = QTextFormat::UserProperty + 30;

// The whole document as RTF: paragraphs with their alignment, fonts, sizes, bold, italic,
// underline, text and background colours, and every inline picture (animations as their current
// frame) embedded as PNG. A valid background becomes the document's background.
QByteArray ToRtf(const QTextDocument &doc, const QColor &background = QColor());

// The text of the document, one line per paragraph and manual line break, lines longer than
// lineWidth wrapped at the last blank before it (or cut where there is none). Pictures have no
// text; a picture with a tooltip (a file reference) stands as that text.
QString ToPlainText(const QTextDocument &doc, int lineWidth);

// Wraps one line; exposed for the tests.
QStringList WrapLine(const QString &line, int lineWidth);

} // namespace RichTextExport
