#include "features/ui/PictureIconEngine.h"

#include "features/ui/ImageList.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

namespace {

qint64 area(QSize size)
{
    return qint64(size.width()) * size.height();
}

// Of two pictures, the smallest that is still as large as asked for; else the largest.
bool isBetterFit(QSize asked, QSize candidate, QSize current)
{
    const qint64 wanted = area(asked);
    const qint64 a = area(candidate);
    const qint64 b = area(current);
    const qint64 chosen = std::min(a, b) >= wanted ? std::min(a, b) : std::max(a, b);
    return chosen == a && a != b;
}

// The picture at `size`, or fitting into it when it is larger; never blown up.
QSize shownSize(QSize picture, QSize asked)
{
    if (picture.width() > asked.width() || picture.height() > asked.height())
        picture.scale(asked, Qt::KeepAspectRatio);
    return picture;
}

} // namespace

PictureIconEngine::PictureIconEngine(QList<Picture> pictures)
    : m_pictures(std::move(pictures))
    , m_decoded(m_pictures.size())
    , m_read(m_pictures.size(), false)
{}

QIcon PictureIconEngine::icon(const QList<Picture> &pictures)
{
    QList<Picture> existing;
    for (const Picture &picture : pictures) {
        if (!picture.pixels.isEmpty() && QFileInfo::exists(picture.path))
            existing.append(picture);
    }
    if (existing.isEmpty())
        return {};
    return QIcon(new PictureIconEngine(std::move(existing)));
}

int PictureIconEngine::bestMatch(QSize pixels, qreal scale) const
{
    // Pictures drawn for the screen's ratio come first, so that a small icon on a doubled screen
    // gets its own twin rather than a larger picture shrunk.
    bool anyOfScale = false;
    for (const Picture &picture : m_pictures)
        anyOfScale = anyOfScale || qFuzzyCompare(picture.scale, scale);
    int best = -1;
    for (int i = 0; i < m_pictures.size(); ++i) {
        if (anyOfScale && !qFuzzyCompare(m_pictures.at(i).scale, scale))
            continue;
        if (best < 0 || isBetterFit(pixels, m_pictures.at(i).pixels, m_pictures.at(best).pixels))
            best = i;
    }
    return best;
}

QPixmap PictureIconEngine::decoded(int index)
{
    if (!m_read.at(index)) {
        m_read[index] = true;
        const Picture &picture = m_pictures.at(index);
        if (const QImage image = ReadPictureAt(picture.path, picture.pixels); !image.isNull())
            m_decoded[index] = QPixmap::fromImage(image);
    }
    return m_decoded.at(index);
}

QPixmap PictureIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap PictureIconEngine::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale)
{
    const int index = bestMatch(size, scale);
    if (index < 0 || size.isEmpty())
        return {};
    QPixmap picture = decoded(index);
    if (picture.isNull())
        return picture;
    const QSize shown = shownSize(picture.size(), size);
    if (shown == picture.size() && mode == QIcon::Normal)
        return picture;
    const QString cacheKey = QStringLiteral("perix-icon:%1:%2x%3:%4")
                                 .arg(m_pictures.at(index).path)
                                 .arg(shown.width())
                                 .arg(shown.height())
                                 .arg(int(mode));
    QPixmap made;
    if (QPixmapCache::find(cacheKey, &made))
        return made;
    made = shown == picture.size() ? picture
                                   : picture.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Disabled and selected looks come from the style, as for any other icon.
    if (mode != QIcon::Normal && qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QStyleOption option(0);
        option.palette = QGuiApplication::palette();
        const QPixmap styled = QApplication::style()->generatedIconPixmap(mode, made, &option);
        if (!styled.isNull() && styled.size() == made.size())
            made = styled;
    }
    QPixmapCache::insert(cacheKey, made);
    return made;
}

void PictureIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state)
{
    const QPaintDevice *device = painter->device();
    const qreal ratio = device ? device->devicePixelRatio() : qGuiApp->devicePixelRatio();
    const QPixmap shown = scaledPixmap(rect.size() * ratio, mode, state, ratio);
    painter->drawPixmap(rect, shown);
}

QSize PictureIconEngine::actualSize(const QSize &size, QIcon::Mode, QIcon::State)
{
    const int index = bestMatch(size, 1.0);
    return index < 0 ? QSize() : shownSize(m_pictures.at(index).pixels, size);
}

QList<QSize> PictureIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state)
{
    QList<QSize> sizes;
    if (mode != QIcon::Normal || state != QIcon::Off)
        return sizes;
    for (const Picture &picture : std::as_const(m_pictures)) {
        if (!sizes.contains(picture.pixels))
            sizes.append(picture.pixels);
    }
    return sizes;
}

QIconEngine *PictureIconEngine::clone() const
{
    auto *copy = new PictureIconEngine(m_pictures);
    copy->m_decoded = m_decoded;
    copy->m_read = m_read;
    return copy;
}

bool PictureIconEngine::isNull()
{
    return m_pictures.isEmpty();
}

QString PictureIconEngine::key() const
{
    return QStringLiteral("PictureIconEngine");
}
