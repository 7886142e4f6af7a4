#pragma once
// A queue of cancellable operations, run side by side up to a cap.

#include "platform/concurrency/WorkerPool.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvan {

class Operation {
public:
    using Body = std::function<void(Operation&)>;
    explicit Operation(Body body) : body_(std::move(body)) {}

    // A pending operation that is cancelled finishes without running; a running
    // one sees isCancelled() and decides itself how to stop.
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }
    bool isExecuting() const { return executing_; }
    bool isFinished() const { return finished_; }

private:
    friend class OperationQueue;
    Body body_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
};

// Operations start in the order they were added, on the pool's workers, at
// most maxConcurrentOperationCount at once; the pool's own limit bounds all
// queues together. A reader that splits its work in pieces gives each piece
// an operation on one such queue, capped at what it may take of the machine.
//
// The destructor cancels the pending operations and waits for the running
// ones, except from one of its own operations (see SerialQueue for the rule
// every queue follows).
class OperationQueue {
public:
    static int defaultMaxConcurrentOperationCount();

    explicit OperationQueue(std::string name = {}, int maxConcurrentOperationCount = defaultMaxConcurrentOperationCount(),
                            WorkerPool& pool = WorkerPool::shared());
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    std::string name() const;
    void setName(std::string name);

    // Background queues split bulk work over the cores (see WorkPriority).
    void setPriority(WorkPriority priority);

    std::shared_ptr<Operation> addOperation(Operation::Body body);
    void cancelAllOperations();

    // A suspended queue starts no new operation; running ones go on.
    void setSuspended(bool suspended);
    bool isSuspended() const;

    // The running operations first, then the pending ones, in queue order.
    std::vector<std::shared_ptr<Operation>> operations() const;
    std::size_t operationCount() const;
    bool firstOperationIsCancelled() const;

    void waitUntilAllOperationsAreFinished();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace tolvan
