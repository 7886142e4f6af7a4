#pragma once
// The main window's geometry rules: how far the split view's divider may go,
// where the browser pane's grip lies, the two-step frames of the full-screen
// animation, in and out, and where a window opens over the main window.

#include <QRectF>
#include <QSizeF>

#include <optional>

namespace tolvan {

inline constexpr double kBrowserMinimumWidth = 200;
inline constexpr double kBrowserMaximumWidth = 300;

// The divider's proposed position kept within the browser's limits.
double constrainSplitPosition(double proposed);
// The 12 x 30 grip at the browser pane's end, in the split view's
// coordinates (y down: the grip sits at the bottom).
QRectF browserGripRect(const QRectF& browserBounds, double splitViewHeight);

// Per dimension, the smaller of the window's largest content and the screen.
QSizeF fullScreenContentSize(const QSizeF& contentMaxSize, const QSizeF& proposed);

struct FullScreenSteps {
    QRectF intermediate;  // the window as it is, centred where it will grow
    QRectF final;
    double stepDuration = 0;  // each of the two steps; never negative
};
// Entering: on the screen the window is on, the window first moves to the
// centre of the full-screen area, then grows to it (margins rounded down).
FullScreenSteps enterFullScreenSteps(const QRectF& windowFrame, const QSizeF& contentMaxSize, const QRectF& screenFrame, double duration);
// Leaving: back to the frame saved on entering; without one, to the window's
// size before it went full screen as best known (fallback), centred.
FullScreenSteps exitFullScreenSteps(const QRectF& windowFrame, const std::optional<QRectF>& savedFrame, const QRectF& fallback, double duration);

// A window of the given size centred over another window's frame, moved
// back onto the screen's available area where it would stick out (its top
// left corner stays on the screen when it is larger than the area).
QRectF frameCentredOver(const QSizeF& size, const QRectF& over, const QRectF& available);

}  // namespace tolvan
