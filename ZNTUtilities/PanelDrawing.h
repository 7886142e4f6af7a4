#pragma once
// The drawings of the kit's panel views: the recessed frame and image well,
// the scroller, bars and dividers, the spinner and the bordered background.
// Views that are unflipped on their original platform keep their geometry
// here with y growing upward from the bottom of their bounds (the functions
// say so); the draw functions convert once, into the painter's y-down terms.

#include "ZNTUtilities/ZNTImage.h"

#include <QColor>
#include <QLineF>
#include <QList>
#include <QRectF>
#include <variant>

class QPainter;

// ---- Recessed frame and image well (y down) ----

struct RecessedFrame {
    QRectF clip;         // radius 10
    QRectF innerShadow;  // radius 10, stroked six times, thicker towards the edge
    QRectF innerLine;    // radius 6
};
RecessedFrame recessedFrame(const QRectF& r);
void drawRecessedFrame(QPainter& painter, const QRectF& r);

// The image well: a rounded dark body, the picture reaching under the frame, the frame.
struct DarkImageCell {
    QColor bodyColor = QColor::fromRgbF(0.25f, 0.25f, 0.25f);
    void draw(QPainter& painter, const QRectF& frame, const ZNTImage& picture) const;
};

// ---- Scroller (y down) ----

struct ScrollerColors {
    QColor stroke;
    QColor knobStart, knobEnd;  // top to bottom across a horizontal scroller's knob
    QColor slotStart, slotEnd;
};
ScrollerColors scrollerColors(const QColor& base);
// A scroller draws only when it is longer than 19 points.
bool scrollerDraws(const QRectF& bounds, bool vertical);
// The slot, shortened one point across the scroller.
QRectF scrollerSlotRect(const QRectF& slot, bool vertical);
// The knob, shortened one point across and inset by half a point.
QRectF scrollerKnobRect(const QRectF& knob, bool vertical);
void drawScroller(QPainter& painter, const QRectF& bounds, const QRectF& slot, const QRectF& knob, bool vertical,
                  const ScrollerColors& colors);

// ---- Split-view divider (y down) ----

struct DividerStyle {
    bool thin = false;
    QColor lineColor = QColor::fromRgbF(0.4f, 0.4f, 0.4f);
};
QRectF dividerDimpleRect(const QRectF& divider);
void drawDivider(QPainter& painter, const QRectF& divider, const DividerStyle& style);

// ---- Footer, toolbar, separator (y up) ----

enum class ResizeStyle { none = 0, corner = 1, grooved = 2 };
struct GripLines {
    QList<QLineF> light, dark;
};
// The grip's lines in the bounds' upward terms; none for other styles.
GripLines resizeGripLines(ResizeStyle style, const QRectF& bounds);
void drawFooter(QPainter& painter, const QRectF& bounds, int resizeStyle);
void drawToolbar(QPainter& painter, const QRectF& bounds);

struct SeparatorStop {
    qreal position;
    QColor color;
};
QList<SeparatorStop> defaultSeparatorGradient();
// The one-point line (y up) and whether it runs across (horizontal) or up.
QRectF separatorLine(const QRectF& bounds, bool* horizontal);
void drawSeparator(QPainter& painter, const QRectF& bounds, const QList<SeparatorStop>& gradient);

// ---- Spinner (y up) ----

struct Spoke {
    QLineF line;
    qreal alpha;
};
QList<Spoke> spinnerSpokes(QSizeF bounds, int segmentCount, int phase);
void drawSpinner(QPainter& painter, const QRectF& bounds, int segmentCount, int phase);

// ---- Background with bordered edges (y up) ----

enum BorderEdge { borderTop = 1, borderLeft = 2, borderBottom = 4, borderRight = 8, borderAll = 15 };
// The whole frame as one rectangle (all four edges), or one line per chosen edge.
using BorderStroke = std::variant<QRectF, QList<QLineF>>;
BorderStroke borderStroke(const QRectF& bounds, qreal width, int edges);
void drawBackground(QPainter& painter, const QRectF& bounds, const QColor& fill, const QColor& border,
                    qreal borderWidth, int edges);
