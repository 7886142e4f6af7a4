#include "platform/foundation/Dispatch.h"

#include "platform/concurrency/WorkerPool.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <deque>
#include <future>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tolvan {

namespace {

// Work for the main thread waits in a queue of ours, handed over under our
// own lock, so a thread checker sees every hand-over. Qt only wakes the main
// thread: a counter file descriptor that the posting thread writes and a
// notifier on the main thread's event loop watches. No Qt object or event
// crosses from the posting thread, so nothing of ours is freed on the main
// thread that another thread made.
struct MainQueue {
    std::mutex mutex;
    std::deque<std::function<void()>> tasks;
    bool wakePending = false;
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    void wake() const
    {
        const eventfd_t one = 1;
        [[maybe_unused]] auto written = ::write(wakeFd, &one, sizeof one);
    }

    // Runs what was queued when the drain began; work queued meanwhile waits
    // for the next turn of the event loop, so other events are not starved.
    void drain()
    {
        eventfd_t count = 0;
        [[maybe_unused]] auto read = ::read(wakeFd, &count, sizeof count);
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex);
            batch.swap(tasks);
            wakePending = false;
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

// Runs on the main thread as each application object is made: the notifier
// belongs to it and goes with it. Work queued before still runs, since the
// counter stays set until a drain reads it.
void watchMainQueue()
{
    auto* notifier = new QSocketNotifier(mainQueue().wakeFd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { mainQueue().drain(); });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(watchMainQueue)

void dispatchMain(std::function<void()> fn)
{
    if (!QCoreApplication::instance() || !fn)
        return;
    MainQueue& queue = mainQueue();
    {
        std::lock_guard lock(queue.mutex);
        queue.tasks.push_back(std::move(fn));
        if (std::exchange(queue.wakePending, true))
            return;  // the wake already under way will take it
    }
    queue.wake();
}

void dispatchMainAndWait(const std::function<void()>& fn)
{
    if (!QCoreApplication::instance() || !fn)
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
    BlockingScope waiting;
    done.get_future().wait();
}

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace tolvan
