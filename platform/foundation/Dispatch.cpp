#include "platform/foundation/Dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <future>
#include <pthread.h>

namespace tolvan {

void dispatchMain(std::function<void()> fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !fn)
        return;
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
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
    QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
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

SerialQueue::SerialQueue(std::string name)
    : name_(std::move(name)), thread_([this] { run(); })
{
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void SerialQueue::async(std::function<void()> task)
{
    if (!task)
        return;
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
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

void SerialQueue::run()
{
    setCurrentThreadName(name_);
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty())
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace tolvan
