// The pictures a start does not show are decoded when first asked for, and the program icon once: what
// the window shows stays the same.
#include "features/ui/ImageList.h"

#include <QApplication>
#include <QTest>

class TestStartPictures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void picturesDecodedWhenAskedForAreTheFiles();
    void theProgramIconIsMadeOnce();
};

void TestStartPictures::picturesDecodedWhenAskedForAreTheFiles()
{
    const ImageList list = ImageList::load(QStringLiteral(":/pictures/32"), 50, QSize(32, 32));
    // A copy made before anything was decoded decodes the same pictures.
    const ImageList copy = list;
    QCOMPARE(list.count(), 50);
    for (int index : {49, 7, 0, 7}) {
        const QString path = QStringLiteral(":/pictures/32/%1.png").arg(index, 2, 10, QChar(u'0'));
        const QImage file = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QVERIFY(!file.isNull());
        QCOMPARE(list.image(index), file);
        QCOMPARE(copy.image(index), file);
        QCOMPARE(list.doubleImage(index).size(), QSize(64, 64));
        QCOMPARE(list.doubleImage(index).devicePixelRatio(), 2.0);
    }
    QVERIFY(list.image(50).isNull());
    QVERIFY(list.image(-1).isNull());
    QVERIFY(list.pixmap(50).isNull());
    // A picture that cannot be read keeps its slot, transparent, at the list's size.
    const ImageList missing = ImageList::load(QStringLiteral(":/pictures/none"), 3, QSize(16, 16));
    const QImage empty = missing.image(2);
    QCOMPARE(empty.size(), QSize(16, 16));
    QCOMPARE(empty.pixelColor(8, 8).alpha(), 0);
    QVERIFY(missing.doubleImage(2).isNull());
    QVERIFY(!missing.icon(1).isNull());
}

void TestStartPictures::theProgramIconIsMadeOnce()
{
    const QIcon first = ProgramIcon();
    QVERIFY(!first.isNull());
    QCOMPARE(ProgramIcon().cacheKey(), first.cacheKey());
    QCOMPARE(first.pixmap(256).size(), QSize(256, 256));
}

QTEST_MAIN(TestStartPictures)
#include "test_start_pictures.moc"
