#include "ZNTUtilities/SliderCell.h"

#include "ZNTUtilities/FocusRing.h"
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

void ZNTSliderCell::drawKnob(QPainter& painter, const QRectF& knob, bool enabled, bool focused) const
{
    const QRectF picture = knobImageRect(knob, knobImage.size());
    knobImage.draw(painter, picture, opacity(enabled));
    if (focused)
        FocusRing::draw(painter, picture, picture.height() / 2);
}
