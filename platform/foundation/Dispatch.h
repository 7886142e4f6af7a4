#pragma once
// Running work on the main thread's event loop and on named worker threads.

#include <condition_variable>
#include <deque>
#include <memory>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tolvan {

// Queues fn on the Qt main event loop. It always runs later, also when called
// from the main thread, so callers may hold locks or be mid-update.
void dispatchMain(std::function<void()> fn);

// Runs fn on the main thread and waits for it; runs inline on the main thread.
void dispatchMainAndWait(const std::function<void()>& fn);

bool isMainThread();

// One named worker thread that runs its tasks in order.
class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    // Runs the tasks already queued, then joins; destroyed from one of its own
    // tasks, it lets the worker finish them on its own instead.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& name() const { return name_; }
    void async(std::function<void()> task);
    void sync(const std::function<void()>& task);  // inline when already on this queue
    bool isCurrent() const;

private:
    struct State;
    static void run(const std::shared_ptr<State>& state);

    std::string name_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

// Gives the calling thread a name that debuggers and crash reports show.
void setCurrentThreadName(const std::string& name);

// Hears which named queue's work the calling thread runs: the queue's name
// before each task or operation, null after it. The application hands this
// to the crash reporter, which records each thread's queue.
using QueueObserver = void (*)(const char* name);
void setQueueObserver(QueueObserver observer);

// Tells the queue observer, while it lives, that the calling thread runs the
// named queue's work (the queues' own workers use it).
class QueueWorkScope {
public:
    explicit QueueWorkScope(const std::string& name);
    ~QueueWorkScope();
    QueueWorkScope(const QueueWorkScope&) = delete;
    QueueWorkScope& operator=(const QueueWorkScope&) = delete;
};

}  // namespace tolvan
