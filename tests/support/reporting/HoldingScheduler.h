#pragma once
// A scheduler for tests that must not run delayed work on their own: it
// records every delay and keeps the work until the test runs it.

#include "reporting/BRSURLSession/Dispatch.h"

#include <mutex>
#include <utility>
#include <vector>

namespace reportingtest {

class HoldingScheduler : public brs::Scheduler {
public:
    void runAfter(double seconds, std::function<void()> work) override
    {
        std::lock_guard lock(mutex_);
        pending_.emplace_back(seconds, std::move(work));
        delays_.push_back(seconds);
    }

    std::vector<double> delays() const
    {
        std::lock_guard lock(mutex_);
        return delays_;
    }

    // Runs the work held so far whose delay is at least minimum; answers how much ran.
    size_t runHeld(double minimum = 0)
    {
        std::vector<std::function<void()>> due;
        {
            std::lock_guard lock(mutex_);
            for (auto it = pending_.begin(); it != pending_.end();)
                if (it->first >= minimum) {
                    due.push_back(std::move(it->second));
                    it = pending_.erase(it);
                } else {
                    ++it;
                }
        }
        for (auto& work : due)
            work();
        return due.size();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<double, std::function<void()>>> pending_;
    std::vector<double> delays_;
};

}  // namespace reportingtest
