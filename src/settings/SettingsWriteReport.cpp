#include "settings/SettingsWriteReport.h"

SettingsWriteReport &SettingsWriteReport::instance()
{
    static SettingsWriteReport report;
    return report;
}

void SettingsWriteReport::record(const QString &location, bool written)
{
    if (written) {
        m_failing.remove(location);
        return;
    }
    if (m_failing.contains(location))
        return;
    m_failing.insert(location);
    Q_EMIT writeFailed(location);
}
