#pragma once
// Runs work once a window's first frame is on the screen: after the first
// paint of the window has been handed to the window system. Work that the
// first frame does not need waits here, so the window appears sooner.

#include <functional>

class QWidget;

namespace tolvan {

// Calls then once, on the main thread, after window's first paint; or after
// deadlineMs if the window is never painted (shown minimised, say), so the
// work is never lost. Nothing runs if the window is destroyed first.
void afterFirstFrame(QWidget& window, std::function<void()> then, int deadlineMs = 1000);

}  // namespace tolvan
