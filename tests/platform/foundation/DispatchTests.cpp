#include "platform/foundation/Dispatch.h"
#include "tests/support/EventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>
#include <vector>

using namespace tolvan;
using tolvan::test::waitUntil;

TEST(DispatchMain, NeverRunsInlineEvenFromTheMainThread)
{
    bool ran = false;
    dispatchMain([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(waitUntil([&] { return ran; }));
}

TEST(DispatchMain, RunsOnTheMainThreadInOrder)
{
    std::vector<int> order;
    std::atomic<bool> allOnMain{true};
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i)
            dispatchMain([&, i] {
                allOnMain = allOnMain && isMainThread();
                order.push_back(i);
            });
    });
    worker.join();
    ASSERT_TRUE(waitUntil([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(allOnMain);
}

TEST(DispatchMain, AndWaitBlocksTheCallerUntilDone)
{
    std::atomic<bool> ran{false};
    auto result = std::async(std::launch::async, [&] {
        dispatchMainAndWait([&] { ran = true; });
        return ran.load();
    });
    ASSERT_TRUE(waitUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(result.get());
}

TEST(DispatchMain, WorkFromManyQueuesKeepsEachQueuesOrder)
{
    constexpr int queues = 6, tasks = 50;
    std::vector<std::unique_ptr<SerialQueue>> senders;
    std::vector<std::vector<int>> received(queues);
    int total = 0;
    for (int q = 0; q < queues; ++q) {
        senders.push_back(std::make_unique<SerialQueue>("tolvan.test.sender"));
        for (int i = 0; i < tasks; ++i)
            senders.back()->async([&, q, i] {
                dispatchMain([&, q, i] {
                    received[q].push_back(i);
                    ++total;
                });
            });
    }
    ASSERT_TRUE(waitUntil([&] { return total == queues * tasks; }));
    for (const auto& one : received)
        EXPECT_TRUE(std::is_sorted(one.begin(), one.end()) && one.size() == std::size_t(tasks));
}

TEST(DispatchMain, AndWaitFromEveryWorkerOfThePoolStillLetsOtherQueuesRun)
{
    // Each queue's task waits for the main thread, which first waits for a
    // further queue: the waiting workers must leave room for it.
    const int count = WorkerPool::shared().threadLimit() + 2;
    std::vector<std::unique_ptr<SerialQueue>> waiting;
    SerialQueue further("tolvan.test.further");
    std::atomic<int> done{0};
    for (int i = 0; i < count; ++i) {
        waiting.push_back(std::make_unique<SerialQueue>("tolvan.test.waiting"));
        waiting.back()->async([&] {
            dispatchMainAndWait([&] { further.sync([] {}); });
            ++done;
        });
    }
    EXPECT_TRUE(waitUntil([&] { return done == count; }));
}
