// The pictures a start does not show are decoded when first asked for, and the program icon once: what
// the window shows stays the same.
#include "app/ui/AfterFirstPaint.h"
#include "documents/AnimationLibrary.h"
#include "features/MoodRules.h"
#include "features/ui/EventSounds.h"
#include "features/ui/ImageList.h"
#include "features/ui/PictureIconEngine.h"
#include "features/ui/SoundOutput.h"
#include "support/TempFolder.h"
#include "support/Wait.h"
#include "talks/ui/fmSelectPictureGIFMoodUn.h"
#include "transfer/ContentHash.h"
#include "transfer/Sha256.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMovie>
#include <QPointer>
#include <QTest>

#include <memory>

class TestStartPictures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void libcryptoLoadsWithTheFirstHash();
    void soundModuleLoadsWithTheFirstSound();
    void picturesDecodedWhenAskedForAreTheFiles();
    void theProgramIconIsMadeOnce();
    void iconPicturesAreReadWhenFirstShown();
    void animationsAreDecodedWhenFirstAskedFor();
    void workWaitsForTheFirstPaint();

private:
    bool m_libcryptoAtStart = true;
    bool m_multimediaAtStart = true;
};

namespace {

void writeSquare(const QString &path, int size, QColor colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "PNG"));
}

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

bool mapped(const char *library)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

bool libcryptoMapped()
{
    return mapped("/libcrypto.so");
}

QColor middle(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

void TestStartPictures::initTestCase()
{
    m_libcryptoAtStart = libcryptoMapped();
    m_multimediaAtStart = mapped("/libQt6Multimedia.so");
}

void TestStartPictures::libcryptoLoadsWithTheFirstHash()
{
    // This binary holds the whole window program: nothing of it maps libcrypto before a hash.
    QVERIFY(!m_libcryptoAtStart);
    QVERIFY(!libcryptoMapped());
    // The check of a sealed transfer is not SHA-256: it loads nothing.
    ContentHash sealedCheck(ContentHash::Kind::Xxh3);
    sealedCheck.addData("abc");
    QCOMPARE(sealedCheck.result().toHex(), QByteArray("06b05ab6733a618578af5f94892f3950"));
    QVERIFY(!libcryptoMapped());
    const QByteArray empty =
        QByteArray::fromHex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QCOMPARE(Sha256::hash(""), empty);
    QCOMPARE(libcryptoMapped(), Sha256::usesCpuInstructions());
}

void TestStartPictures::soundModuleLoadsWithTheFirstSound()
{
    QVERIFY(!m_multimediaAtStart);
    const QStringList places = SoundModulePlaces();
    // Installed beside the programs; this test runs from the build tree, which is looked at second.
    QCOMPARE(places.size(), 2);
    QVERIFY(places.first().endsWith(QStringLiteral("/lib/perixchat/perixchat-sound.so")));
    QVERIFY(QFileInfo(places.last()).isFile());

    const TempFolder folder;
    QVERIFY(QFile::copy(QStringLiteral(PERIX_SOURCE_DIR "/assets/Sound/") +
                            EventSounds::FileName(EventSounds::Start),
                        folder.filePath(EventSounds::FileName(EventSounds::Start))));
    EventSounds sounds(folder.path());
    QAction option;
    option.setCheckable(true);
    option.setChecked(true);
    sounds.setOption(EventSounds::Start, &option);
    QVERIFY(!mapped("/libQt6Multimedia.so"));
    // Heard where there is a device, silent here; either way the module came with this sound.
    QVERIFY(sounds.Play(EventSounds::Start));
    QVERIFY(mapped("/libQt6Multimedia.so"));
    QVERIFY(mapped("/perixchat-sound.so"));
}

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

void TestStartPictures::iconPicturesAreReadWhenFirstShown()
{
    const TempFolder folder;
    const QString small = folder.filePath(QStringLiteral("16.png"));
    const QString large = folder.filePath(QStringLiteral("32.png"));
    const QString twin = folder.filePath(QStringLiteral("16@2x.png"));
    writeSquare(small, 16, Qt::red);
    writeSquare(large, 32, Qt::blue);
    writeSquare(twin, 32, Qt::yellow);
    const QIcon icon =
        PictureIconEngine::icon({{small, QSize(16, 16), 1.0},
                                 {large, QSize(32, 32), 1.0},
                                 {twin, QSize(32, 32), 2.0},
                                 {folder.filePath(QStringLiteral("none.png")), QSize(64, 64), 2.0}});
    QVERIFY(!icon.isNull());
    // Only the files that exist count; nothing has been read yet, so a file changed now is what shows.
    QCOMPARE(icon.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
    writeSquare(large, 32, Qt::green);
    QCOMPARE(middle(icon.pixmap(QSize(32, 32), 1.0)), QColor(Qt::green));
    QCOMPARE(middle(icon.pixmap(QSize(16, 16), 1.0)), QColor(Qt::red));
    // Read once: later changes of the file do not show.
    writeSquare(small, 16, Qt::black);
    QCOMPARE(middle(icon.pixmap(QSize(16, 16), 1.0)), QColor(Qt::red));
    // On a doubled screen the twin drawn for it wins over the larger picture of the same pixels.
    const QPixmap doubled = icon.pixmap(QSize(16, 16), 2.0);
    QCOMPARE(doubled.size(), QSize(32, 32));
    QCOMPARE(middle(doubled), QColor(Qt::yellow));
    // Asked for more than was drawn: the largest, never blown up; asked for less: shrunk.
    QCOMPARE(icon.pixmap(QSize(48, 48), 1.0).size(), QSize(32, 32));
    QCOMPARE(icon.pixmap(QSize(24, 24), 1.0).size(), QSize(24, 24));
    QCOMPARE(icon.actualSize(QSize(24, 24)), QSize(24, 24));
    // The disabled look comes from the style: same size, not the plain picture.
    const QPixmap disabled = icon.pixmap(QSize(32, 32), 1.0, QIcon::Disabled);
    QCOMPARE(disabled.size(), QSize(32, 32));
    QVERIFY(middle(disabled) != QColor(Qt::green));

    QVERIFY(PictureIconEngine::icon({{folder.filePath(QStringLiteral("none.png")), QSize(16, 16), 1.0}})
                .isNull());
    QVERIFY(PictureIconEngine::icon({}).isNull());
}

void TestStartPictures::animationsAreDecodedWhenFirstAskedFor()
{
    const TempFolder folder;
    for (int n : {0, 1})
        QVERIFY(QFile::copy(AnimationLibrary::fileName(QStringLiteral(":/animations"), n),
                            AnimationLibrary::fileName(folder.path(), n)));
    const AnimationLibrary library = AnimationLibrary::load(folder.path(), 3, 1.0);
    QCOMPARE(library.count(), 3);
    // Nothing is read at load: a file gone before it is asked for is missing.
    QVERIFY(QFile::remove(AnimationLibrary::fileName(folder.path(), 1)));
    QVERIFY(library.has(0));
    QCOMPARE(library.firstFrame(0).size(), MoodRules::AnimationSize(0));
    QVERIFY(!library.has(1));
    QVERIFY(!library.has(2));
    QVERIFY(library.frames(3) == nullptr);
    // Read once: removing it afterwards changes nothing.
    QVERIFY(QFile::remove(AnimationLibrary::fileName(folder.path(), 0)));
    QVERIFY(library.has(0));

    // The chooser reads its first frames when it first shows, not when it is made.
    TfmSelectPictureGIFMood chooser;
    QVERIFY(!chooser.panels().isEmpty());
    for (GIFPanel *panel : chooser.panels())
        QCOMPARE(panel->animator()->movie()->currentFrameNumber(), -1);
    chooser.show();
    for (GIFPanel *panel : chooser.panels()) {
        QCOMPARE(panel->animator()->movie()->currentFrameNumber(), 0);
        QVERIFY(!panel->animator()->isRunning());
    }
    chooser.hide();
}

void TestStartPictures::workWaitsForTheFirstPaint()
{
    auto window = std::make_unique<QMainWindow>();
    window->resize(200, 100);
    PaintCounter counter;
    window->installEventFilter(&counter);
    int runs = 0;
    int paintsBefore = 0;
    AfterFirstPaint::run(window.get(), [&] {
        ++runs;
        paintsBefore = counter.paints;
    });
    QCoreApplication::processEvents();
    QCOMPARE(runs, 0);
    window->show();
    QVERIFY(waitUntil([&] { return runs > 0; }, 1500));
    QVERIFY(paintsBefore > 0);
    window->update();
    QTest::qWait(50);
    QCOMPARE(runs, 1);

    // A window that goes before it paints takes the work with it.
    auto gone = std::make_unique<QMainWindow>();
    AfterFirstPaint::run(gone.get(), [&] { ++runs; });
    gone.reset();
    QTest::qWait(20);
    QCOMPARE(runs, 1);
}

QTEST_MAIN(TestStartPictures)
#include "test_start_pictures.moc"
