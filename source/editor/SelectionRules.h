#pragma once
// The rules of the waveform view's selection and positions: what a proposed
// selection becomes, what each mouse drag makes of the mouse position, and
// when the play head, mouse line and autoscroll apply. Pure functions over
// seconds and points (x grows to the right).

#include "source/editor/WaveformGeometry.h"

namespace waveform {

// The shortest selection: one second, or the whole song when it is shorter.
double shortestSelection(double duration);

// What setSelection stores: the duration limited to [shortest, longest]
// (longest = the smaller of maxSelectionSize and the song), the start kept
// inside the song. Without a song only the duration is limited.
ZNTTimeRange limitedSelection(ZNTTimeRange proposed, double maxSelectionSize, double duration);

// A play time of the view: +infinity stays (no play head), anything else is
// limited to [0, duration] (NaN gives no play head).
double limitedPlayTime(double t, double duration);
// The play time a click or drag sets: t inside the song, else none.
double playTimeFromMouse(double t, double duration);

// How the mouse positions of a drag become times.
struct DragFrame {
    double trackX = 0.0;          // the track's left edge
    double pointsPerSecond = kMinPointsPerSecond;
    double duration = 0.0;
    bool snap = false;            // Shift held: whole seconds
    double timeAt(double x) const;  // (x − trackX) / pointsPerSecond, snapped
};

// Body drag: the new start for the mouse at x, grabbed `grab` points right of
// the selection's left edge; the selection stays inside the song.
double bodyDragStart(const DragFrame& f, double x, double grab, ZNTTimeRange selection);
// Start-handle drag: the end stays; the length stays within [shortest, maxSelectionSize].
ZNTTimeRange startHandleDrag(const DragFrame& f, double x, double grab, ZNTTimeRange selection, double maxSelectionSize);
// End-handle drag (`grab` measured from the selection's right edge): the start
// stays; the end stays within the song.
ZNTTimeRange endHandleDrag(const DragFrame& f, double x, double grab, ZNTTimeRange selection, double maxSelectionSize);

// New-selection drag from the press at x0.
double newSelectionAnchor(const DragFrame& f, double x0);
bool leftDeadZone(double x0, double x);  // moved at least 5 points
struct NewSelection {
    ZNTTimeRange range;
    double edge = 0.0;   // the moving edge, kept in view by autoscroll
    double time = 0.0;   // the time under the mouse
};
NewSelection newSelectionDrag(const DragFrame& f, double anchor, double x, double maxSelectionSize);

// True when x lies within 50 points of the visible rectangle's left or right edge (or beyond).
bool needsAutoscroll(double x, const QRectF& visible);

// The mouse line's time for the mouse at p, or +infinity where none is shown:
// over the selection, over a handle, outside the waveform or the song.
double mouseIndicatorTime(const WaveformGeometry& g, QPointF p, ZNTTimeRange selection, const QRectF& startHandle,
                          const QRectF& endHandle);

}  // namespace waveform
