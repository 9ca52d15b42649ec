// Toolbar icons and the page icons of the profile window. Each drawing serves both sizes; the
// Canvas tells it whether it is drawing the 16 pixel variant, where it leaves out details.
#include "catalog.h"
#include "shapes.h"

#include <QTransform>

namespace {

QPainterPath ellipsePath(QPointF centre, double rx, double ry)
{
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

// ---- talks ------------------------------------------------------------------------------------

void mainBubble(const Canvas &c)
{
    bubble(c, c.box(2, 3, 30, 23), pal::blue, true, true);
}

// A small bubble in the upper left, leaving the lower right corner for a figure.
void cornerBubble(const Canvas &c, const QColor &colour)
{
    bubble(c, c.box(1, 2, 24, 17), colour, true, true);
}

void drawTalk(Canvas &c)
{
    mainBubble(c);
}

void drawTalkUser(Canvas &c)
{
    cornerBubble(c, pal::blue);
    Person who;
    who.cx = 23;
    who.headY = 18;
    who.headR = c.small() ? 4.6 : 4.3;
    who.bottom = 31.5;
    who.shirt = pal::green;
    c.erase(circlePath({who.cx, who.headY}, who.headR), c.small() ? 2 : 1.5);
    QPainterPath shoulders;
    shoulders.addRect(QRectF(who.cx - who.headR * 1.7, who.headY + who.headR, who.headR * 3.4, 10));
    c.erase(shoulders, c.small() ? 2 : 1.5);
    person(c, who);
}

void drawTalkGroup(Canvas &c)
{
    cornerBubble(c, pal::blue);
    QPainterPath area;
    area.addRect(QRectF(12, 15, 20, 17));
    c.erase(area, 0);
    group(c, c.small() ? 0.62 : 0.58, {c.small() ? 6 : 6.5, c.small() ? 4 : 4.5});
}

void drawNotTalkPrivate(Canvas &c)
{
    bubble(c, c.box(1, 2, 20, 15), pal::blue, true, false);
    const QRectF front = c.box(7, 9, 26, 21);
    c.erase(bubblePath(front, false), c.small() ? 2 : 1.5);
    bubble(c, front, pal::green, false, !c.small());
    badge(c, Badge::NoEntry);
}

void drawNotTalkGroup(Canvas &c)
{
    group(c, 0.9, {-1.5, -1.5});
    badge(c, Badge::NoEntry);
}

void drawCloseTalk(Canvas &c)
{
    cornerBubble(c, pal::blue);
    badge(c, Badge::Cross);
}

void drawSend(Canvas &c)
{
    QPainterPath plane;
    plane.moveTo(2, 14.5);
    plane.lineTo(30, 3);
    plane.lineTo(21.5, 28.5);
    plane.lineTo(15, 19.5);
    plane.closeSubpath();
    c.shape(plane, pal::blue);
    QPainterPath fold;
    fold.moveTo(15, 19.5);
    fold.lineTo(30, 3);
    fold.lineTo(13.5, 27.5);
    fold.closeSubpath();
    c.shape(fold, pal::sky.darker(108), edgeOf(pal::blue));
}

void drawAutoReply(Canvas &c, bool on)
{
    const QColor colour = on ? pal::teal : pal::grey;
    bubble(c, c.box(2, 3, 30, 23), colour, true, false);
    QPainterPath arrow;
    const double w = 2 * c.px();
    arrow.moveTo(22, 18);
    arrow.cubicTo(22, 12, 18, 10, 11.5, 10);
    c.stroke(arrow, Qt::white, c.small() ? w : 2.4);
    QPainterPath head;
    head.moveTo(8, 10);
    head.lineTo(13.5, 5);
    head.lineTo(13.5, 15);
    head.closeSubpath();
    c.fill(head, Qt::white);
    if (!on) {
        badge(c, Badge::NoEntry);
    }
}

void drawClearMessage(Canvas &c)
{
    const QRectF sheet = c.box(2, 3, 27, 24);
    c.shape(roundedPath(sheet, c.small() ? 1 : 2), pal::paper);
    QPainterPath rows;
    const double step = c.small() ? 6 : 4.5;
    for (double y = 8; y < 22; y += step) {
        rows.moveTo(c.snap(6), c.snap(y));
        rows.lineTo(c.snap(23), c.snap(y));
    }
    c.stroke(rows, QColor(0xa8, 0xb6, 0xc6), c.small() ? c.px() : 1.0);
    c.p.save();
    c.p.translate(22, 23);
    c.p.rotate(-40);
    QPainterPath eraser;
    eraser.addRoundedRect(QRectF(-8, -4.5, 16, 9), 1.8, 1.8);
    c.erase(eraser, c.small() ? 2 : 1.5);
    c.shape(eraser, pal::sky);
    QPainterPath tip;
    tip.addRoundedRect(QRectF(-8, -4.5, 7, 9), 1.8, 1.8);
    c.shape(tip, pal::pink);
    c.p.restore();
}

// ---- people and the user list -----------------------------------------------------------------

void bigPerson(const Canvas &c, const QColor &shirt)
{
    Person who;
    who.cx = 14;
    who.headY = 10;
    who.headR = 6;
    who.bottom = 30.5;
    who.shirt = shirt;
    person(c, who);
}

void drawUserList(Canvas &c)
{
    c.shape(roundedPath(c.box(3, 1, 29, 31), c.small() ? 1 : 2.5), pal::paper);
    const QColor heads[] = {pal::blue, pal::green, pal::orange};
    const double rows[] = {8, 16, 24};
    for (int i = 0; i < 3; ++i) {
        const double y = c.snap(rows[i]) - (c.small() ? c.px() / 2 : 0);
        c.shape(circlePath({9, y}, 3), heads[i]);
        QPainterPath bar;
        bar.moveTo(15, y);
        bar.lineTo(25, y);
        c.stroke(bar, QColor(0x8d, 0x9e, 0xb2), c.small() ? 2 * c.px() : 2.5);
    }
}

void drawMyProfile(Canvas &c)
{
    idCard(c, pal::blue);
}

void drawUserProfile(Canvas &c)
{
    idCard(c, pal::green);
    badge(c, Badge::Magnifier);
}

void drawCreateGroup(Canvas &c)
{
    group(c, 0.9, {-1.5, -1.5});
    badge(c, Badge::Plus);
}

void drawDeleteGroup(Canvas &c)
{
    group(c, 0.9, {-1.5, -1.5});
    badge(c, Badge::Cross);
}

void drawRenameGroup(Canvas &c)
{
    group(c, 0.9, {-1.5, -1.5});
    badge(c, Badge::Pencil);
}

void drawDeactivate(Canvas &c)
{
    bigPerson(c, pal::blue);
    badge(c, Badge::NoEntry);
}

void drawActivate(Canvas &c)
{
    bigPerson(c, pal::blue);
    badge(c, Badge::Check);
}

void drawBadList(Canvas &c)
{
    const QColor board(0xa8, 0x74, 0x48);
    c.shape(roundedPath(c.box(4, 3, 27, 31), c.small() ? 1 : 2), board);
    QPainterPath sheet;
    sheet.addRect(c.box(7, 7, 24, 28));
    c.shape(sheet, pal::paper);
    c.shape(roundedPath(c.box(11, 1, 20, 6), 1), pal::darkGrey);
    QPainterPath rows;
    for (double y : c.small() ? std::vector<double>{12, 18} : std::vector<double>{12, 16.5, 21}) {
        rows.moveTo(c.snap(10), c.snap(y));
        rows.lineTo(c.snap(21), c.snap(y));
    }
    c.stroke(rows, QColor(0x55, 0x5e, 0x69), c.small() ? c.px() : 1.5);
    badge(c, Badge::Cross);
}

void chevron(const Canvas &c, bool up)
{
    c.shape(roundedPath(c.box(3, 3, 29, 29), c.small() ? 2 : 4), pal::blue);
    QPainterPath mark;
    const double dir = up ? -1 : 1;
    mark.moveTo(9.5, 16 - dir * 3.5);
    mark.lineTo(16, 16 + dir * 3);
    mark.lineTo(22.5, 16 - dir * 3.5);
    c.stroke(mark, Qt::white, c.small() ? 2 * c.px() : 3);
}

void drawCollapse(Canvas &c)
{
    chevron(c, true);
}
void drawExpand(Canvas &c)
{
    chevron(c, false);
}

// ---- program and options ----------------------------------------------------------------------

void drawOptions(Canvas &c)
{
    gear(c, {16, 16}, c.small() ? 14 : 14.5);
}
void drawHelp(Canvas &c)
{
    helpSign(c, {16, 16}, c.small() ? 13 : 13.5, pal::blue);
}
void drawAbout(Canvas &c)
{
    infoSign(c, {16, 16}, c.small() ? 13 : 13.5, pal::teal);
}
void drawWeb(Canvas &c)
{
    globe(c, {16, 16}, c.small() ? 13 : 13.5);
}

void drawSupport(Canvas &c)
{
    const QPointF centre(16, 16);
    const double outer = c.small() ? 13 : 13.5;
    const double inner = outer * 0.5;
    QPainterPath ring;
    ring.addEllipse(centre, outer, outer);
    ring.addEllipse(centre, inner, inner);
    ring.setFillRule(Qt::OddEvenFill);
    c.fill(ring, pal::paper);
    c.p.save();
    c.p.setClipPath(ring);
    for (int i = 0; i < 4; ++i) {
        QPainterPath slice;
        slice.moveTo(centre);
        slice.arcTo(QRectF(centre.x() - outer - 1, centre.y() - outer - 1, 2 * outer + 2, 2 * outer + 2),
                    i * 90 + 22.5, 45);
        slice.closeSubpath();
        c.fill(slice, pal::red);
    }
    c.p.restore();
    const QColor edge = edgeOf(pal::red);
    c.shape(ring, Qt::transparent, edge);
}

void drawLanguage(Canvas &c)
{
    // An orange bubble with a Latin A and a blue one with a Cyrillic Ya (a mirrored R).
    const bool small = c.small();
    const double w = small ? c.px() : 2.2;
    bubble(c, c.box(1, 1, small ? 19 : 20, small ? 15 : 16), pal::orange, true, false);
    QPainterPath a;
    if (small) {
        pixelGlyph(c, {".XX.", "X..X", "XXXX", "X..X", "X..X"}, 3, 1, Qt::white);
    } else {
        a.moveTo(6.5, 13);
        a.lineTo(10.5, 3.8);
        a.lineTo(14.5, 13);
        a.moveTo(8.2, 9.6);
        a.lineTo(12.8, 9.6);
    }
    c.stroke(a, Qt::white, w);
    const QRectF front = small ? c.box(12, 13, 31, 27) : c.box(12, 13, 31, 28);
    c.erase(bubblePath(front, false), small ? 2 : 1.5);
    bubble(c, front, pal::blue, false, false);
    QPainterPath ya;
    if (small) {
        pixelGlyph(c, {".XXX", "X..X", ".XXX", ".X.X", "X..X"}, 9, 8, Qt::white);
    } else {
        ya.moveTo(24.5, 25.5);
        ya.lineTo(24.5, 15.8);
        ya.lineTo(20.5, 15.8);
        ya.cubicTo(17.2, 15.8, 17.2, 20.8, 20.5, 20.8);
        ya.lineTo(24.5, 20.8);
        ya.moveTo(21.2, 20.8);
        ya.lineTo(18.2, 25.5);
    }
    c.stroke(ya, Qt::white, w);
}

void drawStayOnTop(Canvas &c)
{
    c.p.save();
    c.p.translate(17, 13);
    c.p.rotate(35);
    QPainterPath needle;
    needle.moveTo(0, 2);
    needle.lineTo(0, 16);
    c.stroke(needle, QColor(0x6b, 0x75, 0x80), c.small() ? 2 : 1.6);
    QPainterPath head;
    head.addRoundedRect(QRectF(-4.5, -13, 9, 7), 2.5, 2.5);
    head.addRect(QRectF(-2.8, -7, 5.6, 6));
    head.addRoundedRect(QRectF(-7.5, -1.5, 15, 4), 2, 2);
    c.shape(head.simplified(), pal::red);
    if (!c.small()) {
        c.fill(roundedPath(QRectF(-3, -12, 2, 5), 1), QColor(255, 255, 255, 110));
    }
    c.p.restore();
}

void drawSound(Canvas &c)
{
    QPainterPath speaker;
    speaker.moveTo(3, 11.5);
    speaker.lineTo(9, 11.5);
    speaker.lineTo(16, 5);
    speaker.lineTo(16, 27);
    speaker.lineTo(9, 20.5);
    speaker.lineTo(3, 20.5);
    speaker.closeSubpath();
    c.shape(speaker, pal::darkGrey.lighter(125));
    QPainterPath waves;
    const QPointF centre(16, 16);
    for (double r : c.small() ? std::vector<double>{7, 11} : std::vector<double>{6, 10, 14}) {
        QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        waves.arcMoveTo(box, -42);
        waves.arcTo(box, -42, 84);
    }
    c.stroke(waves, pal::blue, c.small() ? c.px() : 2);
}

void drawTrayOpen(Canvas &c)
{
    QPainterPath bar;
    bar.addRect(c.box(1, 25, 31, 31));
    c.shape(bar, pal::darkGrey);
    c.fill(roundedPath(c.box(22, 26.5, 27, 29.5), 0.5), pal::sky);
    const QRectF window = c.box(6, 2, 30, 19);
    c.shape(roundedPath(window, 1.5), pal::paper, QColor(0x3c, 0x6d, 0xa8));
    QPainterPath title;
    title.addRect(QRectF(window.left(), window.top(), window.width(), c.small() ? 4 * c.px() : 4));
    c.shape(title, pal::blue);
    QPainterPath arrow;
    arrow.moveTo(8, 23);
    arrow.lineTo(8, 9);
    arrow.moveTo(3.5, 13.5);
    arrow.lineTo(8, 9);
    arrow.lineTo(12.5, 13.5);
    c.stroke(arrow, Qt::white, c.small() ? 4 * c.px() : 4.5);
    c.stroke(arrow, pal::green, c.small() ? 2 * c.px() : 2.4);
}

// ---- mail -------------------------------------------------------------------------------------

void drawMail(Canvas &c)
{
    envelope(c, c.box(2, 6, 30, 26));
}

void cornerEnvelope(const Canvas &c)
{
    envelope(c, c.box(1, 3, 27, 22));
}

void drawMailGroup(Canvas &c)
{
    cornerEnvelope(c);
    QPainterPath area;
    area.addRect(QRectF(15, 15, 17, 17));
    c.erase(area, 0);
    Person back;
    back.cx = 27;
    back.headY = 19.5;
    back.headR = 3.4;
    back.bottom = 31.5;
    back.shirt = pal::orange;
    person(c, back);
    Person front;
    front.cx = 20.5;
    front.headY = 22.5;
    front.headR = 3.6;
    front.bottom = 31.5;
    front.shirt = pal::teal;
    person(c, front);
}

void drawMailAll(Canvas &c)
{
    cornerEnvelope(c);
    badge(c, Badge::Globe);
}

void drawMailEmpty(Canvas &c)
{
    cornerEnvelope(c);
    badge(c, Badge::Plus);
}

// ---- messages: pictures, animations, files ----------------------------------------------------

void drawInsertImage(Canvas &c)
{
    const QRectF frame = c.box(1, 4, 31, 28);
    c.shape(roundedPath(frame, c.small() ? 1 : 1.5), pal::paper, QColor(0x5d, 0x7f, 0xa6));
    const QRectF view = c.box(4, 7, 28, 25);
    QPainterPath viewPath;
    viewPath.addRect(view);
    c.fill(viewPath, pal::sky);
    c.p.save();
    c.p.setClipPath(viewPath);
    c.fill(circlePath({21, 12.5}, c.small() ? 3 : 2.8), pal::yellow);
    QPainterPath hills;
    hills.moveTo(3, 25);
    hills.lineTo(3, 20);
    hills.cubicTo(7, 14, 11, 14, 16, 20);
    hills.cubicTo(19, 17, 24, 16, 29, 21);
    hills.lineTo(29, 25);
    hills.closeSubpath();
    c.fill(hills, pal::green);
    c.p.restore();
}

void drawInsertAnimation(Canvas &c)
{
    const QColor film(0x3b, 0x42, 0x4c);
    c.shape(roundedPath(c.box(1, 4, 31, 28), c.small() ? 1 : 1.5), film);
    const double hole = c.small() ? 2 * c.px() : 2.4;
    for (double x = 4; x < 29; x += c.small() ? 6 : 5) {
        for (double y : {c.small() ? 5.5 : 5.8, c.small() ? 24.5 : 23.8}) {
            const double sx = c.snap(x) - c.px() / 2;
            const double sy = c.snap(y) - c.px() / 2;
            c.p.fillRect(QRectF(sx, sy, hole, hole), QColor(0xe8, 0xec, 0xf0));
        }
    }
    QPainterPath frame;
    frame.addRect(c.box(4, 9, 28, 23));
    c.fill(frame, pal::sky);
    const QPointF centre(16, 16);
    c.shape(circlePath(centre, c.small() ? 5 : 5.5), pal::yellow);
    if (!c.small()) {
        c.fill(circlePath({14, 14.8}, 0.8), pal::ink);
        c.fill(circlePath({18, 14.8}, 0.8), pal::ink);
        QPainterPath mouth;
        mouth.moveTo(13.5, 17.3);
        mouth.quadTo(16, 19.8, 18.5, 17.3);
        c.stroke(mouth, pal::ink, 0.9);
        QPainterPath motion;
        motion.moveTo(6, 13.5);
        motion.lineTo(9, 13.5);
        motion.moveTo(5.5, 16);
        motion.lineTo(9, 16);
        motion.moveTo(6, 18.5);
        motion.lineTo(9, 18.5);
        c.stroke(motion, Qt::white, 1.2);
    }
}

void drawFile(Canvas &c)
{
    page(c, c.box(6, 2, 26, 30), true);
}
void drawFolder(Canvas &c)
{
    folderShape(c, c.box(2, 5, 30, 27), false);
}
void drawOpen(Canvas &c)
{
    folderShape(c, c.box(2, 5, 30, 27), true);
}

void drawInsertFile(Canvas &c)
{
    page(c, c.box(4, 1, 22, 27), true);
    badge(c, Badge::Plus);
}

void drawInsertFolder(Canvas &c)
{
    folderShape(c, c.box(1, 4, 28, 24), false);
    badge(c, Badge::Plus);
}

void drawGetFile(Canvas &c)
{
    page(c, c.box(4, 1, 22, 27), true);
    badge(c, Badge::ArrowDown);
}

void drawSaveAs(Canvas &c)
{
    const QRectF body = c.box(3, 3, 29, 29);
    QPainterPath disk;
    disk.moveTo(body.topLeft() + QPointF(1.5, 0));
    disk.lineTo(body.right() - 4, body.top());
    disk.lineTo(body.right(), body.top() + 4);
    disk.lineTo(body.right(), body.bottom() - 1.5);
    disk.quadTo(body.right(), body.bottom(), body.right() - 1.5, body.bottom());
    disk.lineTo(body.left() + 1.5, body.bottom());
    disk.quadTo(body.left(), body.bottom(), body.left(), body.bottom() - 1.5);
    disk.lineTo(body.left(), body.top() + 1.5);
    disk.quadTo(body.left(), body.top(), body.left() + 1.5, body.top());
    disk.closeSubpath();
    c.shape(disk, pal::blue);
    QPainterPath shutter;
    shutter.addRect(c.box(9, 3, 23, 12));
    c.shape(shutter, QColor(0xd5, 0xdc, 0xe4));
    QPainterPath slot;
    slot.addRect(c.box(18, 5, 21, 10));
    c.fill(slot, pal::darkGrey);
    QPainterPath label;
    label.addRect(c.box(7, 16, 25, 29));
    c.shape(label, pal::paper);
    if (!c.small()) {
        QPainterPath rows;
        rows.moveTo(10, 20.5);
        rows.lineTo(22, 20.5);
        rows.moveTo(10, 24.5);
        rows.lineTo(22, 24.5);
        c.stroke(rows, QColor(0xa8, 0xb6, 0xc6), 1);
    }
}

void drawClose(Canvas &c)
{
    c.shape(circlePath({16, 16}, c.small() ? 13 : 13.5), pal::red);
    const double w = c.small() ? 2 * c.px() : 3;
    QPainterPath power;
    const QRectF arc(16 - 7, 17 - 7, 14, 14);
    power.arcMoveTo(arc, 120);
    power.arcTo(arc, 120, 300);
    power.moveTo(16, 7);
    power.lineTo(16, 16);
    c.stroke(power, Qt::white, w);
}

void drawHistory(Canvas &c)
{
    const QPointF centre(17, 16);
    const double r = 11;
    QPainterPath arrow;
    const double ar = r + (c.small() ? 3 : 2.8);
    const QRectF arc(centre.x() - ar, centre.y() - ar, 2 * ar, 2 * ar);
    arrow.arcMoveTo(arc, 250);
    arrow.arcTo(arc, 250, -110);
    c.stroke(arrow, pal::green, c.small() ? 2 * c.px() : 2.4);
    QPainterPath head;
    head.moveTo(0.5, 8.5);
    head.lineTo(7.5, 6);
    head.lineTo(6, 13);
    head.closeSubpath();
    c.shape(head, pal::green);
    clockFace(c, centre, r);
}

// ---- page icons of the profile window ---------------------------------------------------------

void drawSummaryPage(Canvas &c)
{
    const QRectF card = c.box(3, 3, 29, 29);
    c.shape(roundedPath(card, c.small() ? 1 : 2), pal::paper, QColor(0x4a, 0x78, 0xa8));
    QPainterPath band;
    band.addRect(QRectF(card.left(), card.top(), card.width(), 6));
    c.shape(band, pal::blue);
    QPainterPath rows;
    const double step = c.small() ? 6 : 4.5;
    int i = 0;
    for (double y = 14; y < 27; y += step, ++i) {
        rows.moveTo(c.snap(7), c.snap(y));
        rows.lineTo(c.snap(i % 2 ? 20 : 25), c.snap(y));
    }
    c.stroke(rows, QColor(0x7f, 0x9c, 0xbd), c.small() ? c.px() : 1.5);
}

void drawBasicDataPage(Canvas &c)
{
    Person who;
    who.headY = 8.5;
    who.headR = 5.5;
    who.bottom = 24;
    who.shirt = pal::blue;
    person(c, who);
    const QRectF tag = c.box(4, 18, 28, 30);
    c.erase(roundedPath(tag, 1.5), c.small() ? 2 : 1);
    c.shape(roundedPath(tag, c.small() ? 1 : 1.5), pal::paper, QColor(0xc0, 0x39, 0x2b));
    QPainterPath strip;
    strip.addRect(QRectF(tag.left(), tag.top(), tag.width(), c.small() ? 2 * c.px() : 3));
    c.fill(strip, pal::red);
    QPainterPath name;
    name.moveTo(c.snap(8), c.snap(25));
    name.lineTo(c.snap(24), c.snap(25));
    c.stroke(name, pal::darkGrey, c.small() ? c.px() : 2);
}

void drawHomePage(Canvas &c)
{
    QPainterPath walls;
    walls.addRect(c.box(6, 14, 26, 30));
    c.shape(walls, QColor(0xfb, 0xe7, 0xb8));
    QPainterPath chimney;
    chimney.addRect(c.box(21, 4, 25, 11));
    c.shape(chimney, QColor(0xa0, 0x5a, 0x3c));
    QPainterPath roof;
    roof.moveTo(2, 16);
    roof.lineTo(16, 3);
    roof.lineTo(30, 16);
    roof.closeSubpath();
    c.shape(roof, pal::red);
    QPainterPath door;
    door.addRect(c.box(9, 19, 15, 30));
    c.shape(door, QColor(0xa0, 0x6a, 0x3c));
    QPainterPath window;
    window.addRect(c.box(18, 18, 23, 23));
    c.shape(window, pal::sky);
}

void drawWorkPage(Canvas &c)
{
    const QColor leather(0x9a, 0x62, 0x3a);
    QPainterPath handle;
    handle.addRoundedRect(c.box(11, 4, 21, 12), 2, 2);
    c.stroke(handle, leather.darker(150), c.small() ? 3 * c.px() : 3.4);
    c.stroke(handle, leather, c.small() ? c.px() : 1.6);
    c.shape(roundedPath(c.box(2, 9, 30, 29), c.small() ? 1.5 : 2.5), leather);
    QPainterPath band;
    band.moveTo(c.snap(2), c.snap(17));
    band.lineTo(c.snap(30), c.snap(17));
    c.stroke(band, leather.darker(140), c.small() ? c.px() : 1.2);
    c.shape(roundedPath(c.box(13, 15, 19, 20), 0.8), pal::yellow);
}

void drawPersonalPage(Canvas &c)
{
    c.shape(heartPath({16, 16.5}, 28), pal::red);
    if (!c.small()) {
        c.p.save();
        c.p.translate(9.5, 10);
        c.p.rotate(-40);
        c.fill(ellipsePath({0, 0}, 3, 1.8), QColor(255, 255, 255, 120));
        c.p.restore();
    }
}

} // namespace

std::vector<Picture> toolbarIcons()
{
    return {
        {"talk", drawTalk},
        {"talk-user", drawTalkUser},
        {"talk-group", drawTalkGroup},
        {"user-list", drawUserList},
        {"my-profile", drawMyProfile},
        {"user-profile", drawUserProfile},
        {"options", drawOptions},
        {"help", drawHelp},
        {"about", drawAbout},
        {"web", drawWeb},
        {"support", drawSupport},
        {"auto-reply",
         [](Canvas &c) {
             drawAutoReply(c, true);
         }},
        {"auto-reply-off",
         [](Canvas &c) {
             drawAutoReply(c, false);
         }},
        {"mail", drawMail},
        {"mail-group", drawMailGroup},
        {"mail-all", drawMailAll},
        {"mail-empty", drawMailEmpty},
        {"not-talk-private", drawNotTalkPrivate},
        {"not-talk-group", drawNotTalkGroup},
        {"send", drawSend},
        {"insert-image", drawInsertImage},
        {"insert-animation", drawInsertAnimation},
        {"insert-file", drawInsertFile},
        {"insert-folder", drawInsertFolder},
        {"clear-message", drawClearMessage},
        {"close-talk", drawCloseTalk},
        {"history", drawHistory},
        {"language", drawLanguage},
        {"stay-on-top", drawStayOnTop},
        {"file", drawFile},
        {"folder", drawFolder},
        {"create-group", drawCreateGroup},
        {"delete-group", drawDeleteGroup},
        {"rename-group", drawRenameGroup},
        {"collapse", drawCollapse},
        {"expand", drawExpand},
        {"deactivate", drawDeactivate},
        {"activate", drawActivate},
        {"bad-list", drawBadList},
        {"open", drawOpen},
        {"close", drawClose},
        {"save-as", drawSaveAs},
        {"get-file", drawGetFile},
        {"sound", drawSound},
        {"tray-open", drawTrayOpen},
    };
}

std::vector<Picture> pageIcons()
{
    return {
        {"0", drawSummaryPage}, {"1", drawBasicDataPage}, {"2", drawHomePage},
        {"3", drawWorkPage},    {"4", drawPersonalPage},
    };
}
