#pragma once

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

class QSystemTrayIcon;
class QTimer;

// The tray icon with its blinking animation and balloon tips. Where the desktop has no tray, no
// system icon is made and every call does nothing, so the main window minimises as usual; so too
// until setUp() has looked for the tray.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int FrameCount = 4;
    static constexpr int AnimationStepMs = 500;
    static constexpr int BalloonTimeoutMs = 10000;

    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // Looks for the desktop's tray and makes the icon, once. Asking for the tray is a round trip to the
    // display or the session bus, which a window makes after its first paint.
    void setUp();

    // Frame "index" of the animation; null outside the frames.
    static QIcon Frame(int index);
    // The frame that follows "frame" in a loop of "count" frames.
    static int NextFrame(int frame, int count);

    bool isAvailable() const { return m_tray != nullptr; }
    // True when minimising should hide the main window into the tray.
    bool minimizesToTray() const { return isAvailable() && m_enabled; }
    bool isEnabled() const { return m_enabled; }
    bool isVisible() const;
    bool isAnimating() const;
    int currentFrame() const { return m_frame; }

    // The menu stays owned by the caller.
    void setMenu(QMenu *pmTrey);
    QMenu *menu() const { return m_menu; }
    // Disabling also hides the icon and stops its animation.
    void setEnabled(bool enabled);
    void minimizedToTray();
    void hideIcon();
    void startAnimation();
    void stopAnimation();
    void showBalloon(const QString &title, const QString &message);

Q_SIGNALS:
    void activated();

private:
    void showFrame(int index);

    QSystemTrayIcon *m_tray = nullptr;
    QTimer *m_animation = nullptr;
    QList<QIcon> m_frames;
    QPointer<QMenu> m_menu;
    int m_frame = 0;
    bool m_enabled = false;
    bool m_setUp = false;
};
