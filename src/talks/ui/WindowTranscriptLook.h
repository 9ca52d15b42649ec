#pragma once

#include "talks/TranscriptFormats.h"

#include <QImage>

class AnimationCatalogue;
class TalkManager;

// The RTF form's look in the window program: the transcripts' font and background, the system's
// colours, the users' pictures, the animations' first frames and the icons of file references, as
// the transcripts on screen show them.
class WindowTranscriptLook : public TranscriptLook {
public:
    explicit WindowTranscriptLook(const TalkManager *talks);

    void setAnimationCatalogue(const AnimationCatalogue *catalogue) { m_animations = catalogue; }

    QString defaultFontFamily() const override;
    quint32 background() const override;
    quint32 systemColour(qint32 wireColour) const override;
    bool hasAnimation(int number) const override;
    TranscriptPicture picture(const TranscriptItem &item) const override;

    // The picture as the RTF form embeds it; no PNG for a null image.
    static TranscriptPicture pictureOf(const QImage &image);

private:
    const TalkManager *m_talks;
    const AnimationCatalogue *m_animations = nullptr;
};
