#include "ProtocolClassUn.h"

#include <limits>

QByteArrayView GetTagBytes(QByteArrayView packet, const TagPair &tag)
{
    const qsizetype openAt = packet.indexOf(tag.open);
    if (openAt < 0)
        return {};
    // The closing tag is looked for only from the opening tag on: one that stands
    // before it does not end the value.
    const qsizetype closeAt = packet.indexOf(tag.close, openAt);
    const qsizetype valueAt = openAt + tag.open.size();
    if (closeAt < valueAt)
        return {};
    return packet.sliced(valueAt, closeAt - valueAt);
}

QString GetTagValue(QByteArrayView packet, const TagPair &tag)
{
    return QString::fromUtf8(GetTagBytes(packet, tag));
}

bool TryParseInteger(QStringView text, qint32 *value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i >= n)
        return false;
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(std::numeric_limits<qint32>::max()) + 1)
            return false;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<qint32>::max())
        return false;
    if (value)
        *value = static_cast<qint32>(result);
    return true;
}

qint32 ParseIntegerRule(QStringView text)
{
    qint32 value = 0;
    return TryParseInteger(text, &value) ? value : 0;
}

qint32 ParsePictureNumberRule(QStringView text)
{
    if (text.trimmed().isEmpty())
        return 0;
    const qint32 value = ParseIntegerRule(text);
    return value == -1 ? 0 : value;
}

void SplitUserIDList(const QString &list, QStringList *items)
{
    if (!items)
        return;
    const QLatin1StringView separator(UserIDSeparator);
    QStringView rest(list);
    while (!rest.isEmpty() && rest != separator) {
        if (rest.startsWith(separator)) {
            rest = rest.sliced(separator.size());
            continue;
        }
        const qsizetype next = rest.indexOf(separator);
        if (next < 0) {
            items->append(rest.toString());
            break;
        }
        items->append(rest.first(next).toString());
        rest = rest.sliced(next);
    }
}

void TDataNewMessage::GetUserIDList(QStringList *list) const
{
    SplitUserIDList(GetFromUserID(), list);
}

bool TDataNewMessage::IsUserInList(const QString &id) const
{
    if (id.isEmpty())
        return false;
    return GetFromUserID().contains(id);
}

bool TDataNewMessage::IsAutoReply() const
{
    return m_packet.contains(AutoReplyMarker);
}
