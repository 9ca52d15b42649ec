// Drawing surface shared by every picture of the generator.
//
// Every picture is drawn on a design grid of 32 x 32 units, whatever the size of the image it
// lands in. A Canvas knows how large one device pixel is in those units, so the drawing code can
// keep outlines one pixel wide, snap straight edges to pixel centres and leave out details that
// would turn into mush at 16 pixels.
#pragma once

#include <QColor>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>

#include <functional>

// The program's limited palette. Outlines are never chosen by hand: they are the darker shade of
// the fill they surround (see edgeOf).
namespace pal {
inline const QColor blue{0x2f, 0x8f, 0xdc};     // the program's main colour
inline const QColor teal{0x1f, 0xae, 0xa8};     // second main colour
inline const QColor sky{0x8c, 0xc8, 0xf2};      // light blue
inline const QColor green{0x4c, 0xb8, 0x4a};    // yes, add, online
inline const QColor red{0xe2, 0x45, 0x3c};      // no, remove, blocked
inline const QColor orange{0xf5, 0x9a, 0x23};   // events, attention
inline const QColor yellow{0xff, 0xd0, 0x3a};   // mood faces, stars
inline const QColor folder{0xf6, 0xc2, 0x4a};   // folders
inline const QColor purple{0x8e, 0x63, 0xce};   // a few accents
inline const QColor pink{0xf4, 0x8f, 0xb1};     // tongues, icing
inline const QColor grey{0x9c, 0xa5, 0xb0};     // neutral, disabled
inline const QColor darkGrey{0x55, 0x5e, 0x69}; // machines, metal
inline const QColor paper{0xfb, 0xfb, 0xf8};    // pages, cards, faces of clocks
inline const QColor ink{0x4a, 0x35, 0x22};      // features drawn on faces
inline const QColor skin{0xf7, 0xcc, 0xa2};
inline const QColor skinTan{0xd9, 0x9b, 0x6a};
inline const QColor skinDark{0x9a, 0x62, 0x3e};
inline const QColor hairBrown{0x7a, 0x4a, 0x27};
inline const QColor hairBlack{0x3a, 0x33, 0x33};
inline const QColor hairBlond{0xef, 0xc8, 0x5a};
inline const QColor hairRed{0xc8, 0x5a, 0x24};
inline const QColor hairGrey{0xc9, 0xcc, 0xd0};
} // namespace pal

// The darker shade used as the outline of a fill.
QColor edgeOf(const QColor &fill);

struct Canvas {
    QPainter &p;
    int size; // width and height of the image in device pixels

    // One device pixel in design units.
    double px() const { return 32.0 / size; }
    // Pictures for 16 pixels leave out small details.
    bool small() const { return size <= 16; }
    // Pictures of 64 pixels and more may carry gradients and highlights.
    bool large() const { return size >= 64; }
    // Drawn into a scalable picture rather than pixels: effects made of pixels are left out.
    bool scalable() const { return p.paintEngine() && p.paintEngine()->type() == QPaintEngine::SVG; }
    // Width of the outline around shapes: one device pixel in toolbar sizes.
    double line() const { return size <= 32 ? px() : std::max(px() * 1.5, 0.55); }
    // A stroke width that never gets thinner than one device pixel.
    double atLeastPixel(double units) const { return std::max(units, px()); }
    // Moves a coordinate to the centre of the device pixel it falls in, so that a one pixel
    // outline along it stays sharp.
    double snap(double v) const;
    // A rectangle whose edges are snapped.
    QRectF box(double x1, double y1, double x2, double y2) const;

    // Fills a path and draws the outline in the darker shade of the fill.
    void shape(const QPainterPath &path, const QColor &fill) const;
    void shape(const QPainterPath &path, const QColor &fill, const QColor &edge) const;
    // Fills a path without an outline.
    void fill(const QPainterPath &path, const QColor &colour) const;
    // Strokes a path with round caps and joins.
    void stroke(const QPainterPath &path, const QColor &colour, double width) const;
    // Erases (makes transparent) a path and a margin of `margin` units around it.
    void erase(const QPainterPath &path, double margin) const;
};

using Drawing = std::function<void(Canvas &)>;

// Renders one drawing into a transparent square image of the given size.
QImage render(const Drawing &draw, int size);
