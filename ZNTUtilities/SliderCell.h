#pragma once
// A horizontal slider drawn from two pictures: the track stretched along the
// bar at its own height, the knob centred on the knob's place. Rectangles are
// the control's, y down.

#include "ZNTUtilities/ZNTImage.h"

#include <QRectF>

class QPainter;

class ZNTSliderCell {
public:
    ZNTImage knobImage;
    ZNTImage trackImage;

    // The bar's full width, the picture's height, centred (offset rounded down).
    static QRectF trackRect(const QRectF& bar, qreal trackHeight);
    // The knob picture centred on the knob rectangle, snapped to whole points:
    // x rounded to the nearest (halves away from zero), y to the whole point
    // above (a knob centred on a half point is drawn on the upper pixel).
    static QRectF knobImageRect(const QRectF& knob, QSizeF knobSize);
    static qreal opacity(bool enabled) { return enabled ? 1.0 : 0.75; }

    void drawBar(QPainter& painter, const QRectF& bar, bool enabled) const;
    // A focused slider rings its knob.
    void drawKnob(QPainter& painter, const QRectF& knob, bool enabled, bool focused = false) const;
};
