#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <vector>

// One animation decoded once: its whole frames (already composed) and how long each one stays.
struct AnimationFrames {
    QList<QImage> frames;
    QList<int> delays; // milliseconds, one per frame
    QSize size;
    int loopCount = -1; // as QImageReader reports it: -1 loops forever

    bool isValid() const { return frames.size() > 1 && frames.size() == delays.size(); }
};

// The program's 23 animations, numbered as they travel in messages. Reads "<prefix>/NN.gif"; an
// animation that cannot be read is missing, and a message naming it shows nothing.
class AnimationLibrary {
public:
    // Frames shorter than this are stretched: a peer's file must not make us repaint without pause.
    static constexpr int MinimumDelayMs = 40;

    static AnimationLibrary load(const QString &resourcePrefix, int count);
    static AnimationFrames decode(const QString &fileName);
    static QString fileName(const QString &resourcePrefix, int number);

    int count() const { return int(m_animations.size()); }
    bool has(int number) const;
    // Null for a missing number.
    const AnimationFrames *frames(int number) const;
    QImage firstFrame(int number) const;

private:
    std::vector<AnimationFrames> m_animations;
};
