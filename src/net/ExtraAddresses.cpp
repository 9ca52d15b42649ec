#include "net/ExtraAddresses.h"

#include <QStringList>

QHostAddress ParseDottedQuad(const QString &text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return {};
    quint32 ip = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return {};
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return {};
        }
        const uint value = part.toUInt();
        if (value > 255)
            return {};
        ip = (ip << 8) | value;
    }
    return QHostAddress(ip);
}

ExtraAddressLines ParseExtraAddresses(const QString &text)
{
    ExtraAddressLines result;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const int number = int(i) + 1;
        const QHostAddress address = ParseDottedQuad(line);
        if (address.isNull()) {
            result.problems.append({number, line, ExtraAddressLines::Problem::NotAnAddress});
            continue;
        }
        const quint32 ip = address.toIPv4Address();
        const bool limitedBroadcast = ip == 0xFFFFFFFFu;
        if ((ip >> 24) == 0 || (!limitedBroadcast && (ip >> 28) >= 0xE)) {
            result.problems.append({number, line, ExtraAddressLines::Problem::NotUsable});
            continue;
        }
        if (result.addresses.contains(address))
            continue;
        if (result.addresses.size() >= ExtraAddressLines::MaxAddresses) {
            result.problems.append({number, line, ExtraAddressLines::Problem::TooMany});
            continue;
        }
        result.addresses.append(address);
    }
    return result;
}
