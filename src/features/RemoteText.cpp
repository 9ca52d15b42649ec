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

bool mayReorder(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirPDF:
        case QChar::DirLRI:
        case QChar::DirRLI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

QString isolateIn(const QString &name, QStringView around)
{
    return mayReorder(name) || mayReorder(around) ? isolate(name) : name;
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
