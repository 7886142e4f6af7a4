#pragma once
// The navigator strip's rules: where a time of the song lies in the strip,
// the rectangles of the selection and the visible range (at least 6 points
// wide), when the strip's waveform is drawn again, and how a drag in the
// strip becomes a scroll position of the waveform view. Rectangles are y-up
// in the strip's own points. Pure functions.

#include "source/engine/ZNTTimeRange.h"

#include <QRectF>

#include <functional>

namespace navigator {

inline constexpr double kMinimumLayerWidth = 6.0;

struct NavigatorGeometry {
    QRectF bounds;          // the strip's bounds
    double duration = 0.0;  // seconds; no song, 0 or not a number: every rectangle is empty

    bool hasSong() const;
    QRectF waveformBounds() const;  // the bounds less 2 points on every side
    // Whole points from the waveform's left edge (0 without a song; a time
    // that is not a number gives 0 too).
    double locationForTime(double t) const;
    double timeAtLocation(double x) const;
    // Empty for a range without duration, with a field that is not finite, or without a song.
    QRectF rectForTimeRange(ZNTTimeRange range) const;
    // The rectangle a layer shows for a range: at least 6 points wide, and
    // kept inside the waveform's right edge.
    QRectF layerRectForTimeRange(ZNTTimeRange range) const;
};

// The strip's waveform is drawn again after each further fortieth of the song
// has been read, and once the whole song is.
bool needsWaveformRedraw(double drawnDuration, double readDuration, double songDuration);

// Where in the visible range (0 … 1) a press at time t holds it: its own
// place when the press is inside the range, else the middle.
double dragOffset(double t, ZNTTimeRange visible, bool insideVisible);

// The waveform view's scroll position (0 … 1) for a navigator drag: the
// time under the mouse stays at the same place of the visible range.
// `viewLocation` maps a time to the view's x; a view that fits gives 0.
struct DragScroll {
    double mouseTime = 0.0;
    double mouseTimeOffset = 0.5;
    double initialVisibleStart = 0.0;
    double initialVisibleDuration = 0.0;
};
double scrollPositionForDrag(const DragScroll& drag, double visibleWidth, double pointsPerSecond, double viewWidth,
                             const std::function<double(double)>& viewLocation);

}  // namespace navigator
