#include "ZNTUtilities/FocusRing.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

QColor FocusRing::color() { return QColor::fromRgbF(0.35f, 0.65f, 1.0f); }

void FocusRing::draw(QPainter& painter, const QPainterPath& shape)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // A pen twice the band's width, clipped to the shape, leaves the band inside.
    painter.setClipPath(shape, Qt::IntersectClip);
    painter.setPen(QPen(color(), 2 * width));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.restore();
}

void FocusRing::draw(QPainter& painter, const QRectF& rect, qreal radius)
{
    QPainterPath shape;
    const qreal r = std::min(radius, std::min(rect.width(), rect.height()) / 2);
    shape.addRoundedRect(rect, r, r);
    draw(painter, shape);
}

void FocusRing::drawAround(QPainter& painter, const QRectF& bezel, qreal radius, const QRectF& frame)
{
    draw(painter, bezel.adjusted(-width, -width, width, width).intersected(frame), radius + width);
}
