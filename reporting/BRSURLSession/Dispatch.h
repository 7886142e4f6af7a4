#pragma once
// The kit's names for the process's queues, which the kit shares with the
// application: serial queues on the shared worker pool, work on the pool
// outside any queue, and a scheduler for delayed work.

#include "platform/concurrency/Scheduler.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/WorkerPool.h"

namespace brs {

using tolvan::dispatchGlobal;
using tolvan::Scheduler;
using tolvan::SerialQueue;

}  // namespace brs
