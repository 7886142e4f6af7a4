#include "platform/concurrency/OperationQueue.h"

#include "platform/concurrency/QueueNames.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tolvan {

namespace {
// The operation queue whose operation the calling thread runs.
thread_local const void* currentOperationQueue = nullptr;
}  // namespace

// Shared with the pool's jobs that run the operations, so a queue destroyed
// from its own operation leaves them something valid to finish with.
struct OperationQueue::State : std::enable_shared_from_this<State> {
    mutable std::mutex mutex;
    std::condition_variable drained;  // waiters: nothing left running, or no job left
    std::string name;
    WorkerPool* pool = nullptr;
    int maxConcurrent = 1;
    WorkPriority priority = WorkPriority::normal;
    bool suspended = false;
    bool stopping = false;
    std::deque<std::shared_ptr<Operation>> pending;
    std::vector<std::shared_ptr<Operation>> running;
    int jobs = 0;  // pool jobs posted for this queue and not yet ended

    bool mayStartOperation() const { return !suspended && !pending.empty() && int(running.size()) < maxConcurrent; }

    // Posts a pool job for each operation that may start now, up to the cap.
    void startJobsLocked()
    {
        const int wanted = std::min<int>(maxConcurrent, int(running.size() + pending.size()));
        while (!suspended && jobs < wanted) {
            ++jobs;
            pool->post([self = shared_from_this()] { self->runOperations(); }, priority);
        }
    }

    // Takes pending operations one after another while the cap allows.
    void runOperations()
    {
        std::unique_lock lock(mutex);
        while (mayStartOperation()) {
            auto op = pending.front();
            pending.pop_front();
            running.push_back(op);
            if (!op->isCancelled())
                execute(*op, lock);
            op->finished_ = true;
            std::erase(running, op);
            if (running.empty())
                drained.notify_all();
        }
        --jobs;
        drained.notify_all();
    }

    void execute(Operation& op, std::unique_lock<std::mutex>& lock)
    {
        op.executing_ = true;
        const std::string queueName = name.empty() ? "operation" : name;
        lock.unlock();
        const void* outer = std::exchange(currentOperationQueue, this);
        {
            QueueWorkScope scope(queueName);
            if (op.body_)
                op.body_(op);
            op.body_ = nullptr;  // drop what the body captured, here on the worker
        }
        currentOperationQueue = outer;
        lock.lock();
        op.executing_ = false;
    }
};

int OperationQueue::defaultMaxConcurrentOperationCount()
{
    return std::max(2u, std::thread::hardware_concurrency());
}

OperationQueue::OperationQueue(std::string name, int maxConcurrentOperationCount, WorkerPool& pool)
    : state_(std::make_shared<State>())
{
    state_->name = std::move(name);
    state_->maxConcurrent = std::max(1, maxConcurrentOperationCount);
    state_->pool = &pool;
}

OperationQueue::~OperationQueue()
{
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    for (auto& op : state_->pending)
        op->cancel();
    for (auto& op : state_->running)
        op->cancel();
    if (currentOperationQueue == state_.get())
        return;
    // Suspended, the pending operations would wait for ever: they finish
    // cancelled instead.
    state_->suspended = false;
    state_->startJobsLocked();
    lock.unlock();
    BlockingScope waiting;
    lock.lock();
    state_->drained.wait(lock, [&] { return state_->jobs == 0; });
}

std::string OperationQueue::name() const
{
    std::lock_guard lock(state_->mutex);
    return state_->name;
}

void OperationQueue::setName(std::string name)
{
    std::lock_guard lock(state_->mutex);
    state_->name = std::move(name);
}

void OperationQueue::setPriority(WorkPriority priority)
{
    std::lock_guard lock(state_->mutex);
    state_->priority = priority;
}

std::shared_ptr<Operation> OperationQueue::addOperation(Operation::Body body)
{
    auto op = std::make_shared<Operation>(std::move(body));
    std::lock_guard lock(state_->mutex);
    if (state_->stopping)
        return op;
    state_->pending.push_back(op);
    state_->startJobsLocked();
    return op;
}

void OperationQueue::cancelAllOperations()
{
    std::lock_guard lock(state_->mutex);
    for (auto& op : state_->pending)
        op->cancel();
    for (auto& op : state_->running)
        op->cancel();
}

void OperationQueue::setSuspended(bool suspended)
{
    std::lock_guard lock(state_->mutex);
    state_->suspended = suspended;
    state_->startJobsLocked();
    state_->drained.notify_all();
}

bool OperationQueue::isSuspended() const
{
    std::lock_guard lock(state_->mutex);
    return state_->suspended;
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const
{
    std::lock_guard lock(state_->mutex);
    std::vector<std::shared_ptr<Operation>> all(state_->running);
    all.insert(all.end(), state_->pending.begin(), state_->pending.end());
    return all;
}

std::size_t OperationQueue::operationCount() const
{
    std::lock_guard lock(state_->mutex);
    return state_->running.size() + state_->pending.size();
}

bool OperationQueue::firstOperationIsCancelled() const
{
    std::lock_guard lock(state_->mutex);
    if (!state_->running.empty())
        return state_->running.front()->isCancelled();
    return !state_->pending.empty() && state_->pending.front()->isCancelled();
}

void OperationQueue::waitUntilAllOperationsAreFinished()
{
    BlockingScope waiting;
    std::unique_lock lock(state_->mutex);
    state_->drained.wait(lock, [&] {
        bool onlyHeldBySuspension = state_->running.empty() && state_->suspended;
        return (state_->running.empty() && state_->pending.empty()) || onlyHeldBySuspension;
    });
}

}  // namespace tolvan
