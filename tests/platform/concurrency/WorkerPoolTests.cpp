#include "platform/concurrency/OperationQueue.h"
#include "platform/concurrency/QueueLabels.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/WorkerPool.h"
#include "tests/platform/concurrency/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tolvan;
using concurrencytest::raisePeak;
using concurrencytest::waitUntil;

namespace {

// Counts the work running at once, across every queue that shares it.
struct Concurrency {
    std::atomic<int> running{0}, peak{0}, done{0};
    std::mutex mutex;
    std::set<std::thread::id> threads;

    void work()
    {
        raisePeak(peak, ++running);
        {
            std::lock_guard lock(mutex);
            threads.insert(std::this_thread::get_id());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        --running;
        ++done;
    }
};

}  // namespace

TEST(WorkerPool, AQueueWithCapTwoNeverRunsThreeAtOnce)
{
    WorkerPool pool(8);
    OperationQueue queue("test.capped", 2, pool);
    Concurrency seen;
    for (int i = 0; i < 40; ++i)
        queue.addOperation([&](Operation&) { seen.work(); });
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(seen.done, 40);
    EXPECT_EQ(seen.peak, 2);
}

TEST(WorkerPool, QueuesTogetherNeverRunMoreThanThePoolsLimit)
{
    // Four queues each allowed four at once would run sixteen side by side
    // on threads of their own; sharing a pool of three they run three.
    WorkerPool pool(3);
    std::vector<std::unique_ptr<OperationQueue>> operationQueues;
    std::vector<std::unique_ptr<SerialQueue>> serialQueues;
    Concurrency seen;
    std::atomic<int> mostThreads{0};
    for (int q = 0; q < 4; ++q) {
        operationQueues.push_back(std::make_unique<OperationQueue>("test.shared.operations", 4, pool));
        serialQueues.push_back(std::make_unique<SerialQueue>("test.shared.serial", pool));
        for (int i = 0; i < 10; ++i) {
            operationQueues.back()->addOperation([&](Operation&) {
                seen.work();
                raisePeak(mostThreads, pool.threadCount());
            });
            serialQueues.back()->async([&] { seen.work(); });
        }
    }
    for (auto& queue : operationQueues)
        queue->waitUntilAllOperationsAreFinished();
    serialQueues.clear();
    EXPECT_EQ(seen.done, 80);
    EXPECT_EQ(seen.peak, 3);
    EXPECT_LE(mostThreads, 3);
    EXPECT_LE(seen.threads.size(), 3u);
}

TEST(WorkerPool, TheSharedPoolBoundsTheQueuesThatUseItByDefault)
{
    const int limit = WorkerPool::shared().threadLimit();
    EXPECT_GE(limit, int(std::thread::hardware_concurrency()));
    std::vector<std::unique_ptr<OperationQueue>> queues;
    Concurrency seen;
    for (int q = 0; q < 3; ++q) {
        queues.push_back(std::make_unique<OperationQueue>("test.default", limit));
        for (int i = 0; i < 2 * limit; ++i)
            queues.back()->addOperation([&](Operation&) { seen.work(); });
    }
    for (auto& queue : queues)
        queue->waitUntilAllOperationsAreFinished();
    EXPECT_LE(seen.peak, limit);
    EXPECT_LE(WorkerPool::shared().threadCount(), limit);
}

TEST(WorkerPool, AWorkerWaitingForOtherWorkLendsItsPlaceAndTheExtraWorkerLeavesAfter)
{
    WorkerPool pool(1);
    SerialQueue outer("test.outer", pool), inner("test.inner", pool);
    std::atomic<bool> innerRan{false};
    std::atomic<bool> outerDone{false};
    outer.async([&] {
        inner.sync([&] { innerRan = true; });
        outerDone = true;
    });
    ASSERT_TRUE(waitUntil([&] { return outerDone.load(); }));
    EXPECT_TRUE(innerRan);
    EXPECT_TRUE(waitUntil([&] { return pool.threadCount() <= 1; }));
}

TEST(WorkerPool, StartsJobsInTheOrderTheyWerePosted)
{
    WorkerPool pool(1);
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> done{0};
    for (int i = 0; i < 20; ++i)
        pool.post([&, i] {
            std::lock_guard lock(mutex);
            order.push_back(i);
            ++done;
        });
    ASSERT_TRUE(waitUntil([&] { return done == 20; }));
    std::lock_guard lock(mutex);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(order[i], i);
}

TEST(WorkerPool, WorkersCarryTheirQueuesLabelForCrashReportsOnlyWhileTheyRunIt)
{
    WorkerPool pool(1);
    SerialQueue queue("com.kestrova.test.labelled", pool);
    auto labelOfThisThread = [] {
        char label[kQueueLabelCapacity];
        copyQueueLabelOfThread(pid_t(::syscall(SYS_gettid)), label, sizeof label);
        return std::string(label);
    };
    std::string during;
    std::thread::id worker;
    queue.sync([&] {
        during = labelOfThisThread();
        worker = std::this_thread::get_id();
    });
    EXPECT_EQ(during, "com.kestrova.test.labelled");
    // The pool's one worker, asked again outside any queue.
    std::promise<std::pair<std::thread::id, std::string>> outside;
    pool.post([&] { outside.set_value({std::this_thread::get_id(), labelOfThisThread()}); });
    const auto [sameWorker, after] = outside.get_future().get();
    ASSERT_EQ(sameWorker, worker);
    EXPECT_EQ(after, "");
}

TEST(QueueDestructor, ASerialQueueDestroyedFromAnotherQueueWaitsForItsWork)
{
    WorkerPool pool(2);
    auto doomed = std::make_unique<SerialQueue>("test.doomed", pool);
    SerialQueue owner("test.owner", pool);
    std::atomic<int> ran{0};
    for (int i = 0; i < 10; ++i)
        doomed->async([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++ran;
        });
    int seenAfterDestruction = -1;
    owner.sync([&] {
        doomed.reset();
        seenAfterDestruction = ran;
    });
    EXPECT_EQ(seenAfterDestruction, 10);
}

TEST(QueueDestructor, DestroyingOnAPoolOfOneWorkerDoesNotDeadlock)
{
    // The destroying task holds the only worker while it waits for the work
    // of the queue it destroys, which needs a worker to run.
    WorkerPool pool(1);
    auto serial = std::make_unique<SerialQueue>("test.serial", pool);
    auto operations = std::make_unique<OperationQueue>("test.operations", 1, pool);
    SerialQueue owner("test.owner", pool);
    std::atomic<bool> serialRan{false};
    std::atomic<bool> done{false};
    owner.async([&] {
        serial->async([&] { serialRan = true; });
        operations->addOperation([](Operation&) { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
        serial.reset();
        operations.reset();
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    EXPECT_TRUE(serialRan);
}

TEST(WorkerPool, BackgroundWorkLeavesAWorkerForWorkSomeoneWaitsFor)
{
    WorkerPool pool(3);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> backgroundRunning{0};
    std::atomic<int> mostBackgroundAtOnce{0};
    for (int i = 0; i < 5; ++i)
        pool.post(
            [&, released] {
                raisePeak(mostBackgroundAtOnce, ++backgroundRunning);
                released.wait();
                --backgroundRunning;
            },
            WorkPriority::background);
    ASSERT_TRUE(waitUntil([&] { return backgroundRunning == 2; }));

    // The bulk work holds two of three workers; a job posted now runs at once.
    std::promise<void> ran;
    auto ranFuture = ran.get_future();
    pool.post([&] { ran.set_value(); });
    EXPECT_EQ(ranFuture.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(mostBackgroundAtOnce, 2);
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return backgroundRunning == 0 && mostBackgroundAtOnce == 2; }));
}

TEST(WorkerPool, WorkSomeoneWaitsForStartsBeforeQueuedBackgroundWork)
{
    WorkerPool pool(1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::mutex orderMutex;
    std::vector<std::string> order;
    auto record = [&](std::string what) {
        std::lock_guard lock(orderMutex);
        order.push_back(std::move(what));
    };
    // The one worker is busy while both wait; the later one goes first.
    pool.post([released] { released.wait(); });
    pool.post([&] { record("background"); }, WorkPriority::background);
    pool.post([&] { record("normal"); });
    release.set_value();
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(orderMutex);
        return order.size() == 2;
    }));
    EXPECT_EQ(order, (std::vector<std::string>{"normal", "background"}));
}
