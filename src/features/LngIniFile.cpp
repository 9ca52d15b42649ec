#include "features/LngIniFile.h"

#include <QFile>
#include <QStringView>

#include <array>

namespace {

// Bytes 0x80 to 0xBF of Windows-1251; 0xC0 to 0xFF are U+0410 to U+044F in order. 0x98 is unassigned.
constexpr std::array<char16_t, 64> Cp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r';
}

// The blanks the profile reader drops around names and values; other spaces are text.
QStringView trimBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

QString cutValue(QStringView value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    if (value.size() > LngIniFile::MaxValueLength) {
        qsizetype length = LngIniFile::MaxValueLength;
        // Never keep half of a surrogate pair.
        if (value[length - 1].isHighSurrogate())
            --length;
        value = value.first(length);
    }
    return value.toString();
}

} // namespace

bool LngIniFile::isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            if (b == 0xE0)
                low = 0xA0; // overlong
            else if (b == 0xED)
                high = 0x9F; // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            if (b == 0xF0)
                low = 0x90; // overlong
            else if (b == 0xF4)
                high = 0x8F; // above U+10FFFF
        } else {
            return false;
        }
        if (n - i <= extra)
            return false;
        if (p[i + 1] < low || p[i + 1] > high)
            return false;
        for (int k = 2; k <= extra; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        }
        i += extra + 1;
    }
    return true;
}

QString LngIniFile::fromWindows1251(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            *out++ = QChar(b);
        else if (b < 0xC0)
            *out++ = QChar(Cp1251High[b - 0x80]);
        else
            *out++ = QChar(char16_t(0x0410 + (b - 0xC0)));
    }
    return text;
}

QString LngIniFile::decode(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // Windows' own editors save "Unicode" INI files as UTF-16 with a mark; the profile reader takes them.
        const bool little = bytes.startsWith("\xFF\xFE");
        QString text;
        text.reserve(bytes.size() / 2);
        for (qsizetype i = 2; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]);
            const auto b = static_cast<unsigned char>(bytes[i + 1]);
            text.append(QChar(char16_t(little ? (b << 8 | a) : (a << 8 | b))));
        }
        return text;
    }
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return fromWindows1251(bytes);
}

LngIniFile LngIniFile::fromBytes(QByteArrayView bytes)
{
    return fromText(decode(bytes));
}

LngIniFile LngIniFile::fromText(const QString &text)
{
    LngIniFile file;
    QHash<QString, QString> *section = nullptr;
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos <= size) {
        // Lines end with LF, CR LF or a lone CR.
        qsizetype end = pos;
        while (end < size && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QStringView line = trimBlanks(QStringView(text).sliced(pos, end - pos));
        pos = end + 1;
        if (end < size && text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n')
            ++pos;

        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[') {
            const qsizetype close = line.lastIndexOf(u']');
            if (close < 0)
                continue;
            const QString name = trimBlanks(line.sliced(1, close - 1)).toString();
            const QString folded = key(name);
            if (!file.m_sections.contains(folded))
                file.m_sectionNames.append(name);
            section = &file.m_sections[folded];
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!section || equals < 0)
            continue;
        const QStringView name = trimBlanks(line.first(equals));
        if (name.isEmpty())
            continue;
        // The first text of a name counts, also when a section is repeated further down.
        const QString folded = key(name.toString());
        if (!section->contains(folded))
            section->insert(folded, cutValue(trimBlanks(line.sliced(equals + 1))));
    }
    return file;
}

LngIniFile LngIniFile::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(MaxFileSize + 1);
    if (bytes.size() > MaxFileSize)
        return {};
    return fromBytes(bytes);
}

bool LngIniFile::hasSection(const QString &section) const
{
    return m_sections.contains(key(section));
}

std::optional<QString> LngIniFile::value(const QString &section, const QString &name) const
{
    const auto s = m_sections.constFind(key(section));
    if (s == m_sections.constEnd())
        return std::nullopt;
    const auto v = s->constFind(key(name));
    if (v == s->constEnd())
        return std::nullopt;
    return *v;
}

QString LngIniFile::value(const QString &section, const QString &name, const QString &defaultText) const
{
    return value(section, name).value_or(defaultText);
}
