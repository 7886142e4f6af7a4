#include "platform/concurrency/Scheduler.h"

#include "platform/concurrency/WorkerPool.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace tolvan {

namespace {

class TimerScheduler : public Scheduler {
public:
    TimerScheduler()
    {
        std::thread([this] { run(); }).detach();
    }

    void runAfter(double seconds, std::function<void()> work) override
    {
        // Waits beyond a day are clamped: no wait is meant to be that long,
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

}  // namespace tolvan
