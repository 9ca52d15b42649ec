// What a crowd of arriving users may not cost: a picture per node, or a write of the settings file per
// pinned key.
#include "app/SecureChannel.h"
#include "crypto/IdentityKeys.h"
#include "crypto/PacketSealer.h"
#include "features/ui/ImageList.h"
#include "net/PacketDispatcher.h"
#include "peers/KeyPins.h"
#include "peers/ui/UserGroupBox.h"
#include "protocol/RUserID.h"
#include "support/RecordingTransport.h"
#include "support/TempFolder.h"

#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTreeWidgetItem>

#include <memory>

namespace {

RUserID user(int picture)
{
    RUserID entry;
    entry.Alias = QStringLiteral("Somebody");
    entry.IP = QStringLiteral("10.1.2.3");
    entry.PictureIndex = picture;
    return entry;
}

QImage iconImage(const QTreeWidgetItem &node, QSize size)
{
    return node.icon(0).pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The pins as the file holds them, read past the program's own store.
QHash<QString, PeerPublicKeys> pinsInFile(const QString &path)
{
    QHash<QString, PeerPublicKeys> pins;
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("KeyPins"));
    for (const QString &id : file.childKeys()) {
        if (const std::optional<KeyPin> pin = KeyPins::ParsePinText(file.value(id).toString()))
            pins.insert(id, pin->pinned);
    }
    return pins;
}

} // namespace

class TestDiscoveryCost : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InitPictureResources(); }
    void nodesOfOnePictureShareItsIcon();
    void pinsOfOneTurnReachTheFileInOneWrite();
};

void TestDiscoveryCost::nodesOfOnePictureShareItsIcon()
{
    const ImageList &pictures = ProfileImages16();
    QVERIFY(pictures.count() > 3);
    std::unique_ptr<QTreeWidgetItem> a(MakeUserNode(user(2), 1, pictures));
    std::unique_ptr<QTreeWidgetItem> b(MakeUserNode(user(2), 2, pictures));
    std::unique_ptr<QTreeWidgetItem> c(MakeUserNode(user(3), 3, pictures));
    // One icon for both users of picture 2, another for picture 3.
    QCOMPARE(a->icon(0).cacheKey(), b->icon(0).cacheKey());
    QVERIFY(a->icon(0).cacheKey() != c->icon(0).cacheKey());
    // Each shows its own picture.
    const QSize size = pictures.size();
    QCOMPARE(iconImage(*a, size), pictures.pixmap(2).toImage().convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(iconImage(*c, size), pictures.pixmap(3).toImage().convertToFormat(QImage::Format_ARGB32));

    // A blocked user is drawn dimmed: not the icon of the others with the same picture.
    b->setData(0, CutStateRole, true);
    SetNodePictures(b.get(), pictures);
    QVERIFY(b->icon(0).cacheKey() != a->icon(0).cacheKey());
    QVERIFY(iconImage(*b, size) != iconImage(*a, size));
    std::unique_ptr<QTreeWidgetItem> d(MakeUserNode(user(2), 4, pictures));
    QCOMPARE(d->icon(0).cacheKey(), a->icon(0).cacheKey());
    b->setData(0, CutStateRole, false);
    SetNodePictures(b.get(), pictures);
    QCOMPARE(b->icon(0).cacheKey(), a->icon(0).cacheKey());

    // A user who takes another picture gets that picture's icon; a picture out of range none.
    RefreshUserNode(a.get(), user(3), pictures);
    QCOMPARE(a->icon(0).cacheKey(), c->icon(0).cacheKey());
    RefreshUserNode(a.get(), user(pictures.count()), pictures);
    QVERIFY(a->icon(0).isNull());
    RefreshUserNode(a.get(), user(-1), pictures);
    QVERIFY(a->icon(0).isNull());
}

void TestDiscoveryCost::pinsOfOneTurnReachTheFileInOneWrite()
{
    TempFolder folder;
    folder.setAlias(QStringLiteral("Newcomer"));
    const QString path = folder.settingsFile();
    RecordingTransport inner;
    PacketDispatcher dispatcher;
    auto channel = std::make_unique<SecureChannel>(folder.store(), inner, dispatcher);
    channel->setIdentity(*IdentityKeys::generate());
    channel->start(folder.userId());
    channel->setOnlineCheck([](const QString &) { return true; });

    constexpr int Users = 12;
    QHash<QString, PeerPublicKeys> announced;
    QList<Packet> packets;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < Users; ++i) {
        const QString id =
            QStringLiteral("{%1-0000-0000-0000-0000000000CD}").arg(i, 8, 16, QLatin1Char('0')).toUpper();
        const IdentityKeys keys = *IdentityKeys::generate();
        announced.insert(id, keys.publicKeys());
        packets.append(PacketSealer(id, keys).announceKey(now));
    }
    const QByteArray before = fileBytes(path);
    QVERIFY(!before.isEmpty());
    for (const Packet &packet : packets)
        channel->receive(packet);
    // Within the turn every pin holds, and the program's own store already reads them ...
    for (auto it = announced.cbegin(); it != announced.cend(); ++it)
        QCOMPARE(channel->trust(it.key()), KeyTrust::Pinned);
    QCOMPARE(KeyPins(folder.store()).count(), Users);
    // ... but the file was not written once per key.
    QCOMPARE(fileBytes(path), before);
    // At the end of the turn it holds all of them, with the keys announced.
    QTRY_COMPARE_WITH_TIMEOUT(pinsInFile(path), announced, 2000);

    // A key of a later turn is written in its own turn.
    const IdentityKeys late = *IdentityKeys::generate();
    const QString lateId = QStringLiteral("{000000FF-0000-0000-0000-0000000000CD}");
    channel->receive(PacketSealer(lateId, late).announceKey(now));
    announced.insert(lateId, late.publicKeys());
    QTRY_COMPARE_WITH_TIMEOUT(pinsInFile(path), announced, 2000);

    // One that comes just before the channel goes is not lost.
    const IdentityKeys last = *IdentityKeys::generate();
    const QString lastId = QStringLiteral("{000000FE-0000-0000-0000-0000000000CD}");
    channel->receive(PacketSealer(lastId, last).announceKey(now));
    channel.reset();
    announced.insert(lastId, last.publicKeys());
    QCOMPARE(pinsInFile(path), announced);
}

QTEST_MAIN(TestDiscoveryCost)
#include "test_discoverycost.moc"
