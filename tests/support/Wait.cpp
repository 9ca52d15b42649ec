#include "support/Wait.h"

#include <QDeadlineTimer>
#include <QTest>

namespace TestSupport {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QTest::qWait(10);
    }
    return true;
}

void settle(int ms)
{
    QTest::qWait(ms);
}

} // namespace TestSupport

QString withoutIsolates(QString text)
{
    text.remove(QChar(0x2068));
    text.remove(QChar(0x2069));
    return text;
}
