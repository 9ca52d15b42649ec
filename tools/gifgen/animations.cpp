// Drawn in device pixels (one design unit is one pixel), in the palette and outline rule of the
// program's icons: fills from pal, outlines in the darker shade of the fill.
#include "animations.h"
#include "shapes.h"

#include <cmath>
#include <numbers>

namespace {

const QColor kMouth(0x8c, 0x2c, 0x22);
const QColor kTear(0x5c, 0xb8, 0xf0);
const QColor kWhite(0xff, 0xff, 0xff);

QPointF polarPoint(QPointF centre, double r, double degrees)
{
    const double a = degrees * std::numbers::pi / 180.0;
    return {centre.x() + r * std::cos(a), centre.y() + r * std::sin(a)};
}

QPainterPath ellipse(QPointF centre, double rx, double ry)
{
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

// Overlapping parts joined into one outline.
QPainterPath joined(QPainterPath path)
{
    path.setFillRule(Qt::WindingFill);
    return path.simplified();
}

QPainterPath segment(QPointF a, QPointF b)
{
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    return path;
}

QPainterPath arc(QPointF from, QPointF control, QPointF to)
{
    QPainterPath path;
    path.moveTo(from);
    path.quadTo(control, to);
    return path;
}

void face(const Canvas &c, QPointF centre, double r, const QColor &colour = pal::yellow)
{
    c.shape(circlePath(centre, r), colour);
    c.p.save();
    c.p.translate(centre.x() - r * 0.38, centre.y() - r * 0.55);
    c.p.rotate(-30);
    c.fill(ellipse({0, 0}, r * 0.36, r * 0.18), QColor(255, 255, 255, 110));
    c.p.restore();
}

// Eyes and mouth of a round face, scaled to its radius.
void dotEyes(const Canvas &c, QPointF centre, double r, double lookX = 0)
{
    const double dx = r * 0.34, y = centre.y() - r * 0.22;
    const double ex = std::max(1.0, r * 0.12), ey = std::max(1.2, r * 0.17);
    c.fill(ellipse({centre.x() - dx + lookX, y}, ex, ey), pal::ink);
    c.fill(ellipse({centre.x() + dx + lookX, y}, ex, ey), pal::ink);
}

void shutEye(const Canvas &c, QPointF at, double half, double bend)
{
    c.stroke(arc({at.x() - half, at.y()}, {at.x(), at.y() + bend}, {at.x() + half, at.y()}), pal::ink, 1.2);
}

void smile(const Canvas &c, QPointF centre, double r, double width = 1.3)
{
    const double y = centre.y() + r * 0.25, half = r * 0.5;
    c.stroke(arc({centre.x() - half, y}, {centre.x(), y + r * 0.5}, {centre.x() + half, y}), pal::ink, width);
}

void flame(const Canvas &c, QPointF base, double height, double sway)
{
    QPainterPath outer;
    outer.moveTo(base);
    outer.cubicTo(base + QPointF(-height * 0.45, -height * 0.35),
                  base + QPointF(sway - height * 0.1, -height * 0.7), base + QPointF(sway, -height));
    outer.cubicTo(base + QPointF(sway + height * 0.1, -height * 0.7),
                  base + QPointF(height * 0.45, -height * 0.35), base);
    c.shape(outer, pal::orange);
    QPainterPath inner;
    const QPointF b = base + QPointF(0, -height * 0.12);
    inner.moveTo(b);
    inner.cubicTo(b + QPointF(-height * 0.2, -height * 0.2), b + QPointF(sway * 0.6, -height * 0.45),
                  b + QPointF(sway * 0.6, -height * 0.6));
    inner.cubicTo(b + QPointF(sway * 0.6, -height * 0.45), b + QPointF(height * 0.2, -height * 0.2), b);
    c.fill(inner, pal::yellow);
}

void sparkle(const Canvas &c, QPointF centre, double r, const QColor &colour = pal::yellow)
{
    c.shape(starPath(centre, r, r * 0.38, 4), colour);
}

void drop(const Canvas &c, QPointF top, double size, const QColor &colour = kTear)
{
    QPainterPath path;
    path.moveTo(top);
    path.cubicTo(top + QPointF(size * 0.9, size * 1.1), top + QPointF(size * 0.6, size * 1.9),
                 top + QPointF(0, size * 1.9));
    path.cubicTo(top + QPointF(-size * 0.6, size * 1.9), top + QPointF(-size * 0.9, size * 1.1), top);
    c.shape(path, colour);
}

// A "z" of sleep: three strokes.
void zed(const Canvas &c, QPointF topLeft, double s, const QColor &colour)
{
    QPainterPath path;
    path.moveTo(topLeft);
    path.lineTo(topLeft + QPointF(s, 0));
    path.lineTo(topLeft + QPointF(0, s));
    path.lineTo(topLeft + QPointF(s, s));
    c.stroke(path, colour, 1.3);
}

void cloud(const Canvas &c, QPointF centre, double w, const QColor &colour)
{
    QPainterPath path;
    const double h = w * 0.42;
    path.addRoundedRect(QRectF(centre.x() - w / 2, centre.y() - h * 0.1, w, h * 0.6), h * 0.3, h * 0.3);
    path.addEllipse(QPointF(centre.x() - w * 0.2, centre.y()), w * 0.22, w * 0.22);
    path.addEllipse(QPointF(centre.x() + w * 0.12, centre.y() - h * 0.25), w * 0.28, w * 0.28);
    c.shape(joined(path), colour);
}

// ---- the animations ---------------------------------------------------------------------------

void candle(const Canvas &c, int f)
{
    c.shape(roundedPath(c.box(5, 11, 12, 21), 1), pal::sky);
    for (double y : {13.5, 16.5, 19.5})
        c.stroke(segment({6, y}, {11, y - 1.5}), kWhite, 1.0);
    c.stroke(segment({8.5, 11}, {8.5, 9}), pal::ink, 1.0);
    const double sway[] = {-1.2, 0.0, 1.2, 0.3};
    const double height[] = {7.5, 8.5, 7.0, 8.0};
    flame(c, {8.5, 9.8}, height[f], sway[f]);
}

void wink(const Canvas &c, int f)
{
    const QPointF centre(11.5, 10);
    const double r = 8.8;
    face(c, centre, r);
    const double y = centre.y() - r * 0.22;
    c.fill(ellipse({centre.x() - 3, y}, 1.1, 1.5), pal::ink);
    if (f == 0)
        c.fill(ellipse({centre.x() + 3, y}, 1.1, 1.5), pal::ink);
    else if (f == 1 || f == 3)
        c.stroke(segment({centre.x() + 1.8, y}, {centre.x() + 4.2, y}), pal::ink, 1.2);
    else
        shutEye(c, {centre.x() + 3, y + 0.5}, 1.8, -2.2);
    smile(c, centre, r, f == 2 ? 1.6 : 1.3);
}

void laugh(const Canvas &c, int f)
{
    const double bob = (f % 2) ? -1 : 0;
    const QPointF centre(14, 14.5 + bob);
    const double r = 12;
    face(c, centre, r);
    shutEye(c, {centre.x() - 4.3, centre.y() - 2.6}, 2.4, -3.2);
    shutEye(c, {centre.x() + 4.3, centre.y() - 2.6}, 2.4, -3.2);
    const double open = (f % 2) ? 6.5 : 4.5;
    QPainterPath mouth;
    mouth.moveTo(centre.x() - 6, centre.y() + 2);
    mouth.lineTo(centre.x() + 6, centre.y() + 2);
    mouth.quadTo(centre.x() + 5.5, centre.y() + 2 + open * 1.4, centre.x(), centre.y() + 2 + open);
    mouth.quadTo(centre.x() - 5.5, centre.y() + 2 + open * 1.4, centre.x() - 6, centre.y() + 2);
    c.shape(mouth, kMouth);
    c.fill(ellipse({centre.x(), centre.y() + 2 + open * 0.8}, 2.6, open * 0.22), pal::pink);
    const double tear = (f % 2) ? 2.5 : 0.5;
    drop(c, {centre.x() - 10.5, centre.y() - 2 + tear}, 1.8);
    drop(c, {centre.x() + 10.5, centre.y() - 2 + tear}, 1.8);
}

void hand(const Canvas &c, double angle)
{
    c.p.save();
    c.p.translate(10.5, 25);
    c.p.rotate(angle);
    c.p.translate(-10.5, -25);
    QPainterPath palm;
    palm.addRoundedRect(QRectF(5, 11, 11, 11), 3.5, 3.5);
    palm.addRoundedRect(QRectF(5, 4.5, 2.6, 10), 1.3, 1.3);
    palm.addRoundedRect(QRectF(7.9, 3, 2.6, 10), 1.3, 1.3);
    palm.addRoundedRect(QRectF(10.8, 3.5, 2.6, 10), 1.3, 1.3);
    palm.addRoundedRect(QRectF(13.6, 5.5, 2.4, 9), 1.2, 1.2);
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-1.2, -5, 2.6, 9), 1.3, 1.3);
    palm.addPath(QTransform().translate(4.2, 17).rotate(-50).map(thumb));
    palm.addRoundedRect(QRectF(7, 19, 7, 6), 1, 1);
    c.shape(joined(palm), pal::skin);
    c.shape(roundedPath(QRectF(6.5, 23, 8, 4), 1), pal::blue);
    c.p.restore();
}

void waving(const Canvas &c, int f)
{
    const double angles[] = {-16, 0, 16, 0};
    hand(c, angles[f]);
    if (f == 0 || f == 2) {
        const double side = f == 0 ? 1.5 : 19.5, dir = f == 0 ? 1 : -1;
        c.stroke(arc({side, 6}, {side - dir * 1.5, 9}, {side, 12}), pal::grey, 1.0);
    }
}

void heartBeat(const Canvas &c, int f)
{
    const double widths[] = {17, 22, 19, 22};
    c.shape(heartPath({12, 10.8}, widths[f]), pal::red);
    c.fill(ellipse({12 - widths[f] * 0.22, 10.8 - widths[f] * 0.18}, widths[f] * 0.1, widths[f] * 0.06),
           QColor(255, 255, 255, 150));
}

void sleepy(const Canvas &c, int f)
{
    const QPointF centre(8.5, 10);
    const double r = 7.3;
    face(c, centre, r);
    shutEye(c, {centre.x() - 2.6, centre.y() - 1.2}, 1.6, 1.6);
    shutEye(c, {centre.x() + 2.6, centre.y() - 1.2}, 1.6, 1.6);
    c.fill(ellipse({centre.x(), centre.y() + 3.2}, 1.5, f % 2 ? 1.6 : 1.1), kMouth);
    const QColor zColour = pal::blue;
    if (f >= 1)
        zed(c, {16, 10}, 3, zColour);
    if (f >= 2)
        zed(c, {18, 5}, 3, zColour);
    if (f >= 3)
        zed(c, {14.5, 1}, 3, zColour);
}

void twinkle(const Canvas &c, int f)
{
    const double outer[] = {5, 7.4, 6, 7.4};
    c.p.save();
    c.p.translate(8, 8);
    c.p.rotate(f * 12);
    c.shape(starPath({0, 0}, outer[f], outer[f] * 0.45), pal::yellow);
    c.p.restore();
    if (f == 1)
        sparkle(c, {13.5, 2.5}, 2.2, kWhite);
    if (f == 3)
        sparkle(c, {2.5, 13.5}, 2.2, kWhite);
}

void cake(const Canvas &c, int f)
{
    c.shape(roundedPath(c.box(2, 17, 31, 25), 1.5), pal::pink);
    c.shape(roundedPath(c.box(6, 11, 27, 18), 1.5), pal::paper);
    QPainterPath icing;
    icing.moveTo(6, 12.5);
    for (int i = 0; i < 7; ++i)
        icing.quadTo(7.5 + i * 3, 16, 9 + i * 3, 12.5);
    c.stroke(icing, pal::pink, 1.4);
    for (double x : {6.5, 12.5, 18.5, 24.5})
        c.fill(circlePath({x, 21}, 1), pal::red);
    const double xs[] = {10.5, 16.5, 22.5};
    const QColor colours[] = {pal::blue, pal::green, pal::purple};
    for (int i = 0; i < 3; ++i) {
        c.shape(roundedPath(c.box(xs[i] - 1, 6, xs[i] + 1, 11), 0.3), colours[i]);
        const double sway = ((f + i) % 4 == 0) ? -0.8 : ((f + i) % 4 == 2) ? 0.8 : 0;
        flame(c, {xs[i], 5.5}, (f + i) % 2 ? 5 : 4.2, sway);
    }
}

void sunCloud(const Canvas &c, int f)
{
    const QPointF sun(15, 14);
    c.p.save();
    c.p.translate(sun);
    c.p.rotate(f * 11.25);
    for (int i = 0; i < 8; ++i) {
        const QPointF a = polarPoint({0, 0}, 9.5, i * 45.0), b = polarPoint({0, 0}, 13, i * 45.0);
        c.stroke(segment(a, b), pal::orange, 2.0);
    }
    c.p.restore();
    face(c, sun, 7.5, pal::yellow);
    dotEyes(c, sun, 7.5);
    smile(c, sun, 7.5, 1.1);
    const double drift[] = {0, 1.5, 3, 1.5};
    cloud(c, {32 - drift[f], 20}, 22, pal::paper);
}

void thumbsUp(const Canvas &c, int f)
{
    const double lift = (f == 1) ? -2 : (f == 2 ? -3 : (f == 3 ? -1 : 0));
    c.p.save();
    c.p.translate(0, lift + 2);
    QPainterPath fist;
    fist.addRoundedRect(QRectF(4, 10, 12, 10), 3, 3);
    fist.addRoundedRect(QRectF(4, 1.5, 4.6, 11), 2.3, 2.3);
    c.shape(joined(fist), pal::skin);
    for (double y : {13.0, 15.5, 18.0})
        c.stroke(segment({10, y}, {15, y}), edgeOf(pal::skin), 0.9);
    c.shape(roundedPath(QRectF(5, 19.5, 10, 4.5), 1), pal::blue);
    c.p.restore();
    if (f == 2)
        sparkle(c, {15.5, 4}, 3);
}

void rolling(const Canvas &c, int f)
{
    const double r = 11;
    const double xs[] = {12, 20, 28, 36, 44, 36, 28, 20};
    const double x = xs[f];
    const QPointF centre(x, 15.5);
    const double angle = (x - 12) / r * 180.0 / std::numbers::pi;
    face(c, centre, r);
    c.p.save();
    c.p.translate(centre);
    c.p.rotate(angle);
    c.p.translate(-centre);
    shutEye(c, {centre.x() - 3.8, centre.y() - 2.6}, 2.3, -3);
    shutEye(c, {centre.x() + 3.8, centre.y() - 2.6}, 2.3, -3);
    QPainterPath mouth;
    mouth.moveTo(centre.x() - 5.5, centre.y() + 1.5);
    mouth.lineTo(centre.x() + 5.5, centre.y() + 1.5);
    mouth.quadTo(centre.x() + 5, centre.y() + 9, centre.x(), centre.y() + 7.5);
    mouth.quadTo(centre.x() - 5, centre.y() + 9, centre.x() - 5.5, centre.y() + 1.5);
    c.shape(mouth, kMouth);
    drop(c, {centre.x() - 9.5, centre.y() - 3}, 1.6);
    drop(c, {centre.x() + 9.5, centre.y() - 3}, 1.6);
    c.p.restore();
}

void threeHearts(const Canvas &c, int f)
{
    for (int i = 0; i < 3; ++i) {
        const bool big = i == f;
        const QColor colour = i == 1 ? pal::pink : pal::red;
        c.shape(heartPath({6.5 + i * 12, 7.5}, big ? 13 : 9.5), colour);
    }
}

void fish(const Canvas &c, int f)
{
    const double wag[] = {-2, 0, 2, 0};
    const double x = 14 + (f == 1 ? 1 : f == 3 ? -1 : 0);
    QPainterPath tail;
    tail.moveTo(x - 8, 9);
    tail.lineTo(x - 13.5, 4 + wag[f]);
    tail.lineTo(x - 13.5, 14 - wag[f] * 0.4);
    tail.closeSubpath();
    c.shape(tail, pal::orange);
    c.shape(ellipse({x, 9}, 9, 6), pal::orange);
    c.stroke(arc({x - 3, 4}, {x - 1, 9}, {x - 3, 14}), edgeOf(pal::orange), 1.0);
    c.fill(circlePath({x + 4.5, 7.5}, 1.2), pal::ink);
    c.stroke(arc({x + 6.5, 10.5}, {x + 7.5, 11.5}, {x + 8.5, 10.5}), pal::ink, 0.9);
    const double rise = f * 3.5;
    c.shape(circlePath({x + 13, 13 - rise * 0.9}, 1.6), pal::sky);
    c.shape(circlePath({x + 17, 16 - std::fmod(rise + 6, 14)}, 1.2), pal::sky);
}

void lookingEyes(const Canvas &c, int f)
{
    const double look[] = {-2.2, 0, 2.2, 0};
    for (double x : {7.0, 19.0}) {
        c.shape(ellipse({x, 8}, 5.5, 7), kWhite);
        if (f == 3) {
            c.stroke(segment({x - 4, 8}, {x + 4, 8}), pal::ink, 1.4);
        } else {
            c.fill(circlePath({x + look[f], 9}, 2.6), pal::ink);
            c.fill(circlePath({x + look[f] - 0.9, 8}, 0.8), kWhite);
        }
    }
}

void coffee(const Canvas &c, int f)
{
    c.shape(ellipse({14, 18}, 11, 1.6), pal::paper);
    QPainterPath cup;
    cup.moveTo(6, 9);
    cup.lineTo(22, 9);
    cup.quadTo(22, 17.5, 14, 17.5);
    cup.quadTo(6, 17.5, 6, 9);
    c.shape(cup, pal::red);
    QPainterPath handle;
    handle.addEllipse(QPointF(23, 12), 3.2, 2.6);
    handle.addEllipse(QPointF(23, 12), 1.6, 1.2);
    c.shape(handle, pal::red);
    c.shape(ellipse({14, 9}, 8, 1.5), QColor(0x7a, 0x4a, 0x27));
    for (int i = 0; i < 3; ++i) {
        const double x = 10 + i * 4;
        const double phase = ((f + i) % 4) * 0.9;
        QPainterPath steam;
        steam.moveTo(x, 7 - phase * 0.3);
        steam.cubicTo(x - 2, 5 - phase, x + 2, 3.5 - phase, x, 1.2 - phase * 0.2);
        c.stroke(steam, QColor(0x9c, 0xa5, 0xb0, 200), 1.1);
    }
}

void note(const Canvas &c, QPointF head, const QColor &colour, bool doubleNote)
{
    c.shape(ellipse(head, 2.8, 2.1), colour);
    c.stroke(segment(head + QPointF(2.4, 0), head + QPointF(2.4, -11)), edgeOf(colour), 1.3);
    if (doubleNote) {
        c.shape(ellipse(head + QPointF(8, -2), 2.8, 2.1), colour);
        c.stroke(segment(head + QPointF(10.4, -2), head + QPointF(10.4, -13)), edgeOf(colour), 1.3);
        QPainterPath beam;
        beam.moveTo(head + QPointF(2.4, -11));
        beam.lineTo(head + QPointF(10.4, -13));
        beam.lineTo(head + QPointF(10.4, -10.5));
        beam.lineTo(head + QPointF(2.4, -8.5));
        beam.closeSubpath();
        c.fill(beam, edgeOf(colour));
    } else {
        c.stroke(arc(head + QPointF(2.4, -11), head + QPointF(6.5, -9), head + QPointF(5.5, -5)),
                 edgeOf(colour), 1.3);
    }
}

void notes(const Canvas &c, int f)
{
    const double a = (f % 2) ? -2 : 0, b = (f % 2) ? 0 : -2;
    note(c, {5, 16 + a}, pal::purple, false);
    note(c, {16, 17 + b}, pal::blue, true);
}

void car(const Canvas &c, int f)
{
    const double x = 2 + f * 4.8;
    const auto draw = [&c, f](double left) {
        QPainterPath body;
        body.addRoundedRect(QRectF(left, 5.5, 22, 6), 2, 2);
        body.addRoundedRect(QRectF(left + 4.5, 1.5, 12, 6), 2.2, 2.2);
        c.shape(joined(body), pal::red);
        c.shape(roundedPath(QRectF(left + 6.2, 2.8, 4, 3), 0.8), pal::sky);
        c.shape(roundedPath(QRectF(left + 11.3, 2.8, 4, 3), 0.8), pal::sky);
        c.fill(circlePath({left + 21, 7.5}, 0.9), pal::yellow);
        for (double wx : {left + 5.5, left + 16.5}) {
            c.shape(circlePath({wx, 11.5}, 2.8), pal::darkGrey);
            const QPointF hub(wx, 11.5);
            c.stroke(segment(polarPoint(hub, 1.8, f * 45.0), polarPoint(hub, 1.8, f * 45.0 + 180)), pal::grey,
                     0.9);
        }
    };
    draw(x);
    for (int i = 0; i < 3; ++i) {
        const double y = 6 + i * 2.2;
        c.stroke(segment({x - 2 - i * 1.5, y}, {x - 6 - i * 1.5, y}), pal::grey, 0.9);
    }
}

void glass(const Canvas &c, double x, double tilt)
{
    c.p.save();
    c.p.translate(x, 21);
    c.p.rotate(tilt);
    c.shape(roundedPath(QRectF(-5, -15, 10, 14), 1.4), pal::yellow);
    c.shape(roundedPath(QRectF(-6, -18, 12, 4.5), 2), pal::paper);
    QPainterPath handle;
    handle.addRoundedRect(QRectF(tilt < 0 ? -9 : 4.5, -12, 4.5, 8), 2, 2);
    handle.addRoundedRect(QRectF(tilt < 0 ? -7.5 : 6, -10.5, 1.5, 5), 0.7, 0.7);
    c.shape(handle.simplified(), pal::yellow);
    for (double bx : {-2.5, 1.0, 2.5})
        c.fill(circlePath({bx, -5 - (bx + 3) * 1.5}, 0.7), QColor(255, 255, 255, 170));
    c.p.restore();
}

void cheers(const Canvas &c, int f)
{
    const double gaps[] = {12, 7, 2.8, 7};
    glass(c, 32 - gaps[f] - 6, 12);
    glass(c, 32 + gaps[f] + 6, -12);
    if (f == 2) {
        sparkle(c, {32, 3.5}, 3.2);
        c.stroke(segment({26, 2}, {24.5, 0.5}), pal::orange, 1.0);
        c.stroke(segment({38, 2}, {39.5, 0.5}), pal::orange, 1.0);
    }
}

void bird(const Canvas &c, int f)
{
    const double bob[] = {0, -1, 0, 1};
    const double y = 11 + bob[f];
    QPainterPath tail;
    tail.moveTo(10, y);
    tail.lineTo(3, y - 3);
    tail.lineTo(4, y + 3);
    tail.closeSubpath();
    c.shape(tail, pal::blue);
    c.shape(ellipse({19, y}, 9, 5.5), pal::blue);
    c.shape(circlePath({27, y - 3}, 4), pal::blue);
    QPainterPath beak;
    beak.moveTo(30.5, y - 4);
    beak.lineTo(35, y - 2.5);
    beak.lineTo(30.5, y - 1.5);
    beak.closeSubpath();
    c.shape(beak, pal::orange);
    c.fill(circlePath({28, y - 4}, 0.9), pal::ink);
    const double wingTip[] = {-8, -2, 5, -2};
    QPainterPath wing;
    wing.moveTo(15, y - 1);
    wing.quadTo(18, y + wingTip[f] - 1, 20 + (f == 2 ? 0 : 2), y + wingTip[f]);
    wing.quadTo(23, y - 1, 22, y - 1);
    wing.closeSubpath();
    c.shape(wing, pal::sky);
}

void rocket(const Canvas &c, int f)
{
    const double x = 14;
    for (int i = 0; i < 4; ++i) {
        const double sx = std::fmod(60 - f * 6 + i * 13, 50);
        c.fill(circlePath({sx, 2.0 + (i * 5) % 12}, 0.7), pal::grey);
    }
    const double len[] = {8, 11, 9, 12};
    QPainterPath fire;
    fire.moveTo(x, 5);
    fire.quadTo(x - len[f] * 0.6, 5.5, x - len[f], 7.5);
    fire.quadTo(x - len[f] * 0.6, 9.5, x, 10);
    c.shape(fire, pal::orange);
    c.fill(ellipse({x - 2, 7.5}, 3, 1.3), pal::yellow);
    QPainterPath body;
    body.moveTo(x, 4);
    body.lineTo(x + 16, 4);
    body.quadTo(x + 23, 5.5, x + 25, 7.5);
    body.quadTo(x + 23, 9.5, x + 16, 11);
    body.lineTo(x, 11);
    body.closeSubpath();
    c.shape(body, pal::paper);
    QPainterPath fins;
    fins.moveTo(x + 1, 4);
    fins.lineTo(x - 2, 0.5);
    fins.lineTo(x + 6, 4);
    fins.moveTo(x + 1, 11);
    fins.lineTo(x - 2, 14.5);
    fins.lineTo(x + 6, 11);
    c.shape(fins, pal::red);
    c.shape(circlePath({x + 13, 7.5}, 2), pal::sky);
    c.fill(QPainterPath(arc({x + 20, 4.8}, {x + 25, 7.5}, {x + 20, 10.2})), pal::red);
}

void rain(const Canvas &c, int f)
{
    for (int i = 0; i < 4; ++i) {
        const double x = 8 + i * 5.5;
        const double y = 10 + std::fmod(f * 2.5 + i * 3.5, 7);
        drop(c, {x, y}, 1.3);
    }
    cloud(c, {16, 5.5}, 26, pal::grey);
}

void burst(const Canvas &c, QPointF centre, double r, const QColor &colour, int alpha)
{
    QColor col = colour;
    col.setAlpha(alpha);
    for (int i = 0; i < 10; ++i) {
        const QPointF a = polarPoint(centre, r * 0.35, i * 36.0), b = polarPoint(centre, r, i * 36.0);
        c.stroke(segment(a, b), col, 1.3);
        c.fill(circlePath(polarPoint(centre, r + 1.2, i * 36.0), 0.9), col);
    }
}

void fireworks(const Canvas &c, int f)
{
    const double rs[] = {4, 8, 10.5};
    const int alphas[] = {255, 255, 150};
    const int a = f % 3;
    if (f < 3) {
        burst(c, {16, 11}, rs[a], pal::red, alphas[a]);
        if (a == 0)
            c.stroke(segment({16, 22}, {16, 15}), pal::orange, 1.0);
        burst(c, {44, 12}, 3, pal::blue, a == 2 ? 0 : 60);
    } else {
        burst(c, {44, 12}, rs[a], pal::blue, alphas[a]);
        if (a == 0)
            c.stroke(segment({44, 22}, {44, 16}), pal::orange, 1.0);
        sparkle(c, {30, 5}, a == 1 ? 3 : 2, pal::yellow);
    }
}

void blink(const Canvas &c, int f)
{
    const QPointF centre(7.5, 7.5);
    const double r = 6.6;
    face(c, centre, r);
    const double y = centre.y() - 1.5;
    if (f == 0) {
        c.fill(ellipse({centre.x() - 2.2, y}, 0.9, 1.3), pal::ink);
        c.fill(ellipse({centre.x() + 2.2, y}, 0.9, 1.3), pal::ink);
    } else {
        c.stroke(segment({centre.x() - 3.2, y}, {centre.x() - 1.2, y}), pal::ink, 1.0);
        c.stroke(segment({centre.x() + 1.2, y}, {centre.x() + 3.2, y}), pal::ink, 1.0);
    }
    c.stroke(arc({centre.x() - 3, centre.y() + 1.8}, {centre.x(), centre.y() + 5},
                 {centre.x() + 3, centre.y() + 1.8}),
             pal::ink, 1.1);
}

} // namespace

std::vector<Animation> animations()
{
    return {
        {"candle", {17, 22}, {12, 12, 12, 12}, candle},
        {"wink", {23, 20}, {120, 6, 40, 6}, wink},
        {"laugh", {28, 28}, {14, 14, 14, 14}, laugh},
        {"waving-hand", {21, 27}, {14, 12, 14, 12}, waving},
        {"heart", {24, 21}, {12, 10, 10, 40}, heartBeat},
        {"sleepy", {22, 18}, {50, 40, 40, 60}, sleepy},
        {"twinkle", {16, 16}, {12, 12, 12, 12}, twinkle},
        {"cake", {33, 26}, {15, 15, 15, 15}, cake},
        {"sun", {45, 30}, {25, 25, 25, 25}, sunCloud},
        {"thumbs-up", {19, 27}, {40, 10, 30, 10}, thumbsUp},
        {"rolling-laugh", {57, 28}, {12, 12, 12, 12, 12, 12, 12, 12}, rolling},
        {"three-hearts", {37, 15}, {25, 25, 25}, threeHearts},
        {"fish", {39, 18}, {20, 20, 20, 20}, fish},
        {"eyes", {26, 16}, {60, 40, 60, 10}, lookingEyes},
        {"coffee", {31, 20}, {20, 20, 20, 20}, coffee},
        {"notes", {30, 21}, {30, 30}, notes},
        {"car", {61, 15}, {10, 10, 10, 10, 10, 10, 10, 10}, car},
        {"cheers", {64, 22}, {40, 15, 50, 15}, cheers},
        {"bird", {40, 20}, {12, 12, 12, 12}, bird},
        {"rocket", {50, 15}, {8, 8, 8, 8}, rocket},
        {"rain", {32, 18}, {15, 15, 15}, rain},
        {"fireworks", {60, 23}, {20, 20, 30, 20, 20, 30}, fireworks},
        {"blink", {15, 15}, {150, 15}, blink},
    };
}
