#include "shapes.h"

#include <QTransform>

#include <cmath>
#include <numbers>

namespace {

// A width in units that covers an even number of device pixels (at least two), so that a bar
// centred on a pixel boundary keeps sharp edges.
double evenPixels(const Canvas &c, double units)
{
    const double pixels = std::max(2.0, 2.0 * std::round(units / c.px() / 2.0));
    return pixels * c.px();
}

QPointF polar(QPointF centre, double r, double degrees)
{
    const double a = degrees * std::numbers::pi / 180.0;
    return {centre.x() + r * std::cos(a), centre.y() + r * std::sin(a)};
}

} // namespace

QPainterPath circlePath(QPointF centre, double r)
{
    QPainterPath path;
    path.addEllipse(centre, r, r);
    return path;
}

QPainterPath roundedPath(const QRectF &rect, double r)
{
    QPainterPath path;
    path.addRoundedRect(rect, r, r);
    return path;
}

QPainterPath heartPath(QPointF centre, double width)
{
    const auto at = [&](double x, double y) {
        return QPointF(centre.x() + (x - 0.5) * width, centre.y() + (y - 0.52) * width * 0.92);
    };
    QPainterPath path;
    path.moveTo(at(0.5, 0.27));
    path.cubicTo(at(0.42, 0.02), at(0.0, 0.0), at(0.02, 0.36));
    path.cubicTo(at(0.04, 0.62), at(0.36, 0.8), at(0.5, 0.98));
    path.cubicTo(at(0.64, 0.8), at(0.96, 0.62), at(0.98, 0.36));
    path.cubicTo(at(1.0, 0.0), at(0.58, 0.02), at(0.5, 0.27));
    path.closeSubpath();
    return path;
}

QPainterPath starPath(QPointF centre, double outer, double inner, int points)
{
    QPainterPath path;
    for (int i = 0; i < points * 2; ++i) {
        const double r = (i % 2 == 0) ? outer : inner;
        const QPointF pt = polar(centre, r, -90.0 + i * 180.0 / points);
        if (i == 0) {
            path.moveTo(pt);
        } else {
            path.lineTo(pt);
        }
    }
    path.closeSubpath();
    return path;
}

void person(const Canvas &c, const Person &who)
{
    const double top = who.headY + who.headR * 0.8;
    const double half = who.headR * 1.7;
    const double shoulder = std::min(half * 0.85, who.bottom - top);
    QPainterPath body;
    body.moveTo(who.cx - half, who.bottom);
    body.lineTo(who.cx - half, top + shoulder);
    body.cubicTo(who.cx - half, top + shoulder * 0.3, who.cx - half * 0.6, top, who.cx, top);
    body.cubicTo(who.cx + half * 0.6, top, who.cx + half, top + shoulder * 0.3, who.cx + half,
                 top + shoulder);
    body.lineTo(who.cx + half, who.bottom);
    body.closeSubpath();
    c.shape(body, who.shirt);

    const QPainterPath head = circlePath({who.cx, who.headY}, who.headR);
    c.shape(head, who.skin);
    if (who.hair.isValid()) {
        QPainterPath cap;
        cap.addEllipse(QPointF(who.cx, who.headY - who.headR * 0.18), who.headR * 1.02, who.headR * 0.9);
        QPainterPath upper;
        upper.addRect(
            QRectF(who.cx - who.headR * 2, who.headY - who.headR * 2, who.headR * 4, who.headR * 1.65));
        c.shape(cap.intersected(upper).intersected(head.united(cap)), who.hair);
    }
}

void group(const Canvas &c, double scale, QPointF offset)
{
    const auto place = [&](double cx, double headY, double headR, double bottom, const QColor &shirt) {
        Person who;
        who.cx = offset.x() + 16 + (cx - 16) * scale;
        who.headY = offset.y() + 16 + (headY - 16) * scale;
        who.headR = headR * scale;
        who.bottom = offset.y() + 16 + (bottom - 16) * scale;
        who.shirt = shirt;
        person(c, who);
    };
    place(8.5, 10.5, 4.3, 26.5, pal::teal);
    place(23.5, 10.5, 4.3, 26.5, pal::orange);
    place(16, 14.5, 5.2, 30.5, pal::blue);
}

QPainterPath bubblePath(const QRectF &body, bool tailLeft)
{
    const double r = std::min(body.height() * 0.42, 5.5);
    QPainterPath path = roundedPath(body, r);
    const double w = body.width();
    const double tailH = std::min(body.height() * 0.38, 6.0);
    const double y = body.bottom() - 0.6;
    QPainterPath tail;
    if (tailLeft) {
        tail.moveTo(body.left() + w * 0.2, y);
        tail.lineTo(body.left() + w * 0.1, body.bottom() + tailH);
        tail.lineTo(body.left() + w * 0.46, y);
    } else {
        tail.moveTo(body.right() - w * 0.2, y);
        tail.lineTo(body.right() - w * 0.1, body.bottom() + tailH);
        tail.lineTo(body.right() - w * 0.46, y);
    }
    tail.closeSubpath();
    return path.united(tail).simplified();
}

void bubble(const Canvas &c, const QRectF &body, const QColor &colour, bool tailLeft, bool dots)
{
    c.shape(bubblePath(body, tailLeft), colour);
    if (!dots) {
        return;
    }
    const double r = c.small() ? 1.5 : std::min(1.6, body.height() * 0.12);
    const double step = body.width() / 4.0;
    for (int i = 1; i <= 3; ++i) {
        c.fill(circlePath({body.left() + step * i, body.center().y()}, r), Qt::white);
    }
}

void page(const Canvas &c, const QRectF &rect, bool lines)
{
    const double fold = rect.width() * 0.34;
    QPainterPath sheet;
    sheet.moveTo(rect.topLeft());
    sheet.lineTo(rect.right() - fold, rect.top());
    sheet.lineTo(rect.right(), rect.top() + fold);
    sheet.lineTo(rect.bottomRight());
    sheet.lineTo(rect.bottomLeft());
    sheet.closeSubpath();
    c.shape(sheet, pal::paper);

    QPainterPath corner;
    corner.moveTo(rect.right() - fold, rect.top());
    corner.lineTo(rect.right() - fold, rect.top() + fold);
    corner.lineTo(rect.right(), rect.top() + fold);
    corner.closeSubpath();
    c.shape(corner, QColor(0xd9, 0xe0, 0xe8));

    if (!lines) {
        return;
    }
    const double step = 4;
    const double left = rect.left() + (c.small() ? 4 : 3.5);
    for (double y = rect.top() + fold + (c.small() ? 2 : 2.5); y < rect.bottom() - 2.5; y += step) {
        QPainterPath row;
        row.moveTo(c.snap(left), c.snap(y));
        row.lineTo(c.snap(rect.right() - 3.5), c.snap(y));
        c.stroke(row, QColor(0xa8, 0xb6, 0xc6), c.px());
    }
}

void folderShape(const Canvas &c, const QRectF &rect, bool open)
{
    const double tabW = rect.width() * 0.4;
    const double tabH = std::max(rect.height() * 0.16, 2 * c.px());
    const QColor back = pal::folder.darker(118);
    QPainterPath rear;
    rear.moveTo(rect.left(), rect.bottom());
    rear.lineTo(rect.left(), rect.top() + 1);
    rear.quadTo(rect.left(), rect.top(), rect.left() + 1, rect.top());
    rear.lineTo(rect.left() + tabW, rect.top());
    rear.lineTo(rect.left() + tabW + tabH, rect.top() + tabH);
    rear.lineTo(rect.right() - 1, rect.top() + tabH);
    rear.quadTo(rect.right(), rect.top() + tabH, rect.right(), rect.top() + tabH + 1);
    rear.lineTo(rect.right(), rect.bottom());
    rear.closeSubpath();
    c.shape(rear, back);

    const double frontTop = c.snap(rect.top() + tabH + rect.height() * 0.2);
    if (open) {
        const QRectF sheet(rect.left() + rect.width() * 0.14, rect.top() + tabH * 0.6, rect.width() * 0.72,
                           rect.height());
        QPainterPath paperPath;
        paperPath.addRect(
            sheet.intersected(QRectF(rect.left(), rect.top(), rect.width(), frontTop + 3 - rect.top())));
        c.shape(paperPath, pal::paper);
        QPainterPath front;
        front.moveTo(rect.left() + rect.width() * 0.2, frontTop);
        front.lineTo(rect.right() + rect.width() * 0.04, frontTop);
        front.lineTo(rect.right() - rect.width() * 0.16, rect.bottom());
        front.lineTo(rect.left(), rect.bottom());
        front.closeSubpath();
        c.shape(front, pal::folder);
    } else {
        c.shape(roundedPath(QRectF(QPointF(rect.left(), frontTop), rect.bottomRight()), 1), pal::folder);
    }
}

void envelope(const Canvas &c, const QRectF &rect)
{
    const QColor body(0xf4, 0xf7, 0xfb);
    const QColor edge(0x5d, 0x7f, 0xa6);
    c.shape(roundedPath(rect, c.small() ? 1 : 1.5), body, edge);
    QPainterPath flap;
    flap.moveTo(rect.left() + c.px(), rect.top() + c.px());
    flap.lineTo(rect.center().x(), rect.top() + rect.height() * 0.58);
    flap.lineTo(rect.right() - c.px(), rect.top() + c.px());
    c.p.fillPath(flap, QColor(0xd6, 0xe4, 0xf3));
    c.stroke(flap, edge, c.line());
    if (!c.small()) {
        QPainterPath low;
        low.moveTo(rect.left() + 1, rect.bottom() - 1);
        low.lineTo(rect.left() + rect.width() * 0.38, rect.top() + rect.height() * 0.48);
        low.moveTo(rect.right() - 1, rect.bottom() - 1);
        low.lineTo(rect.right() - rect.width() * 0.38, rect.top() + rect.height() * 0.48);
        c.stroke(low, QColor(0xa9, 0xbf, 0xd8), c.line());
    }
}

void globe(const Canvas &c, QPointF centre, double r)
{
    const QColor sea(0x3f, 0x9c, 0xe6);
    const QPainterPath ball = circlePath(centre, r);
    c.fill(ball, sea);
    c.p.save();
    c.p.setClipPath(ball);
    // Two friendly continents.
    QPainterPath land;
    land.moveTo(centre.x() - r * 0.9, centre.y() - r * 0.35);
    land.cubicTo(centre.x() - r * 0.5, centre.y() - r * 0.95, centre.x() + r * 0.05, centre.y() - r * 0.75,
                 centre.x() - r * 0.1, centre.y() - r * 0.3);
    land.cubicTo(centre.x() - r * 0.25, centre.y() + r * 0.05, centre.x() - r * 0.1, centre.y() + r * 0.45,
                 centre.x() - r * 0.45, centre.y() + r * 0.8);
    land.cubicTo(centre.x() - r * 0.8, centre.y() + r * 0.5, centre.x() - r * 1.1, centre.y() + r * 0.1,
                 centre.x() - r * 0.9, centre.y() - r * 0.35);
    land.moveTo(centre.x() + r * 0.25, centre.y() - r * 0.1);
    land.cubicTo(centre.x() + r * 0.55, centre.y() - r * 0.45, centre.x() + r * 1.0, centre.y() - r * 0.3,
                 centre.x() + r * 0.95, centre.y() + r * 0.15);
    land.cubicTo(centre.x() + r * 0.85, centre.y() + r * 0.6, centre.x() + r * 0.45, centre.y() + r * 0.7,
                 centre.x() + r * 0.35, centre.y() + r * 0.4);
    land.cubicTo(centre.x() + r * 0.25, centre.y() + r * 0.15, centre.x() + r * 0.1, centre.y() + r * 0.1,
                 centre.x() + r * 0.25, centre.y() - r * 0.1);
    c.fill(land, QColor(0x6c, 0xc2, 0x4f));
    if (!c.small()) {
        const QColor grid(255, 255, 255, 110);
        QPainterPath lines;
        lines.addEllipse(centre, r * 0.45, r);
        lines.moveTo(centre.x() - r, centre.y());
        lines.lineTo(centre.x() + r, centre.y());
        c.stroke(lines, grid, c.px());
    }
    c.p.restore();
    c.shape(ball, Qt::transparent, edgeOf(sea));
}

void gear(const Canvas &c, QPointF centre, double r)
{
    const int teeth = 8;
    QPainterPath path;
    const double inner = r * 0.74;
    for (int i = 0; i < teeth; ++i) {
        const double a = i * 360.0 / teeth;
        const double w = 360.0 / teeth;
        const QPointF p0 = polar(centre, inner, a - w * 0.5);
        if (i == 0) {
            path.moveTo(p0);
        }
        path.lineTo(polar(centre, inner, a - w * 0.26));
        path.lineTo(polar(centre, r, a - w * 0.17));
        path.lineTo(polar(centre, r, a + w * 0.17));
        path.lineTo(polar(centre, inner, a + w * 0.26));
        path.lineTo(polar(centre, inner, a + w * 0.5));
    }
    path.closeSubpath();
    path.addEllipse(centre, r * 0.32, r * 0.32);
    path.setFillRule(Qt::OddEvenFill);
    c.shape(path, QColor(0x84, 0x93, 0xa6));
}

void clockFace(const Canvas &c, QPointF centre, double r)
{
    c.shape(circlePath(centre, r), pal::paper, QColor(0x3c, 0x6d, 0xa8));
    if (!c.small()) {
        QPainterPath ticks;
        for (int i = 0; i < 12; i += 3) {
            ticks.moveTo(polar(centre, r * 0.78, i * 30.0));
            ticks.lineTo(polar(centre, r * 0.62, i * 30.0));
        }
        c.stroke(ticks, QColor(0x9a, 0xa8, 0xb8), c.px());
    }
    QPainterPath hands;
    hands.moveTo(polar(centre, r * 0.62, -90));
    hands.lineTo(centre);
    hands.lineTo(polar(centre, r * 0.46, -20));
    c.stroke(hands, QColor(0x2b, 0x3a, 0x4c), c.atLeastPixel(r * 0.14));
}

void pencil(const Canvas &c, QPointF tip, double length)
{
    c.p.save();
    c.p.translate(tip);
    c.p.rotate(-45);
    const double w = length * 0.3;
    const double cone = w * 1.15;
    QPainterPath wood;
    wood.moveTo(0, 0);
    wood.lineTo(cone, -w / 2);
    wood.lineTo(cone, w / 2);
    wood.closeSubpath();
    c.shape(wood, QColor(0xf3, 0xd3, 0xa0));
    QPainterPath lead;
    lead.moveTo(0, 0);
    lead.lineTo(cone * 0.38, -w * 0.19);
    lead.lineTo(cone * 0.38, w * 0.19);
    lead.closeSubpath();
    c.fill(lead, QColor(0x3a, 0x33, 0x33));
    QPainterPath bodyPath;
    bodyPath.addRect(QRectF(cone, -w / 2, length - cone - w * 0.9, w));
    c.shape(bodyPath, pal::orange);
    QPainterPath rubber;
    rubber.addRoundedRect(QRectF(length - w * 0.9, -w / 2, w * 0.9, w), w * 0.3, w * 0.3);
    c.shape(rubber, pal::pink);
    c.p.restore();
}

void noEntry(const Canvas &c, QPointF centre, double r)
{
    c.shape(circlePath(centre, r), pal::red);
    // A badge of 16 pixel pictures is centred on a pixel and gets a bar one pixel high.
    const bool pixelCentred = c.small() && r < 8;
    const double h = pixelCentred ? c.px() : evenPixels(c, r * 0.5);
    const double w = pixelCentred ? 5 * c.px() : r * 1.3;
    QPainterPath bar;
    bar.addRect(QRectF(centre.x() - w / 2, centre.y() - h / 2, w, h));
    c.fill(bar, Qt::white);
}

void infoSign(const Canvas &c, QPointF centre, double r, const QColor &colour)
{
    c.shape(circlePath(centre, r), colour);
    const double w = evenPixels(c, r * 0.24);
    c.fill(circlePath({centre.x(), centre.y() - r * 0.46}, w * 0.62), Qt::white);
    QPainterPath stem;
    stem.addRoundedRect(QRectF(centre.x() - w / 2, centre.y() - r * 0.18, w, r * 0.74), w * 0.25, w * 0.25);
    c.fill(stem, Qt::white);
}

void helpSign(const Canvas &c, QPointF centre, double r, const QColor &colour)
{
    c.shape(circlePath(centre, r), colour);
    const double w = evenPixels(c, r * 0.24);
    const double x = centre.x();
    const double y = centre.y();
    QPainterPath q;
    q.moveTo(x - r * 0.34, y - r * 0.24);
    q.cubicTo(x - r * 0.34, y - r * 0.66, x + r * 0.36, y - r * 0.68, x + r * 0.36, y - r * 0.28);
    q.cubicTo(x + r * 0.36, y - r * 0.02, x, y - r * 0.02, x, y + r * 0.22);
    c.stroke(q, Qt::white, w);
    c.fill(circlePath({x, y + r * 0.56}, w * 0.62), Qt::white);
}

void idCard(const Canvas &c, const QColor &shirt)
{
    const QRectF card = c.box(3, 6, 29, 26);
    c.shape(roundedPath(card, 2), QColor(0xe4, 0xf0, 0xfb), QColor(0x4a, 0x78, 0xa8));
    const QRectF photo = c.box(6, 9, 15, 23);
    c.p.save();
    QPainterPath clip = roundedPath(photo, 1);
    c.fill(clip, QColor(0xc7, 0xdd, 0xf3));
    c.p.setClipPath(clip);
    Person who;
    who.cx = photo.center().x();
    who.headY = photo.top() + photo.height() * 0.38;
    who.headR = photo.width() * 0.26;
    who.bottom = photo.bottom() + 2;
    who.shirt = shirt;
    person(c, who);
    c.p.restore();
    const QColor lineColour(0x7f, 0x9c, 0xbd);
    QPainterPath rows;
    const double x1 = c.snap(17.5);
    const double x2 = c.snap(26);
    if (c.small()) {
        rows.moveTo(x1, c.snap(12.5));
        rows.lineTo(x2, c.snap(12.5));
        rows.moveTo(x1, c.snap(17.5));
        rows.lineTo(x2 - 2, c.snap(17.5));
    } else {
        for (double y : {12.0, 15.0, 18.0, 21.0}) {
            rows.moveTo(x1, c.snap(y));
            rows.lineTo(y == 21.0 ? x2 - 3 : x2, c.snap(y));
        }
    }
    c.stroke(rows, lineColour, c.small() ? c.px() : 1.0);
}

void pixelGlyph(const Canvas &c, std::initializer_list<const char *> rows, int left, int top,
                const QColor &colour)
{
    int y = top;
    for (const char *row : rows) {
        for (int x = 0; row[x] != '\0'; ++x) {
            if (row[x] == 'X') {
                c.p.fillRect(QRectF((left + x) * c.px(), y * c.px(), c.px(), c.px()), colour);
            }
        }
        ++y;
    }
}

void badge(const Canvas &c, Badge kind)
{
    // At 16 pixels the badge is centred on a pixel so that its one pixel strokes stay sharp; at
    // 32 pixels it is centred between pixels and its strokes are two pixels wide.
    const QPointF centre = c.small() ? QPointF(25, 25) : QPointF(24, 24);
    const double r = c.small() ? 6 : 6.5;
    const double margin = c.small() ? 2 : 1.5;
    c.erase(circlePath(centre, r), margin);
    const double sw = c.small() ? c.px() : 2 * c.px();
    switch (kind) {
    case Badge::Plus: {
        c.shape(circlePath(centre, r), pal::green);
        QPainterPath plus;
        const double a = c.small() ? r * 0.67 : r * 0.58;
        plus.addRect(QRectF(centre.x() - a, centre.y() - sw / 2, 2 * a, sw));
        plus.addRect(QRectF(centre.x() - sw / 2, centre.y() - a, sw, 2 * a));
        plus.setFillRule(Qt::WindingFill);
        c.fill(plus, Qt::white);
        break;
    }
    case Badge::Cross: {
        c.shape(circlePath(centre, r), pal::red);
        if (c.small()) {
            pixelGlyph(c, {"X.X", ".X.", "X.X"}, 11, 11, Qt::white);
            break;
        }
        QPainterPath cross;
        const double a = r * 0.4;
        cross.moveTo(centre.x() - a, centre.y() - a);
        cross.lineTo(centre.x() + a, centre.y() + a);
        cross.moveTo(centre.x() + a, centre.y() - a);
        cross.lineTo(centre.x() - a, centre.y() + a);
        c.stroke(cross, Qt::white, sw);
        break;
    }
    case Badge::Check: {
        c.shape(circlePath(centre, r), pal::green);
        if (c.small()) {
            pixelGlyph(c, {"....X", "...X.", "X.X..", ".X..."}, 10, 11, Qt::white);
            break;
        }
        QPainterPath tick;
        tick.moveTo(centre.x() - r * 0.5, centre.y() + r * 0.02);
        tick.lineTo(centre.x() - r * 0.12, centre.y() + r * 0.42);
        tick.lineTo(centre.x() + r * 0.52, centre.y() - r * 0.38);
        c.stroke(tick, Qt::white, sw);
        break;
    }
    case Badge::NoEntry:
        noEntry(c, centre, r);
        break;
    case Badge::Pencil:
        pencil(c, c.small() ? QPointF(18, 31) : QPointF(17.5, 30.5), 17);
        break;
    case Badge::Globe:
        globe(c, centre, r);
        break;
    case Badge::Magnifier: {
        QPainterPath handle;
        handle.moveTo(25, 25);
        handle.lineTo(30, 30);
        c.stroke(handle, QColor(0x4a, 0x3a, 0x2e), c.small() ? 4 : 3);
        const QPointF lens(21.5, 21.5);
        c.shape(circlePath(lens, c.small() ? 5 : 4.5), QColor(0xdf, 0xf0, 0xff), QColor(0x3d, 0x4f, 0x63));
        break;
    }
    case Badge::Group: {
        Person back;
        back.cx = 27;
        back.headY = 20.5;
        back.headR = c.small() ? 2.6 : 2.4;
        back.bottom = 31;
        back.shirt = pal::orange;
        person(c, back);
        Person front;
        front.cx = 21.5;
        front.headY = 22.5;
        front.headR = c.small() ? 2.8 : 2.6;
        front.bottom = 31.5;
        front.shirt = pal::teal;
        person(c, front);
        break;
    }
    case Badge::ArrowDown: {
        c.shape(circlePath(centre, r), pal::green);
        QPainterPath arrow;
        const double a = r * 0.55;
        const double ah = c.small() ? a * 0.8 : a;
        arrow.moveTo(centre.x(), centre.y() - a);
        arrow.lineTo(centre.x(), centre.y() + a);
        arrow.moveTo(centre.x() - ah, centre.y() + a - ah);
        arrow.lineTo(centre.x(), centre.y() + a);
        arrow.lineTo(centre.x() + ah, centre.y() + a - ah);
        c.stroke(arrow, Qt::white, sw);
        break;
    }
    case Badge::Star:
        c.shape(starPath(centre, r + 0.5, r * 0.48), pal::yellow);
        break;
    }
}
