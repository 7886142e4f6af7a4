#include "ZNTUtilities/Shadow.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>
#include <vector>

namespace {

// One box-blur pass over the alpha channel along rows (or columns).
void boxBlurAlpha(QImage& image, int radius, bool alongRows)
{
    const int w = image.width(), h = image.height();
    const int lines = alongRows ? h : w, length = alongRows ? w : h;
    std::vector<int> line(length);
    // One detach, then plain pointer arithmetic: scanLine() checks for sharing on every call.
    uchar* const bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    for (int l = 0; l < lines; ++l) {
        auto pixel = [&](int i) -> QRgb& {
            const int x = alongRows ? i : l, y = alongRows ? l : i;
            return reinterpret_cast<QRgb*>(bits + y * bytesPerLine)[x];
        };
        for (int i = 0; i < length; ++i)
            line[i] = qAlpha(pixel(i));
        int sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += (i >= 0 && i < length) ? line[i] : 0;
        const int span = 2 * radius + 1;
        for (int i = 0; i < length; ++i) {
            const int a = sum / span;
            pixel(i) = qRgba(0, 0, 0, a);
            const int out = i - radius, in = i + radius + 1;
            sum += (in < length ? line[in] : 0) - (out >= 0 ? line[out] : 0);
        }
    }
}

}  // namespace

void drawShadow(QPainter& painter, const Shadow& shadow, const QRectF& bounds,
                const std::function<void(QPainter&)>& paint)
{
    if (shadow.color.alpha() == 0 || bounds.isEmpty())
        return;
    // Render at the device's resolution so the blurred edge is as fine as the shapes.
    const qreal scale = painter.device()->devicePixelRatioF() * std::hypot(painter.worldTransform().m11(), painter.worldTransform().m12());
    const qreal margin = std::ceil(shadow.blurRadius) + 1;
    const QRectF area = bounds.adjusted(-margin, -margin, margin, margin);
    QImage mask(std::ceil(area.width() * scale), std::ceil(area.height() * scale), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter shapes(&mask);
        shapes.setRenderHint(QPainter::Antialiasing);
        shapes.scale(scale, scale);
        shapes.translate(-area.topLeft());
        paint(shapes);
    }
    // Three box passes approach a Gaussian whose spread is about the blur radius.
    const int radius = qRound(shadow.blurRadius * scale / 2);
    if (radius > 0) {
        for (int pass = 0; pass < 3; ++pass) {
            boxBlurAlpha(mask, radius, true);
            boxBlurAlpha(mask, radius, false);
        }
    }
    {
        QPainter tint(&mask);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(mask.rect(), shadow.color);
    }
    mask.setDevicePixelRatio(scale);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(area.topLeft() + QPointF(shadow.offset.x(), -shadow.offset.y()), mask);
    painter.restore();
}

void drawStyledText(QPainter& painter, const QRectF& rect, const StyledText& text, int flags)
{
    if (text.text.isEmpty())
        return;
    auto drawText = [&](QPainter& p) {
        p.setFont(text.font);
        p.setPen(Qt::black);
        p.drawText(rect, flags, text.text);
    };
    drawShadow(painter, text.shadow, rect, drawText);
    painter.save();
    painter.setFont(text.font);
    painter.setPen(text.color);
    painter.drawText(rect, flags, text.text);
    painter.restore();
}
