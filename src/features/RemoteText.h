#pragma once

#include <QString>

// Text that came from a peer is data. These are the string rules every window applies before
// showing it; the widget helpers of the window libraries build on them.
namespace RemoteText {

// Wraps a name in a first-strong isolate, so that direction controls inside it (an alias holding
// U+202E, say) cannot reorder the text around it.
QString isolate(const QString &name);

// Escaped for a rich-text context (tooltips, HTML views): markup characters become entities.
QString escaped(const QString &text);

// isolate() and then escaped().
QString escapedName(const QString &name);

} // namespace RemoteText
