#pragma once
// The waveform view's rules in its own terms: points, seconds and rectangles
// whose y grows upward from the bottom of the view (the view converts them
// once where painting and mouse events start). Pure functions, so every rule
// can be checked with numbers.

#include "source/engine/ZNTTimeRange.h"

#include <QRectF>
#include <QString>
#include <QSizeF>

#include <cstdint>
#include <vector>

namespace waveform {

inline constexpr double kMinPointsPerSecond = 25.0;
inline constexpr double kMaxPointsPerSecond = 150.0;
inline constexpr double kScrollMargin = 32.0;
inline constexpr uint64_t kTileSeconds = 5;
inline constexpr double kMinSelectionSeconds = 1.0;
inline constexpr double kNewSelectionDeadZone = 5.0;  // points the mouse must move to start a new selection
inline constexpr double kAutoscrollMargin = 50.0;

// A song's duration as the geometry uses it: anything that is not a finite
// positive number (no song, a broken header) counts as 0.
double usableDuration(double duration);

// Where the view's waveform lies for a given zoom.
struct WaveformGeometry {
    QRectF bounds;                 // the view's bounds
    double duration = 0.0;         // seconds, through usableDuration
    double pointsPerSecond = kMinPointsPerSecond;

    double waveformWidth() const;  // ceil(duration × pointsPerSecond)
    // The waveform's own rectangle, centred when the view is wider.
    QRectF areaBounds() const;
    // The area less 2 points on the left and on the right.
    QRectF trackBounds() const;
    double timeFromLocation(double x) const;
    double locationFromTime(double t) const;
};

// The view's width for a visible area this wide: the waveform with a margin
// on each side, or the visible width when that is larger.
double viewWidthForContainerWidth(double containerWidth, double duration, double pointsPerSecond);
// True when the whole song with its margins fits the visible width.
bool completelyVisible(double visibleWidth, double duration, double pointsPerSecond);

// Zoom. The stored zoom of an earlier run: a number that is not finite and
// positive gives the lowest zoom, any other is taken as it is.
double initialPointsPerSecond(double stored);
// A whole number of points per second in [25, 150].
double limitedPointsPerSecond(double value);
// The change of zoom for a magnification: the rounded amount, at least one
// step in its direction; none for 0 or a number that is not finite.
double zoomStep(double magnification);
// The point that stays in place while zooming: the mouse when it lies in the
// visible rectangle, else the visible centre.
QPointF zoomAnchor(const QRectF& visible, QPointF mouse);

// Tiles: tile i shows [5i, 5i + 5) seconds.
uint64_t tileIndexFromTime(double t);
QRectF tileRect(uint64_t index, double pointsPerSecond, const QRectF& track);
// The cached tiles that lie outside the visible times [first, last].
std::vector<uint64_t> tilesOutside(const std::vector<uint64_t>& cached, double firstVisibleTime, double lastVisibleTime);
// The whole seconds a frame needs, from a dirty rectangle: [start, end].
struct SecondsSpan {
    double start = 0.0;
    double end = 0.0;
};
SecondsSpan secondsToDraw(const WaveformGeometry& g, const QRectF& dirty);

// Dirty rectangles that cover what is drawn for a time or a span of times.
QRectF timeSpanDirtyRect(const WaveformGeometry& g, double a, double b);
QRectF mouseLineDirtyRect(const WaveformGeometry& g, double t);    // the preview line too
QRectF playHeadDirtyRect(const WaveformGeometry& g, double t);
// The lines themselves, as they are drawn.
QRectF mouseLineRect(const WaveformGeometry& g, double t);
QRectF playLineRect(const WaveformGeometry& g, double t);

// The selection's rectangle, empty for a selection without duration.
QRectF selectionRect(const WaveformGeometry& g, ZNTTimeRange selection);
QRectF startHandleRect(const QRectF& selection, QSizeF handleSize);
QRectF endHandleRect(const QRectF& selection, QSizeF handleSize);

// What a mouse press hits, tested in this order.
enum class Part { nothing = 0, selectionStart = 1, selectionBody = 2, selectionEnd = 3, playHead = 5 };
struct HitRects {
    QRectF playHead;
    QRectF startHandle;
    QRectF endHandle;
    QRectF body;
};
QRectF playHeadHitRect(const WaveformGeometry& g, double playTime, const QRectF& visible);
QRectF selectionBodyHitRect(const QRectF& selection, const QRectF& visible);
Part partHit(const HitRects& rects, QPointF p);

// The time ruler.
int rulerLabelInterval(double pointsPerSecond);
QString rulerText(double seconds);
// The selection's duration label: at most one fraction digit, in the
// interface's number format and its "selection duration format" text.
QString selectionDurationText(double seconds);
SecondsSpan rulerSeconds(double start, double end, double duration);

}  // namespace waveform
