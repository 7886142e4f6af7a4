#pragma once
// The dark glossy controls of the editor panel: push button, check box,
// pop-up button and segmented control. Each fills a rounded bezel with the
// gloss gradient, casts a shadow outside it and strokes a faint rim.
// Frames are the control's rectangles, y down.

#include "ZNTUtilities/CellState.h"
#include "ZNTUtilities/Shadow.h"
#include "ZNTUtilities/ZNTImage.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QRectF>

class QPainter;

// The bezel all four cells draw.
struct DarkBezel {
    QRectF rect;
    qreal radius = 0;
    QColor fill;
    QColor rim;
    Shadow shadow;
};

// Gloss-filled, shadowed, rimmed; `insideFill` runs clipped to the bezel
// (the segmented control fills its segments there).
void drawDarkBezel(QPainter& painter, const QRectF& frame, const DarkBezel& bezel,
                   const std::function<void(QPainter&)>& insideFill = {});

class DarkPushButtonCell {
public:
    DarkPushButtonCell();
    qreal leftContentInset = 2, topContentInset = 2, rightContentInset = 2, bottomContentInset = 4;
    QColor normalBackgroundColor;
    QColor highlightedBackgroundColor;
    Shadow shadow;
    QString title;
    QFont font;

    QRectF bezelRect(const QRectF& frame) const;
    void draw(QPainter& painter, const QRectF& frame, const CellState& state) const;
};

class DarkCheckboxButtonCell {
public:
    DarkCheckboxButtonCell();
    QColor backgroundColor, highlightedBackgroundColor, strokeColor;
    Shadow buttonShadow, titleShadow;
    QString title;
    QFont font;

    static constexpr qreal boxSize = 18;  // the check box picture beside the title
    static QRectF imageRect(const QRectF& frame);
    static QRectF bezelRect(const QRectF& frame);
    static QRectF titleRect(const QRectF& frame);
    // The mark's three points, round-capped at width 2.
    static QPolygonF checkMark(const QRectF& bezel);
    void draw(QPainter& painter, const QRectF& frame, const CellState& state) const;
};

class DarkPopupButtonCell {
public:
    DarkPopupButtonCell();
    QColor backgroundColor, strokeColor, arrowColor;
    Shadow buttonShadow, titleShadow;
    QString title;
    QFont font;

    static QRectF bezelRect(const QRectF& frame);
    static QRectF titleRect(const QRectF& frame);
    // Two closed triangles, the upper pointing up and the lower down.
    static QPainterPath arrows(const QRectF& frame);
    void draw(QPainter& painter, const QRectF& frame, const CellState& state) const;
};

class DarkSegmentedCell {
public:
    struct Segment {
        qreal width = 0;
        QString label;
        ZNTImage image;
        bool selected = false;
    };

    DarkSegmentedCell();
    QColor backgroundColor, selectedColor, trackingColor, strokeColor;
    Shadow buttonShadow;
    QList<Segment> segments;
    QFont font;
    int trackingSegment = -1;

    // The picture shown while that segment is selected; a null image keeps
    // what is there. Negative segments are ignored.
    void setSelectedImage(const ZNTImage& image, int segment);
    ZNTImage selectedImageForSegment(int segment) const;

    static QRectF bezelRect(const QRectF& frame);
    // The fills, one per segment, each a point wider than the segment with a
    // one-point gap after it.
    QList<QRectF> segmentFillRects(const QRectF& bezel) const;
    // The segment under the point, or -1 (also in the gap between two).
    int segmentAtPoint(QPointF point, const QRectF& bounds) const;
    void draw(QPainter& painter, const QRectF& frame, const CellState& state) const;

private:
    QList<ZNTImage> selectedImages_;
};
