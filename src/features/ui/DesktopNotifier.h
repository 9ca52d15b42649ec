#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>

// Desktop notifications through the freedesktop notification service on the session bus. One
// notification per key (a talk): a newer one replaces it. Every call is asynchronous and bounded, so
// that a missing bus or a silent service costs nothing; until the service has answered, or when
// there is none, isAvailable() is false and the caller shows the notice some other way.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr int CallTimeoutMs = 2000;
    static constexpr int MaxBodyLength = 200;
    static inline const QString Service = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString Path = QStringLiteral("/org/freedesktop/Notifications");

    // On the session bus, from start() on: connecting to the bus is a round trip, which a window
    // makes after its first paint.
    explicit DesktopNotifier(QObject *parent = nullptr);
    // On that bus, at once.
    DesktopNotifier(const QDBusConnection &bus, QObject *parent);

    // Connects to the session bus and asks for the service; once only.
    void start();

    bool isAvailable() const { return m_available; }
    // Shows the notice of that key, replacing the one shown before for it. Both texts are plain text.
    void show(int key, const QString &title, const QString &body, const QImage &picture);
    // The notice of that key goes away, if it is shown.
    void withdraw(int key);
    bool isShown(int key) const { return m_ids.contains(key); }

Q_SIGNALS:
    void availabilityChanged(bool available);
    // The user clicked the notice of that key.
    void activated(int key);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &action);
    void onClosed(uint id, uint reason);

private:
    struct Notice {
        QString title;
        QString body;
        QImage picture;
    };
    void listen();
    void probe();
    void setAvailable(bool available);
    void send(int key, const Notice &notice);

    QDBusConnection m_bus;
    bool m_available = false;
    bool m_bodyMarkup = false;
    bool m_probing = false;
    bool m_listening = false;
    QHash<int, uint> m_ids;
    QHash<uint, int> m_keys;
    // A notice asked for while the one before of its key is still on its way waits for its number.
    QSet<int> m_inFlight;
    QHash<int, Notice> m_next;
};
