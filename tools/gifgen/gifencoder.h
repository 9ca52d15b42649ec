// A small GIF89a writer: one palette for all frames (with one transparent entry), LZW-compressed
// full frames that restore to the background, and the NETSCAPE2.0 loop extension.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QVector>

struct GifFrame {
    QImage image;     // ARGB; pixels with little alpha become transparent
    int delayCs = 10; // hundredths of a second
};

struct GifOptions {
    int loopCount = 0;              // 0: loop forever
    QColor matte{0xec, 0xec, 0xec}; // what half-transparent edge pixels are blended onto
    int alphaThreshold = 110;       // below this the pixel is transparent
};

// The frames reduced to one palette: index 0 is transparent.
struct IndexedFrames {
    QVector<QRgb> palette;
    QList<QByteArray> pixels; // one index per pixel, row by row
};

IndexedFrames quantize(const QList<GifFrame> &frames, const GifOptions &options);
QByteArray lzwCompress(const QByteArray &indexes, int minimumCodeSize);
QByteArray encodeGif(const QList<GifFrame> &frames, const GifOptions &options = {});
// What a frame looks like after quantizing, for checking a decoder's output against.
QImage indexedImage(const IndexedFrames &indexed, int frame, int width, int height);
