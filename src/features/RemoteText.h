#pragma once

#include <QString>

// Text that came from a peer is data. These are the string rules every window applies before
// showing it; the widget helpers of the window libraries build on them.
namespace RemoteText {

// Wraps a name in a first-strong isolate, so that direction controls inside it (an alias holding
// U+202E, say) cannot reorder the text around it.
QString isolate(const QString &name);

// True when the text holds something that can change the order of characters around it:
// right-to-left letters, Arabic-Indic digits or direction controls.
bool mayReorder(QStringView text);

// The name as isolate() gives it where the text around it (`around`, placeholders included) or the
// name may reorder; as it is where neither can: every character then stays in its place with or
// without the isolate, and each isolate costs the text layout runs of their own.
QString isolateIn(const QString &name, QStringView around);

// Escaped for a rich-text context (tooltips, HTML views): markup characters become entities.
QString escaped(const QString &text);

// isolate() and then escaped().
QString escapedName(const QString &name);

} // namespace RemoteText
