#include "BRSURLSession/Dispatch.h"

#include "BRSURLSession/QueueLabels.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <queue>
#include <utility>
#include <thread>
#include <vector>

namespace brs {
namespace {

// A pool of detached workers shared by every queue of the process. It grows
// when every worker is busy, so work that waits for other queued work (a
// sync onto another queue) cannot starve the pool.
class WorkerPool {
public:
    static WorkerPool& shared()
    {
        static auto* pool = new WorkerPool;  // never destroyed: workers outlive static destructors
        return *pool;
    }

    void post(std::function<void()> work)
    {
        bool grow = false;
        {
            std::lock_guard lock(mutex_);
            work_.push_back(std::move(work));
            grow = idle_ < work_.size() && threads_ < kMostThreads;
            if (grow)
                ++threads_;
        }
        if (grow)
            std::thread([this] { run(); }).detach();
        else
            ready_.notify_one();
    }

private:
    static constexpr std::size_t kMostThreads = 64;

    void run()
    {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock lock(mutex_);
                ++idle_;
                ready_.wait(lock, [this] { return !work_.empty(); });
                --idle_;
                work = std::move(work_.front());
                work_.pop_front();
            }
            work();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> work_;
    std::size_t idle_ = 0;
    std::size_t threads_ = 0;
};

thread_local const void* currentQueue = nullptr;

}  // namespace

struct SerialQueue::State : std::enable_shared_from_this<State> {
    std::string label;
    std::mutex mutex;
    std::deque<std::function<void()>> pending;
    bool draining = false;

    void drain()
    {
        setCurrentThreadQueueLabel(label.c_str());
        for (;;) {
            std::function<void()> work;
            {
                std::lock_guard lock(mutex);
                if (pending.empty()) {
                    draining = false;
                    setCurrentThreadQueueLabel(nullptr);
                    return;
                }
                work = std::move(pending.front());
                pending.pop_front();
            }
            const void* outer = currentQueue;
            currentQueue = this;
            work();
            currentQueue = outer;
        }
    }
};

SerialQueue::SerialQueue(std::string label) : state_(std::make_shared<State>())
{
    state_->label = std::move(label);
}

// Pending work still runs: the drain holds the state, not the queue object.
SerialQueue::~SerialQueue() = default;

const std::string& SerialQueue::label() const { return state_->label; }

void SerialQueue::async(std::function<void()> work)
{
    bool start = false;
    {
        std::lock_guard lock(state_->mutex);
        state_->pending.push_back(std::move(work));
        start = !std::exchange(state_->draining, true);
    }
    if (start)
        WorkerPool::shared().post([state = state_] { state->drain(); });
}

void SerialQueue::sync(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
        return;
    }
    std::promise<void> done;
    async([&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

bool SerialQueue::isCurrent() const { return currentQueue == state_.get(); }

void dispatchGlobal(std::function<void()> work) { WorkerPool::shared().post(std::move(work)); }

namespace {

class TimerScheduler : public Scheduler {
public:
    TimerScheduler()
    {
        std::thread([this] { run(); }).detach();
    }

    void runAfter(double seconds, std::function<void()> work) override
    {
        // Waits beyond a day are clamped: no wait of the kit is meant to be that long,
        // and the conversion to a clock duration must stay in range.
        const double clamped = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 86400.0) : 86400.0;
        const auto due = std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(clamped));
        {
            std::lock_guard lock(mutex_);
            timers_.push(Timer{due, sequence_++, std::move(work)});
        }
        changed_.notify_one();
    }

private:
    struct Timer {
        std::chrono::steady_clock::time_point due;
        unsigned long long sequence;
        std::function<void()> work;
        bool operator>(const Timer& other) const { return due != other.due ? due > other.due : sequence > other.sequence; }
    };

    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (timers_.empty()) {
                changed_.wait(lock);
                continue;
            }
            const auto due = timers_.top().due;
            if (changed_.wait_until(lock, due) == std::cv_status::no_timeout && std::chrono::steady_clock::now() < due)
                continue;
            if (timers_.empty() || timers_.top().due > std::chrono::steady_clock::now())
                continue;
            auto work = std::move(const_cast<Timer&>(timers_.top()).work);
            timers_.pop();
            dispatchGlobal(std::move(work));
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
    unsigned long long sequence_ = 0;
};

}  // namespace

std::shared_ptr<Scheduler> Scheduler::system()
{
    static auto* scheduler = new std::shared_ptr<Scheduler>(std::make_shared<TimerScheduler>());
    return *scheduler;
}

}  // namespace brs
