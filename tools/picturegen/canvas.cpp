#include "canvas.h"

#include <QPen>

#include <cmath>

QColor edgeOf(const QColor &fill)
{
    float h = 0;
    float s = 0;
    float v = 0;
    float a = 0;
    fill.getHsvF(&h, &s, &v, &a);
    if (s < 0.08f) {
        // Greys and whites get a neutral grey-blue edge.
        return QColor::fromHsvF(0.58f, 0.12f, std::max(0.0f, v * 0.55f), a);
    }
    return QColor::fromHsvF(h, std::min(1.0f, s * 1.1f + 0.05f), v * 0.62f, a);
}

double Canvas::snap(double v) const
{
    const double p = px();
    return (std::floor(v / p) + 0.5) * p;
}

QRectF Canvas::box(double x1, double y1, double x2, double y2) const
{
    return QRectF(QPointF(snap(x1), snap(y1)), QPointF(snap(x2), snap(y2)));
}

void Canvas::shape(const QPainterPath &path, const QColor &fill) const
{
    shape(path, fill, edgeOf(fill));
}

void Canvas::shape(const QPainterPath &path, const QColor &fillColour, const QColor &edge) const
{
    p.fillPath(path, fillColour);
    QPen pen(edge, line(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.strokePath(path, pen);
}

void Canvas::fill(const QPainterPath &path, const QColor &colour) const
{
    p.fillPath(path, colour);
}

void Canvas::stroke(const QPainterPath &path, const QColor &colour, double width) const
{
    QPen pen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.strokePath(path, pen);
}

void Canvas::erase(const QPainterPath &path, double margin) const
{
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.fillPath(path, Qt::black);
    if (margin > 0) {
        p.strokePath(path, QPen(Qt::black, margin * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    p.restore();
}

QImage render(const Drawing &draw, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(size / 32.0, size / 32.0);
    Canvas canvas{painter, size};
    draw(canvas);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}
