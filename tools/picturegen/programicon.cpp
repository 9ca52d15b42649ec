// The program's own mark: a speech bubble with a "P", in the tray and as the program icon, and the
// placeholder shown where no profile picture has been chosen yet.
#include "catalog.h"
#include "shapes.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <vector>

namespace {

const QColor kTop(0x3b, 0xa4, 0xec);
const QColor kBottom(0x1c, 0xa9, 0xa0);

QRectF markBody(const Canvas &c)
{
    return c.box(1, 2, 31, 24);
}

// Blurs the alpha channel of a premultiplied image with three passes of a box blur.
void blur(QImage &image, int radius)
{
    const int w = image.width();
    const int h = image.height();
    std::vector<int> line(std::max(w, h));
    for (int pass = 0; pass < 3; ++pass) {
        for (int dir = 0; dir < 2; ++dir) {
            const int outer = dir == 0 ? h : w;
            const int inner = dir == 0 ? w : h;
            for (int o = 0; o < outer; ++o) {
                const auto at = [&](int i) -> QRgb & {
                    const int x = dir == 0 ? i : o;
                    const int y = dir == 0 ? o : i;
                    return reinterpret_cast<QRgb *>(image.scanLine(y))[x];
                };
                for (int i = 0; i < inner; ++i) {
                    line[i] = qAlpha(at(i));
                }
                int sum = 0;
                for (int i = -radius; i <= radius; ++i) {
                    sum += line[std::clamp(i, 0, inner - 1)];
                }
                for (int i = 0; i < inner; ++i) {
                    const int a = sum / (2 * radius + 1);
                    at(i) = qRgba(0, 0, 0, a);
                    sum += line[std::min(i + radius + 1, inner - 1)] - line[std::max(i - radius, 0)];
                }
            }
        }
    }
}

// A soft drop shadow under a path, for the large program icons.
void softShadow(const Canvas &c, const QPainterPath &path)
{
    QImage shadow(c.size, c.size, QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    QPainter sp(&shadow);
    sp.setRenderHint(QPainter::Antialiasing);
    sp.setTransform(c.p.transform());
    sp.translate(0.3, 0.9);
    sp.fillPath(path, QColor(0, 0, 0, 120));
    sp.end();
    blur(shadow, std::max(1, c.size / 64));
    c.p.save();
    c.p.resetTransform();
    c.p.drawImage(0, 0, shadow);
    c.p.restore();
}

QLinearGradient bodyGradient(const QRectF &body, double lighten)
{
    QLinearGradient gradient(body.topLeft(), body.bottomLeft());
    gradient.setColorAt(0, kTop.lighter(int(100 * lighten)));
    gradient.setColorAt(1, kBottom.lighter(int(100 * lighten)));
    return gradient;
}

// The white "P" inside the bubble.
void letterP(const Canvas &c, const QColor &colour)
{
    if (c.small()) {
        pixelGlyph(c, {"XXXX.", "XX.XX", "XX.XX", "XXXX.", "XX...", "XX...", "XX..."}, 5, 3, colour);
        return;
    }
    QPainterPath mark;
    const double width = 3;
    {
        mark.moveTo(12.5, 19.5);
        mark.lineTo(12.5, 7.5);
        mark.lineTo(16, 7.5);
        mark.cubicTo(20.6, 7.5, 20.6, 14.5, 16, 14.5);
        mark.lineTo(12.5, 14.5);
    }
    if (c.large()) {
        // a faint shadow under the letter
        c.p.save();
        c.p.translate(0.35, 0.45);
        c.stroke(mark, QColor(0, 60, 90, 70), width);
        c.p.restore();
    }
    c.stroke(mark, colour, width);
}

// The bubble itself; `lighten` above 1 brightens it, `opacity` below 1 dims it.
void markBubble(const Canvas &c, double lighten, double opacity)
{
    const QRectF body = markBody(c);
    const QPainterPath path = bubblePath(body, true);
    c.p.save();
    c.p.setOpacity(opacity);
    if (c.large()) {
        // leave room for the shadow
        c.p.translate(16, 15);
        c.p.scale(0.92, 0.92);
        c.p.translate(-16, -16);
        if (!c.scalable())
            softShadow(c, path);
    }
    c.p.fillPath(path, bodyGradient(body, lighten));
    if (c.large()) {
        const QColor rimColour(255, 255, 255, 90);
        QPainterPath gloss;
        gloss.addEllipse(QRectF(body.left() - 2, body.top() - 9, body.width() + 4, body.height() * 0.95));
        QLinearGradient shine(0, body.top(), 0, body.top() + body.height() * 0.5);
        shine.setColorAt(0, QColor(255, 255, 255, 120));
        shine.setColorAt(1, QColor(255, 255, 255, 10));
        if (c.scalable()) {
            // SVG output knows no clipping: the rim and the gloss are cut to the bubble instead.
            QPainterPathStroker rim;
            rim.setWidth(c.line() * 2.6);
            rim.setCapStyle(Qt::RoundCap);
            rim.setJoinStyle(Qt::RoundJoin);
            c.fill(rim.createStroke(path).intersected(path), rimColour);
            c.p.fillPath(gloss.intersected(path), shine);
        } else {
            c.p.save();
            c.p.setClipPath(path);
            // a light rim along the inside of the edge
            c.stroke(path, rimColour, c.line() * 2.6);
            c.p.fillPath(gloss, shine);
            c.p.restore();
        }
    }
    QPen pen(edgeOf(kBottom.lighter(int(100 * lighten))), c.line(), Qt::SolidLine, Qt::RoundCap,
             Qt::RoundJoin);
    c.p.strokePath(path, pen);
    letterP(c, Qt::white);
    c.p.restore();
}

// The orange "something happened" dot in the upper right corner.
void eventDot(const Canvas &c, double r, bool glow)
{
    const QPointF centre(c.small() ? 26 : 26.5, c.small() ? 6 : 5.5);
    c.erase(circlePath(centre, r), c.small() ? 2 : 1.5);
    if (glow) {
        c.fill(circlePath(centre, r + (c.small() ? 2 : 1.5)), QColor(0xff, 0xc0, 0x50, 110));
    }
    c.shape(circlePath(centre, r), pal::orange);
    if (!c.small()) {
        c.fill(circlePath(centre + QPointF(-r * 0.3, -r * 0.3), r * 0.35), QColor(255, 255, 255, 150));
    }
}

} // namespace

void drawTrayFrame(Canvas &c, int frame)
{
    switch (frame) {
    case 1: // the event appears
        markBubble(c, 1.0, 1.0);
        eventDot(c, c.small() ? 5 : 4.5, false);
        break;
    case 2: // brightest moment of the blink
        markBubble(c, 1.18, 1.0);
        eventDot(c, 5.5, true);
        break;
    case 3: // dimmed, before the cycle starts again
        markBubble(c, 1.05, 0.55);
        eventDot(c, c.small() ? 4.5 : 4, false);
        break;
    default: // idle
        markBubble(c, 1.0, 1.0);
        break;
    }
}

void drawProgramIcon(Canvas &c)
{
    markBubble(c, 1.0, 1.0);
}

void drawSelectPicture(Canvas &c)
{
    const QColor grey(0x8a, 0x96, 0xa3);
    QPen dashed(grey, 1.5, Qt::CustomDashLine, Qt::FlatCap, Qt::RoundJoin);
    dashed.setDashPattern({2, 1.5});
    c.p.fillPath(roundedPath(c.box(2, 2, 30, 30), 4), QColor(0xf2, 0xf5, 0xf8, 200));
    c.p.strokePath(roundedPath(QRectF(2.75, 2.75, 26.5, 26.5), 4), dashed);
    QPainterPath q;
    q.moveTo(11.5, 12);
    q.cubicTo(11.5, 6.5, 20.5, 6.5, 20.5, 11.5);
    q.cubicTo(20.5, 15, 16, 15, 16, 19);
    c.stroke(q, grey, 3);
    c.fill(circlePath({16, 23.8}, 1.9), grey);
}
