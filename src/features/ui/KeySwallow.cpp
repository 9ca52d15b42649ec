#include "features/ui/KeySwallow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointer>

namespace {

constexpr int MaxMs = 1000;

class Swallower : public QObject {
public:
    explicit Swallower(int key)
        : QObject(qApp)
        , m_key(key)
    {
        m_age.start();
        qApp->installEventFilter(this);
    }

    bool expired() const { return m_done || m_age.elapsed() > MaxMs; }
    void restart(int key)
    {
        m_key = key;
        m_done = false;
        m_age.restart();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
            return false;
        if (expired()) {
            finish();
            return false;
        }
        const auto *key = static_cast<QKeyEvent *>(event);
        if (type == QEvent::KeyRelease) {
            if (key->key() == m_key && !key->isAutoRepeat())
                finish();
            return false;
        }
        // Accepted, so that no shortcut runs either.
        event->accept();
        return true;
    }

private:
    void finish()
    {
        m_done = true;
        qApp->removeEventFilter(this);
        deleteLater();
    }

    int m_key;
    bool m_done = false;
    QElapsedTimer m_age;
};

QPointer<Swallower> &current()
{
    static QPointer<Swallower> s;
    return s;
}

} // namespace

namespace KeySwallow {

void Swallow(int key)
{
    if (!qApp)
        return;
    if (current() && !current()->expired())
        current()->restart(key);
    else
        current() = new Swallower(key);
}

bool IsSwallowing()
{
    return current() && !current()->expired();
}

} // namespace KeySwallow
