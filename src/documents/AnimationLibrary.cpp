#include "documents/AnimationLibrary.h"

#include <QGuiApplication>
#include <QImageReader>

namespace {
// More frames than any of ours; keeps a broken file from filling the memory.
constexpr int MaximumFrames = 64;
} // namespace

AnimationLibrary AnimationLibrary::load(const QString &resourcePrefix, int count)
{
    return load(resourcePrefix, count, qGuiApp ? qGuiApp->devicePixelRatio() : 1.0);
}

AnimationLibrary AnimationLibrary::load(const QString &resourcePrefix, int count, qreal devicePixelRatio)
{
    AnimationLibrary library;
    library.m_prefix = resourcePrefix;
    library.m_devicePixelRatio = devicePixelRatio;
    const auto places = std::size_t(qMax(count, 0));
    library.m_animations.resize(places);
    library.m_decoded.assign(places, false);
    return library;
}

void AnimationLibrary::decodeOnce(int number) const
{
    const auto slot = std::size_t(number);
    if (m_decoded[slot])
        return;
    m_decoded[slot] = true;
    AnimationFrames frames;
    if (m_devicePixelRatio > 1.0)
        frames = decode(doubleFileName(m_prefix, number), 2);
    if (frames.frames.isEmpty())
        frames = decode(fileName(m_prefix, number));
    m_animations[slot] = std::move(frames);
}

QString AnimationLibrary::fileName(const QString &resourcePrefix, int number)
{
    QString prefix = resourcePrefix;
    if (!prefix.endsWith(u'/'))
        prefix += u'/';
    return prefix + QStringLiteral("%1.gif").arg(number, 2, 10, QChar(u'0'));
}

QString AnimationLibrary::doubleFileName(const QString &resourcePrefix, int number)
{
    QString name = fileName(resourcePrefix, number);
    return name.insert(name.size() - 4, QStringLiteral("@2x"));
}

AnimationFrames AnimationLibrary::decode(const QString &fileName, int pixelRatio)
{
    pixelRatio = qBound(1, pixelRatio, 2);
    AnimationFrames result;
    QImageReader reader(fileName, "gif");
    if (!reader.canRead())
        return result;
    result.loopCount = reader.loopCount();
    while (result.frames.size() < MaximumFrames) {
        QImage frame = reader.read();
        if (frame.isNull())
            break;
        if (result.size.isEmpty())
            result.size = (frame.size() / pixelRatio).expandedTo(QSize(1, 1));
        else if (frame.size() != result.size * pixelRatio)
            frame = frame.scaled(result.size * pixelRatio);
        frame = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        frame.setDevicePixelRatio(pixelRatio);
        result.frames.append(frame);
        result.delays.append(qMax(reader.nextImageDelay(), MinimumDelayMs));
    }
    if (result.frames.isEmpty())
        result = AnimationFrames();
    return result;
}

bool AnimationLibrary::has(int number) const
{
    return frames(number) != nullptr;
}

const AnimationFrames *AnimationLibrary::frames(int number) const
{
    if (number < 0 || number >= count())
        return nullptr;
    decodeOnce(number);
    const AnimationFrames &frames = m_animations[std::size_t(number)];
    return frames.frames.isEmpty() ? nullptr : &frames;
}

QImage AnimationLibrary::firstFrame(int number) const
{
    const AnimationFrames *f = frames(number);
    return f ? f->frames.first() : QImage();
}
