#include "peers/KeyPins.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(KeyTrust)

namespace {

const QString IdA = QStringLiteral("{AAAAAAAA-1111-2222-3333-444444444444}");
const QString IdB = QStringLiteral("{BBBBBBBB-1111-2222-3333-444444444444}");
constexpr qint64 Day = 24 * 3600;
constexpr qint64 T0 = 1900000000;

PeerPublicKeys keys(char fill)
{
    return {QByteArray(32, fill), QByteArray(32, char(fill + 1))};
}

QString stored(const QString &file, const QString &userId)
{
    QSettings ini(file, QSettings::IniFormat);
    return ini.value(QStringLiteral("KeyPins/") + userId).toString();
}

} // namespace

class TestKeyPins : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();

    void firstKeyPinnedAndStored();
    void changedKeyWarnsUntilAccepted();
    void changeDismissed();
    void verifiedMark();
    void pinText_data();
    void pinText();
    void badStoredValuesPassedOver();
    void unreadableStore();
    void boundedTable();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestKeyPins::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(QStringLiteral("anna.ini"));
}

void TestKeyPins::firstKeyPinnedAndStored()
{
    KeyPins pins{SettingsStore(m_file)};
    QCOMPARE(pins.state(IdA), KeyTrust::Unknown);
    QCOMPARE(pins.trustFor(IdA, keys(1)), KeyTrust::Unknown);
    QCOMPARE(pins.observe(IdA, keys(1), T0), KeyTrust::Pinned);
    QCOMPARE(pins.observe(IdA, keys(1), T0 + 10), KeyTrust::Pinned);
    QCOMPARE(pins.state(IdA), KeyTrust::Pinned);
    QCOMPARE(pins.observe(IdA, PeerPublicKeys{}, T0), KeyTrust::Unknown);
    QCOMPARE(pins.observe(QString(), keys(1), T0), KeyTrust::Unknown);

    const QString box = QString::fromLatin1(QByteArray(32, 1).toBase64());
    const QString sign = QString::fromLatin1(QByteArray(32, 2).toBase64());
    QCOMPARE(stored(m_file, IdA), QStringLiteral("1 %1 %2 0 %3 %3").arg(box, sign).arg(T0));

    // Seeing the user again a day later writes the time, more often does not.
    QCOMPARE(pins.observe(IdA, keys(1), T0 + Day + 1), KeyTrust::Pinned);
    QCOMPARE(stored(m_file, IdA), QStringLiteral("1 %1 %2 0 %3 %4").arg(box, sign).arg(T0).arg(T0 + Day + 1));

    const KeyPins again{SettingsStore(m_file)};
    QVERIFY(!again.readFailed());
    QCOMPARE(again.count(), qsizetype(1));
    QCOMPARE(again.trustFor(IdA, keys(1)), KeyTrust::Pinned);
    QCOMPARE(again.pin(IdA)->firstSeen, T0);
    QCOMPARE(again.trustFor(IdB, keys(1)), KeyTrust::Unknown);
}

void TestKeyPins::changedKeyWarnsUntilAccepted()
{
    {
        KeyPins pins{SettingsStore(m_file)};
        pins.observe(IdA, keys(1), T0);
        QCOMPARE(pins.observe(IdA, keys(5), T0 + 1), KeyTrust::Changed);
        QCOMPARE(pins.state(IdA), KeyTrust::Changed);
        // The old key is still the trusted one; the warning stays while the old key speaks again.
        QCOMPARE(pins.observe(IdA, keys(1), T0 + 2), KeyTrust::Pinned);
        QCOMPARE(pins.state(IdA), KeyTrust::Changed);
    }
    KeyPins pins{SettingsStore(m_file)};
    QCOMPARE(pins.state(IdA), KeyTrust::Changed);
    QCOMPARE(pins.pin(IdA)->offered, keys(5));
    QCOMPARE(pins.trustFor(IdA, keys(5)), KeyTrust::Changed);

    QVERIFY(pins.acceptOffered(IdA));
    QCOMPARE(pins.trustFor(IdA, keys(5)), KeyTrust::Pinned);
    QCOMPARE(pins.trustFor(IdA, keys(1)), KeyTrust::Changed);
    QCOMPARE(pins.state(IdA), KeyTrust::Pinned);
    QVERIFY(!pins.acceptOffered(IdA));
    QCOMPARE(KeyPins{SettingsStore(m_file)}.trustFor(IdA, keys(5)), KeyTrust::Pinned);
}

void TestKeyPins::changeDismissed()
{
    KeyPins pins{SettingsStore(m_file)};
    pins.observe(IdA, keys(1), T0);
    pins.observe(IdA, keys(5), T0);
    QVERIFY(pins.dismissOffered(IdA));
    QCOMPARE(pins.state(IdA), KeyTrust::Pinned);
    QCOMPARE(KeyPins{SettingsStore(m_file)}.state(IdA), KeyTrust::Pinned);
    // It comes back as a change when the other key shows again.
    QCOMPARE(pins.observe(IdA, keys(5), T0), KeyTrust::Changed);
    QCOMPARE(pins.state(IdA), KeyTrust::Changed);
}

void TestKeyPins::verifiedMark()
{
    KeyPins pins{SettingsStore(m_file)};
    QVERIFY(!pins.setVerified(IdA, true));
    pins.observe(IdA, keys(1), T0);
    QVERIFY(pins.setVerified(IdA, true));
    QCOMPARE(pins.state(IdA), KeyTrust::Verified);
    QCOMPARE(KeyPins{SettingsStore(m_file)}.trustFor(IdA, keys(1)), KeyTrust::Verified);

    // A new key is never verified, not even once accepted.
    QCOMPARE(pins.observe(IdA, keys(5), T0), KeyTrust::Changed);
    QCOMPARE(pins.trustFor(IdA, keys(1)), KeyTrust::Verified);
    QVERIFY(pins.acceptOffered(IdA));
    QCOMPARE(pins.trustFor(IdA, keys(5)), KeyTrust::Pinned);

    QVERIFY(pins.forget(IdA));
    QCOMPARE(KeyPins{SettingsStore(m_file)}.state(IdA), KeyTrust::Unknown);
    QVERIFY(!pins.forget(IdA));
}

void TestKeyPins::pinText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const QString k = QString::fromLatin1(QByteArray(32, 7).toBase64());
    const QString k31 = QString::fromLatin1(QByteArray(31, 7).toBase64());
    QTest::newRow("pinned") << QStringLiteral("1 %1 %1 0 5 6").arg(k) << true;
    QTest::newRow("with offered key") << QStringLiteral("1 %1 %1 1 5 6 %1 %1").arg(k) << true;
    QTest::newRow("version 2") << QStringLiteral("2 %1 %1 0 5 6").arg(k) << false;
    QTest::newRow("short key") << QStringLiteral("1 %1 %2 0 5 6").arg(k, k31) << false;
    QTest::newRow("not base64") << QStringLiteral("1 %1 ***** 0 5 6").arg(k) << false;
    QTest::newRow("verified 2") << QStringLiteral("1 %1 %1 2 5 6").arg(k) << false;
    QTest::newRow("negative time") << QStringLiteral("1 %1 %1 0 -5 6").arg(k) << false;
    QTest::newRow("time not a number") << QStringLiteral("1 %1 %1 0 5 x").arg(k) << false;
    QTest::newRow("one offered key") << QStringLiteral("1 %1 %1 0 5 6 %1").arg(k) << false;
    QTest::newRow("empty") << QString() << false;
}

void TestKeyPins::pinText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const std::optional<KeyPin> pin = KeyPins::ParsePinText(text);
    QCOMPARE(pin.has_value(), valid);
    if (pin) {
        QCOMPARE(pin->firstSeen, qint64(5));
        QCOMPARE(pin->lastSeen, qint64(6));
        // Written back as read, but an offered key equal to the pinned one is no offer.
        QCOMPARE(KeyPins::PinText(*pin), text.section(u' ', 0, 5));
    }
}

void TestKeyPins::badStoredValuesPassedOver()
{
    {
        KeyPins pins{SettingsStore(m_file)};
        pins.observe(IdA, keys(1), T0);
    }
    {
        QSettings ini(m_file, QSettings::IniFormat);
        ini.setValue(QStringLiteral("KeyPins/") + IdB, QStringLiteral("1 garbage"));
    }
    KeyPins pins{SettingsStore(m_file)};
    QCOMPARE(pins.count(), qsizetype(1));
    QCOMPARE(pins.state(IdB), KeyTrust::Unknown);
    QCOMPARE(pins.observe(IdB, keys(3), T0), KeyTrust::Pinned);
    QCOMPARE(KeyPins{SettingsStore(m_file)}.count(), qsizetype(2));
}

void TestKeyPins::unreadableStore()
{
    // A folder where the settings file should be: nothing can be read or written.
    QVERIFY(QDir().mkpath(m_file));
    KeyPins pins{SettingsStore(m_file)};
    QVERIFY(pins.readFailed());
    QCOMPARE(pins.count(), qsizetype(0));
    // Pins still hold for this run.
    QCOMPARE(pins.observe(IdA, keys(1), T0), KeyTrust::Pinned);
    QCOMPARE(pins.observe(IdA, keys(5), T0), KeyTrust::Changed);
}

void TestKeyPins::boundedTable()
{
    const auto idOf = [](qsizetype i) {
        return QStringLiteral("{%1-0000-0000-0000-000000000000}").arg(i, 8, 16, QLatin1Char('0'));
    };
    const SettingsStore store(m_file);
    {
        const SettingsStore::Batch batch(store);
        KeyPins pins(store);
        for (qsizetype i = 0; i < KeyPins::MaxPins; ++i)
            QCOMPARE(pins.observe(idOf(i), keys(1), T0 + i), KeyTrust::Pinned);
        QVERIFY(pins.setVerified(idOf(0), true));
    }
    KeyPins pins(store);
    QCOMPARE(pins.count(), KeyPins::MaxPins);
    // Full of users seen lately: a new one is not pinned.
    QCOMPARE(pins.observe(IdA, keys(3), T0 + KeyPins::MaxPins), KeyTrust::Unknown);
    QCOMPARE(pins.count(), KeyPins::MaxPins);

    // Long after: the user seen longest ago that is not verified makes room.
    const qint64 later = T0 + KeyPins::StalePinSeconds + KeyPins::MaxPins;
    QCOMPARE(pins.observe(IdA, keys(3), later), KeyTrust::Pinned);
    QCOMPARE(pins.count(), KeyPins::MaxPins);
    QCOMPARE(pins.state(idOf(0)), KeyTrust::Verified);
    QCOMPARE(pins.state(idOf(1)), KeyTrust::Unknown);
    QCOMPARE(pins.state(idOf(2)), KeyTrust::Pinned);

    const KeyPins again(store);
    QCOMPARE(again.count(), KeyPins::MaxPins);
    QCOMPARE(again.state(idOf(1)), KeyTrust::Unknown);
    QCOMPARE(again.state(IdA), KeyTrust::Pinned);
}

QTEST_GUILESS_MAIN(TestKeyPins)
#include "test_keypins.moc"
