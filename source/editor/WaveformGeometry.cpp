#include "source/editor/WaveformGeometry.h"

#include "platform/foundation/Localizer.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace waveform {

double usableDuration(double duration)
{
    return std::isfinite(duration) && duration > 0.0 ? duration : 0.0;
}

double WaveformGeometry::waveformWidth() const
{
    return std::ceil(usableDuration(duration) * pointsPerSecond);
}

QRectF WaveformGeometry::areaBounds() const
{
    QRectF area = bounds;
    area.setWidth(waveformWidth());
    if (bounds.width() > area.width())
        area.moveLeft(bounds.x() + std::floor((bounds.width() - area.width()) * 0.5));
    return area;
}

QRectF WaveformGeometry::trackBounds() const
{
    return areaBounds().adjusted(2.0, 0.0, -2.0, 0.0);
}

double WaveformGeometry::timeFromLocation(double x) const
{
    return (x - areaBounds().x()) / pointsPerSecond;
}

double WaveformGeometry::locationFromTime(double t) const
{
    return t * pointsPerSecond + areaBounds().x();
}

double viewWidthForContainerWidth(double containerWidth, double duration, double pointsPerSecond)
{
    return std::max(std::ceil(usableDuration(duration) * pointsPerSecond + 2.0 * kScrollMargin), containerWidth);
}

bool completelyVisible(double visibleWidth, double duration, double pointsPerSecond)
{
    return visibleWidth >= std::ceil(usableDuration(duration) * pointsPerSecond + 2.0 * kScrollMargin);
}

double initialPointsPerSecond(double stored)
{
    return std::isfinite(stored) && stored > 0.0 ? stored : kMinPointsPerSecond;
}

double limitedPointsPerSecond(double value)
{
    if (std::isnan(value))
        return kMinPointsPerSecond;
    return std::clamp(std::round(value), kMinPointsPerSecond, kMaxPointsPerSecond);
}

double zoomStep(double magnification)
{
    if (!std::isfinite(magnification) || magnification == 0.0)
        return 0.0;
    if (std::fabs(std::round(magnification)) < 1.0)
        return magnification > 0.0 ? 1.0 : -1.0;
    return std::round(magnification);
}

QPointF zoomAnchor(const QRectF& visible, QPointF mouse)
{
    const bool inside = mouse.x() >= visible.left() && mouse.x() < visible.right() && mouse.y() >= visible.top() &&
                        mouse.y() < visible.bottom();
    return inside ? mouse : QPointF(visible.x() + visible.width() * 0.5, visible.y() + visible.height() * 0.5);
}

uint64_t tileIndexFromTime(double t)
{
    if (!(t > 0.0))
        return 0;
    if (t >= 9.0e18)
        return uint64_t(9.0e18) / kTileSeconds;
    return uint64_t(t) / kTileSeconds;
}

QRectF tileRect(uint64_t index, double pointsPerSecond, const QRectF& track)
{
    const double width = double(kTileSeconds) * pointsPerSecond;
    return QRectF(double(index) * width + track.x(), track.y(), width, track.height());
}

std::vector<uint64_t> tilesOutside(const std::vector<uint64_t>& cached, double firstVisibleTime, double lastVisibleTime)
{
    const uint64_t first = tileIndexFromTime(firstVisibleTime);
    const uint64_t last = tileIndexFromTime(lastVisibleTime);
    std::vector<uint64_t> outside;
    for (uint64_t index : cached)
        if (index < first || index > last)
            outside.push_back(index);
    return outside;
}

SecondsSpan secondsToDraw(const WaveformGeometry& g, const QRectF& dirty)
{
    const QRectF r = dirty.intersected(g.trackBounds());
    const double duration = usableDuration(g.duration);
    SecondsSpan span{std::floor(g.timeFromLocation(r.left())), std::ceil(g.timeFromLocation(r.right()))};
    if (!(span.start >= 0.0))
        span.start = 0.0;
    if (!(span.end < duration))
        span.end = duration;
    return span;
}

QRectF timeSpanDirtyRect(const WaveformGeometry& g, double a, double b)
{
    const QRectF track = g.trackBounds();
    const double x = std::floor(g.locationFromTime(std::min(a, b))) - 5.0;
    const double width = std::ceil(g.locationFromTime(std::max(a, b))) - x + 5.0;
    return QRectF(x, track.y(), width, track.height());
}

QRectF mouseLineRect(const WaveformGeometry& g, double t)
{
    const QRectF track = g.trackBounds();
    return QRectF(std::round(t * g.pointsPerSecond + track.x()), track.y(), 1.0, track.height());
}

QRectF playLineRect(const WaveformGeometry& g, double t)
{
    const QRectF area = g.areaBounds();
    return QRectF(std::round(t * g.pointsPerSecond + area.x()), area.y() + 2.0, 1.0, area.height() - 10.0);
}

// Centred on the line as it is drawn (from the track's left edge), with room
// for its antialiased neighbours.
QRectF mouseLineDirtyRect(const WaveformGeometry& g, double t)
{
    const QRectF area = g.areaBounds();
    return QRectF(mouseLineRect(g, t).x() - 2.0, area.y(), 5.0, area.height());
}

QRectF playHeadDirtyRect(const WaveformGeometry& g, double t)
{
    const QRectF area = g.areaBounds();
    return QRectF(std::floor(g.locationFromTime(t)) - 11.0, area.y(), 22.0, area.height());
}

QRectF selectionRect(const WaveformGeometry& g, ZNTTimeRange selection)
{
    if (selection.duration == 0.0 || !std::isfinite(selection.duration) || !std::isfinite(selection.start))
        return {};
    const QRectF track = g.trackBounds();
    return QRectF(std::round(g.locationFromTime(selection.start)), track.y(),
                  std::round(selection.duration * g.pointsPerSecond), track.height());
}

QRectF startHandleRect(const QRectF& selection, QSizeF handleSize)
{
    return QRectF(QPointF(selection.x() - handleSize.width(), selection.y() + 12.0), handleSize);
}

QRectF endHandleRect(const QRectF& selection, QSizeF handleSize)
{
    return QRectF(QPointF(selection.right(), selection.y() + 12.0), handleSize);
}

QRectF playHeadHitRect(const WaveformGeometry& g, double playTime, const QRectF& visible)
{
    if (!std::isfinite(playTime))
        return {};
    const QRectF area = g.areaBounds();
    return QRectF(std::floor(playTime * g.pointsPerSecond) + area.x() - 6.0, area.y(), 12.0, area.height())
        .intersected(visible);
}

QRectF selectionBodyHitRect(const QRectF& selection, const QRectF& visible)
{
    const QRectF shown = selection.intersected(visible);
    if (shown.isEmpty())
        return {};
    return shown.adjusted(10.0, 0.0, -10.0, 0.0);
}

// Half-open on the right and at the top, as a point in a rectangle is.
static bool contains(const QRectF& r, QPointF p)
{
    return !r.isEmpty() && p.x() >= r.left() && p.x() < r.right() && p.y() >= r.top() && p.y() < r.bottom();
}

Part partHit(const HitRects& rects, QPointF p)
{
    if (contains(rects.playHead, p))
        return Part::playHead;
    if (contains(rects.startHandle, p))
        return Part::selectionStart;
    if (contains(rects.endHandle, p))
        return Part::selectionEnd;
    if (contains(rects.body, p))
        return Part::selectionBody;
    return Part::nothing;
}

int rulerLabelInterval(double pointsPerSecond)
{
    if (pointsPerSecond < 40.0)
        return 10;
    return pointsPerSecond < 80.0 ? 5 : 1;
}

QString rulerText(double seconds)
{
    const qint64 k = std::isfinite(seconds) && seconds > 0.0 ? qint64(seconds) : 0;
    const qint64 hours = k / 3600, minutes = (k / 60) % 60, rest = k % 60;
    if (k >= 3600)
        return QString::asprintf("%.2lld:%.2lld:%.2lld", hours, minutes, rest);
    if (minutes > 0)
        return QString::asprintf("%.2lld:%.2lld", minutes, rest);
    return QString::asprintf("0:%.2lld", rest);
}

QString selectionDurationText(double seconds)
{
    QString number = QLocale().toString(seconds, 'f', 1);
    const QString zero = QLocale().decimalPoint() + QLatin1Char('0');
    if (number.endsWith(zero))
        number.chop(zero.size());
    return tolvan::localized(QStringLiteral("selection duration format"), QStringLiteral("%@ s"))
        .replace(QStringLiteral("%@"), number);
}

SecondsSpan rulerSeconds(double start, double end, double duration)
{
    const double d = usableDuration(duration);
    return {start - 3.0 < 1.0 ? 1.0 : std::min(d, start - 3.0), end + 3.0 < 0.0 ? 0.0 : std::min(d, end + 3.0)};
}

}  // namespace waveform
