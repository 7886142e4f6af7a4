#pragma once
// The keyboard focus ring every control of the kit draws: a light blue band
// along the control's outline, inside its frame (a widget paints only within
// itself), wide enough to read on the dark panels, on the light advanced
// panel and over the coloured button pictures alike. Cells draw it last,
// over their face, when their CellState says they have the focus.

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace FocusRing {

constexpr qreal width = 2;  // points, at any pixel ratio
QColor color();

// The band follows the shape's outline, drawn inside it.
void draw(QPainter& painter, const QPainterPath& shape);
// A rounded rectangle; a radius of half the shorter side gives a pill or a circle.
void draw(QPainter& painter, const QRectF& rect, qreal radius);
// Around a bezel drawn inside its frame: just outside the bezel where the
// frame leaves room, on its edge where it does not.
void drawAround(QPainter& painter, const QRectF& bezel, qreal radius, const QRectF& frame);

}  // namespace FocusRing
