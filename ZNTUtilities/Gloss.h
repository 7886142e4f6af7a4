#pragma once
// The gloss gradient of the dark controls: one base colour becomes a
// two-part vertical shading, a lightened upper half and a lower half that
// runs into a highlight colour derived from the base.

#include <QColor>
#include <QRectF>

class QPainter;

struct GlossParameters {
    QColor base;
    QColor highlight;
    float c = 1.2f;          // exponent coefficient
    float e = 0;             // exponent offset, exp(-c)
    float s = 0;             // exponent scale, 1 / (1 - e)
    qreal initialWhite = 0;  // 0.6 L
    qreal finalWhite = 0;    // 0.2 L
};

// (0.299 r + 0.587 g + 0.114 b) ^ 0.2
qreal PerceivedBrightness(const QColor& color);
// The highlight colour: the hue pulled towards yellow (magenta for purples),
// brightened towards the target; alpha kept.
QColor GlossColorFromColor(const QColor& color);
GlossParameters glossParameters(const QColor& color);
// The shading's colour at t (0 the top edge, 1 the bottom edge).
QColor glossShadingValue(const GlossParameters& gloss, qreal t);
// Fills r (painter coordinates, y down), clipped to r, with the gloss of color.
void DrawGlossGradient(QPainter& painter, const QColor& color, const QRectF& r);
