#include "platform/concurrency/WorkerPool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tolvan {

struct WorkerPool::State : std::enable_shared_from_this<State> {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::function<void()>> jobs;
    std::deque<std::function<void()>> backgroundJobs;
    int limit = 1;
    int threads = 0;  // alive, whatever they do
    int idle = 0;     // waiting for a job
    int starting = 0;  // started, not yet waiting
    int blocked = 0;  // inside a BlockingScope
    int running = 0;  // running a job and not blocked
    bool stopping = false;

    bool mayStartNormalJob() const { return !jobs.empty() && running < limit; }
    // Background jobs leave one worker free (none to leave in a pool of one).
    bool mayStartBackgroundJob() const { return !backgroundJobs.empty() && running < std::max(1, limit - 1); }
    bool mayStartJob() const { return mayStartNormalJob() || mayStartBackgroundJob(); }
    int startableJobs() const
    {
        return (running < limit ? int(jobs.size()) : 0) + (mayStartBackgroundJob() ? int(backgroundJobs.size()) : 0);
    }
    std::function<void()> takeJob()
    {
        auto& from = mayStartNormalJob() ? jobs : backgroundJobs;
        auto job = std::move(from.front());
        from.pop_front();
        return job;
    }
    // More workers than the limit, left when blocked ones came back.
    bool overLimit() const { return threads - blocked > limit; }

    // Wakes an idle worker for the jobs, and starts one more when the jobs
    // outnumber the workers that will take them and the limit leaves room.
    // Every idle or starting worker takes one job, so counting them (rather
    // than asking whether one is idle) starts no worker too few.
    void supplyWorkerLocked()
    {
        if (!mayStartJob())
            return;
        if (idle > 0)
            ready.notify_one();
        if (startableJobs() > idle + starting && threads - blocked < limit) {
            ++threads;
            ++starting;
            std::thread([self = shared_from_this()] { self->work(); }).detach();
        }
    }

    void work();

    // The pool whose worker the calling thread is, for BlockingScope.
    static thread_local State* current;
    static thread_local int blockingDepth;
};

thread_local WorkerPool::State* WorkerPool::State::current = nullptr;
thread_local int WorkerPool::State::blockingDepth = 0;

void WorkerPool::State::work()
{
    current = this;
    std::unique_lock lock(mutex);
    --starting;
    for (;;) {
        ++idle;
        ready.wait(lock, [&] { return mayStartJob() || overLimit() || (stopping && jobs.empty() && backgroundJobs.empty()); });
        --idle;
        if (!mayStartJob() || overLimit())
            break;
        auto job = takeJob();
        ++running;
        lock.unlock();
        job();
        job = nullptr;  // what the job captured goes before the count says it is done
        lock.lock();
        --running;
    }
    --threads;
    ready.notify_one();  // a worker leaving may make room for a waiting job
    lock.unlock();
    current = nullptr;
}

WorkerPool& WorkerPool::shared()
{
    // Never destroyed: workers may still run while static objects go at exit.
    static auto* pool = new WorkerPool(int(std::max(4u, std::thread::hardware_concurrency())));
    return *pool;
}

WorkerPool::WorkerPool(int threadLimit) : state_(std::make_shared<State>())
{
    state_->limit = std::max(1, threadLimit);
}

WorkerPool::~WorkerPool()
{
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->ready.notify_all();
}

int WorkerPool::threadLimit() const { return state_->limit; }

int WorkerPool::threadCount() const
{
    std::lock_guard lock(state_->mutex);
    return state_->threads;
}

void WorkerPool::post(std::function<void()> job, WorkPriority priority)
{
    if (!job)
        return;
    std::lock_guard lock(state_->mutex);
    (priority == WorkPriority::background ? state_->backgroundJobs : state_->jobs).push_back(std::move(job));
    state_->supplyWorkerLocked();
}

BlockingScope::BlockingScope()
{
    auto* pool = WorkerPool::State::current;
    if (!pool || WorkerPool::State::blockingDepth++ > 0)
        return;
    pool_ = pool->shared_from_this();
    std::lock_guard lock(pool_->mutex);
    ++pool_->blocked;
    --pool_->running;
    pool_->supplyWorkerLocked();
}

BlockingScope::~BlockingScope()
{
    if (!WorkerPool::State::current)
        return;
    if (--WorkerPool::State::blockingDepth > 0 || !pool_)
        return;
    std::lock_guard lock(pool_->mutex);
    --pool_->blocked;
    ++pool_->running;
    if (pool_->overLimit())
        pool_->ready.notify_all();  // an idle worker leaves
}

void dispatchGlobal(std::function<void()> work) { WorkerPool::shared().post(std::move(work)); }

}  // namespace tolvan
