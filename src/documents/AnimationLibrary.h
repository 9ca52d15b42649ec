#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <vector>

// One animation decoded once: its whole frames (already composed) and how long each one stays.
struct AnimationFrames {
    QList<QImage> frames; // with the device pixel ratio of the file they came from
    QList<int> delays;    // milliseconds, one per frame
    QSize size;           // as shown, in device-independent pixels
    int loopCount = -1;   // as QImageReader reports it: -1 loops forever

    bool isValid() const { return frames.size() > 1 && frames.size() == delays.size(); }
};

// The program's 23 animations, numbered as they travel in messages. Reads "<prefix>/NN.gif", or on
// high-density screens "<prefix>/NN@2x.gif", drawn at twice the size (NN.gif when that is missing);
// an animation that cannot be read is missing, and a message naming it shows nothing. Each is decoded
// the first time it is asked for: a start shows none of them.
class AnimationLibrary {
public:
    // Frames shorter than this are stretched: a peer's file must not make us repaint without pause.
    static constexpr int MinimumDelayMs = 40;

    // For the screens of the running application.
    static AnimationLibrary load(const QString &resourcePrefix, int count);
    // The files drawn at twice the size where `devicePixelRatio` is above 1.
    static AnimationLibrary load(const QString &resourcePrefix, int count, qreal devicePixelRatio);
    // `pixelRatio` is how many file pixels make one shown pixel (1, or 2 for the "@2x" files).
    static AnimationFrames decode(const QString &fileName, int pixelRatio = 1);
    static QString fileName(const QString &resourcePrefix, int number);
    static QString doubleFileName(const QString &resourcePrefix, int number);

    int count() const { return int(m_animations.size()); }
    bool has(int number) const;
    // Null for a missing number.
    const AnimationFrames *frames(int number) const;
    QImage firstFrame(int number) const;

private:
    void decodeOnce(int number) const;

    QString m_prefix;
    qreal m_devicePixelRatio = 1.0;
    mutable std::vector<AnimationFrames> m_animations;
    mutable std::vector<bool> m_decoded;
};
