#include "source/editor/NavigatorGeometry.h"

#include <cmath>

namespace navigator {

bool NavigatorGeometry::hasSong() const
{
    return std::isfinite(duration) && duration > 0.0;
}

QRectF NavigatorGeometry::waveformBounds() const
{
    return bounds.adjusted(2, 2, -2, -2);
}

double NavigatorGeometry::locationForTime(double t) const
{
    if (!hasSong())
        return 0.0;
    const QRectF w = waveformBounds();
    const double x = std::floor(w.width() / duration * t) + w.x();
    return std::isnan(x) ? 0.0 : x;
}

double NavigatorGeometry::timeAtLocation(double x) const
{
    if (!hasSong())
        return 0.0;
    const QRectF w = waveformBounds();
    return (x - w.x()) / (w.width() / duration);
}

QRectF NavigatorGeometry::rectForTimeRange(ZNTTimeRange range) const
{
    if (!hasSong() || range.duration == 0.0 || !std::isfinite(range.start) || !std::isfinite(range.duration))
        return {};
    const QRectF w = waveformBounds();
    const double k = w.width() / duration;
    const double x0 = std::floor(w.x() + range.start * k);
    const double x1 = std::ceil(w.x() + (range.start + range.duration) * k);
    return QRectF(x0, w.y(), x1 - x0, w.height());
}

QRectF NavigatorGeometry::layerRectForTimeRange(ZNTTimeRange range) const
{
    QRectF r = rectForTimeRange(range);
    if (r.isNull())
        return r;
    if (r.width() < kMinimumLayerWidth) {
        r.setWidth(kMinimumLayerWidth);
        const double right = waveformBounds().right();
        if (r.x() + kMinimumLayerWidth > right)
            r.moveLeft(right - kMinimumLayerWidth);
    }
    return r;
}

bool needsWaveformRedraw(double drawnDuration, double readDuration, double songDuration)
{
    const double growth = readDuration - drawnDuration;
    return !(growth < songDuration / 40.0 && readDuration < songDuration);
}

double dragOffset(double t, ZNTTimeRange visible, bool insideVisible)
{
    if (!insideVisible || !(visible.duration > 0.0))
        return 0.5;
    return (t - visible.start) / visible.duration;
}

double scrollPositionForDrag(const DragScroll& drag, double visibleWidth, double pointsPerSecond, double viewWidth,
                             const std::function<double(double)>& viewLocation)
{
    // Before time 0 the visible range holds the grab point from its right end.
    const double offset = drag.initialVisibleStart > 0.0
        ? drag.mouseTimeOffset * drag.initialVisibleDuration
        : visibleWidth / pointsPerSecond - drag.initialVisibleDuration * (1.0 - drag.mouseTimeOffset);
    const double scrollable = viewWidth - visibleWidth;
    if (!(scrollable > 0.0))
        return 0.0;
    const double position = viewLocation(drag.mouseTime - offset) / scrollable;
    return std::isfinite(position) ? position : 0.0;
}

}  // namespace navigator
