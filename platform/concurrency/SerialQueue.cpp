#include "platform/concurrency/SerialQueue.h"

#include "platform/concurrency/QueueNames.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <utility>

namespace tolvan {

namespace {
// The serial queue whose task the calling thread runs.
thread_local const void* currentSerialQueue = nullptr;
}  // namespace

// Shared with the pool's job that drains it, so a queue destroyed from its
// own task leaves the drain something valid to finish with.
struct SerialQueue::State {
    std::string name;
    WorkerPool* pool = nullptr;
    std::mutex mutex;
    std::condition_variable drained;
    std::deque<std::function<void()>> pending;
    bool draining = false;  // a pool job runs or will run the pending tasks

    // Runs tasks until none is left; one job per queue at a time keeps them in order.
    void drain()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex);
                if (pending.empty()) {
                    draining = false;
                    drained.notify_all();
                    return;
                }
                task = std::move(pending.front());
                pending.pop_front();
            }
            run(task);
        }
    }

    void run(std::function<void()>& task)
    {
        const void* outer = std::exchange(currentSerialQueue, this);
        {
            QueueWorkScope scope(name);
            task();
            task = nullptr;  // what the task captured goes while the queue is still current
        }
        currentSerialQueue = outer;
    }
};

SerialQueue::SerialQueue(std::string name, WorkerPool& pool) : state_(std::make_shared<State>())
{
    state_->name = std::move(name);
    state_->pool = &pool;
}

SerialQueue::~SerialQueue()
{
    if (isCurrent())
        return;
    BlockingScope waiting;
    std::unique_lock lock(state_->mutex);
    state_->drained.wait(lock, [&] { return !state_->draining; });
}

const std::string& SerialQueue::name() const { return state_->name; }

void SerialQueue::async(std::function<void()> task)
{
    if (!task)
        return;
    {
        std::lock_guard lock(state_->mutex);
        state_->pending.push_back(std::move(task));
        if (std::exchange(state_->draining, true))
            return;
    }
    state_->pool->post([state = state_] { state->drain(); });
}

void SerialQueue::sync(const std::function<void()>& task)
{
    if (!task)
        return;
    if (isCurrent()) {
        task();
        return;
    }
    std::promise<void> done;
    async([&] {
        task();
        done.set_value();
    });
    BlockingScope waiting;
    done.get_future().wait();
}

bool SerialQueue::isCurrent() const { return currentSerialQueue == state_.get(); }

}  // namespace tolvan
