#include "features/ui/ImageList.h"

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
    InitPictureResources();
    QImage image(path);
    if (image.isNull()) {
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        return image;
    }
    if (image.size() != size)
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

ImageList ImageList::load(const QString &resourcePrefix, int count, QSize size, int digits)
{
    ImageList list;
    list.m_size = size;
    if (count <= 0 || size.isEmpty())
        return list;
    QString prefix = resourcePrefix;
    if (!prefix.endsWith(u'/'))
        prefix += u'/';
    list.m_images.reserve(count);
    for (int i = 0; i < count; ++i)
        list.m_images.append(
            readPicture(prefix + QStringLiteral("%1.png").arg(i, digits, 10, QChar(u'0')), size));
    return list;
}

QImage ImageList::image(int index) const
{
    if (index < 0 || index >= m_images.size())
        return {};
    return m_images.at(index);
}

QPixmap ImageList::pixmap(int index) const
{
    if (!qGuiApp || index < 0 || index >= m_images.size())
        return {};
    return QPixmap::fromImage(m_images.at(index));
}

QIcon ImageList::icon(int index) const
{
    const QPixmap picture = pixmap(index);
    return picture.isNull() ? QIcon() : QIcon(picture);
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

QImage ToolbarImage(const QString &name, int size)
{
    if ((size != 16 && size != 32) || name.isEmpty())
        return {};
    // Decoding a message with file references asks for the same icon again and again.
    static QHash<QString, QImage> cache;
    const QString path = QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name);
    const auto found = cache.constFind(path);
    if (found != cache.constEnd())
        return *found;
    InitPictureResources();
    QImage image(path);
    if (!image.isNull() && image.size() != QSize(size, size))
        image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    cache.insert(path, image);
    return image;
}

QIcon ToolbarIcon(const QString &name, int size)
{
    const QImage image = ToolbarImage(name, size);
    if (image.isNull() || !qGuiApp)
        return {};
    return QIcon(QPixmap::fromImage(image));
}
