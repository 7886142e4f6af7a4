#include "ZNTUtilities/Gloss.h"

#include <QLinearGradient>
#include <QPainter>

#include <cmath>

qreal PerceivedBrightness(const QColor& color)
{
    return std::pow(0.299 * color.redF() + 0.587 * color.greenF() + 0.114 * color.blueF(), 0.2);
}

QColor GlossColorFromColor(const QColor& color)
{
    const QColor yellow = QColor::fromRgbF(1, 1, 0);
    qreal h = color.hsvHueF(), s = color.hsvSaturationF();
    const qreal b = color.valueF();
    if (h < 0)
        h = 0;  // a grey has no hue; it takes the target's below
    qreal targetHue = yellow.hsvHueF();
    qreal target;
    if (s < 0.001) {
        h = targetHue;
        s = 0;
        target = yellow.valueF() * 0.4;
    } else {
        target = yellow.valueF() * 0.8;
    }
    if (h > 0.95) {
        h -= 1;
    } else if (h > 0.7) {
        const QColor magenta = QColor::fromRgbF(1, 0, 1);
        targetHue = magenta.hsvHueF();
        target = magenta.valueF();
    }
    const qreal k = (std::cos((h - targetHue) * 4.39822971502571) + 1) * 0.3;
    qreal hue = h * (1 - k) + targetHue * k;
    hue = hue - std::floor(hue);
    return QColor::fromHsvF(hue, s, b * (1 - k) + target * k, color.alphaF()).toRgb();
}

GlossParameters glossParameters(const QColor& color)
{
    GlossParameters gloss;
    gloss.base = color.toRgb();
    gloss.highlight = GlossColorFromColor(gloss.base);
    gloss.e = std::exp(-gloss.c);
    gloss.s = 1 / (1 - gloss.e);
    const qreal l = PerceivedBrightness(gloss.base);
    gloss.initialWhite = 0.6 * l;
    gloss.finalWhite = 0.2 * l;
    return gloss;
}

QColor glossShadingValue(const GlossParameters& g, qreal t)
{
    t = std::clamp(t, 0.0, 1.0);
    const QColor& base = g.base;
    if (t < 0.5) {
        const float n = (std::exp(-2 * g.c * float(t)) - g.e) * g.s;
        const qreal w = g.initialWhite + (g.finalWhite - g.initialWhite) * (1 - n);
        auto lighten = [w](qreal v) { return v * (1 - w) + w; };
        return QColor::fromRgbF(lighten(base.redF()), lighten(base.greenF()), lighten(base.blueF()), lighten(base.alphaF()));
    }
    const float m = (std::exp(-(float(t - 0.5) * -2 + 1) * g.c) - g.e) * g.s;
    auto blend = [m](qreal v, qreal h) { return std::clamp(v * (1 - m) + h * m, 0.0, 1.0); };
    return QColor::fromRgbF(blend(base.redF(), g.highlight.redF()), blend(base.greenF(), g.highlight.greenF()),
                            blend(base.blueF(), g.highlight.blueF()), blend(base.alphaF(), g.highlight.alphaF()));
}

void DrawGlossGradient(QPainter& painter, const QColor& color, const QRectF& r)
{
    if (r.isEmpty())
        return;
    const GlossParameters gloss = glossParameters(color);
    QLinearGradient gradient(r.topLeft(), r.bottomLeft());
    // Sampled finely, with the step at the middle kept sharp.
    constexpr int steps = 32;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = 0.5 * i / steps;
        gradient.setColorAt(std::min(t, 0.4999), glossShadingValue(gloss, std::min(t, 0.4999)));
        gradient.setColorAt(0.5 + t, glossShadingValue(gloss, 0.5 + t));
    }
    painter.save();
    painter.setClipRect(r, Qt::IntersectClip);
    painter.fillRect(r, gradient);
    painter.restore();
}
