#pragma once
// Running work on the main thread's event loop. The queues that run work on
// worker threads come from the concurrency library and are named here too.

#include "platform/concurrency/QueueNames.h"
#include "platform/concurrency/SerialQueue.h"

#include <functional>

namespace tolvan {

// Queues fn on the Qt main event loop. It always runs later, also when called
// from the main thread, so callers may hold locks or be mid-update.
void dispatchMain(std::function<void()> fn);

// Runs fn on the main thread and waits for it; runs inline on the main thread.
void dispatchMainAndWait(const std::function<void()>& fn);

bool isMainThread();

}  // namespace tolvan
