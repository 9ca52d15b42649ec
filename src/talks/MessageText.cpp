#include "talks/MessageText.h"

#include "talks/MessageMarkers.h"

#include <QStringView>

#include <iterator>

namespace MessageText {

namespace {

struct Element {
    QLatin1StringView open;
    QLatin1StringView close;
    const char *label;
};

// The text a reference stands for: the path of a file (its last field), the number otherwise.
QString content(const Element &element, QStringView inner)
{
    if (element.open != QLatin1StringView(MessageMarker::ControlFileOpen))
        return inner.trimmed().toString();
    const QLatin1StringView separator(FileInfoSeparator);
    const qsizetype last = inner.lastIndexOf(separator);
    return (last < 0 ? inner : inner.sliced(last + separator.size())).toString();
}

} // namespace

QString PlainText(const QString &body)
{
    using namespace MessageMarker;
    const Element elements[] = {
        {QLatin1StringView(BulletOpen), QLatin1StringView(BulletClose), "picture"},
        {QLatin1StringView(ControlOpen), QLatin1StringView(ControlClose), "animation"},
        {QLatin1StringView(ControlFileOpen), QLatin1StringView(ControlFileClose), "file"},
    };
    const QLatin1StringView lineBreak(LineBreak);
    QString text;
    text.reserve(body.size());
    // Once a close marker is known to be missing, later openings of it are text without a search:
    // a datagram full of openings must not cost a search each.
    bool unclosed[std::size(elements)] = {};
    qsizetype at = 0;
    while (at < body.size()) {
        const QStringView rest = QStringView(body).sliced(at);
        if (rest.startsWith(lineBreak)) {
            text += u'\n';
            at += lineBreak.size();
            continue;
        }
        bool matched = false;
        for (size_t e = 0; e < std::size(elements); ++e) {
            const Element &element = elements[e];
            if (unclosed[e] || !rest.startsWith(element.open))
                continue;
            const qsizetype close = rest.indexOf(element.close, element.open.size());
            if (close < 0) {
                unclosed[e] = true;
                break;
            }
            const QStringView inner = rest.sliced(element.open.size(), close - element.open.size());
            text += u'[' + QLatin1StringView(element.label) + u' ' + content(element, inner) + u']';
            at += close + element.close.size();
            matched = true;
            break;
        }
        if (!matched) {
            text += body.at(at);
            ++at;
        }
    }
    return text;
}

QString FromPlainText(const QString &text)
{
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return normal.replace(u'\n', QLatin1StringView(MessageMarker::LineBreak));
}

} // namespace MessageText
