#pragma once
// The reporting kit's queues. The kit uses no toolkit, so it keeps its own:
// named serial queues that run their work one item at a time, in order, on a
// small shared pool of worker threads, and a scheduler for delayed work.

#include <functional>
#include <memory>
#include <string>

namespace brs {

class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const;

    // Work queued later runs after work queued earlier, never at the same time.
    void async(std::function<void()> work);
    // Runs work on the queue and waits for it; called from the queue itself it
    // runs inline instead of waiting for itself.
    void sync(const std::function<void()>& work);
    bool isCurrent() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

// Runs work on the shared pool, as a concurrent global queue would.
void dispatchGlobal(std::function<void()> work);

// Runs work once a delay has passed. Retry waits go through one of these, so
// tests can replace the clock instead of waiting.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs work on the shared pool after seconds (at once for 0 or less).
    virtual void runAfter(double seconds, std::function<void()> work) = 0;

    // A timer thread of the process.
    static std::shared_ptr<Scheduler> system();
};

}  // namespace brs
