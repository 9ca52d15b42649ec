#pragma once

#include "talks/Transcript.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// A picture as the RTF form embeds it.
struct TranscriptPicture {
    QByteArray png; // empty: the picture is not there, and nothing stands for it
    int width = 0;  // in pixels of the PNG
    int height = 0;
    int shownWidth = 0; // as shown, in device-independent pixels
    int shownHeight = 0;
};

// What the RTF form takes from the screen: fonts, the system's colours and the pictures. The peer
// without windows has no screen; this base answers for it with a text-only look.
class TranscriptLook {
public:
    virtual ~TranscriptLook();
    // The transcript's own font, the first of the font table.
    virtual QString defaultFontFamily() const;
    // 0xAARRGGBB; an alpha of 0 writes no background.
    virtual quint32 background() const;
    // The RGB of a wire colour that names a system colour (a negative number).
    virtual quint32 systemColour(qint32 wireColour) const;
    virtual bool hasAnimation(int number) const;
    virtual TranscriptPicture picture(const TranscriptItem &item) const;
};

namespace TranscriptFormats {

inline constexpr int PlainTextLineWidth = 300;

// The tooltip text of a file reference, which is what the text form writes for it.
QString fileText(const QString &path);

// Wraps one line at the last blank before lineWidth characters (or cuts where there is none).
QStringList WrapLine(const QString &line, int lineWidth);

// One line per paragraph and manual line break, wrapped at lineWidth, UTF-8.
QByteArray ToPlainText(const Transcript &transcript, int lineWidth = PlainTextLineWidth);

// The RTF form. The text of each sender takes the sender's wire colour from senderColours (the
// header lines are bold); pictures come from the look.
QByteArray ToRtf(const Transcript &transcript, const QHash<QString, qint32> &senderColours,
                 const TranscriptLook &look);

// RTF text escaping: braces and backslashes escaped, tabs and line breaks as control words,
// characters beyond ASCII as \uN? with a signed 16-bit N per UTF-16 unit.
QByteArray RtfEscaped(const QString &text);

} // namespace TranscriptFormats
