// Profile pictures 00..24. Peers send each other the number of a picture, so a number keeps its
// meaning for ever: 00..10 are the program's general pictures, 11..24 the avatars a user may pick.
#include "catalog.h"
#include "shapes.h"

namespace {

// ---- helpers for the avatars -------------------------------------------------------------------

// Avatars sit on a coloured disc; the character is clipped to it.
class Disc {
public:
    Disc(const Canvas &c, const QColor &background)
        : c_(c)
        , background_(background)
        , path_(circlePath({16, 16}, c.small() ? 15 : 14.5))
    {
        c_.fill(path_, background_);
        c_.p.save();
        c_.p.setClipPath(path_);
    }
    ~Disc()
    {
        c_.p.restore();
        c_.shape(path_, Qt::transparent, edgeOf(background_));
    }
    Disc(const Disc &) = delete;
    Disc &operator=(const Disc &) = delete;

private:
    const Canvas &c_;
    QColor background_;
    QPainterPath path_;
};

QPainterPath ellipsePath(QPointF centre, double rx, double ry)
{
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

// A dark eye: a one-pixel dot on small pictures, a little oval on larger ones.
void eye(const Canvas &c, double x, double y, const QColor &colour = pal::ink)
{
    if (c.small()) {
        c.p.fillRect(QRectF(c.snap(x) - c.px() / 2, c.snap(y) - c.px() / 2, c.px(), 2 * c.px()), colour);
        return;
    }
    c.fill(ellipsePath({x, y}, 1.1, 1.4), colour);
}

void smile(const Canvas &c, double cx, double y, double half, double depth)
{
    QPainterPath mouth;
    mouth.moveTo(cx - half, y);
    mouth.quadTo(cx, y + depth, cx + half, y);
    c.stroke(mouth, pal::ink, c.atLeastPixel(0.9));
}

void cheeks(const Canvas &c, double cx, double y, double spread)
{
    if (c.small()) {
        return;
    }
    const QColor blush(0xf2, 0x7a, 0x7a, 110);
    c.fill(ellipsePath({cx - spread, y}, 1.5, 1.0), blush);
    c.fill(ellipsePath({cx + spread, y}, 1.5, 1.0), blush);
}

// Head, shoulders and a friendly face for the human avatars.
struct Human {
    QColor skin = pal::skin;
    QColor shirt = pal::blue;
    double headY = 14;
    double headR = 6.6;
};

void humanBody(const Canvas &c, const Human &h)
{
    Person who;
    who.cx = 16;
    who.headY = h.headY;
    who.headR = h.headR;
    who.bottom = 34;
    who.shirt = h.shirt;
    who.skin = h.skin;
    person(c, who);
}

// At 16 pixels a mouth is a short line a little darker than the skin.
void smallMouth(const Canvas &c, const QColor &skin, double y)
{
    c.p.fillRect(QRectF(c.snap(15) - c.px() / 2, c.snap(y) - c.px() / 2, 2 * c.px(), c.px()),
                 skin.darker(150));
}

void humanFace(const Canvas &c, const Human &h)
{
    eye(c, 13.4, h.headY + 0.4);
    eye(c, 18.6, h.headY + 0.4);
    if (c.small()) {
        smallMouth(c, h.skin, h.headY + 4);
        return;
    }
    smile(c, 16, h.headY + 2.8, 2.0, 2.0);
    cheeks(c, 16, h.headY + 2.6, 3.8);
}

// Short hair with a side fringe, covering the top of the head.
QPainterPath shortHair(const Human &h, double volume = 1.0)
{
    const double r = h.headR;
    const double y = h.headY;
    QPainterPath hair;
    hair.moveTo(16 - r - 0.4, y + 0.8);
    hair.cubicTo(16 - r - 1.0 * volume, y - r * 1.45 * volume, 16 + r + 1.0 * volume, y - r * 1.45 * volume,
                 16 + r + 0.4, y + 0.8);
    hair.cubicTo(16 + r - 0.3, y - r * 0.35, 16 + r * 0.4, y - r * 0.55, 16 - r * 0.1, y - r * 0.5);
    hair.cubicTo(16 - r * 0.5, y - r * 0.1, 16 - r * 0.9, y - r * 0.25, 16 - r - 0.4, y + 0.8);
    hair.closeSubpath();
    return hair;
}

// ---- general pictures 00..10 ------------------------------------------------------------------

void drawDefaultUser(Canvas &c)
{
    Person who;
    who.headY = 10.5;
    who.headR = 6.3;
    who.bottom = 30.5;
    who.shirt = QColor(0x7f, 0x98, 0xb5);
    who.skin = QColor(0xb9, 0xca, 0xdc);
    person(c, who);
}

void drawAllUsers(Canvas &c)
{
    globe(c, {16, 11}, c.small() ? 10 : 10.5);
    group(c, 0.72, {0, 6.5});
}

void drawGroupTalk(Canvas &c)
{
    group(c);
}

void drawPrivateTalk(Canvas &c)
{
    bubble(c, c.box(2, 3, 21, 16), pal::blue, true, !c.small());
    const QRectF front = c.box(11, 12, 30, 25);
    c.erase(bubblePath(front, false), c.small() ? 2 : 1.5);
    bubble(c, front, pal::green, false, true);
}

void drawInformation(Canvas &c)
{
    infoSign(c, {16, 16}, c.small() ? 13 : 13.5, pal::blue);
}

void drawFile(Canvas &c)
{
    page(c, c.box(6, 2, 26, 30), true);
}

void drawFolder(Canvas &c)
{
    folderShape(c, c.box(2, 5, 30, 27), false);
}

void drawMail(Canvas &c)
{
    envelope(c, c.box(2, 7, 30, 25));
}

void drawBlockedUser(Canvas &c)
{
    Person who;
    who.cx = 14;
    who.headY = 10.5;
    who.headR = 6;
    who.bottom = 30.5;
    who.shirt = pal::blue;
    person(c, who);
    badge(c, Badge::NoEntry);
}

void drawStar(Canvas &c)
{
    c.shape(starPath({16, 17}, 14.5, 6.3), pal::yellow);
}

void drawComputer(Canvas &c)
{
    const QColor frame(0x4f, 0x5b, 0x6a);
    // network line behind the machine
    QPainterPath net;
    net.moveTo(c.snap(2), c.snap(28));
    net.lineTo(c.snap(30), c.snap(28));
    c.stroke(net, pal::teal.darker(130), c.small() ? c.px() * 2 : 2);
    for (double x : {4.0, 28.0}) {
        c.shape(circlePath({x, c.snap(28)}, 2.2), pal::teal);
    }
    QPainterPath neck;
    neck.addRect(c.box(13, 21, 19, 27));
    c.shape(neck, QColor(0x9a, 0xa6, 0xb4));
    c.shape(roundedPath(c.box(3, 3, 29, 22), c.small() ? 1 : 2), frame);
    QPainterPath screen;
    screen.addRect(c.box(5, 5, 27, 20));
    QLinearGradient glow(0, 5, 0, 20);
    glow.setColorAt(0, pal::sky);
    glow.setColorAt(1, pal::blue);
    c.p.fillPath(screen, glow);
    if (!c.small()) {
        QPainterPath shine;
        shine.moveTo(6, 15);
        shine.lineTo(15, 6);
        shine.lineTo(19, 6);
        shine.lineTo(6, 19);
        shine.closeSubpath();
        c.fill(shine, QColor(255, 255, 255, 60));
    }
}

// ---- avatars 11..24 ----------------------------------------------------------------------------

void drawManShortHair(Canvas &c)
{
    Disc disc(c, QColor(0xbf, 0xe0, 0xfa));
    Human h;
    h.shirt = QColor(0x3f, 0x7f, 0xc9);
    humanBody(c, h);
    c.shape(shortHair(h), pal::hairBrown);
    humanFace(c, h);
    if (!c.small()) {
        QPainterPath collar;
        collar.moveTo(12.5, 21.2);
        collar.lineTo(16, 25);
        collar.lineTo(19.5, 21.2);
        c.stroke(collar, Qt::white, 1.2);
    }
}

void drawWomanLongHair(Canvas &c)
{
    Disc disc(c, QColor(0xfb, 0xd3, 0xe0));
    Human h;
    h.shirt = pal::purple;
    const QColor hair = pal::hairRed;
    QPainterPath back;
    back.moveTo(16 - 8.5, 27);
    back.cubicTo(16 - 10, 16, 16 - 9.5, 5.5, 16, 5.5);
    back.cubicTo(16 + 9.5, 5.5, 16 + 10, 16, 16 + 8.5, 27);
    back.closeSubpath();
    c.shape(back, hair);
    humanBody(c, h);
    QPainterPath fringe;
    fringe.moveTo(16 - 7.2, h.headY + 1.5);
    fringe.cubicTo(16 - 7.8, h.headY - 9.5, 16 + 7.8, h.headY - 9.5, 16 + 7.2, h.headY + 1.5);
    fringe.cubicTo(16 + 5.0, h.headY - 4.5, 16 - 1.0, h.headY - 4.0, 16 - 4.0, h.headY - 2.6);
    fringe.cubicTo(16 - 5.2, h.headY - 1.8, 16 - 6.4, h.headY - 0.5, 16 - 7.2, h.headY + 1.5);
    fringe.closeSubpath();
    c.shape(fringe, hair);
    humanFace(c, h);
    if (!c.small()) {
        c.fill(ellipsePath({16, h.headY + 4.9}, 1.1, 0.5), QColor(0xd9, 0x4a, 0x6a, 150));
    }
}

void drawBoyWithCap(Canvas &c)
{
    Disc disc(c, QColor(0xcc, 0xee, 0xc0));
    Human h;
    h.shirt = pal::orange;
    h.headY = 15;
    humanBody(c, h);
    c.shape(shortHair(h, 0.8), pal::hairBlond);
    const QColor cap = pal::red;
    QPainterPath crown;
    crown.moveTo(16 - 7.2, h.headY - 1.4);
    crown.cubicTo(16 - 7.2, h.headY - 10.5, 16 + 7.2, h.headY - 10.5, 16 + 7.2, h.headY - 1.4);
    crown.closeSubpath();
    c.shape(crown, cap);
    QPainterPath brim;
    brim.moveTo(16 - 1, h.headY - 2.4);
    brim.cubicTo(16 + 4, h.headY - 3.6, 16 + 10, h.headY - 2.6, 16 + 11, h.headY - 0.6);
    brim.lineTo(16 - 1, h.headY - 0.6);
    brim.closeSubpath();
    c.shape(brim, cap.darker(115));
    if (!c.small()) {
        c.fill(circlePath({16, h.headY - 8.3}, 0.9), cap.darker(130));
    }
    humanFace(c, h);
}

void drawGirlWithPonytail(Canvas &c)
{
    Disc disc(c, QColor(0xdf, 0xd6, 0xfa));
    Human h;
    h.shirt = pal::teal;
    const QColor hair = pal::hairBlond;
    QPainterPath tail;
    tail.moveTo(16 + 5, h.headY - 5);
    tail.cubicTo(16 + 14, h.headY - 8, 16 + 14, h.headY + 4, 16 + 10.5, h.headY + 9);
    tail.cubicTo(16 + 10.5, h.headY + 3, 16 + 9, h.headY - 1, 16 + 5.5, h.headY - 1.5);
    tail.closeSubpath();
    c.shape(tail, hair);
    humanBody(c, h);
    c.shape(shortHair(h, 0.9), hair);
    // hair tie
    c.shape(circlePath({16 + 6.6, h.headY - 4.8}, c.small() ? 1.6 : 1.3), pal::pink);
    humanFace(c, h);
}

void drawBeardedMan(Canvas &c)
{
    Disc disc(c, QColor(0xfd, 0xdc, 0xb0));
    Human h;
    h.shirt = QColor(0x5e, 0x8c, 0x5a);
    h.skin = pal::skinTan;
    humanBody(c, h);
    const QColor hair = QColor(0x5a, 0x36, 0x1e);
    c.shape(shortHair(h, 0.9), hair);
    QPainterPath beard;
    beard.moveTo(16 - h.headR + 0.2, h.headY + 1.2);
    beard.cubicTo(16 - h.headR, h.headY + 9.5, 16 + h.headR, h.headY + 9.5, 16 + h.headR - 0.2,
                  h.headY + 1.2);
    beard.cubicTo(16 + 4, h.headY + 4.2, 16 - 4, h.headY + 4.2, 16 - h.headR + 0.2, h.headY + 1.2);
    beard.closeSubpath();
    c.shape(beard, hair);
    eye(c, 13.4, h.headY - 0.2);
    eye(c, 18.6, h.headY - 0.2);
    if (!c.small()) {
        QPainterPath mouth;
        mouth.moveTo(14.3, h.headY + 4.3);
        mouth.quadTo(16, h.headY + 5.4, 17.7, h.headY + 4.3);
        c.stroke(mouth, pal::skinTan.lighter(120), 0.9);
    }
}

void drawGreyHairedPerson(Canvas &c)
{
    Disc disc(c, QColor(0xc4, 0xee, 0xe6));
    Human h;
    h.shirt = QColor(0xa0, 0x6a, 0x45);
    humanBody(c, h);
    const QColor hair = pal::hairGrey;
    // curly grey hair at the sides and on top
    QPainterPath curls;
    for (const auto &[x, y, r] : {std::tuple{16.0 - 6.4, h.headY - 1.5, 2.6},
                                  {16.0 + 6.4, h.headY - 1.5, 2.6},
                                  {16.0 - 4.0, h.headY - 5.4, 3.0},
                                  {16.0 + 4.0, h.headY - 5.4, 3.0},
                                  {16.0, h.headY - 6.6, 3.0}}) {
        curls.addEllipse(QPointF(x, y), r, r);
    }
    c.shape(curls.simplified(), hair);
    const QColor frame(0x4a, 0x55, 0x66);
    if (c.small()) {
        eye(c, 13.4, h.headY + 0.4);
        eye(c, 18.6, h.headY + 0.4);
        smallMouth(c, h.skin, h.headY + 4);
        return;
    }
    {
        QPainterPath glasses;
        glasses.addEllipse(QPointF(13.3, h.headY + 0.3), 2.3, 2.0);
        glasses.addEllipse(QPointF(18.7, h.headY + 0.3), 2.3, 2.0);
        glasses.moveTo(15.6, h.headY + 0.2);
        glasses.lineTo(16.4, h.headY + 0.2);
        c.p.fillPath(glasses, QColor(255, 255, 255, 90));
        c.stroke(glasses, frame, 0.8);
        eye(c, 13.3, h.headY + 0.4);
        eye(c, 18.7, h.headY + 0.4);
    }
    smile(c, 16, h.headY + 3.2, 1.9, 1.8);
    cheeks(c, 16, h.headY + 3.0, 4.0);
}

void drawCat(Canvas &c)
{
    Disc disc(c, QColor(0xfd, 0xea, 0xa8));
    const QColor fur(0xf2, 0x94, 0x3a);
    QPainterPath ears;
    ears.moveTo(5.5, 16);
    ears.lineTo(7.5, 4.5);
    ears.lineTo(15, 10);
    ears.closeSubpath();
    ears.moveTo(26.5, 16);
    ears.lineTo(24.5, 4.5);
    ears.lineTo(17, 10);
    ears.closeSubpath();
    c.shape(ears, fur);
    if (!c.small()) {
        QPainterPath inner;
        inner.moveTo(8.2, 12);
        inner.lineTo(8.8, 7);
        inner.lineTo(12.5, 10);
        inner.closeSubpath();
        inner.moveTo(23.8, 12);
        inner.lineTo(23.2, 7);
        inner.lineTo(19.5, 10);
        inner.closeSubpath();
        c.fill(inner, pal::pink);
    }
    QPainterPath head = ellipsePath({16, 18.5}, 10.5, 8.8);
    c.shape(head, fur);
    if (!c.small()) {
        QPainterPath stripes;
        for (double x : {13.5, 16.0, 18.5}) {
            stripes.moveTo(x, 10.2);
            stripes.lineTo(x, 12.8);
        }
        c.stroke(stripes, fur.darker(135), 1.0);
        c.fill(ellipsePath({16, 22.5}, 4.8, 3.3), QColor(0xfd, 0xe8, 0xce));
    }
    const QColor iris(0x6a, 0xb8, 0x3c);
    if (c.small()) {
        eye(c, 11.5, 16.5);
        eye(c, 20.5, 16.5);
    } else {
        c.fill(ellipsePath({11.8, 17}, 1.9, 2.2), iris);
        c.fill(ellipsePath({20.2, 17}, 1.9, 2.2), iris);
        c.fill(ellipsePath({11.8, 17}, 0.7, 1.8), pal::ink);
        c.fill(ellipsePath({20.2, 17}, 0.7, 1.8), pal::ink);
    }
    QPainterPath nose;
    nose.moveTo(14.6, 20.2);
    nose.lineTo(17.4, 20.2);
    nose.lineTo(16, 21.8);
    nose.closeSubpath();
    c.fill(nose, QColor(0xe0, 0x6a, 0x7a));
    QPainterPath mouth;
    mouth.moveTo(13.6, 22.8);
    mouth.quadTo(14.8, 24.2, 16, 22.4);
    mouth.quadTo(17.2, 24.2, 18.4, 22.8);
    c.stroke(mouth, pal::ink, c.atLeastPixel(0.8));
    if (!c.small()) {
        QPainterPath whiskers;
        whiskers.moveTo(4, 19.5);
        whiskers.lineTo(10.5, 20.8);
        whiskers.moveTo(4.5, 23.5);
        whiskers.lineTo(10.5, 22.3);
        whiskers.moveTo(28, 19.5);
        whiskers.lineTo(21.5, 20.8);
        whiskers.moveTo(27.5, 23.5);
        whiskers.lineTo(21.5, 22.3);
        c.stroke(whiskers, fur.darker(170), 0.7);
    }
}

void drawDog(Canvas &c)
{
    Disc disc(c, QColor(0xcd, 0xe5, 0xfb));
    const QColor fur(0xdc, 0xa5, 0x6c);
    const QColor earColour(0x8c, 0x5a, 0x33);
    QPainterPath head = ellipsePath({16, 17.5}, 9, 9.8);
    c.shape(head, fur);
    c.p.save();
    c.p.translate(7.2, 15);
    c.p.rotate(18);
    c.shape(ellipsePath({0, 0}, 3.6, 7.5), earColour);
    c.p.restore();
    c.p.save();
    c.p.translate(24.8, 15);
    c.p.rotate(-18);
    c.shape(ellipsePath({0, 0}, 3.6, 7.5), earColour);
    c.p.restore();
    if (!c.small()) {
        c.fill(ellipsePath({19.8, 13.2}, 2.6, 2.4), earColour.lighter(125));
    }
    c.shape(ellipsePath({16, 22.2}, 5.4, 4.3), QColor(0xf5, 0xdd, 0xbd));
    eye(c, 12.6, 15.2);
    eye(c, 19.4, 15.2);
    c.fill(ellipsePath({16, 20.3}, c.small() ? 2.4 : 2.2, c.small() ? 1.8 : 1.6), pal::hairBlack);
    if (!c.small()) {
        QPainterPath mouth;
        mouth.moveTo(16, 21.8);
        mouth.lineTo(16, 23.2);
        mouth.moveTo(13.6, 23.3);
        mouth.quadTo(16, 25, 18.4, 23.3);
        c.stroke(mouth, pal::ink, 0.8);
        c.shape(ellipsePath({17.2, 25.3}, 1.3, 1.5), QColor(0xf2, 0x7a, 0x8a));
    }
}

void drawFox(Canvas &c)
{
    Disc disc(c, QColor(0xd4, 0xef, 0xc6));
    const QColor fur(0xf0, 0x7d, 0x2c);
    QPainterPath head;
    head.moveTo(6, 4.5);
    head.lineTo(12, 10.5);
    head.lineTo(20, 10.5);
    head.lineTo(26, 4.5);
    head.cubicTo(28, 10, 29, 15, 27.5, 18.5);
    head.cubicTo(24, 23, 19, 26.5, 16, 28);
    head.cubicTo(13, 26.5, 8, 23, 4.5, 18.5);
    head.cubicTo(3, 15, 4, 10, 6, 4.5);
    head.closeSubpath();
    c.shape(head, fur);
    QPainterPath cheeks;
    cheeks.moveTo(4.8, 18.5);
    cheeks.cubicTo(9, 17.2, 13, 18.5, 16, 21.5);
    cheeks.cubicTo(19, 18.5, 23, 17.2, 27.2, 18.5);
    cheeks.cubicTo(24, 23, 19, 26.5, 16, 28);
    cheeks.cubicTo(13, 26.5, 8, 23, 4.8, 18.5);
    cheeks.closeSubpath();
    c.fill(cheeks, QColor(0xfd, 0xf3, 0xe6));
    c.shape(head, Qt::transparent, edgeOf(fur));
    if (!c.small()) {
        QPainterPath inner;
        inner.moveTo(7.5, 7.5);
        inner.lineTo(11, 10.8);
        inner.lineTo(8, 12);
        inner.closeSubpath();
        inner.moveTo(24.5, 7.5);
        inner.lineTo(21, 10.8);
        inner.lineTo(24, 12);
        inner.closeSubpath();
        c.fill(inner, QColor(0x5a, 0x33, 0x20));
    }
    eye(c, 11.8, 15.2);
    eye(c, 20.2, 15.2);
    c.fill(ellipsePath({16, 26.3}, c.small() ? 2 : 1.8, c.small() ? 1.4 : 1.3), pal::hairBlack);
}

void drawOwl(Canvas &c)
{
    Disc disc(c, QColor(0xe6, 0xdc, 0xf8));
    const QColor feathers(0x9c, 0x6b, 0x43);
    QPainterPath bodyPath;
    bodyPath.moveTo(6.5, 6);
    bodyPath.lineTo(11.5, 9.5);
    bodyPath.lineTo(20.5, 9.5);
    bodyPath.lineTo(25.5, 6);
    bodyPath.cubicTo(28.5, 12, 28, 30, 16, 32);
    bodyPath.cubicTo(4, 30, 3.5, 12, 6.5, 6);
    bodyPath.closeSubpath();
    c.shape(bodyPath, feathers);
    if (!c.small()) {
        c.fill(ellipsePath({16, 25}, 6, 6), QColor(0xd9, 0xb4, 0x85));
        QPainterPath chevrons;
        for (double y : {22.5, 25.5}) {
            chevrons.moveTo(13, y);
            chevrons.lineTo(14.2, y + 1.2);
            chevrons.lineTo(15.4, y);
            chevrons.moveTo(16.6, y);
            chevrons.lineTo(17.8, y + 1.2);
            chevrons.lineTo(19, y);
        }
        c.stroke(chevrons, feathers, 0.7);
    }
    const QColor disk(0xf6, 0xe7, 0xcf);
    const double er = c.small() ? 5 : 4.8;
    c.shape(circlePath({11.5, 15}, er), disk);
    c.shape(circlePath({20.5, 15}, er), disk);
    c.fill(circlePath({11.5, 15}, c.small() ? 2.4 : 2.6), pal::orange);
    c.fill(circlePath({20.5, 15}, c.small() ? 2.4 : 2.6), pal::orange);
    c.fill(circlePath({11.5, 15}, c.small() ? 1.3 : 1.5), pal::hairBlack);
    c.fill(circlePath({20.5, 15}, c.small() ? 1.3 : 1.5), pal::hairBlack);
    if (!c.small()) {
        c.fill(circlePath({12.1, 14.3}, 0.5), Qt::white);
        c.fill(circlePath({21.1, 14.3}, 0.5), Qt::white);
    }
    QPainterPath beak;
    beak.moveTo(14.3, 18.5);
    beak.lineTo(17.7, 18.5);
    beak.lineTo(16, 22);
    beak.closeSubpath();
    c.shape(beak, pal::yellow.darker(105));
}

void drawPenguin(Canvas &c)
{
    Disc disc(c, QColor(0xd3, 0xf0, 0xfa));
    const QColor dark(0x2f, 0x38, 0x46);
    c.shape(ellipsePath({16, 19}, 11, 13), dark);
    QPainterPath face;
    face.moveTo(16, 12.5);
    face.cubicTo(18, 9.5, 24.5, 9.5, 24, 16.5);
    face.cubicTo(23.5, 23, 20, 27, 16, 27);
    face.cubicTo(12, 27, 8.5, 23, 8, 16.5);
    face.cubicTo(7.5, 9.5, 14, 9.5, 16, 12.5);
    face.closeSubpath();
    c.fill(face, pal::paper);
    eye(c, 12.8, 15.6);
    eye(c, 19.2, 15.6);
    QPainterPath beak;
    beak.moveTo(13.6, 18.6);
    beak.quadTo(16, 17.2, 18.4, 18.6);
    beak.quadTo(16, 21.6, 13.6, 18.6);
    beak.closeSubpath();
    c.shape(beak, pal::orange);
    cheeks(c, 16, 20.6, 5.2);
}

void drawRobot(Canvas &c)
{
    Disc disc(c, QColor(0xff, 0xe0, 0xbf));
    const QColor metal(0xa9, 0xb6, 0xc4);
    QPainterPath antenna;
    antenna.moveTo(c.snap(16), 9);
    antenna.lineTo(c.snap(16), 5.5);
    c.stroke(antenna, metal.darker(150), c.small() ? c.px() : 1.2);
    c.shape(circlePath({c.snap(16), 4.8}, c.small() ? 2 : 1.8), pal::red);
    QPainterPath ears;
    ears.addRect(c.box(4, 14, 7, 21));
    ears.addRect(c.box(25, 14, 28, 21));
    c.shape(ears, metal.darker(120));
    c.shape(roundedPath(c.box(7, 8, 25, 26), c.small() ? 2 : 3), metal);
    const QColor screen(0x58, 0xe0, 0xf2);
    if (c.small()) {
        QPainterPath eyes;
        eyes.addRect(QRectF(c.snap(10) - c.px() / 2, c.snap(13) - c.px() / 2, 2 * c.px(), 2 * c.px()));
        eyes.addRect(QRectF(c.snap(19) - c.px() / 2, c.snap(13) - c.px() / 2, 2 * c.px(), 2 * c.px()));
        c.fill(eyes, QColor(0x1c, 0x7c, 0xa0));
    } else {
        c.shape(roundedPath(QRectF(9.5, 11.5, 5, 4.5), 1), screen);
        c.shape(roundedPath(QRectF(17.5, 11.5, 5, 4.5), 1), screen);
        c.fill(circlePath({12, 13.75}, 1), QColor(0x1c, 0x5c, 0x80));
        c.fill(circlePath({20, 13.75}, 1), QColor(0x1c, 0x5c, 0x80));
    }
    QPainterPath mouth;
    mouth.addRect(c.box(11, 19, 21, 23));
    c.shape(mouth, QColor(0x5a, 0x66, 0x75));
    if (!c.small()) {
        QPainterPath teeth;
        for (double x = 13.5; x < 20.5; x += 2.5) {
            teeth.moveTo(x, 19.5);
            teeth.lineTo(x, 22.5);
        }
        c.stroke(teeth, metal, 0.8);
    }
}

void drawAlien(Canvas &c)
{
    Disc disc(c, QColor(0x4a, 0x3f, 0x8a));
    const QColor skin(0x8a, 0xdc, 0x5a);
    if (!c.small()) {
        const QColor starColour(255, 255, 255, 170);
        for (const auto &[x, y] : {std::pair{5.5, 10.0}, {26.0, 8.0}, {24.5, 24.0}, {7.0, 23.5}}) {
            c.fill(circlePath({x, y}, 0.6), starColour);
        }
    }
    QPainterPath antennae;
    antennae.moveTo(12, 8.5);
    antennae.lineTo(9.5, 3.8);
    antennae.moveTo(20, 8.5);
    antennae.lineTo(22.5, 3.8);
    c.stroke(antennae, skin.darker(160), c.small() ? c.px() : 1.1);
    c.shape(circlePath({9.3, 3.6}, c.small() ? 2 : 1.7), skin);
    c.shape(circlePath({22.7, 3.6}, c.small() ? 2 : 1.7), skin);
    QPainterPath head;
    head.moveTo(16, 7);
    head.cubicTo(24.5, 7, 27, 13, 25.5, 18);
    head.cubicTo(24, 23, 19.5, 28, 16, 28);
    head.cubicTo(12.5, 28, 8, 23, 6.5, 18);
    head.cubicTo(5, 13, 7.5, 7, 16, 7);
    head.closeSubpath();
    c.shape(head, skin);
    const QColor eyeColour(0x1d, 0x1f, 0x2e);
    c.p.save();
    c.p.translate(11.3, 17);
    c.p.rotate(30);
    c.fill(ellipsePath({0, 0}, 3.3, 2.1), eyeColour);
    c.p.restore();
    c.p.save();
    c.p.translate(20.7, 17);
    c.p.rotate(-30);
    c.fill(ellipsePath({0, 0}, 3.3, 2.1), eyeColour);
    c.p.restore();
    if (!c.small()) {
        c.fill(circlePath({12.2, 16.2}, 0.7), Qt::white);
        c.fill(circlePath({21.6, 16.2}, 0.7), Qt::white);
    }
    smile(c, 16, 23.3, 1.6, 1.2);
}

void drawPanda(Canvas &c)
{
    Disc disc(c, QColor(0xcb, 0xeb, 0xb1));
    const QColor black(0x2e, 0x2e, 0x33);
    c.shape(circlePath({8.3, 8.8}, 4.2), black);
    c.shape(circlePath({23.7, 8.8}, 4.2), black);
    c.shape(ellipsePath({16, 17.5}, 11.2, 10), pal::paper);
    for (int side : {-1, 1}) {
        c.p.save();
        c.p.translate(16 + side * 4.8, 16.5);
        c.p.rotate(side * -35);
        c.fill(ellipsePath({0, 0}, 3.4, c.small() ? 2.6 : 2.5), black);
        c.p.restore();
    }
    if (c.small()) {
        c.p.fillRect(QRectF(c.snap(11.5) - c.px() / 2, c.snap(16) - c.px() / 2, c.px(), c.px()), Qt::white);
        c.p.fillRect(QRectF(c.snap(20.5) - c.px() / 2, c.snap(16) - c.px() / 2, c.px(), c.px()), Qt::white);
    } else {
        c.fill(circlePath({11.4, 16.1}, 1), Qt::white);
        c.fill(circlePath({20.6, 16.1}, 1), Qt::white);
    }
    c.fill(ellipsePath({16, 21}, 1.9, 1.3), black);
    if (!c.small()) {
        QPainterPath mouth;
        mouth.moveTo(16, 22);
        mouth.lineTo(16, 23);
        mouth.moveTo(14.2, 23.1);
        mouth.quadTo(16, 24.6, 17.8, 23.1);
        c.stroke(mouth, black, 0.8);
    }
    cheeks(c, 16, 22, 6);
}

} // namespace

std::vector<Picture> profilePictures()
{
    return {
        {"00", drawDefaultUser},
        {"01", drawAllUsers},
        {"02", drawGroupTalk},
        {"03", drawPrivateTalk},
        {"04", drawInformation},
        {"05", drawFile},
        {"06", drawFolder},
        {"07", drawMail},
        {"08", drawBlockedUser},
        {"09", drawStar},
        {"10", drawComputer},
        {"11", drawManShortHair},
        {"12", drawWomanLongHair},
        {"13", drawBoyWithCap},
        {"14", drawGirlWithPonytail},
        {"15", drawBeardedMan},
        {"16", drawGreyHairedPerson},
        {"17", drawCat},
        {"18", drawDog},
        {"19", drawFox},
        {"20", drawOwl},
        {"21", drawPenguin},
        {"22", drawRobot},
        {"23", drawAlien},
        {"24", drawPanda},
    };
}
