#pragma once
// The worker threads that every queue of the process draws on.

#include <functional>
#include <memory>

namespace tolvan {

// Background work is bulk work split over the cores (a long song's chunks, a
// library's slices, an export's segments): it never takes the last free
// worker, so work someone waits for now (a picture to render, a request, a
// reply to the main thread) always finds one, and it starts after such work.
enum class WorkPriority { normal, background };

// Runs jobs on at most threadLimit() workers at once, started when needed
// and kept for later jobs. Queues post their work here rather than owning
// threads, so however many queues are busy, no more workers run than the
// machine has cores; each queue caps its own share (see SerialQueue and
// OperationQueue).
//
// A worker that waits for other queued work (a BlockingScope: a sync onto
// another queue, a wait for operations) hands its place to another worker
// while it waits, so work that waits on work cannot starve the pool. The
// threads that exist are then the limit plus the workers waiting so.
class WorkerPool {
public:
    // The process's pool: as many workers as cores, at least four.
    static WorkerPool& shared();

    explicit WorkerPool(int threadLimit);
    // Jobs already posted still run; idle workers then end.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int threadLimit() const;
    // The workers alive now, idle ones included.
    int threadCount() const;

    // Jobs start in the order they were posted.
    void post(std::function<void()> job, WorkPriority priority = WorkPriority::normal);

private:
    friend class BlockingScope;
    struct State;
    std::shared_ptr<State> state_;
};

// Marks the calling thread as waiting for other queued work while it lives;
// on a pool worker, another worker may run in its place meanwhile. Nests;
// does nothing on other threads.
class BlockingScope {
public:
    BlockingScope();
    ~BlockingScope();
    BlockingScope(const BlockingScope&) = delete;
    BlockingScope& operator=(const BlockingScope&) = delete;

private:
    std::shared_ptr<WorkerPool::State> pool_;
};

// Runs work on the shared pool, outside any queue.
void dispatchGlobal(std::function<void()> work);

}  // namespace tolvan
