// Mood pictures 25..49: round yellow faces first, then a few objects. They are only ever shown
// at 32 pixels (inside messages and in the picture chooser).
#include "catalog.h"
#include "shapes.h"

namespace {

const QColor kMouth(0x8c, 0x2c, 0x22);
const QColor kTongue(0xf2, 0x6f, 0x86);
const QColor kTear(0x5c, 0xb8, 0xf0);

QPainterPath ellipsePath(QPointF centre, double rx, double ry)
{
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

// ---- face parts -------------------------------------------------------------------------------

struct Face {
    QPointF centre{16, 16};
    double r = 14.5;
    QColor colour = pal::yellow;
};

void face(const Canvas &c, const Face &f = {})
{
    c.shape(circlePath(f.centre, f.r), f.colour);
    // a soft highlight in the upper left
    c.p.save();
    c.p.translate(f.centre.x() - f.r * 0.38, f.centre.y() - f.r * 0.55);
    c.p.rotate(-30);
    c.fill(ellipsePath({0, 0}, f.r * 0.38, f.r * 0.2), QColor(255, 255, 255, 110));
    c.p.restore();
}

void line(const Canvas &c, const QPainterPath &path, double width = 1.6, const QColor &colour = pal::ink)
{
    c.stroke(path, colour, width);
}

void dotEyes(const Canvas &c, double y = 12.5, double dx = 4.6)
{
    c.fill(ellipsePath({16 - dx, y}, 1.7, 2.3), pal::ink);
    c.fill(ellipsePath({16 + dx, y}, 1.7, 2.3), pal::ink);
}

// Eyes shut by laughing: two upward arcs.
void happyEyes(const Canvas &c, double y = 13)
{
    QPainterPath eyes;
    eyes.moveTo(8.8, y);
    eyes.quadTo(11.4, y - 4, 14, y);
    eyes.moveTo(18, y);
    eyes.quadTo(20.6, y - 4, 23.2, y);
    line(c, eyes);
}

// Eyes shut by sleep or sorrow: two downward arcs.
void closedEyes(const Canvas &c, double y = 12.5)
{
    QPainterPath eyes;
    eyes.moveTo(8.8, y);
    eyes.quadTo(11.4, y + 2.8, 14, y);
    eyes.moveTo(18, y);
    eyes.quadTo(20.6, y + 2.8, 23.2, y);
    line(c, eyes);
}

void smileMouth(const Canvas &c, double y = 19, double depth = 6.5, double half = 6.8)
{
    QPainterPath mouth;
    mouth.moveTo(16 - half, y);
    mouth.quadTo(16, y + depth, 16 + half, y);
    line(c, mouth, 1.8);
}

void frownMouth(const Canvas &c, double y = 23.5)
{
    QPainterPath mouth;
    mouth.moveTo(10.5, y);
    mouth.quadTo(16, y - 5.5, 21.5, y);
    line(c, mouth, 1.8);
}

// A wide open laughing mouth with a tongue.
void grinMouth(const Canvas &c, double y = 18.5, double half = 7.5)
{
    QPainterPath mouth;
    mouth.moveTo(16 - half, y);
    mouth.lineTo(16 + half, y);
    mouth.cubicTo(16 + half, y + 10.5, 16 - half, y + 10.5, 16 - half, y);
    mouth.closeSubpath();
    c.shape(mouth, kMouth);
    c.p.save();
    c.p.setClipPath(mouth);
    c.fill(ellipsePath({16, y + 8.5}, half * 0.6, 3.2), kTongue);
    QPainterPath teeth;
    teeth.addRect(QRectF(16 - half, y, 2 * half, 2));
    c.fill(teeth, Qt::white);
    c.p.restore();
    c.shape(mouth, Qt::transparent, edgeOf(kMouth));
}

// ---- faces -------------------------------------------------------------------------------------

void drawHappy(Canvas &c)
{
    face(c);
    dotEyes(c);
    smileMouth(c);
}

void drawLaughing(Canvas &c)
{
    face(c);
    happyEyes(c, 12.5);
    grinMouth(c);
}

void drawWink(Canvas &c)
{
    face(c);
    c.fill(ellipsePath({11.4, 12.5}, 1.7, 2.3), pal::ink);
    QPainterPath shut;
    shut.moveTo(18, 13);
    shut.quadTo(20.6, 10.2, 23.4, 13);
    line(c, shut);
    QPainterPath mouth;
    mouth.moveTo(9.5, 19.5);
    mouth.quadTo(16, 25.5, 22.5, 18);
    line(c, mouth, 1.8);
}

void drawSad(Canvas &c)
{
    face(c);
    dotEyes(c, 13);
    QPainterPath brows;
    brows.moveTo(8.5, 9.5);
    brows.lineTo(13, 7.8);
    brows.moveTo(23.5, 9.5);
    brows.lineTo(19, 7.8);
    line(c, brows, 1.3);
    frownMouth(c);
}

void drawCrying(Canvas &c)
{
    face(c);
    closedEyes(c, 12);
    QPainterPath tears;
    tears.moveTo(10.4, 14);
    tears.cubicTo(8.6, 18, 12.2, 18, 10.4, 14);
    tears.moveTo(21.6, 14);
    tears.cubicTo(19.8, 18, 23.4, 18, 21.6, 14);
    QPainterPath streams;
    streams.addRoundedRect(QRectF(8.8, 14, 3.2, 13), 1.6, 1.6);
    streams.addRoundedRect(QRectF(20, 14, 3.2, 13), 1.6, 1.6);
    c.shape(streams.simplified(), kTear);
    QPainterPath mouth;
    mouth.moveTo(12.5, 24.5);
    mouth.cubicTo(12.5, 18.5, 19.5, 18.5, 19.5, 24.5);
    mouth.closeSubpath();
    c.shape(mouth, kMouth);
}

void drawAngry(Canvas &c)
{
    Face f;
    f.colour = QColor(0xf6, 0x8a, 0x3c);
    face(c, f);
    QPainterPath brows;
    brows.moveTo(8, 8.5);
    brows.lineTo(14, 11.5);
    brows.moveTo(24, 8.5);
    brows.lineTo(18, 11.5);
    line(c, brows, 2.2);
    c.fill(ellipsePath({11.8, 14}, 1.6, 1.8), pal::ink);
    c.fill(ellipsePath({20.2, 14}, 1.6, 1.8), pal::ink);
    frownMouth(c, 24);
}

void drawSurprised(Canvas &c)
{
    face(c);
    c.shape(ellipsePath({11.2, 12}, 2.8, 3.3), Qt::white, pal::ink);
    c.shape(ellipsePath({20.8, 12}, 2.8, 3.3), Qt::white, pal::ink);
    c.fill(circlePath({11.2, 12.4}, 1.5), pal::ink);
    c.fill(circlePath({20.8, 12.4}, 1.5), pal::ink);
    c.shape(ellipsePath({16, 22.5}, 3, 3.8), kMouth);
}

void drawCool(Canvas &c)
{
    face(c);
    const QColor glass(0x23, 0x26, 0x2e);
    QPainterPath shades;
    shades.moveTo(5.5, 10);
    shades.lineTo(26.5, 10);
    shades.lineTo(25.8, 12.5);
    shades.cubicTo(25, 17.5, 18.5, 17.5, 17.6, 12.8);
    shades.lineTo(14.4, 12.8);
    shades.cubicTo(13.5, 17.5, 7, 17.5, 6.2, 12.5);
    shades.closeSubpath();
    c.shape(shades, glass);
    QPainterPath glint;
    glint.moveTo(8.2, 11.5);
    glint.lineTo(10, 11.5);
    glint.moveTo(19.8, 11.5);
    glint.lineTo(21.6, 11.5);
    line(c, glint, 1.0, QColor(255, 255, 255, 200));
    QPainterPath mouth;
    mouth.moveTo(11, 21.5);
    mouth.quadTo(17, 25, 22, 19.5);
    line(c, mouth, 1.8);
}

void drawTongueOut(Canvas &c)
{
    face(c);
    dotEyes(c, 12);
    QPainterPath tongue;
    tongue.moveTo(12.5, 20.5);
    tongue.lineTo(19.5, 20.5);
    tongue.cubicTo(19.5, 28, 12.5, 28, 12.5, 20.5);
    tongue.closeSubpath();
    c.shape(tongue, kTongue);
    QPainterPath groove;
    groove.moveTo(16, 21);
    groove.lineTo(16, 23.5);
    line(c, groove, 0.8, kTongue.darker(140));
    QPainterPath mouth;
    mouth.moveTo(8.5, 19.5);
    mouth.quadTo(16, 22.5, 23.5, 19.5);
    line(c, mouth, 1.8);
}

void drawHeartEyes(Canvas &c)
{
    face(c);
    c.shape(heartPath({10.8, 12}, 8), pal::red);
    c.shape(heartPath({21.2, 12}, 8), pal::red);
    grinMouth(c, 19, 6.5);
}

void drawKiss(Canvas &c)
{
    face(c);
    dotEyes(c, 12.5);
    QPainterPath lips;
    lips.moveTo(14.5, 18.5);
    lips.quadTo(18.5, 19, 15.6, 21.2);
    lips.quadTo(18.5, 23, 14.5, 24);
    line(c, lips, 1.7);
    c.shape(heartPath({23.5, 21.5}, 6.5), pal::red);
}

void drawConfused(Canvas &c)
{
    face(c);
    QPainterPath brows;
    brows.moveTo(8.5, 8.5);
    brows.quadTo(11, 6.5, 13.5, 8);
    brows.moveTo(18.5, 9.8);
    brows.lineTo(23.5, 9.8);
    line(c, brows, 1.4);
    c.fill(ellipsePath({11.2, 12.5}, 1.7, 2.3), pal::ink);
    c.fill(ellipsePath({20.8, 13}, 1.7, 1.8), pal::ink);
    QPainterPath mouth;
    mouth.moveTo(10, 22);
    mouth.cubicTo(12, 19.5, 14, 19.5, 16, 21.5);
    mouth.cubicTo(18, 23.5, 20, 23.5, 22, 21);
    line(c, mouth, 1.7);
}

void drawSleepy(Canvas &c)
{
    Face f;
    f.centre = {15, 17};
    f.r = 13.5;
    face(c, f);
    QPainterPath eyes;
    eyes.moveTo(7.8, 14);
    eyes.quadTo(10.4, 16.5, 13, 14);
    eyes.moveTo(17, 14);
    eyes.quadTo(19.6, 16.5, 22.2, 14);
    line(c, eyes);
    c.shape(ellipsePath({15, 23.5}, 2, 1.6), kMouth);
    // a growing "z z"
    const QColor zColour(0x3a, 0x7c, 0xd0);
    const auto zee = [&](double x, double y, double s) {
        QPainterPath z;
        z.moveTo(x, y);
        z.lineTo(x + s, y);
        z.lineTo(x, y + s);
        z.lineTo(x + s, y + s);
        c.stroke(z, Qt::white, s * 0.35 + 1.4);
        c.stroke(z, zColour, s * 0.35);
    };
    zee(21.5, 6, 3);
    zee(26, 1.5, 4);
}

void drawSick(Canvas &c)
{
    Face f;
    f.colour = QColor(0xc4, 0xdc, 0x6c);
    face(c, f);
    closedEyes(c, 12);
    c.p.save();
    c.p.translate(17, 22);
    c.p.rotate(-25);
    QPainterPath tube;
    tube.addRoundedRect(QRectF(0, -1.3, 13, 2.6), 1.3, 1.3);
    c.shape(tube, pal::paper);
    QPainterPath mercury;
    mercury.addRect(QRectF(0.5, -0.5, 6, 1));
    c.fill(mercury, pal::red);
    c.shape(circlePath({0.8, 0}, 1.9), pal::red);
    c.p.restore();
    QPainterPath mouth;
    mouth.moveTo(11, 22.5);
    mouth.lineTo(17, 22);
    line(c, mouth, 1.6);
}

void drawDevil(Canvas &c)
{
    const QColor skin(0x9a, 0x5c, 0xd6);
    QPainterPath horns;
    horns.moveTo(5.5, 11);
    horns.cubicTo(3, 6, 4.5, 2.5, 6.5, 1.5);
    horns.cubicTo(7, 5, 9, 7, 11.5, 7.5);
    horns.closeSubpath();
    horns.moveTo(26.5, 11);
    horns.cubicTo(29, 6, 27.5, 2.5, 25.5, 1.5);
    horns.cubicTo(25, 5, 23, 7, 20.5, 7.5);
    horns.closeSubpath();
    c.shape(horns, QColor(0xe0, 0x44, 0x3c));
    Face f;
    f.centre = {16, 17.5};
    f.r = 13.5;
    f.colour = skin;
    face(c, f);
    QPainterPath brows;
    brows.moveTo(8.5, 11);
    brows.lineTo(14, 14);
    brows.moveTo(23.5, 11);
    brows.lineTo(18, 14);
    line(c, brows, 2, QColor(0x33, 0x1a, 0x4a));
    c.fill(ellipsePath({11.5, 15.5}, 1.5, 1.7), QColor(0x33, 0x1a, 0x4a));
    c.fill(ellipsePath({20.5, 15.5}, 1.5, 1.7), QColor(0x33, 0x1a, 0x4a));
    QPainterPath grin;
    grin.moveTo(9.5, 20.5);
    grin.quadTo(16, 24, 22.5, 20.5);
    grin.quadTo(16, 29.5, 9.5, 20.5);
    grin.closeSubpath();
    c.shape(grin, Qt::white, QColor(0x33, 0x1a, 0x4a));
}

void drawAngel(Canvas &c)
{
    Face f;
    f.centre = {16, 18};
    f.r = 13;
    face(c, f);
    QPainterPath halo;
    halo.addEllipse(QPointF(16, 4), 9, 2.6);
    c.stroke(halo, pal::yellow.darker(135), 3.6);
    c.stroke(halo, QColor(0xff, 0xf0, 0xa0), 2);
    closedEyes(c, 15);
    smileMouth(c, 21, 5, 5.5);
    const QColor blush(0xf2, 0x7a, 0x7a, 120);
    c.fill(ellipsePath({8.5, 20}, 2, 1.3), blush);
    c.fill(ellipsePath({23.5, 20}, 2, 1.3), blush);
}

// ---- objects ----------------------------------------------------------------------------------

void thumb(const Canvas &c)
{
    const QColor hand = pal::yellow;
    QPainterPath sleeve;
    sleeve.addRoundedRect(QRectF(3, 14, 6.5, 15), 1.2, 1.2);
    c.shape(sleeve, pal::blue);
    QPainterPath fist;
    fist.moveTo(9.5, 15);
    fist.lineTo(13.5, 13.5);
    fist.cubicTo(15, 10.5, 14.5, 6, 15, 4.5);
    fist.cubicTo(15.5, 2.5, 19.5, 2.5, 19.8, 6.5);
    fist.cubicTo(20, 9, 19.2, 11.5, 18.8, 13);
    fist.lineTo(26, 13);
    fist.cubicTo(29, 13, 29, 17.5, 26.5, 17.5);
    fist.cubicTo(28.8, 18, 28.8, 21.5, 26.2, 21.7);
    fist.cubicTo(28.2, 22.2, 28.2, 25.5, 25.6, 25.6);
    fist.cubicTo(27.2, 26.2, 27, 29, 24.5, 29);
    fist.lineTo(9.5, 29);
    fist.closeSubpath();
    c.shape(fist, hand);
    QPainterPath fingers;
    fingers.moveTo(20, 17.5);
    fingers.lineTo(26.5, 17.5);
    fingers.moveTo(20, 21.7);
    fingers.lineTo(26.2, 21.7);
    fingers.moveTo(20, 25.6);
    fingers.lineTo(25.6, 25.6);
    c.stroke(fingers, edgeOf(hand), 1.0);
}

void drawThumbsUp(Canvas &c)
{
    thumb(c);
}

void drawThumbsDown(Canvas &c)
{
    c.p.save();
    c.p.translate(0, 32);
    c.p.scale(1, -1);
    thumb(c);
    c.p.restore();
}

void drawRedHeart(Canvas &c)
{
    const QPainterPath heart = heartPath({16, 16.5}, 28);
    c.shape(heart, pal::red);
    c.p.save();
    c.p.translate(9.5, 10);
    c.p.rotate(-40);
    c.fill(ellipsePath({0, 0}, 3, 1.8), QColor(255, 255, 255, 120));
    c.p.restore();
}

void drawBrokenHeart(Canvas &c)
{
    const QPainterPath heart = heartPath({16, 16.5}, 26);
    QPainterPath crack;
    crack.moveTo(16, 0);
    crack.lineTo(16, 8);
    crack.lineTo(13.5, 12);
    crack.lineTo(17.5, 16);
    crack.lineTo(14, 20);
    crack.lineTo(16.5, 24);
    crack.lineTo(16, 32);
    QPainterPath leftSide = crack;
    leftSide.lineTo(0, 32);
    leftSide.lineTo(0, 0);
    leftSide.closeSubpath();
    QPainterPath rightSide = crack;
    rightSide.lineTo(32, 32);
    rightSide.lineTo(32, 0);
    rightSide.closeSubpath();
    c.p.save();
    c.p.translate(-1.2, 0.5);
    c.p.rotate(-5);
    c.shape(heart.intersected(leftSide), pal::red);
    c.p.restore();
    c.p.save();
    c.p.translate(1.8, -0.6);
    c.p.rotate(5);
    c.shape(heart.intersected(rightSide), pal::red);
    c.p.restore();
}

void drawRose(Canvas &c)
{
    const QColor leaf = pal::green;
    QPainterPath stem;
    stem.moveTo(16, 17);
    stem.cubicTo(15, 22, 17.5, 25, 16, 30.5);
    c.stroke(stem, leaf.darker(150), 3.2);
    c.stroke(stem, leaf, 1.8);
    QPainterPath leaves;
    leaves.moveTo(16.3, 24);
    leaves.cubicTo(19, 19.5, 24, 20, 25.5, 21);
    leaves.cubicTo(23, 24.5, 19, 25.5, 16.3, 24);
    leaves.moveTo(15.8, 27);
    leaves.cubicTo(13, 23.5, 9, 24, 7.5, 25);
    leaves.cubicTo(10, 28, 13.5, 28.5, 15.8, 27);
    c.shape(leaves, leaf);
    const QColor petal(0xe0, 0x2f, 0x4a);
    QPainterPath bloom;
    bloom.moveTo(8, 8);
    bloom.cubicTo(10, 4, 12.5, 5.5, 16, 3);
    bloom.cubicTo(19.5, 5.5, 22, 4, 24, 8);
    bloom.cubicTo(25.5, 13, 22, 19, 16, 19);
    bloom.cubicTo(10, 19, 6.5, 13, 8, 8);
    bloom.closeSubpath();
    c.shape(bloom, petal);
    QPainterPath folds;
    folds.moveTo(11, 9.5);
    folds.cubicTo(12, 14, 20, 14, 21, 9.5);
    folds.moveTo(13.5, 8.5);
    folds.cubicTo(15, 6.5, 18.5, 7.5, 18, 10.5);
    folds.moveTo(9.5, 13);
    folds.cubicTo(12, 17.5, 20, 17.5, 22.5, 13);
    c.stroke(folds, petal.darker(150), 1.1);
}

void drawCoffee(Canvas &c)
{
    const QColor steam(0xb0, 0xb8, 0xc4);
    QPainterPath wisps;
    wisps.moveTo(12, 10);
    wisps.cubicTo(10, 7.5, 14, 5.5, 12, 2.5);
    wisps.moveTo(17, 10);
    wisps.cubicTo(15, 7.5, 19, 5.5, 17, 2.5);
    c.stroke(wisps, steam, 1.4);
    c.shape(ellipsePath({15, 28}, 12.5, 2.8), pal::paper);
    QPainterPath handle;
    handle.addEllipse(QPointF(24, 18.5), 4.2, 4);
    c.stroke(handle, edgeOf(pal::paper), 3.6);
    c.stroke(handle, pal::paper, 1.8);
    QPainterPath cup;
    cup.moveTo(4.5, 12.5);
    cup.lineTo(25.5, 12.5);
    cup.cubicTo(25.5, 22, 22, 27, 15, 27);
    cup.cubicTo(8, 27, 4.5, 22, 4.5, 12.5);
    cup.closeSubpath();
    c.shape(cup, pal::paper);
    c.shape(ellipsePath({15, 13}, 10.2, 2), QColor(0x7a, 0x4a, 0x2a));
    QPainterPath band;
    band.moveTo(6, 18.5);
    band.quadTo(15, 20.5, 24, 18.5);
    c.stroke(band, pal::red, 1.6);
}

void drawBeer(Canvas &c)
{
    const QColor amber(0xf4, 0xb0, 0x2c);
    QPainterPath handle;
    handle.addRoundedRect(QRectF(19.5, 13, 8.5, 11), 4, 4);
    c.stroke(handle, QColor(0x9c, 0xb6, 0xc8), 4.4);
    c.stroke(handle, QColor(0xe6, 0xf2, 0xf8), 2.4);
    QPainterPath glass;
    glass.addRoundedRect(QRectF(5, 9, 16, 21), 2, 2);
    c.shape(glass, amber);
    QPainterPath gleam;
    gleam.addRoundedRect(QRectF(7.5, 12.5, 2, 14), 1, 1);
    c.fill(gleam, QColor(255, 255, 255, 110));
    for (const auto &[x, y] : {std::pair{13.0, 23.0}, {16.5, 18.5}, {12.0, 16.0}, {17.0, 25.5}}) {
        c.fill(circlePath({x, y}, 0.8), QColor(255, 255, 255, 150));
    }
    QPainterPath foam;
    foam.addEllipse(QPointF(7, 8.5), 3.5, 3.5);
    foam.addEllipse(QPointF(12, 6.5), 4.2, 4.2);
    foam.addEllipse(QPointF(17.5, 7.5), 3.8, 3.8);
    foam.addRect(QRectF(4, 8, 17.5, 3.5));
    foam.addEllipse(QPointF(8.5, 12.5), 1.6, 2.2);
    c.shape(foam.simplified(), pal::paper);
}

void drawCake(Canvas &c)
{
    c.shape(ellipsePath({16, 28.5}, 14, 2.5), QColor(0xdb, 0xe6, 0xf0));
    const QColor sponge(0xf6, 0xc8, 0x8e);
    QPainterPath lower;
    lower.addRoundedRect(QRectF(4, 19, 24, 9), 1.5, 1.5);
    c.shape(lower, sponge);
    QPainterPath upper;
    upper.addRoundedRect(QRectF(8, 13, 16, 7), 1.5, 1.5);
    c.shape(upper, sponge);
    const auto icing = [&](double left, double right, double top) {
        QPainterPath drip;
        drip.moveTo(left, top);
        drip.lineTo(right, top);
        drip.lineTo(right, top + 2.5);
        const double step = (right - left) / 4;
        for (int i = 4; i > 0; --i) {
            const double x = left + step * i;
            drip.quadTo(x - step / 2, top + (i % 2 ? 5 : 3.5), x - step, top + 2.5);
        }
        drip.closeSubpath();
        c.shape(drip, pal::pink);
    };
    icing(4, 28, 19);
    icing(8, 24, 13);
    for (double x : {11.5, 16.0, 20.5}) {
        QPainterPath candle;
        candle.addRect(QRectF(x - 1, 7.5, 2, 5.5));
        c.shape(candle, x == 16.0 ? pal::sky : pal::paper);
        QPainterPath flame;
        flame.moveTo(x, 2.5);
        flame.cubicTo(x + 2.2, 5, x + 1.4, 7, x, 7);
        flame.cubicTo(x - 1.4, 7, x - 2.2, 5, x, 2.5);
        flame.closeSubpath();
        c.shape(flame, pal::orange);
    }
    for (const auto &[x, y] : {std::pair{9.0, 24.5}, {14.0, 25.5}, {19.5, 24.5}, {24.0, 25.5}}) {
        c.fill(circlePath({x, y}, 0.9), pal::red);
    }
}

void drawSun(Canvas &c)
{
    QPainterPath rays;
    for (int i = 0; i < 12; ++i) {
        QTransform t;
        t.translate(16, 16);
        t.rotate(i * 30);
        QPainterPath ray;
        ray.moveTo(-2.2, -10);
        ray.lineTo(0, -15.5);
        ray.lineTo(2.2, -10);
        ray.closeSubpath();
        rays.addPath(t.map(ray));
    }
    c.shape(rays.simplified(), pal::orange);
    Face f;
    f.r = 10;
    face(c, f);
    c.fill(ellipsePath({12.6, 14.2}, 1.2, 1.6), pal::ink);
    c.fill(ellipsePath({19.4, 14.2}, 1.2, 1.6), pal::ink);
    smileMouth(c, 18.5, 4, 4.5);
}

} // namespace

std::vector<Picture> moodPictures()
{
    return {
        {"25", drawHappy},     {"26", drawLaughing},   {"27", drawWink},      {"28", drawSad},
        {"29", drawCrying},    {"30", drawAngry},      {"31", drawSurprised}, {"32", drawCool},
        {"33", drawTongueOut}, {"34", drawHeartEyes},  {"35", drawKiss},      {"36", drawConfused},
        {"37", drawSleepy},    {"38", drawSick},       {"39", drawDevil},     {"40", drawAngel},
        {"41", drawThumbsUp},  {"42", drawThumbsDown}, {"43", drawRedHeart},  {"44", drawBrokenHeart},
        {"45", drawRose},      {"46", drawCoffee},     {"47", drawBeer},      {"48", drawCake},
        {"49", drawSun},
    };
}
