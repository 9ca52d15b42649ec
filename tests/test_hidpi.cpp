// Pictures and animations on high-density screens. ctest runs this twice: with QT_SCALE_FACTOR=2,
// where the program must take the files drawn at twice the size, and without, where it must show
// exactly the files of its own size. PERIX_EXPECTED_PIXEL_RATIO tells which run this is.
#include "documents/AnimationLibrary.h"
#include "documents/AnimationPlayer.h"
#include "features/MoodRules.h"
#include "features/ui/ImageList.h"
#include "features/ui/TrayIcon.h"
#include "talks/ui/RichTextItems.h"

#include <QApplication>
#include <QDirIterator>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

namespace {

// The pixels of a picture file (Qt gives "@2x" files a device pixel ratio of 2 by their name).
QImage premultiplied(const QString &path)
{
    QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1);
    return image;
}

// The pixels a pixmap holds, whatever its device pixel ratio says.
QImage pixelsOf(const QPixmap &pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1);
    return image;
}

QImage firstFrameOf(const QString &path)
{
    QImageReader reader(path, "gif");
    QImage image = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1);
    return image;
}

struct GifFacts {
    QSize size;
    QList<int> delays;
};

GifFacts factsOf(const QString &path)
{
    GifFacts facts;
    QImageReader reader(path, "gif");
    while (true) {
        const QImage frame = reader.read();
        if (frame.isNull())
            break;
        facts.size = frame.size();
        facts.delays.append(reader.nextImageDelay());
    }
    return facts;
}

} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyPictureHasItsTwin();
    void everyAnimationHasItsTwin();
    void imageListPixmapsComeFromTheirFiles();
    void iconsCarryBothSizes();
    void programAndTrayIcons();
    void animationFramesFollowTheScreen();
    void transcriptAnimationKeepsItsPlace();

private:
    int m_ratio = 1;
    // The file of a picture for this run's screens.
    QString forScreen(const QString &path) const { return m_ratio > 1 ? DoubleSizePath(path) : path; }
};

void TestHiDpi::initTestCase()
{
    m_ratio = qEnvironmentVariableIntValue("PERIX_EXPECTED_PIXEL_RATIO");
    QVERIFY(m_ratio == 1 || m_ratio == 2);
    QCOMPARE(qApp->devicePixelRatio(), qreal(m_ratio));
    QCOMPARE(HighDensityScreens(), m_ratio > 1);
    InitPictureResources();
}

void TestHiDpi::everyPictureHasItsTwin()
{
    int pictures = 0;
    const QStringList roots{":/pictures", ":/icons", ":/tray", ":/app"};
    for (const QString &root : roots) {
        QDirIterator it(root, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(QStringLiteral("@2x")))
                continue;
            ++pictures;
            const QImage single(path);
            const QImage twin(DoubleSizePath(path));
            QVERIFY2(!twin.isNull(), qPrintable(path));
            QCOMPARE(twin.size(), single.size() * 2);
        }
    }
    // 50 + 25 profile pictures, the chooser's placeholder, the toolbar and page icons, the tray
    // frames and the program icon: far more than any one folder.
    QVERIFY2(pictures > 150, qPrintable(QString::number(pictures)));
    QCOMPARE(DoubleSizePath(QStringLiteral(":/pictures/32/05.png")),
             QStringLiteral(":/pictures/32/05@2x.png"));
    QCOMPARE(DoubleSizePath(QStringLiteral("/a.b/c")), QStringLiteral("/a.b/c@2x"));
}

void TestHiDpi::everyAnimationHasItsTwin()
{
    const QString prefix = QStringLiteral(":/animations");
    for (int n = 0; n < MoodRules::AnimationCount; ++n) {
        const GifFacts single = factsOf(AnimationLibrary::fileName(prefix, n));
        const GifFacts twin = factsOf(AnimationLibrary::doubleFileName(prefix, n));
        QCOMPARE(single.size, MoodRules::AnimationSize(n));
        QCOMPARE(twin.size, MoodRules::AnimationSize(n) * 2);
        // The same animation: as many frames, shown as long.
        QCOMPARE(twin.delays, single.delays);
    }
    QCOMPARE(AnimationLibrary::doubleFileName(prefix, 7), QStringLiteral(":/animations/07@2x.gif"));
}

void TestHiDpi::imageListPixmapsComeFromTheirFiles()
{
    const QPixmap big = ProfileImages32().pixmap(5);
    QCOMPARE(big.devicePixelRatio(), qreal(m_ratio));
    QCOMPARE(big.size(), QSize(32, 32) * m_ratio);
    QCOMPARE(big.deviceIndependentSize(), QSizeF(32, 32));
    QCOMPARE(pixelsOf(big), premultiplied(forScreen(QStringLiteral(":/pictures/32/05.png"))));
    if (m_ratio > 1) {
        // Drawn for the size, not the small picture blown up.
        const QImage blownUp = premultiplied(QStringLiteral(":/pictures/32/05.png"))
                                   .scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QVERIFY(pixelsOf(big) != blownUp);
    }

    const QPixmap small = ProfileImages16().pixmap(12);
    QCOMPARE(small.size(), QSize(16, 16) * m_ratio);
    QCOMPARE(pixelsOf(small), premultiplied(forScreen(QStringLiteral(":/pictures/16/12.png"))));
    const QPixmap page = ProfilePageImages32().pixmap(3);
    QCOMPARE(pixelsOf(page), premultiplied(forScreen(QStringLiteral(":/icons/pages/32/3.png"))));

    // What the list stands for (the picture a peer names) stays the picture of its own size.
    QCOMPARE(ProfileImages32().image(5), premultiplied(QStringLiteral(":/pictures/32/05.png")));
    QCOMPARE(ProfileImages32().doubleImage(5).devicePixelRatio(), 2.0);
    QVERIFY(ProfileImages32().doubleImage(50).isNull());
    QVERIFY(ProfileImages32().pixmap(-1).isNull());
}

void TestHiDpi::iconsCarryBothSizes()
{
    const QIcon picture = ProfileImages32().icon(27);
    const QPixmap shown = picture.pixmap(QSize(32, 32));
    QCOMPARE(shown.size(), QSize(32, 32) * m_ratio);
    QCOMPARE(pixelsOf(shown), premultiplied(forScreen(QStringLiteral(":/pictures/32/27.png"))));
    QCOMPARE(pixelsOf(picture.pixmap(QSize(32, 32), 2.0)),
             premultiplied(QStringLiteral(":/pictures/32/27@2x.png")));
    QCOMPARE(pixelsOf(picture.pixmap(QSize(32, 32), 1.0)),
             premultiplied(QStringLiteral(":/pictures/32/27.png")));

    const QIcon file = ToolbarIcon(QStringLiteral("file"), 32);
    QCOMPARE(pixelsOf(file.pixmap(QSize(32, 32))),
             premultiplied(forScreen(QStringLiteral(":/icons/32/file.png"))));
    // Toolbars ask for 16 or 32; each gets the picture drawn for it on either screen.
    const QIcon send = ToolbarIconSet(QStringLiteral("send"));
    for (int size : {16, 32}) {
        const QString path = QStringLiteral(":/icons/%1/send.png").arg(size);
        QCOMPARE(pixelsOf(send.pixmap(QSize(size, size))), premultiplied(forScreen(path)));
        QCOMPARE(pixelsOf(send.pixmap(QSize(size, size), 2.0)), premultiplied(DoubleSizePath(path)));
    }
    QVERIFY(ToolbarIcon(QStringLiteral("no-such-icon"), 32).isNull());
    QVERIFY(ToolbarIconSet(QStringLiteral("no-such-icon")).isNull());
}

void TestHiDpi::programAndTrayIcons()
{
    const QIcon program = ProgramIcon();
    for (int size : {16, 32, 64, 256}) {
        const QString path = QStringLiteral(":/app/perixchat-%1.png").arg(size);
        QCOMPARE(pixelsOf(program.pixmap(QSize(size, size))), premultiplied(forScreen(path)));
        QCOMPARE(pixelsOf(program.pixmap(QSize(size, size), 2.0)), premultiplied(DoubleSizePath(path)));
    }

    const QPixmap tray = TrayIcon::Frame(2).pixmap(QSize(16, 16));
    QCOMPARE(tray.size(), QSize(16, 16) * m_ratio);
    QCOMPARE(pixelsOf(tray), premultiplied(forScreen(QStringLiteral(":/tray/2.png"))));
}

void TestHiDpi::animationFramesFollowTheScreen()
{
    const QString prefix = QStringLiteral(":/animations");
    const AnimationLibrary library = AnimationLibrary::load(prefix, MoodRules::AnimationCount);
    QCOMPARE(library.count(), MoodRules::AnimationCount);
    for (int n = 0; n < MoodRules::AnimationCount; ++n) {
        const AnimationFrames *frames = library.frames(n);
        QVERIFY(frames && frames->isValid());
        QCOMPARE(frames->size, MoodRules::AnimationSize(n));
        for (const QImage &frame : frames->frames) {
            QCOMPARE(frame.size(), MoodRules::AnimationSize(n) * m_ratio);
            QCOMPARE(frame.devicePixelRatio(), qreal(m_ratio));
        }
        const QString file =
            m_ratio > 1 ? AnimationLibrary::doubleFileName(prefix, n) : AnimationLibrary::fileName(prefix, n);
        QImage first = library.firstFrame(n);
        first.setDevicePixelRatio(1);
        QCOMPARE(first, firstFrameOf(file));
    }
    // Asked for explicitly, either size decodes on any screen; a missing twin falls back to the file
    // of the animation's own size.
    QCOMPARE(AnimationLibrary::load(prefix, 1, 2.0).firstFrame(0).size(), MoodRules::AnimationSize(0) * 2);
    QCOMPARE(AnimationLibrary::load(prefix, 1, 1.0).firstFrame(0).size(), MoodRules::AnimationSize(0));
    QTemporaryDir dir;
    QVERIFY(QFile::copy(AnimationLibrary::fileName(prefix, 0), dir.filePath(QStringLiteral("00.gif"))));
    const AnimationLibrary single = AnimationLibrary::load(dir.path(), 1, 2.0);
    QCOMPARE(single.firstFrame(0).size(), MoodRules::AnimationSize(0));
    QCOMPARE(single.frames(0)->size, MoodRules::AnimationSize(0));
}

void TestHiDpi::transcriptAnimationKeepsItsPlace()
{
    const int number = 10; // 57x28, the widest one
    const QSize size = MoodRules::AnimationSize(number);
    const AnimationLibrary library =
        AnimationLibrary::load(QStringLiteral(":/animations"), MoodRules::AnimationCount);
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(QStringLiteral("look "));
    const int position = cursor.position();
    QVERIFY(AppendAnimation(cursor, number, library.firstFrame(number)));
    AnimationPlayer player(library);
    QVERIFY(player.adopt(&doc, position, number, AnimationPlayer::Place::Transcript));

    const auto resourceImage = [&] {
        const QString name = player.animations(&doc).value(0).resource;
        return doc.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
    };
    QTextCursor item(&doc);
    item.setPosition(position + 1);
    const QTextImageFormat format = item.charFormat().toImageFormat();
    // The document lays the animation out at its own size and paints it from the screen's pixels.
    QCOMPARE(QSizeF(format.width(), format.height()), QSizeF(size));
    QCOMPARE(resourceImage().size(), size * m_ratio);
    QCOMPARE(resourceImage().devicePixelRatio(), qreal(m_ratio));

    player.setTranscriptsHidden(true);
    const QImage blank = resourceImage();
    QCOMPARE(blank.size(), size * m_ratio);
    QCOMPARE(blank.devicePixelRatio(), qreal(m_ratio));
    QCOMPARE(qAlpha(blank.pixel(blank.width() / 2, blank.height() / 2)), 0);
    player.setTranscriptsHidden(false);
    QCOMPARE(resourceImage().size(), size * m_ratio);
}

QTEST_MAIN(TestHiDpi)
#include "test_hidpi.moc"
