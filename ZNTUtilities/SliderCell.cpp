#include "ZNTUtilities/SliderCell.h"

#include "ZNTUtilities/Geometry.h"

#include <cmath>

QRectF ZNTSliderCell::trackRect(const QRectF& a, qreal h)
{
    return {a.x(), a.y() + std::floor((a.height() - h) / 2), a.width(), h};
}

QRectF ZNTSliderCell::knobImageRect(const QRectF& knob, QSizeF size)
{
    const QRectF p = ZNTRectCenteredOnPoint(ZNTRectGetCenter(knob), size);
    // The knob snaps up on screen: in these y-down coordinates that is down.
    return {std::round(p.x()), std::floor(p.y()), p.width(), p.height()};
}

void ZNTSliderCell::drawBar(QPainter& painter, const QRectF& bar, bool enabled) const
{
    trackImage.draw(painter, trackRect(bar, trackImage.size().height()), opacity(enabled));
}

void ZNTSliderCell::drawKnob(QPainter& painter, const QRectF& knob, bool enabled) const
{
    knobImage.draw(painter, knobImageRect(knob, knobImage.size()), opacity(enabled));
}
