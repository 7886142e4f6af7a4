#pragma once
// Work that runs once a delay has passed.

#include <functional>
#include <memory>

namespace tolvan {

// Retry waits go through one of these, so tests can replace the clock
// instead of waiting.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs work on the shared pool after seconds (at once for 0 or less).
    virtual void runAfter(double seconds, std::function<void()> work) = 0;

    // A timer thread of the process.
    static std::shared_ptr<Scheduler> system();
};

}  // namespace tolvan
