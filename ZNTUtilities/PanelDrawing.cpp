#include "ZNTUtilities/PanelDrawing.h"

#include "ZNTUtilities/Geometry.h"
#include "ZNTUtilities/UIColorManager.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

QColor blended(const QColor& c, const QColor& other, qreal f)
{
    return QColor::fromRgbF(c.redF() * (1 - f) + other.redF() * f, c.greenF() * (1 - f) + other.greenF() * f,
                            c.blueF() * (1 - f) + other.blueF() * f, c.alphaF() * (1 - f) + other.alphaF() * f);
}

// Upward geometry of a view mirrored into the painter's downward terms about
// the bounds' own middle, so it is right wherever the bounds lie.
qreal mirroredY(qreal y, const QRectF& b) { return b.top() + b.bottom() - y; }
QPointF mirrored(QPointF p, const QRectF& b) { return {p.x(), mirroredY(p.y(), b)}; }
QRectF mirrored(const QRectF& r, const QRectF& b) { return {r.x(), mirroredY(r.bottom(), b), r.width(), r.height()}; }
QLineF mirrored(const QLineF& l, const QRectF& b) { return {mirrored(l.p1(), b), mirrored(l.p2(), b)}; }

QLinearGradient topToBottom(const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

}  // namespace

RecessedFrame recessedFrame(const QRectF& r)
{
    // The shadow's rectangle reaches three points past the bottom edge, so the
    // strokes are thickest along the top: light from above.
    return {r, r.adjusted(-1, 0, 1, 3), r.adjusted(4.5, 4.5, -4.5, -4.5)};
}

void drawRecessedFrame(QPainter& painter, const QRectF& r)
{
    const RecessedFrame frame = recessedFrame(r);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(frame.clip, 10, 10);
    painter.setClipPath(clip, Qt::IntersectClip);
    painter.setBrush(Qt::NoBrush);
    for (qreal width = 20; width >= 10; width -= 2) {
        painter.setPen(QPen(greyColor(0, 0.025f), width));
        painter.drawRoundedRect(frame.innerShadow, 10, 10);
    }
    painter.setPen(QPen(greyColor(0.35f), 8));
    painter.drawRoundedRect(frame.clip, 10, 10);
    painter.setPen(QPen(greyColor(0.1f), 1));
    painter.drawRoundedRect(frame.innerLine, 6, 6);
    painter.restore();
}

void DarkImageCell::draw(QPainter& painter, const QRectF& frame, const ZNTImage& picture) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath body;
    body.addRoundedRect(frame, 10, 10);
    painter.fillPath(body, bodyColor);
    // The body's clip holds only for the picture: restored before anything else draws.
    painter.setClipPath(body, Qt::IntersectClip);
    if (!picture.isNull()) {
        const QRectF under = frame.adjusted(-4, -4, 4, 4);
        picture.draw(painter, ZNTRectAspectFitInRect({QPointF(), picture.size()}, under));
    }
    drawRecessedFrame(painter, frame);
    painter.restore();
}

ScrollerColors scrollerColors(const QColor& base)
{
    const QColor dark = blended(base, Qt::black, 0.5);
    return {dark, blended(base, Qt::white, 0.1), blended(dark, Qt::white, 0.025), base, dark};
}

bool scrollerDraws(const QRectF& bounds, bool vertical)
{
    return (vertical ? bounds.height() : bounds.width()) + 1 > 20;
}

QRectF scrollerSlotRect(const QRectF& s, bool vertical)
{
    return vertical ? s.adjusted(0, 0, -1, 0) : s.adjusted(0, 0, 0, -1);
}

QRectF scrollerKnobRect(const QRectF& k, bool vertical)
{
    const QRectF shortened = vertical ? k.adjusted(0, 0, -1, 0) : k.adjusted(0, 0, 0, -1);
    return shortened.adjusted(0.5, 0.5, -0.5, -0.5);
}

void drawScroller(QPainter& painter, const QRectF& bounds, const QRectF& slot, const QRectF& knob, bool vertical,
                  const ScrollerColors& colors)
{
    if (!scrollerDraws(bounds, vertical))
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(bounds, topToBottom(bounds, colors.slotStart, colors.slotEnd));
    const QRectF s = scrollerSlotRect(slot, vertical);
    const qreal slotRadius = std::min(slot.width(), slot.height()) / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(topToBottom(s, colors.slotEnd, colors.slotStart));
    painter.drawRoundedRect(s, slotRadius, slotRadius);
    if (!knob.isEmpty()) {
        const QRectF k = scrollerKnobRect(knob, vertical);
        const qreal radius = std::min(k.width(), k.height()) / 2;
        painter.setBrush(topToBottom(k, colors.knobStart, colors.knobEnd));
        painter.setPen(QPen(colors.stroke, 1));
        painter.drawRoundedRect(k, radius, radius);
    }
    painter.restore();
}

QRectF dividerDimpleRect(const QRectF& r)
{
    return {r.x() + r.width() / 2 - 2.5, r.y() + r.height() / 2 - 2.5, 5, 5};
}

void drawDivider(QPainter& painter, const QRectF& r, const DividerStyle& style)
{
    painter.save();
    painter.fillRect(r, Qt::black);
    if (style.thin) {
        painter.fillRect(r, style.lineColor);
        painter.restore();
        return;
    }
    painter.fillRect(r, topToBottom(r, greyColor(0.7f), greyColor(0.5f)));
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF dimple = dividerDimpleRect(r);
    painter.setPen(Qt::NoPen);
    painter.setBrush(topToBottom(dimple, greyColor(0.4f), greyColor(0.8f)));
    painter.drawEllipse(dimple);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(style.lineColor, 1));
    painter.drawLine(QLineF(r.left(), r.top() + 0.5, r.right(), r.top() + 0.5));
    painter.drawLine(QLineF(r.left(), r.bottom() - 0.5, r.right(), r.bottom() - 0.5));
    painter.restore();
}

GripLines resizeGripLines(ResizeStyle style, const QRectF& b)
{
    GripLines lines;
    if (style == ResizeStyle::corner) {
        const qreal R = b.x() + b.width(), B = b.y();
        for (qreal n : {4.0, 8.0, 12.0}) {
            lines.light.append({R - n, B + 1, R - 2, B + n - 1});
            lines.dark.append({R - n - 1, B + 2, R - 3, B + n});
        }
    } else if (style == ResizeStyle::grooved) {
        const qreal G = b.x() + b.width() - 11, T = b.y() + std::floor((b.height() - 11) / 2);
        for (qreal n : {0.0, 3.0, 6.0}) {
            lines.light.append({G + n + 1, T, G + n + 1, T + 11});
            lines.dark.append({G + n, T, G + n, T + 11});
        }
    }
    return lines;
}

void drawFooter(QPainter& painter, const QRectF& b, int resizeStyle)
{
    painter.save();
    painter.fillRect(mirrored(QRectF(b.x(), b.y() + b.height() - 1, b.width(), 1), b), greyColor(0.9f));
    const QRectF bar = mirrored(QRectF(b.x(), b.y(), b.width(), b.height() - 1), b);
    painter.fillRect(bar, topToBottom(bar, greyColor(0.8f), greyColor(0.6f)));
    const GripLines grip = resizeGripLines(ResizeStyle(resizeStyle), b);
    // Crisp one-pixel lines: no antialiasing, each line's pixels on its own column.
    painter.setRenderHint(QPainter::Antialiasing, false);
    auto stroke = [&](const QList<QLineF>& lines, const QColor& color) {
        painter.setPen(QPen(color, 1, Qt::SolidLine, Qt::FlatCap));
        for (const QLineF& line : lines)
            painter.drawLine(mirrored(line, b));
    };
    stroke(grip.light, greyColor(1, 0.3f));
    stroke(grip.dark, greyColor(0, 0.4f));
    painter.restore();
}

void drawToolbar(QPainter& painter, const QRectF& b)
{
    painter.fillRect(b, topToBottom(b, greyColor(0.8f), greyColor(0.6f)));
}

QList<SeparatorStop> defaultSeparatorGradient()
{
    return {{0, Qt::transparent}, {0.05, greyColor(0.5f)}, {0.95, greyColor(0.5f)}, {1, Qt::transparent}};
}

QRectF separatorLine(const QRectF& b, bool* horizontal)
{
    *horizontal = b.width() > b.height();
    if (*horizontal)
        return {b.x(), std::floor(b.y() + b.height() / 2), b.width(), 1};
    return {std::floor(b.x() + b.width() / 2), b.y(), 1, b.height()};
}

void drawSeparator(QPainter& painter, const QRectF& b, const QList<SeparatorStop>& stops)
{
    bool horizontal = false;
    const QRectF line = mirrored(separatorLine(b, &horizontal), b);
    // Across from the left end, or up from the bottom end.
    QLinearGradient gradient = horizontal ? QLinearGradient(line.topLeft(), line.topRight())
                                          : QLinearGradient(line.bottomLeft(), line.topLeft());
    for (const SeparatorStop& stop : stops)
        gradient.setColorAt(stop.position, stop.color);
    painter.fillRect(line, gradient);
}

QList<Spoke> spinnerSpokes(QSizeF bounds, int segmentCount, int phase)
{
    QList<Spoke> spokes;
    if (segmentCount <= 0)
        return spokes;
    const qreal s = std::min(bounds.width(), bounds.height());
    const qreal h = s / 2, outer = h - 4, inner = 0.45 * h + 4;
    const qreal step = 2 * M_PI / segmentCount;
    qreal a = M_PI / 2;
    for (int i = 0; i < segmentCount; ++i, a += step) {
        const qreal alpha = 1 - qreal((i + phase) % segmentCount) / segmentCount;
        spokes.append({QLineF(inner * std::cos(a) + h + 0.5, inner * std::sin(a) + h + 0.5,
                              outer * std::cos(a) + h, outer * std::sin(a) + h),
                       alpha});
    }
    return spokes;
}

void drawSpinner(QPainter& painter, const QRectF& b, int segmentCount, int phase)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const Spoke& spoke : spinnerSpokes(b.size(), segmentCount, phase)) {
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, spoke.alpha), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(mirrored(spoke.line.translated(b.topLeft()), b));
    }
    painter.restore();
}

BorderStroke borderStroke(const QRectF& b, qreal width, int edges)
{
    const qreal h = width * 0.5;
    if (edges == borderAll)
        return b.adjusted(h, h, -h, -h);
    const qreal minX = b.left(), maxX = b.right(), minY = b.top(), maxY = b.bottom();
    // The vertical edges stop short of chosen horizontal ones: no corner twice.
    const qreal upper = (edges & borderTop) ? maxY - width : maxY;
    const qreal lower = (edges & borderBottom) ? minY + width : minY;
    QList<QLineF> lines;
    if (edges & borderTop)
        lines.append({minX, maxY - h, maxX, maxY - h});
    if (edges & borderLeft)
        lines.append({minX + h, upper, minX + h, lower});
    if (edges & borderBottom)
        lines.append({minX, minY + h, maxX, minY + h});
    if (edges & borderRight)
        lines.append({maxX - h, upper, maxX - h, lower});
    return lines;
}

void drawBackground(QPainter& painter, const QRectF& b, const QColor& fill, const QColor& border, qreal borderWidth,
                    int edges)
{
    painter.fillRect(b, fill);
    if (!border.isValid() || edges == 0 || !(borderWidth > 0))
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(border, borderWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    const BorderStroke stroke = borderStroke(b, borderWidth, edges);
    if (const auto* rect = std::get_if<QRectF>(&stroke)) {
        painter.drawRect(mirrored(*rect, b));
    } else {
        for (const QLineF& line : std::get<QList<QLineF>>(stroke))
            painter.drawLine(mirrored(line, b));
    }
    painter.restore();
}
