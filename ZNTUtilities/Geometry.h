#pragma once
// Plain geometry on points, sizes and rectangles. Rectangles are (x, y,
// width, height); the functions do not care which way y grows, except
// flippedRect, which converts between the two conventions.

#include <QPointF>
#include <QRectF>
#include <QSizeF>

class QPainter;

QPointF ZNTRectGetCenter(const QRectF& r);
QRectF ZNTRectCenteredOnPoint(QPointF p, QSizeF s);
// The largest size of s's aspect that fits in box / the smallest that covers it.
QSizeF ZNTSizeAspectFit(QSizeF s, QSizeF box);
QSizeF ZNTSizeAspectFill(QSizeF s, QSizeF box);
QRectF ZNTRectAspectFitInRect(const QRectF& inner, const QRectF& outer);
QRectF ZNTRectAspectFillInRect(const QRectF& inner, const QRectF& outer);
qreal ZNTPointDistance(QPointF p, QPointF q);
// Corners by their y-up names: "min y" is the origin side.
QPointF ZNTRectCornerMinXMinY(const QRectF& r);
QPointF ZNTRectCornerMinXMaxY(const QRectF& r);
QPointF ZNTRectCornerMaxXMinY(const QRectF& r);
QPointF ZNTRectCornerMaxXMaxY(const QRectF& r);

// A rectangle given with y growing upward from the bottom of a space
// `spaceHeight` high, in y-down terms (and back: the conversion is its own
// inverse). Drawing code keeps a Part's y-up geometry and converts once here.
QRectF flippedRect(const QRectF& r, qreal spaceHeight);
QPointF flippedPoint(QPointF p, qreal spaceHeight);

// Pixels per point of what a painter paints: the device's ratio, or the
// scale of a picture a widget is rendered into (QWidget::render keeps the
// widget as the device and scales the painter instead).
qreal pixelsPerPoint(const QPainter& painter);
