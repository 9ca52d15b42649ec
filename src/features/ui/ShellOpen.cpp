#include "features/ui/ShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {
struct Recorder {
    bool active = false;
    QStringList opened;
};

Recorder &recorder()
{
    static Recorder r;
    return r;
}
} // namespace

bool ShellOpen::open(const QString &target)
{
    if (target.isEmpty())
        return false;
    if (recorder().active) {
        recorder().opened.append(target);
        return true;
    }
    const bool isLocal = QFileInfo::exists(target);
    const QUrl url = isLocal ? QUrl::fromLocalFile(target) : QUrl(target, QUrl::TolerantMode);
    return url.isValid() && QDesktopServices::openUrl(url);
}

void ShellOpen::setRecording(bool recording)
{
    recorder().active = recording;
}

QStringList ShellOpen::opened()
{
    return recorder().opened;
}

void ShellOpen::clearOpened()
{
    recorder().opened.clear();
}
