#pragma once
// A scheduler for tests: records every delay it is asked for and runs the
// work at once, so retries are asserted without waiting.

#include "reporting/BRSURLSession/Dispatch.h"

#include <mutex>
#include <vector>

namespace reportingtest {

class ManualScheduler : public brs::Scheduler {
public:
    void runAfter(double seconds, std::function<void()> work) override
    {
        {
            std::lock_guard lock(mutex_);
            delays_.push_back(seconds);
        }
        brs::dispatchGlobal(std::move(work));
    }

    std::vector<double> delays() const
    {
        std::lock_guard lock(mutex_);
        return delays_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<double> delays_;
};

}  // namespace reportingtest
