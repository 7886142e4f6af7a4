// How the waveform view paints itself: the rounded background, the
// selection under and over the waveform tiles, the ruler, the three
// position lines, the handles and the duration label.

#include "source/editor/WaveformView_p.h"

#include "ZNTUtilities/Geometry.h"
#include "ZNTUtilities/ImageAdditions.h"
#include "ZNTUtilities/Shadow.h"
#include "source/analytics/ZNTAnalytics.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <exception>

using namespace waveform;

namespace {

// Fills a tall, thin rectangle in bands: the raster engine hands the rows of
// a fill taller than about a hundred pixels to its thread pool, which costs
// far more than filling a one-point column.
void fillInBands(QPainter& painter, const QRectF& r, const QColor& color)
{
    constexpr double kBand = 40.0;
    for (double y = r.top(); y < r.bottom(); y += kBand)
        painter.fillRect(QRectF(r.left(), y, r.width(), std::min(kBand, r.bottom() - y)), color);
}

qreal pointWidth(const QImage& image) { return image.width() / image.devicePixelRatio(); }

// The middle slice made at least 64 points wide from its first column, so
// that a wide rectangle takes few copies.
QImage widened(const QImage& middle)
{
    const QImage source = middle.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = std::max(source.width(), int(std::ceil(64 * source.devicePixelRatio())));
    QImage wide(width, source.height(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < source.height(); ++y) {
        const QRgb colour = reinterpret_cast<const QRgb*>(source.constScanLine(y))[0];
        std::fill_n(reinterpret_cast<QRgb*>(wide.scanLine(y)), width, colour);
    }
    wide.setDevicePixelRatio(source.devicePixelRatio());
    return wide;
}

}  // namespace

namespace waveform {

StripImage::StripImage(const QImage& image, qreal capWidth)
{
    QImage middle;
    if (!sliceWithLeftWidth(image, capWidth, capWidth, &left_, &middle, &right_))
        return;
    stretched_ = ZNTImage::horizontalThreePart(left_, middle, right_);
    middle_ = widened(middle);
}

void StripImage::draw(QPainter& painter, const QRectF& dest, const QRectF& visible) const
{
    if (isNull() || dest.isEmpty())
        return;
    const qreal leftWidth = pointWidth(left_), rightWidth = pointWidth(right_);
    if (!(dest.width() > leftWidth + rightWidth)) {
        stretched_.draw(painter, dest);
        return;
    }
    const QRectF shown = dest.intersected(QRectF(visible.left(), dest.top(), visible.width(), dest.height()));
    if (shown.isEmpty())
        return;
    const QRectF left(dest.topLeft(), QSizeF(leftWidth, dest.height()));
    const QRectF right(dest.right() - rightWidth, dest.top(), rightWidth, dest.height());
    if (left.intersects(shown))
        painter.drawImage(left.topLeft(), left_);
    if (right.intersects(shown))
        painter.drawImage(right.topLeft(), right_);
    const QRectF middle(left.right(), dest.top(), right.left() - left.right(), dest.height());
    const QRectF span = middle.intersected(shown);
    if (span.isEmpty())
        return;
    painter.save();
    painter.setClipRect(span, Qt::IntersectClip);
    const qreal step = pointWidth(middle_);
    for (qreal x = middle.left() + std::floor((span.left() - middle.left()) / step) * step; x < span.right(); x += step)
        painter.drawImage(QPointF(x, dest.top()), middle_);
    painter.restore();
}

}  // namespace waveform

void WaveformView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (const qreal ratio = pixelsPerPoint(painter); ratio != d->tileRatio) {
        // Tiles made for another pixel density would be drawn stretched.
        d->tiles.clear();
        d->tileRatio = ratio;
    }
    // Only the visible part can be seen, whatever the paint asks for (a
    // whole-view render would otherwise make every tile of the song).
    const QRectF dirty = flippedRect(QRectF(event->rect()), height()).intersected(visibleBounds());
    d->paintRect = dirty;
    try {
        const SecondsSpan span = secondsToDraw(d->geometry(), dirty);
        d->drawBackground(painter);
        d->drawSelectionBackground(painter);
        d->drawTiles(painter, span);
        d->drawSelectionForeground(painter);
        d->drawTimeMarkings(painter, span);
        d->drawIndicators(painter);
        d->drawHandlesAndLabel(painter);
    } catch (const std::exception& exception) {
        ZNTAnalytics::logEvent(QStringLiteral("Exception while drawing waveform"),
                               {{"exception", QString::fromUtf8(exception.what())}});
    }
    d->removeInvisibleTiles();
    if (tolvan::launchTraceEnabled())
        d->markDrawnWaveform();
}

void WaveformView::Private::drawBackground(QPainter& p)
{
    const QRectF area = geometry().areaBounds();
    if (area.width() <= 0 || area.height() <= 8)
        return;
    const qreal ratio = pixelsPerPoint(p);
    if (backgroundHeight != area.height() || backgroundRatio != ratio) {
        // A rounded dark panel with a soft shadow, cut into caps and a middle.
        const QSizeF size(76, area.height());
        QImage image((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF panel(2, 2, 72, area.height() - 4);
        QPainterPath rounded5, rounded4;
        rounded5.addRoundedRect(panel, 5, 5);
        rounded4.addRoundedRect(panel, 4, 4);
        for (int pass = 0; pass < 2; ++pass)
            drawShadow(painter, Shadow{{0, 0}, 3, grey(0, 0.6)}, panel, [&](QPainter& s) { s.fillPath(rounded5, Qt::black); });
        painter.fillPath(rounded5, Qt::black);
        QLinearGradient gradient(0, panel.top(), 0, panel.bottom());
        gradient.setColorAt(0, grey(0.26));
        gradient.setColorAt(1, grey(0.14));
        painter.fillPath(rounded4, gradient);
        painter.fillRect(QRectF(panel.left() + 4, panel.top() + 1, panel.width() - 8, 1), grey(1, 0.1));
        painter.end();
        background = StripImage(image, 6);
        backgroundHeight = area.height();
        backgroundRatio = ratio;
    }
    background.draw(p, toQt(area.adjusted(-2, 0, 2, 0)), toQt(paintRect));
}

void WaveformView::Private::drawSelectionBackground(QPainter& p)
{
    const QRectF s = selectionRect(geometry(), selection);
    if (s.isEmpty())
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(selectionColor);
    p.drawRoundedRect(toQt(s), 4, 4);
    p.restore();
}

void WaveformView::Private::drawTiles(QPainter& p, SecondsSpan span)
{
    const WaveformGeometry g = geometry();
    const QRectF track = g.trackBounds();
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setClipRect(toQt(track.intersected(paintRect)));
    for (uint64_t index = tileIndexFromTime(span.start), last = tileIndexFromTime(span.end); index <= last; ++index) {
        const QImage tile = tileAtIndex(index);
        if (!tile.isNull())
            p.drawImage(toQt(tileRect(index, pointsPerSecond, track)), tile);
    }
    p.restore();
}

void WaveformView::Private::drawSelectionForeground(QPainter& p)
{
    const QRectF s = selectionRect(geometry(), selection);
    if (s.isEmpty())
        return;
    const qreal ratio = pixelsPerPoint(p);
    if (foregroundHeight != s.height() || foregroundRatio != ratio) {
        // A glossy frame 9 points wide with a shadow around it, stretched across the selection.
        const qreal h = s.height();
        QImage image((QSizeF(19, h) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF inner(5, 0, 9, h);
        QPainterPath frame;
        frame.addRoundedRect(inner, 4, 4);
        QLinearGradient gloss(5, h, 5, 0);
        gloss.setColorAt(0, grey(1, 0.3));
        gloss.setColorAt(1, grey(1, 0.1));
        painter.fillPath(frame, gloss);
        painter.setPen(QPen(grey(1, 0.4), 2.0));
        painter.drawRoundedRect(inner.adjusted(1, 1, -1, -1), 4, 4);
        QPainterPath outside;
        outside.addRect(QRectF(0, 0, 19, h));
        outside.addPath(frame);
        outside.setFillRule(Qt::OddEvenFill);
        painter.setClipPath(outside);
        drawShadow(painter, Shadow{{0, 0}, 5, grey(0, 0.75)}, inner, [&](QPainter& shapes) { shapes.fillPath(frame, Qt::black); });
        painter.end();
        selectionForeground = StripImage(image, 9);
        foregroundHeight = h;
        foregroundRatio = ratio;
    }
    selectionForeground.draw(p, toQt(s.adjusted(-5, 0, 5, 0)), toQt(paintRect));
}

const QImage& WaveformView::Private::rulerLabel(const QString& text, qreal ratio)
{
    const QString key = text + QLatin1Char('@') + QString::number(ratio);
    if (auto found = rulerLabels.constFind(key); found != rulerLabels.constEnd())
        return *found;
    const QFontMetricsF metrics(rulerFont);
    const QSizeF size(std::ceil(metrics.horizontalAdvance(text)) + 1, std::ceil(metrics.height()) + 1);
    QImage image((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(rulerFont);
    // An embossed text: a dark copy one point above, the white text over it.
    painter.setPen(grey(0, 0.8));
    painter.drawText(QPointF(0, metrics.ascent()), text);
    painter.setPen(grey(1));
    painter.drawText(QPointF(0, metrics.ascent() + 1), text);
    return *rulerLabels.insert(key, image);
}

void WaveformView::Private::drawTimeMarkings(QPainter& p, SecondsSpan span)
{
    const WaveformGeometry g = geometry();
    const QRectF track = g.trackBounds();
    const SecondsSpan seconds = rulerSeconds(span.start, span.end, duration);
    const int interval = rulerLabelInterval(pointsPerSecond);
    const double textHeight = std::ceil(QFontMetricsF(rulerFont).height());
    const qreal ratio = pixelsPerPoint(p);
    p.save();
    p.setClipRect(toQt(QRectF(track.x(), track.y(), std::floor(duration * pointsPerSecond), track.height()).intersected(paintRect)));
    const double stop = seconds.end * pointsPerSecond + track.x() + pointsPerSecond;
    for (double t = seconds.start, x = t * pointsPerSecond + track.x(); x < stop; t += 1.0, x = t * pointsPerSecond + track.x()) {
        const bool labelled = t > 0 && qint64(t) % interval == 0;
        const QRectF tick = labelled ? QRectF(x, track.y(), 1, track.height() - 1) : QRectF(x, track.y() + track.height() - 11, 1, 10);
        fillInBands(p, toQt(tick), grey(1, 0.1));
        fillInBands(p, toQt(tick.translated(-1, 0)), grey(0, 0.05));
        fillInBands(p, toQt(tick.translated(1, 0)), grey(0, 0.05));
        if (labelled) {
            const QImage& label = rulerLabel(rulerText(t), ratio);
            const QRectF place(QPointF(x + 4, track.y() + track.height() - textHeight - 12), QSizeF(label.size()) / ratio);
            p.setOpacity(0.55);
            p.drawImage(toQt(place).topLeft(), label);
            p.setOpacity(1.0);
        }
    }
    p.restore();
}

void WaveformView::Private::drawIndicators(QPainter& p)
{
    const WaveformGeometry g = geometry();
    const Shadow lineShadow{{0, 0}, 1.0, grey(0)};
    if (std::isfinite(mouseTime))
        p.fillRect(toQt(mouseLineRect(g, mouseTime)), grey(1, 0.3));
    if (std::isfinite(previewTime)) {
        const QRectF line = toQt(mouseLineRect(g, previewTime));
        drawShadow(p, lineShadow, line, [&](QPainter& s) { s.fillRect(line, Qt::white); });
        p.fillRect(line, Qt::white);
    }
    if (std::isfinite(playTime)) {
        const QRectF line = playLineRect(g, playTime);
        // A triangle on top of the line, pointing down at it.
        QPainterPath head;
        const QPointF tip(line.x() + 0.5, line.bottom() - 0.5);
        head.moveTo(flippedPoint(tip, q->height()));
        head.lineTo(flippedPoint(tip + QPointF(8, 8), q->height()));
        head.lineTo(flippedPoint(tip + QPointF(-8, 8), q->height()));
        head.closeSubpath();
        const QRectF qtLine = toQt(line);
        drawShadow(p, lineShadow, qtLine.united(head.boundingRect()), [&](QPainter& s) {
            s.fillRect(qtLine, Qt::white);
            s.fillPath(head, Qt::white);
        });
        p.fillRect(qtLine, Qt::white);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1.0));
        p.setBrush(grey(1, 0.6));
        p.drawPath(head);
        p.restore();
    }
}

void WaveformView::Private::drawHandlesAndLabel(QPainter& p)
{
    const QRectF s = selectionRect(geometry(), selection);
    if (s.isEmpty())
        return;
    startHandleImage.draw(p, toQt(startHandleRect()));
    endHandleImage.draw(p, toQt(endHandleRect()));
    const QFontMetricsF metrics(labelFont);
    const QSizeF z(std::ceil(metrics.horizontalAdvance(selectionString)), std::ceil(metrics.height()));
    const QRectF text(s.x() + (s.width() - z.width()) * 0.5, s.y() + s.height() - z.height(), z.width(), z.height());
    labelBackground.draw(p, toQt(text.adjusted(-2, 0, 2, 0)));
    const QRectF qtText = toQt(text);
    p.save();
    drawStyledText(p, qtText, StyledText{selectionString, labelFont, grey(1), Shadow{{0, 0}, 2, grey(0)}}, Qt::AlignLeft | Qt::AlignTop);
    p.restore();
}
