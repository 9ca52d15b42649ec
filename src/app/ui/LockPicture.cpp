#include "app/ui/LockPicture.h"

#include <QPainter>
#include <QPainterPath>

QPixmap LockPicture(int sidePx, qreal ratio)
{
    const int device = qRound(sidePx * ratio);
    QPixmap pixmap(device, device);
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(ratio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = sidePx;
    const QColor gold(0xc8, 0x8a, 0x12);
    p.setPen(QPen(QColor(0x6b, 0x6b, 0x6b), s / 9, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(s * 0.3, s * 0.48);
    shackle.lineTo(s * 0.3, s * 0.32);
    shackle.arcTo(QRectF(s * 0.3, s * 0.1, s * 0.4, s * 0.44), 180, -180);
    shackle.lineTo(s * 0.7, s * 0.48);
    p.drawPath(shackle);
    p.setPen(QPen(gold.darker(140), 1.0));
    p.setBrush(gold);
    p.drawRoundedRect(QRectF(s * 0.16, s * 0.45, s * 0.68, s * 0.48), s / 10, s / 10);
    p.setPen(Qt::NoPen);
    p.setBrush(gold.darker(180));
    p.drawEllipse(QPointF(s / 2, s * 0.65), s / 14, s / 14);
    return pixmap;
}
