#include "platform/foundation/OperationQueue.h"

#include "platform/foundation/Dispatch.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tolvan {

// Shared with the worker threads, so a queue destroyed from its own operation
// leaves its workers something valid to finish with.
struct OperationQueue::State {
    mutable std::mutex mutex;
    std::condition_variable wake;     // workers: something to run or stop
    std::condition_variable drained;  // waiters: nothing left
    std::string name;
    int maxConcurrent = 1;
    bool suspended = false;
    bool stopping = false;
    std::deque<std::shared_ptr<Operation>> pending;
    std::vector<std::shared_ptr<Operation>> running;
    std::vector<std::thread> workers;
    int idleWorkers = 0;
};

int OperationQueue::defaultMaxConcurrentOperationCount()
{
    return std::max(2u, std::thread::hardware_concurrency());
}

OperationQueue::OperationQueue(std::string name, int maxConcurrentOperationCount)
    : state_(std::make_shared<State>())
{
    state_->name = std::move(name);
    state_->maxConcurrent = std::max(1, maxConcurrentOperationCount);
}

OperationQueue::~OperationQueue()
{
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        for (auto& op : state_->pending)
            op->cancel();
        for (auto& op : state_->running)
            op->cancel();
        workers.swap(state_->workers);
    }
    state_->wake.notify_all();
    for (auto& worker : workers) {
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();
        else
            worker.join();
    }
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

std::shared_ptr<Operation> OperationQueue::addOperation(Operation::Body body)
{
    auto op = std::make_shared<Operation>(std::move(body));
    std::lock_guard lock(state_->mutex);
    if (state_->stopping)
        return op;
    state_->pending.push_back(op);
    int busy = int(state_->workers.size()) - state_->idleWorkers;
    if (state_->idleWorkers == 0 && busy < state_->maxConcurrent)
        state_->workers.emplace_back([state = state_] { work(state); });
    state_->wake.notify_one();
    return op;
}

void OperationQueue::work(const std::shared_ptr<State>& state)
{
    setCurrentThreadName(state->name.empty() ? "operation" : state->name);
    std::unique_lock lock(state->mutex);
    for (;;) {
        ++state->idleWorkers;
        state->wake.wait(lock, [&] {
            bool canStart = !state->suspended && !state->pending.empty()
                && int(state->running.size()) < state->maxConcurrent;
            return state->stopping || canStart;
        });
        --state->idleWorkers;
        if (state->stopping)
            return;
        auto op = state->pending.front();
        state->pending.pop_front();
        state->running.push_back(op);
        if (!op->isCancelled()) {
            op->executing_ = true;
            const std::string name = state->name;
            lock.unlock();
            {
                QueueWorkScope scope(name);
                if (op->body_)
                    op->body_(*op);
                op->body_ = nullptr;  // drop what the body captured, here on the worker
            }
            lock.lock();
            op->executing_ = false;
        }
        op->finished_ = true;
        std::erase(state->running, op);
        if (state->running.empty())
            state->drained.notify_all();
        state->wake.notify_one();
    }
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
    {
        std::lock_guard lock(state_->mutex);
        state_->suspended = suspended;
    }
    state_->wake.notify_all();
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
    std::unique_lock lock(state_->mutex);
    state_->drained.wait(lock, [&] {
        bool onlyHeldBySuspension = state_->running.empty() && state_->suspended;
        return (state_->running.empty() && state_->pending.empty()) || onlyHeldBySuspension;
    });
}

}  // namespace tolvan
