#pragma once
// A named queue that runs its tasks one at a time, in order.

#include "platform/concurrency/WorkerPool.h"

#include <functional>
#include <memory>
#include <string>

namespace tolvan {

// Tasks run on the pool's workers (not on a thread of the queue's own): a
// later task starts after the earlier one ends, never at the same time, but
// not always on the same thread.
//
// How the queues end (the same for OperationQueue): when the destructor
// returns, none of the queue's work runs any more and none will. Work the
// queue can cancel is cancelled (an operation that has not started), work it
// cannot is finished (a task already queued runs first). Destroyed from its
// own work, a queue cannot wait for itself: the destructor returns at once,
// and the work already queued still runs after it.
class SerialQueue {
public:
    explicit SerialQueue(std::string name, WorkerPool& pool = WorkerPool::shared());
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& name() const;

    void async(std::function<void()> task);
    // Runs the task on the queue and waits for it; called from the queue's
    // own work, it runs the task inline instead of waiting for itself.
    void sync(const std::function<void()>& task);
    bool isCurrent() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace tolvan
