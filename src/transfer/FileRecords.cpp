#include "transfer/FileRecords.h"

int FileRecordList::append(const RLFile &record)
{
    m_records.append(record);
    return int(m_records.size()) - 1;
}

std::optional<RLFile> FileRecordList::at(int index) const
{
    if (index < 0 || index >= m_records.size())
        return std::nullopt;
    return m_records.at(index);
}

QStringList SplitFileInfo(const QString &info)
{
    constexpr int MaxFields = 4;
    const QLatin1StringView separator(FileInfoSeparator);
    QStringList fields;
    QStringView rest(info);
    while (!rest.isEmpty() && rest != separator && fields.size() < MaxFields) {
        if (rest.startsWith(separator)) {
            rest = rest.sliced(separator.size());
            continue;
        }
        const qsizetype next = rest.indexOf(separator);
        if (next < 0) {
            fields.append(rest.toString());
            break;
        }
        fields.append(rest.first(next).toString());
        rest = rest.sliced(next);
    }
    return fields;
}
