#include "transfer/FileReferences.h"

#include "protocol/ProtocolClassUn.h"
#include "talks/MessageMarkers.h"

namespace {

using namespace MessageMarker;

constexpr QLatin1StringView marker(const char *text)
{
    return QLatin1StringView(text);
}

// Where a closing marker next occurs. Positions only grow, so a search is never repeated over the
// same text: unclosed markers by the thousand cost one pass, not one pass each.
class NextClose {
public:
    explicit NextClose(QLatin1StringView text)
        : m_text(text)
    {}

    qsizetype find(const QString &string, qsizetype from)
    {
        if (m_at == NotThere)
            return -1;
        if (m_at < from) {
            m_at = string.indexOf(m_text, from);
            if (m_at < 0) {
                m_at = NotThere;
                return -1;
            }
        }
        return m_at;
    }
    QLatin1StringView text() const { return m_text; }

private:
    static constexpr qsizetype NotThere = -2;
    QLatin1StringView m_text;
    qsizetype m_at = -1;
};

// Moves `at` behind the element that opens there, as the transcript does: to behind its closing
// marker, or, without one, as far as a closing marker would have reached. The text between.
QStringView element(const QString &message, qsizetype &at, QLatin1StringView open, NextClose &next)
{
    const QLatin1StringView close = next.text();
    const qsizetype start = at + open.size();
    const qsizetype end = next.find(message, start);
    if (end < 0) {
        at = qMin(message.size(), start + close.size());
        return {};
    }
    at = end + close.size();
    return QStringView(message).sliced(start, end - start);
}

RLFile recordOf(QStringView info)
{
    const QStringList fields = SplitFileInfo(info.toString());
    RLFile record;
    record.OwnerID = fields.value(0);
    record.OwnerIP = fields.value(1);
    record.SizeKB = ParseIntegerRule(fields.value(2));
    record.Path = fields.value(3);
    return record;
}

} // namespace

QList<RLFile> ScanFileReferences(const QString &message)
{
    QList<RLFile> found;
    NextClose bulletClose(marker(BulletClose));
    NextClose controlClose(marker(ControlClose));
    NextClose fileClose(marker(ControlFileClose));
    const qsizetype size = message.size();
    qsizetype at = 0;
    while (at < size) {
        const QChar c = message.at(at);
        if (c != u'\n' && c != u'{') {
            ++at;
            continue;
        }
        const QStringView rest = QStringView(message).sliced(at);
        if (rest.startsWith(marker(LineBreak)))
            at += 2;
        else if (rest.startsWith(marker(BulletOpen)))
            element(message, at, marker(BulletOpen), bulletClose);
        else if (rest.startsWith(marker(ControlOpen)))
            element(message, at, marker(ControlOpen), controlClose);
        else if (rest.startsWith(marker(ControlFileOpen)))
            found.append(recordOf(element(message, at, marker(ControlFileOpen), fileClose)));
        else
            ++at;
    }
    return found;
}

QString FileReferenceText(const QString &myId, const QString &myIp, const QString &path)
{
    const QLatin1StringView separator(FileInfoSeparator);
    return marker(ControlFileOpen) + separator + myId + separator + myIp + separator + u'0' + separator +
           path + marker(ControlFileClose);
}
