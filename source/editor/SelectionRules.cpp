#include "source/editor/SelectionRules.h"

#include <algorithm>
#include <cmath>

namespace waveform {

double shortestSelection(double duration)
{
    const double d = usableDuration(duration);
    return d > 0.0 ? std::min(kMinSelectionSeconds, d) : kMinSelectionSeconds;
}

ZNTTimeRange limitedSelection(ZNTTimeRange proposed, double maxSelectionSize, double duration)
{
    const double song = usableDuration(duration);
    const double longest = song > 0.0 && (maxSelectionSize > song || std::isnan(maxSelectionSize)) ? song : maxSelectionSize;
    double length = proposed.duration;
    if (!(length >= shortestSelection(duration)))
        length = shortestSelection(duration);
    if (length > longest)
        length = longest;
    double start = std::isfinite(proposed.start) ? proposed.start : 0.0;
    if (song > 0.0)
        start = std::clamp(start, 0.0, std::max(0.0, song - length));
    return {start, length};
}

double limitedPlayTime(double t, double duration)
{
    if (std::isnan(t) || t == kZNTInfinity)
        return kZNTInfinity;
    return std::clamp(t, 0.0, usableDuration(duration));
}

double playTimeFromMouse(double t, double duration)
{
    return t >= 0.0 && t <= usableDuration(duration) ? t : kZNTInfinity;
}

double DragFrame::timeAt(double x) const
{
    const double t = (x - trackX) / pointsPerSecond;
    return snap ? std::round(t) : t;
}

double bodyDragStart(const DragFrame& f, double x, double grab, ZNTTimeRange selection)
{
    const double start = f.timeAt(x - grab);
    if (start < 0.0)
        return 0.0;
    return std::max(0.0, std::min(start, usableDuration(f.duration) - selection.duration));
}

ZNTTimeRange startHandleDrag(const DragFrame& f, double x, double grab, ZNTTimeRange selection, double maxSelectionSize)
{
    const double end = ZNTTimeRangeEnd(selection);
    const double lowest = end - maxSelectionSize > 0.0 ? end - maxSelectionSize : 0.0;
    const double highest = end - shortestSelection(f.duration);
    const double t = f.timeAt(x - grab);
    const double start = std::max(lowest, std::min(highest, t));
    return {start, end - start};
}

ZNTTimeRange endHandleDrag(const DragFrame& f, double x, double grab, ZNTTimeRange selection, double maxSelectionSize)
{
    const double rest = usableDuration(f.duration) - selection.start;
    const double longest = rest > maxSelectionSize ? maxSelectionSize : rest;
    const double length = f.timeAt(x - grab) - selection.start;
    return {selection.start, std::min(longest, std::max(shortestSelection(f.duration), length))};
}

double newSelectionAnchor(const DragFrame& f, double x0)
{
    const double a = (x0 - f.trackX) / f.pointsPerSecond;
    return f.snap ? std::clamp(std::round(a), 0.0, usableDuration(f.duration)) : a;
}

bool leftDeadZone(double x0, double x)
{
    return std::fabs(x - x0) >= kNewSelectionDeadZone;
}

NewSelection newSelectionDrag(const DragFrame& f, double anchor, double x, double maxSelectionSize)
{
    const double t = std::clamp(f.timeAt(x), 0.0, usableDuration(f.duration));
    const double shortest = shortestSelection(f.duration);
    NewSelection result;
    result.time = t;
    if (anchor > t) {
        const double length = anchor - t < shortest ? shortest : std::min(maxSelectionSize, anchor - t);
        result.range = {anchor - length, length};
        result.edge = anchor - length;
    } else {
        const double length = t - anchor < shortest ? shortest : std::min(maxSelectionSize, t - anchor);
        result.range = {anchor, length};
        result.edge = anchor + length;
    }
    return result;
}

bool needsAutoscroll(double x, const QRectF& visible)
{
    return x < visible.left() + kAutoscrollMargin || x > visible.right() - kAutoscrollMargin;
}

static bool inside(const QRectF& r, QPointF p)
{
    return !r.isEmpty() && p.x() >= r.left() && p.x() < r.right() && p.y() >= r.top() && p.y() < r.bottom();
}

double mouseIndicatorTime(const WaveformGeometry& g, QPointF p, ZNTTimeRange selection, const QRectF& startHandle,
                          const QRectF& endHandle)
{
    const double t = g.timeFromLocation(p.x());
    const bool overSelection = selection.duration != 0.0 && t >= selection.start && t <= ZNTTimeRangeEnd(selection);
    if (overSelection || !(t >= 0.0) || t > usableDuration(g.duration) || inside(startHandle, p) ||
        inside(endHandle, p) || !inside(g.areaBounds(), p))
        return kZNTInfinity;
    return t;
}

}  // namespace waveform
