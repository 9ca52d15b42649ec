#include "app/ui/MainNotices.h"

#include "app/ui/AfterFirstPaint.h"
#include "features/LngUn.h"
#include "features/ui/ImageList.h"
#include "features/ui/PeerText.h"
#include "features/ui/StatusPanels.h"
#include "features/ui/TrayIcon.h"
#include "protocol/ConstUnit.h"

#include <QPixmap>
#include <QTimer>

#include <utility>

MainNotices::MainNotices(StatusPanels *status, TrayIcon *tray, QWidget *window)
    : QObject(window)
    , m_status(status)
    , m_tray(tray)
    , m_timerHintInformation(new QTimer(this))
{
    // The event notice stays for five seconds after the latest event.
    m_timerHintInformation->setObjectName(QStringLiteral("TimerHintInformation"));
    m_timerHintInformation->setSingleShot(true);
    m_timerHintInformation->setInterval(5000);
    connect(m_timerHintInformation, &QTimer::timeout, this, [this] {
        m_tray->stopAnimation();
        m_status->ClearNotice();
    });
    // Laying out a crowd's arrival lines waits for the window's first frame.
    AfterFirstPaint::run(window, [this] {
        m_windowShown = true;
        if (std::exchange(m_endAfterFirstFrame, false))
            EndBatch();
    });
}

void MainNotices::Notify(const QString &format, const QString &alias, int sheet, int picture,
                         const QString &ip)
{
    // Within a batch only the last notice would be seen: it alone is shown, when the batch ends.
    if (m_batch.isOpen()) {
        m_batchedNotice = {format, alias, sheet, picture, ip};
        return;
    }
    QString name;
    if (!alias.trimmed().isEmpty())
        name = u'[' + PeerText::name(alias) + u']';
    else if (!ip.trimmed().isEmpty())
        name = u'[' + PeerText::name(ip) + u']';
    const QString message = ConstUnit::Format(format, {name});
    m_status->ShowNotice(message, ProfileImages16().pixmap(picture), name, sheet);
    m_tray->startAnimation();
    m_timerHintInformation->start();
    if (!m_balloonWanted || m_balloonWanted())
        m_tray->showBalloon(name, message);
}

void MainNotices::BeginBatch(QTextEdit *allUsersTranscript)
{
    if (allUsersTranscript)
        m_batch.begin(allUsersTranscript);
}

void MainNotices::EndBatch()
{
    if (!m_windowShown) {
        m_endAfterFirstFrame = true;
        return;
    }
    m_batch.end();
    if (const std::optional<BatchedNotice> notice = std::exchange(m_batchedNotice, std::nullopt))
        Notify(notice->format, notice->alias, notice->sheet, notice->picture, notice->ip);
}

void MainNotices::TalkLimitReached(int limit)
{
    const QString text = ConstUnit::Format(
        Lng::Caption(QStringLiteral("TalkLimitText"),
                     QStringLiteral("%s talks are open: new talks from other users are refused until one is "
                                    "closed.")),
        {QString::number(limit)});
    m_status->ShowNotice(text, QPixmap(), QString(), -1);
    m_timerHintInformation->start();
}

void MainNotices::ShowLasting(const QString &text)
{
    m_timerHintInformation->stop();
    m_status->ShowNotice(text, QPixmap(), QString(), -1);
}
