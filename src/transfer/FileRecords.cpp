#include "transfer/FileRecords.h"

#include "talks/MessageCodec.h"

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
    return MessageCodec::SplitFileInfo(info);
}
