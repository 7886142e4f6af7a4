#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Scheduler.h"
#include "tests/support/reporting/Waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <limits>
#include <thread>
#include <vector>

using namespace tolvan;

TEST(SerialQueue, RunsWorkOneAtATimeInOrderOffTheCallersThread)
{
    SerialQueue queue("test.order");
    std::vector<int> seen;
    std::atomic<int> inside{0};
    bool overlapped = false, onCaller = false;
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 200; ++i)
        queue.async([&, i] {
            overlapped |= inside.fetch_add(1) != 0;
            onCaller |= std::this_thread::get_id() == caller;
            seen.push_back(i);
            inside.fetch_sub(1);
        });
    queue.sync([] {});
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(seen[i], i);
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(onCaller);
}

TEST(SerialQueue, SyncFromItsOwnWorkRunsInline)
{
    SerialQueue queue("test.reentrant");
    reportingtest::Waiter<bool> done;
    queue.async([&] {
        bool ran = false;
        queue.sync([&] { ran = queue.isCurrent(); });
        done.set(ran);
    });
    EXPECT_EQ(done.wait(), true);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, DestructorRunsWhatIsQueuedBeforeReturning)
{
    std::atomic<int> count{0};
    {
        SerialQueue queue("test.drain");
        for (int i = 0; i < 50; ++i)
            queue.async([&] {
                std::this_thread::yield();
                ++count;
            });
    }
    EXPECT_EQ(count, 50);
}

TEST(SerialQueue, CanBeDestroyedFromItsOwnTaskAndStillRunsTheRest)
{
    auto* queue = new SerialQueue("test.self-destroying");
    std::promise<void> done;
    std::atomic<bool> laterTaskRan{false};
    std::promise<void> bothQueued;
    auto queued = bothQueued.get_future();
    queue->async([&] {
        queued.wait();
        delete queue;
    });
    queue->async([&] {
        laterTaskRan = true;
        done.set_value();
    });
    bothQueued.set_value();
    EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(laterTaskRan);
}

TEST(SerialQueue, WorkWaitingOnOtherQueuesDoesNotStarveThePool)
{
    // Many more queues than workers, whose work each waits for work on
    // another queue: unless a waiting worker gives up its place, every
    // worker would wait and nothing would run.
    const int count = 4 * WorkerPool::shared().threadLimit();
    std::vector<std::unique_ptr<SerialQueue>> outer, inner;
    for (int i = 0; i < count; ++i) {
        outer.push_back(std::make_unique<SerialQueue>("test.outer"));
        inner.push_back(std::make_unique<SerialQueue>("test.inner"));
    }
    std::atomic<int> done{0};
    reportingtest::Waiter<bool> all;
    for (int i = 0; i < count; ++i)
        outer[i]->async([&, i] {
            inner[i]->sync([] {});
            if (++done == count)
                all.set(true);
        });
    EXPECT_EQ(all.wait(), true);
}

TEST(SystemScheduler, RunsWorkForEveryDelayEvenHugeOnesWithoutOverflow)
{
    // An infinite or enormous delay must neither run at once nor crash; a
    // zero or negative one runs at once.
    std::atomic<bool> farRan{false};
    Scheduler::system()->runAfter(1e300, [&] { farRan = true; });
    Scheduler::system()->runAfter(std::numeric_limits<double>::infinity(), [&] { farRan = true; });
    reportingtest::Waiter<bool> soon;
    Scheduler::system()->runAfter(-5, [&] { soon.set(true); });
    EXPECT_EQ(soon.wait(), true);
    EXPECT_FALSE(farRan);
}

TEST(SystemScheduler, RunsEarlierDeadlinesFirst)
{
    std::mutex mutex;
    std::vector<int> order;
    reportingtest::Waiter<bool> both;
    auto record = [&](int which) {
        std::lock_guard lock(mutex);
        order.push_back(which);
        if (order.size() == 2)
            both.set(true);
    };
    Scheduler::system()->runAfter(0.2, [&] { record(2); });
    Scheduler::system()->runAfter(0.05, [&] { record(1); });
    EXPECT_EQ(both.wait(), true);
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}
