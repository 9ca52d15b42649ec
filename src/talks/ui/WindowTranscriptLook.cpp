#include "talks/ui/WindowTranscriptLook.h"

#include "features/ui/ImageList.h"
#include "features/ui/WireColor.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"

#include <QApplication>
#include <QBuffer>
#include <QTextEdit>

namespace {

constexpr int BlankAnimationSide = 32;

const QTextEdit *anyTranscript(const TalkManager *talks)
{
    const TfrConnectUser *talk = talks ? talks->frame(0) : nullptr;
    return talk ? talk->reAllMessage() : nullptr;
}

} // namespace

WindowTranscriptLook::WindowTranscriptLook(const TalkManager *talks)
    : m_talks(talks)
{}

QString WindowTranscriptLook::defaultFontFamily() const
{
    const QTextEdit *transcript = anyTranscript(m_talks);
    return transcript ? transcript->document()->defaultFont().family()
                      : QApplication::font("QTextEdit").family();
}

quint32 WindowTranscriptLook::background() const
{
    // Every transcript has the page's lighter button colour as its base.
    const QTextEdit *transcript = anyTranscript(m_talks);
    const QColor base = transcript ? transcript->palette().color(QPalette::Base)
                                   : QApplication::palette("QTextEdit").color(QPalette::Button).lighter(104);
    return base.rgba();
}

quint32 WindowTranscriptLook::systemColour(qint32 wireColour) const
{
    return WireColorToQColor(wireColour).rgba();
}

bool WindowTranscriptLook::hasAnimation(int number) const
{
    return m_animations && m_animations->hasAnimation(number);
}

TranscriptPicture WindowTranscriptLook::picture(const TranscriptItem &item) const
{
    switch (item.kind) {
    case TranscriptItem::Kind::Picture:
        return pictureOf(ProfileImages32().image(item.number));
    case TranscriptItem::Kind::Animation: {
        QImage frame = m_animations ? m_animations->animationFrame(item.number) : QImage();
        if (frame.isNull()) {
            frame = QImage(BlankAnimationSide, BlankAnimationSide, QImage::Format_ARGB32_Premultiplied);
            frame.fill(Qt::transparent);
        }
        return pictureOf(frame);
    }
    case TranscriptItem::Kind::File:
        return pictureOf(FileReferenceIcon(item.text, item.own));
    case TranscriptItem::Kind::Text:
        break;
    }
    return {};
}

TranscriptPicture WindowTranscriptLook::pictureOf(const QImage &image)
{
    TranscriptPicture picture;
    QBuffer buffer(&picture.png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    picture.width = image.width();
    picture.height = image.height();
    picture.shownWidth = qRound(image.width() / image.devicePixelRatio());
    picture.shownHeight = qRound(image.height() / image.devicePixelRatio());
    return picture;
}
