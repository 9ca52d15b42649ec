#include "protocol/ProtocolClassUn.h"

#include <cstring>
#include <limits>

namespace {

constexpr std::array<TagPair, PacketFieldCount> FieldTags = {
    Tag::Alias,
    Tag::EMail,
    Tag::Field,
    Tag::House,
    Tag::ICQ,
    Tag::Color,
    Tag::ImageIndex,
    Tag::IP,
    Tag::Name,
    Tag::Name2,
    Tag::Old,
    Tag::Sex,
    Tag::Street,
    Tag::Town,
    Tag::WDepartment,
    Tag::WField,
    Tag::WHouse,
    Tag::WName,
    Tag::WPost,
    Tag::WStreet,
    Tag::WTown,
    Tag::WTypeWork,
    Tag::ID,
    Tag::MAC,
    Tag::Interest,
    Tag::MessageStr,
    Tag::FromUserID,
    Tag::GroupID,
    Tag::AutorGroupAliase,
    Tag::AutorGroupID,
    Tag::AutorGroupIP,
    Tag::AutorGroupMAC,
    Tag::GroupName,
    Tag::ClientID,
    Tag::ClientIP,
    Tag::FileName,
    Tag::NomberFile,
    Tag::ServerID,
    Tag::ServerIP,
};

// The name table of the one-pass reader: every field's tag name and the auto-reply marker's,
// in an open-addressing hash table built at compile time.
constexpr quint8 MarkerEntry = PacketFieldCount;
constexpr size_t NameSlots = 128;
constexpr size_t NameSlotMask = NameSlots - 1;

struct NameSlot {
    const char *name = nullptr;
    qsizetype length = 0;
    quint8 entry = 0;
};

constexpr bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

constexpr quint32 nameHashStep(quint32 hash, char c)
{
    return hash * 31 + static_cast<unsigned char>(c);
}

constexpr size_t slotOf(quint32 hash)
{
    return (hash ^ (hash >> 7)) & NameSlotMask;
}

// The name inside "<NAME>": a valid tag is '<', name characters, '>'.
constexpr QByteArrayView tagName(QByteArrayView open)
{
    return open.sliced(1, open.size() - 2);
}

constexpr bool validTagName(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    for (const char c : name) {
        if (!isNameChar(c))
            return false;
    }
    return true;
}

struct NameTable {
    std::array<NameSlot, NameSlots> entries{};
    qsizetype longest = 0;

    constexpr void add(QByteArrayView name, quint8 entry)
    {
        quint32 hash = 0;
        for (const char c : name)
            hash = nameHashStep(hash, c);
        size_t at = slotOf(hash);
        while (entries[at].name)
            at = (at + 1) & NameSlotMask;
        entries[at] = {name.data(), name.size(), entry};
        longest = std::max(longest, name.size());
    }

    const NameSlot *find(const char *name, qsizetype length, quint32 hash) const
    {
        for (size_t at = slotOf(hash); entries[at].name; at = (at + 1) & NameSlotMask) {
            const NameSlot &slot = entries[at];
            if (slot.length == length && std::memcmp(slot.name, name, size_t(length)) == 0)
                return &slot;
        }
        return nullptr;
    }
};

constexpr NameTable buildNameTable()
{
    NameTable table;
    for (size_t i = 0; i < FieldTags.size(); ++i)
        table.add(tagName(FieldTags[i].open), static_cast<quint8>(i));
    table.add(tagName(QByteArrayView(AutoReplyMarker)), MarkerEntry);
    return table;
}

constexpr bool sameBytes(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

constexpr bool tagsFitTheReader()
{
    for (const TagPair &tag : FieldTags) {
        const QByteArrayView name = tagName(tag.open);
        if (tag.open.front() != '<' || tag.open.back() != '>' || !validTagName(name))
            return false;
        if (tag.close.size() != name.size() + 3 || tag.close[0] != '<' || tag.close[1] != '/' ||
            tag.close.back() != '>' || !sameBytes(tag.close.sliced(2, name.size()), name))
            return false;
    }
    return validTagName(tagName(QByteArrayView(AutoReplyMarker)));
}

// The reader relies on tag names that hold no '<' and on closing tags that are "</" name ">";
// any other tag would need the plain search.
static_assert(tagsFitTheReader());
static_assert(2 * (PacketFieldCount + 1) <= NameSlots);

constexpr NameTable Names = buildNameTable();

} // namespace

const TagPair &PacketFieldTag(PacketField field)
{
    return FieldTags[static_cast<size_t>(field)];
}

// Every occurrence of a tag starts with '<', and a recognised tag holds no other '<', so visiting each
// '<' once and skipping whole tags finds every occurrence of every tag in one pass.
PacketFields::PacketFields(QByteArrayView packet)
{
    const char *const begin = packet.data();
    const char *const end = begin + packet.size();
    const char *p = begin;
    while (p < end) {
        p = static_cast<const char *>(std::memchr(p, '<', size_t(end - p)));
        if (!p)
            break;
        const char *const tagAt = p;
        const char *q = p + 1;
        const bool closing = q < end && *q == '/';
        if (closing)
            ++q;
        const char *const name = q;
        const char *const limit = end - name > Names.longest ? name + Names.longest : end;
        quint32 hash = 0;
        while (q < limit && isNameChar(*q)) {
            hash = nameHashStep(hash, *q);
            ++q;
        }
        // Nothing between p and q is a '<', so the search goes on from q.
        if (q == end || *q != '>' || q == name) {
            p = q;
            continue;
        }
        const NameSlot *slot = Names.find(name, q - name, hash);
        p = q + 1;
        if (!slot)
            continue;
        if (slot->entry == MarkerEntry) {
            m_autoReply = m_autoReply || !closing;
            continue;
        }
        Span &span = m_spans[slot->entry];
        if (!closing) {
            if (span.begin < 0)
                span.begin = p - begin;
        } else if (span.begin >= 0 && span.end < 0) {
            span.end = tagAt - begin;
        }
    }
}

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

namespace {

// The integer rule on the raw value: blanks, digits and signs are single ASCII bytes in UTF-8 and
// every other byte reads as some other character, so this agrees with the rule on the decoded text.
bool tryParseIntegerBytes(QByteArrayView text, qint32 *value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= n)
        return false;
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > qint64(std::numeric_limits<qint32>::max()) + 1)
            return false;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<qint32>::max())
        return false;
    *value = static_cast<qint32>(result);
    return true;
}

qint32 integerRuleBytes(QByteArrayView text)
{
    qint32 value = 0;
    return tryParseIntegerBytes(text, &value) ? value : 0;
}

} // namespace

qint32 TDataNewMessage::GetColor() const
{
    return integerRuleBytes(m_fields.Bytes(m_packet, PacketField::Color));
}

// A blank value is no valid integer either, so the picture rule is the integer rule with -1 as 0.
qint32 TDataNewMessage::GetImageIndex() const
{
    const qint32 value = integerRuleBytes(m_fields.Bytes(m_packet, PacketField::ImageIndex));
    return value == -1 ? 0 : value;
}

qint32 TDataNewMessage::GetOld() const
{
    return integerRuleBytes(m_fields.Bytes(m_packet, PacketField::Old));
}

qint32 TDataNewMessage::GetSex() const
{
    return integerRuleBytes(m_fields.Bytes(m_packet, PacketField::Sex));
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
