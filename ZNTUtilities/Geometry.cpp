#include "ZNTUtilities/Geometry.h"

#include <QPainter>

#include <cmath>

QPointF ZNTRectGetCenter(const QRectF& r)
{
    return {r.x() + r.width() / 2, r.y() + r.height() / 2};
}

QRectF ZNTRectCenteredOnPoint(QPointF p, QSizeF s)
{
    return {p.x() - s.width() / 2, p.y() - s.height() / 2, s.width(), s.height()};
}

QSizeF ZNTSizeAspectFit(QSizeF s, QSizeF box)
{
    const qreal a = s.width() / s.height();
    if (a > box.width() / box.height())
        return {box.width(), box.width() / a};
    return {a * box.height(), box.height()};
}

QSizeF ZNTSizeAspectFill(QSizeF s, QSizeF box)
{
    const qreal a = s.width() / s.height();
    if (a > box.width() / box.height())
        return {a * box.height(), box.height()};
    return {box.width(), box.width() / a};
}

QRectF ZNTRectAspectFitInRect(const QRectF& inner, const QRectF& outer)
{
    return ZNTRectCenteredOnPoint(ZNTRectGetCenter(outer), ZNTSizeAspectFit(inner.size(), outer.size()));
}

QRectF ZNTRectAspectFillInRect(const QRectF& inner, const QRectF& outer)
{
    return ZNTRectCenteredOnPoint(ZNTRectGetCenter(outer), ZNTSizeAspectFill(inner.size(), outer.size()));
}

qreal ZNTPointDistance(QPointF p, QPointF q)
{
    return std::sqrt((q.x() - p.x()) * (q.x() - p.x()) + (q.y() - p.y()) * (q.y() - p.y()));
}

QPointF ZNTRectCornerMinXMinY(const QRectF& r) { return {r.x(), r.y()}; }
QPointF ZNTRectCornerMinXMaxY(const QRectF& r) { return {r.x(), r.y() + r.height()}; }
QPointF ZNTRectCornerMaxXMinY(const QRectF& r) { return {r.x() + r.width(), r.y()}; }
QPointF ZNTRectCornerMaxXMaxY(const QRectF& r) { return {r.x() + r.width(), r.y() + r.height()}; }

QRectF flippedRect(const QRectF& r, qreal spaceHeight)
{
    return {r.x(), spaceHeight - r.y() - r.height(), r.width(), r.height()};
}

QPointF flippedPoint(QPointF p, qreal spaceHeight)
{
    return {p.x(), spaceHeight - p.y()};
}

qreal pixelsPerPoint(const QPainter& painter)
{
    const QTransform transform = painter.deviceTransform();
    if (transform.type() <= QTransform::TxScale && transform.m11() > 0 && transform.m11() == transform.m22())
        return transform.m11();
    return painter.device()->devicePixelRatioF();
}
