#include "features/RemoteText.h"

namespace RemoteText {

namespace {
constexpr char16_t FirstStrongIsolate = 0x2068;
constexpr char16_t PopDirectionalIsolate = 0x2069;
} // namespace

QString isolate(const QString &name)
{
    if (name.isEmpty())
        return name;
    // A pop inside the name could close our isolate early; one at the end closes whatever the
    // name opened.
    QString inner = name;
    inner.remove(QChar(PopDirectionalIsolate));
    return QChar(FirstStrongIsolate) + inner + QChar(PopDirectionalIsolate);
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString escapedName(const QString &name)
{
    return escaped(isolate(name));
}

} // namespace RemoteText
