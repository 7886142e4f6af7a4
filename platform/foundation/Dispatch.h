#pragma once
// Running work on the main thread's event loop and on named worker threads.

#include <condition_variable>
#include <deque>
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
    ~SerialQueue();  // runs the tasks already queued, then joins
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& name() const { return name_; }
    void async(std::function<void()> task);
    void sync(const std::function<void()>& task);  // inline when already on this queue
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void run();

    std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

// Gives the calling thread a name that debuggers and crash reports show.
void setCurrentThreadName(const std::string& name);

}  // namespace tolvan
