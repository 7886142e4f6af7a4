#include "BRSURLSession/Dispatch.h"
#include "tests/support/kit/Waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace brs;

TEST(SerialQueue, RunsWorkOneAtATimeInOrder)
{
    SerialQueue queue("test.order");
    std::vector<int> seen;
    std::atomic<int> inside{0};
    bool overlapped = false;
    for (int i = 0; i < 200; ++i)
        queue.async([&, i] {
            overlapped |= inside.fetch_add(1) != 0;
            seen.push_back(i);
            inside.fetch_sub(1);
        });
    queue.sync([] {});
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(seen[i], i);
    EXPECT_FALSE(overlapped);
}

TEST(SerialQueue, SyncFromItsOwnWorkRunsInline)
{
    SerialQueue queue("test.reentrant");
    kittest::Waiter<bool> done;
    queue.async([&] {
        bool ran = false;
        queue.sync([&] { ran = queue.isCurrent(); });
        done.set(ran);
    });
    EXPECT_EQ(done.wait(), true);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, PendingWorkStillRunsWhenTheQueueIsDestroyed)
{
    kittest::Waiter<int> done;
    {
        SerialQueue queue("test.destroyed");
        queue.async([&] { done.set(7); });
    }
    EXPECT_EQ(done.wait(), 7);
}

TEST(SystemScheduler, RunsWorkForEveryDelayEvenHugeOnesWithoutOverflow)
{
    // An infinite or enormous delay must neither run at once nor crash; a
    // zero or negative one runs at once.
    std::atomic<bool> farRan{false};
    Scheduler::system()->runAfter(1e300, [&] { farRan = true; });
    Scheduler::system()->runAfter(std::numeric_limits<double>::infinity(), [&] { farRan = true; });
    kittest::Waiter<bool> soon;
    Scheduler::system()->runAfter(-5, [&] { soon.set(true); });
    EXPECT_EQ(soon.wait(), true);
    EXPECT_FALSE(farRan);
}

TEST(SerialQueue, WorkWaitingOnOtherQueuesDoesNotStarveThePool)
{
    // Many queues whose work each waits for work on another queue: with a
    // pool of fixed size every worker would wait and nothing would run.
    constexpr int count = 16;
    std::vector<std::unique_ptr<SerialQueue>> outer, inner;
    for (int i = 0; i < count; ++i) {
        outer.push_back(std::make_unique<SerialQueue>("test.outer"));
        inner.push_back(std::make_unique<SerialQueue>("test.inner"));
    }
    std::atomic<int> done{0};
    kittest::Waiter<bool> all;
    for (int i = 0; i < count; ++i)
        outer[i]->async([&, i] {
            inner[i]->sync([] {});
            if (++done == count)
                all.set(true);
        });
    EXPECT_EQ(all.wait(), true);
}
