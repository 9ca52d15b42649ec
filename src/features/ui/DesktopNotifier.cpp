#include "features/ui/DesktopNotifier.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

namespace {

const QString Interface = QStringLiteral("org.freedesktop.Notifications");

// The picture as the "image-data" hint carries it: RGBA rows, 8 bits a channel.
struct NotificationImage {
    QImage image;
};

QDBusArgument &operator<<(QDBusArgument &argument, const NotificationImage &picture)
{
    const QImage image = picture.image.convertToFormat(QImage::Format_RGBA8888);
    argument.beginStructure();
    argument << image.width() << image.height() << int(image.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes()));
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, NotificationImage &)
{
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(NotificationImage)

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
    , m_bus(QString())
{}

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    listen();
}

void DesktopNotifier::start()
{
    if (m_listening)
        return;
    m_bus = QDBusConnection::sessionBus();
    listen();
}

void DesktopNotifier::listen()
{
    if (m_listening)
        return;
    m_listening = true;
    qDBusRegisterMetaType<NotificationImage>();
    if (!m_bus.isConnected())
        return;
    m_bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosed(uint, uint)));
    // A service that comes later (or again) is asked anew; one that goes takes its notices along.
    auto *watcher = new QDBusServiceWatcher(Service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &DesktopNotifier::probe);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_ids.clear();
        m_keys.clear();
        setAvailable(false);
    });
    probe();
}

void DesktopNotifier::probe()
{
    if (m_probing || !m_bus.isConnected())
        return;
    m_probing = true;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        m_probing = false;
        const QDBusPendingReply<QStringList> reply = *done;
        if (reply.isError()) {
            setAvailable(false);
            return;
        }
        m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
        setAvailable(true);
    });
}

void DesktopNotifier::setAvailable(bool available)
{
    if (m_available == available)
        return;
    m_available = available;
    Q_EMIT availabilityChanged(available);
}

void DesktopNotifier::show(int key, const QString &title, const QString &body, const QImage &picture)
{
    if (!m_available)
        return;
    QString text = body.left(MaxBodyLength);
    const Notice notice{title, text, picture};
    if (m_inFlight.contains(key)) {
        m_next.insert(key, notice);
        return;
    }
    send(key, notice);
}

void DesktopNotifier::send(int key, const Notice &notice)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    // The summary is plain text for every service; the body is markup where the service says so.
    const QString body = m_bodyMarkup ? notice.body.toHtmlEscaped() : notice.body;
    QVariantMap hints;
    hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
    const QString desktopEntry = QGuiApplication::desktopFileName();
    if (!desktopEntry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), desktopEntry);
    if (!notice.picture.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(NotificationImage{notice.picture}));
    call << QStringLiteral("Perix Chat") << m_ids.value(key, 0u) << QStringLiteral("perixchat")
         << notice.title << body << QStringList{QStringLiteral("default"), QStringLiteral("Open")} << hints
         << -1;
    m_inFlight.insert(key);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        m_inFlight.remove(key);
        const QDBusPendingReply<uint> reply = *done;
        if (!reply.isError() && reply.value() != 0) {
            if (const uint before = m_ids.value(key, 0u); before != 0 && before != reply.value())
                m_keys.remove(before);
            m_ids.insert(key, reply.value());
            m_keys.insert(reply.value(), key);
        }
        if (m_next.contains(key))
            send(key, m_next.take(key));
    });
}

void DesktopNotifier::withdraw(int key)
{
    m_next.remove(key);
    const uint id = m_ids.take(key);
    if (id == 0)
        return;
    m_keys.remove(id);
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("CloseNotification"));
    call << id;
    // Nobody waits for the answer.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
}

void DesktopNotifier::onActionInvoked(uint id, const QString &action)
{
    const auto found = m_keys.constFind(id);
    if (found == m_keys.cend() || action != QStringLiteral("default"))
        return;
    Q_EMIT activated(found.value());
}

void DesktopNotifier::onClosed(uint id, uint)
{
    const auto found = m_keys.constFind(id);
    if (found == m_keys.cend())
        return;
    m_ids.remove(found.value());
    m_keys.erase(found);
}
