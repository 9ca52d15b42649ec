#include "features/ui/ImageList.h"

#include "features/ui/PictureIconEngine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>

// Resources of a static library are registered only when asked for, and the macro must stand
// outside any namespace.
void InitPictureResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(pictures);
        Q_INIT_RESOURCE(animations);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

QImage readPicture(const QString &path, QSize size)
{
    QImage image = ReadPictureAt(path, size);
    if (image.isNull()) {
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    }
    return image;
}

// The twin of the picture at `path`, drawn for twice the size; null when none was drawn.
QImage readDouble(const QString &path, QSize size)
{
    QImage image = ReadPictureAt(DoubleSizePath(path), size * 2);
    if (!image.isNull())
        image.setDevicePixelRatio(2);
    return image;
}

// Each image stays an entry of its own, with its device pixel ratio: the icon engine takes the
// entries drawn for the screen's ratio first, so a 16 px icon on a doubled screen gets the twin of
// the 16 px picture rather than the 32 px picture shrunk.
QIcon iconOf(const QList<QImage> &images)
{
    QIcon icon;
    if (!qGuiApp)
        return icon;
    for (const QImage &image : images) {
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

QImage ReadPictureAt(const QString &path, QSize pixels)
{
    InitPictureResources();
    QImage image(path);
    if (image.isNull())
        return image;
    if (image.size() != pixels)
        image = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QString DoubleSizePath(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype slash = path.lastIndexOf(u'/');
    if (dot <= slash + 1)
        return path + QStringLiteral("@2x");
    return path.first(dot) + QStringLiteral("@2x") + path.sliced(dot);
}

bool HighDensityScreens()
{
    return qGuiApp && qGuiApp->devicePixelRatio() > 1.0;
}

ImageList ImageList::load(const QString &resourcePrefix, int count, QSize size, int digits)
{
    ImageList list;
    list.m_size = size;
    if (count <= 0 || size.isEmpty())
        return list;
    list.m_prefix = resourcePrefix;
    if (!list.m_prefix.endsWith(u'/'))
        list.m_prefix += u'/';
    list.m_digits = digits;
    list.m_images.resize(count);
    list.m_doubles.resize(count);
    list.m_decoded.assign(size_t(count), false);
    return list;
}

// A list holds up to fifty pictures and their twins, and a start shows one or two: each is decoded the
// first time it is asked for.
void ImageList::decode(int index) const
{
    if (m_decoded[size_t(index)])
        return;
    m_decoded[size_t(index)] = true;
    const QString path = m_prefix + QStringLiteral("%1.png").arg(index, m_digits, 10, QChar(u'0'));
    m_images[index] = readPicture(path, m_size);
    m_doubles[index] = readDouble(path, m_size);
}

QImage ImageList::image(int index) const
{
    if (index < 0 || index >= m_images.size())
        return {};
    decode(index);
    return m_images.at(index);
}

QImage ImageList::doubleImage(int index) const
{
    if (index < 0 || index >= m_doubles.size())
        return {};
    decode(index);
    return m_doubles.at(index);
}

QPixmap ImageList::pixmap(int index) const
{
    if (!qGuiApp || index < 0 || index >= m_images.size())
        return {};
    decode(index);
    const QImage &twin = m_doubles.at(index);
    return QPixmap::fromImage(HighDensityScreens() && !twin.isNull() ? twin : m_images.at(index));
}

QIcon ImageList::icon(int index) const
{
    if (index < 0 || index >= m_images.size())
        return {};
    decode(index);
    return iconOf({m_images.at(index), m_doubles.at(index)});
}

const ImageList &ProfileImages32()
{
    static const ImageList list = ImageList::load(QStringLiteral(":/pictures/32"), 50, QSize(32, 32));
    return list;
}

const ImageList &ProfileImages16()
{
    static const ImageList list = ImageList::load(QStringLiteral(":/pictures/16"), 25, QSize(16, 16));
    return list;
}

const ImageList &ProfilePageImages16()
{
    static const ImageList list = ImageList::load(QStringLiteral(":/icons/pages/16"), 5, QSize(16, 16), 1);
    return list;
}

const ImageList &ProfilePageImages32()
{
    static const ImageList list = ImageList::load(QStringLiteral(":/icons/pages/32"), 5, QSize(32, 32), 1);
    return list;
}

QImage SelectPictureImage()
{
    return readPicture(QStringLiteral(":/pictures/selectpicture.png"), QSize(32, 32));
}

namespace {

QImage toolbarPicture(const QString &name, int size, bool twin)
{
    if ((size != 16 && size != 32) || name.isEmpty())
        return {};
    // Decoding a message with file references asks for the same icon again and again.
    static QHash<QString, QImage> cache;
    QString path = QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name);
    if (twin)
        path = DoubleSizePath(path);
    const auto found = cache.constFind(path);
    if (found != cache.constEnd())
        return *found;
    InitPictureResources();
    QImage image(path);
    const QSize drawn = twin ? QSize(size * 2, size * 2) : QSize(size, size);
    if (!image.isNull() && image.size() != drawn)
        image = image.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (twin && !image.isNull())
        image.setDevicePixelRatio(2);
    cache.insert(path, image);
    return image;
}

} // namespace

QImage ToolbarImage(const QString &name, int size)
{
    return toolbarPicture(name, size, false);
}

namespace {

QString toolbarPath(const QString &name, int size)
{
    return QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name);
}

// The picture drawn for `size` and its twin drawn at twice the size, read when first shown.
QList<PictureIconEngine::Picture> drawnSizes(const QString &path, int size)
{
    return {{path, QSize(size, size), 1.0}, {DoubleSizePath(path), QSize(size, size) * 2, 2.0}};
}

} // namespace

QIcon ToolbarIcon(const QString &name, int size)
{
    if ((size != 16 && size != 32) || name.isEmpty() || !qGuiApp)
        return {};
    InitPictureResources();
    const QString path = toolbarPath(name, size);
    if (!QFileInfo::exists(path))
        return {};
    return PictureIconEngine::icon(drawnSizes(path, size));
}

QIcon ToolbarIconSet(const QString &name)
{
    if (name.isEmpty() || !qGuiApp)
        return {};
    InitPictureResources();
    const QString small = toolbarPath(name, 16);
    const QString large = toolbarPath(name, 32);
    // The order of the old sets: both plain sizes before the twins.
    return PictureIconEngine::icon({{small, QSize(16, 16), 1.0},
                                    {large, QSize(32, 32), 1.0},
                                    {DoubleSizePath(small), QSize(32, 32), 2.0},
                                    {DoubleSizePath(large), QSize(64, 64), 2.0}});
}

QIcon ProgramIcon()
{
    // Made once per application; its pictures, the largest 512 px, are read only when a size is shown.
    static QIcon *made = nullptr;
    if (made)
        return *made;
    if (!qGuiApp)
        return {};
    InitPictureResources();
    QList<PictureIconEngine::Picture> pictures;
    for (int size : {16, 32, 64, 256})
        pictures += drawnSizes(QStringLiteral(":/app/perixchat-%1.png").arg(size), size);
    made = new QIcon(PictureIconEngine::icon(pictures));
    qAddPostRoutine([] {
        delete made;
        made = nullptr;
    });
    return *made;
}
