#include "features/ui/TrayIcon.h"

#include "features/ui/PeerText.h"

#include "features/ui/ImageList.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>

TrayIcon::TrayIcon(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("CoolTrayIcon"));
}

void TrayIcon::setUp()
{
    if (std::exchange(m_setUp, true) || !QSystemTrayIcon::isSystemTrayAvailable())
        return;

    for (int i = 0; i < FrameCount; ++i)
        m_frames.append(Frame(i));
    m_tray = new QSystemTrayIcon(m_frames.first(), this);
    m_tray->setToolTip(QStringLiteral("Perix Chat"));
    if (m_menu)
        m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Q_EMIT activated();
    });

    m_animation = new QTimer(this);
    m_animation->setInterval(AnimationStepMs);
    connect(m_animation, &QTimer::timeout, this, [this] { showFrame(NextFrame(m_frame, FrameCount)); });
}

TrayIcon::~TrayIcon()
{
    hideIcon();
}

QIcon TrayIcon::Frame(int index)
{
    if (index < 0 || index >= FrameCount)
        return {};
    InitPictureResources();
    const QString path = QStringLiteral(":/tray/%1.png").arg(index);
    QIcon icon(path);
    // A larger picture of the same frame, for trays that draw bigger icons.
    icon.addFile(QStringLiteral(":/tray/32/%1.png").arg(index));
    return icon;
}

int TrayIcon::NextFrame(int frame, int count)
{
    if (count <= 0)
        return 0;
    return (frame + 1) % count;
}

bool TrayIcon::isVisible() const
{
    return m_tray && m_tray->isVisible();
}

bool TrayIcon::isAnimating() const
{
    return m_animation && m_animation->isActive();
}

void TrayIcon::setMenu(QMenu *pmTrey)
{
    m_menu = pmTrey;
    if (m_tray)
        m_tray->setContextMenu(pmTrey);
}

void TrayIcon::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled) {
        stopAnimation();
        hideIcon();
    }
}

void TrayIcon::minimizedToTray()
{
    if (minimizesToTray())
        m_tray->show();
}

void TrayIcon::hideIcon()
{
    if (m_tray)
        m_tray->hide();
}

void TrayIcon::startAnimation()
{
    if (m_animation && !m_animation->isActive())
        m_animation->start();
}

void TrayIcon::stopAnimation()
{
    if (!m_animation)
        return;
    m_animation->stop();
    showFrame(0);
}

void TrayIcon::showBalloon(const QString &title, const QString &message)
{
    if (m_tray)
        m_tray->showMessage(PeerText::toolTip(title), PeerText::toolTip(message),
                            QSystemTrayIcon::Information, BalloonTimeoutMs);
}

void TrayIcon::showFrame(int index)
{
    if (!m_tray || index < 0 || index >= m_frames.size())
        return;
    m_frame = index;
    m_tray->setIcon(m_frames.at(index));
}
