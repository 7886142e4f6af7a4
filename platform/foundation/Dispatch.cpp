#include "platform/foundation/Dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <future>
#include <pthread.h>

namespace tolvan {

namespace {

// Work for the main thread waits in a queue of ours, handed over under our
// own lock (so thread checkers see the hand-over), and one queued call on the
// event loop drains it in order.
struct MainQueue {
    std::mutex mutex;
    std::deque<std::function<void()>> tasks;
    bool drainPosted = false;

    // Runs what was queued when the drain began; work queued meanwhile waits
    // for the next turn of the event loop, so other events are not starved.
    void drain()
    {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex);
            batch.swap(tasks);
            drainPosted = false;
        }
        for (auto& task : batch)
            task();
    }
};

MainQueue& mainQueue()
{
    static MainQueue* queue = new MainQueue;  // outlives late dispatches at exit
    return *queue;
}

}  // namespace

void dispatchMain(std::function<void()> fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !fn)
        return;
    MainQueue& queue = mainQueue();
    {
        std::lock_guard lock(queue.mutex);
        queue.tasks.push_back(std::move(fn));
        if (queue.drainPosted)
            return;  // the posted drain will take it
        queue.drainPosted = true;
    }
    // The drain finds the queue through its accessor rather than a capture:
    // the queue may have been made on this thread, and the accessor's guard
    // orders that for the main thread where Qt's event queue, uninstrumented,
    // shows no order to a race checker.
    QMetaObject::invokeMethod(app, [] { mainQueue().drain(); }, Qt::QueuedConnection);
}

void dispatchMainAndWait(const std::function<void()>& fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !fn)
        return;
    if (isMainThread()) {
        fn();
        return;
    }
    std::promise<void> done;
    dispatchMain([&] {
        fn();
        done.set_value();
    });
    done.get_future().wait();
}

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void setCurrentThreadName(const std::string& name)
{
    // The kernel keeps 15 characters; the end of a reverse-DNS name says most.
    std::string shortName = name.size() > 15 ? name.substr(name.size() - 15) : name;
    pthread_setname_np(pthread_self(), shortName.c_str());
}

namespace {
std::atomic<QueueObserver> queueObserver{nullptr};

void tellQueueObserver(const char* name)
{
    if (QueueObserver observer = queueObserver.load())
        observer(name);
}
}  // namespace

void setQueueObserver(QueueObserver observer) { queueObserver = observer; }

QueueWorkScope::QueueWorkScope(const std::string& name) { tellQueueObserver(name.c_str()); }

QueueWorkScope::~QueueWorkScope() { tellQueueObserver(nullptr); }

// Shared with the worker, so a queue destroyed from its own task leaves the
// worker something valid to finish with.
struct SerialQueue::State {
    std::string name;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    std::atomic<std::thread::id> worker{};
};

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)), state_(std::make_shared<State>())
{
    state_->name = name_;
    thread_ = std::thread([state = state_] { run(state); });
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    if (isCurrent())
        thread_.detach();
    else
        thread_.join();
}

bool SerialQueue::isCurrent() const { return state_->worker.load() == std::this_thread::get_id(); }

void SerialQueue::async(std::function<void()> task)
{
    if (!task)
        return;
    {
        std::lock_guard lock(state_->mutex);
        state_->tasks.push_back(std::move(task));
    }
    state_->wake.notify_one();
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
    done.get_future().wait();
}

void SerialQueue::run(const std::shared_ptr<State>& state)
{
    state->worker = std::this_thread::get_id();
    setCurrentThreadName(state->name);
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
            if (state->tasks.empty())
                return;
            task = std::move(state->tasks.front());
            state->tasks.pop_front();
        }
        QueueWorkScope scope(state->name);
        task();
    }
}

}  // namespace tolvan
