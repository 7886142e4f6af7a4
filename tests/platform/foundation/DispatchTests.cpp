#include "platform/foundation/Dispatch.h"
#include "platform/foundation/OperationQueue.h"
#include "tests/support/EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <mutex>
#include <set>
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

TEST(SerialQueue, RunsTasksInOrderOnOneThread)
{
    SerialQueue queue("com.kestrova.test");
    std::vector<int> order;
    std::set<std::thread::id> threads;
    for (int i = 0; i < 100; ++i)
        queue.async([&, i] {
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
        });
    queue.sync([] {});
    ASSERT_EQ(order.size(), 100u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
}

TEST(SerialQueue, SyncFromItsOwnTaskDoesNotDeadlock)
{
    SerialQueue queue("nested");
    bool inner = false;
    queue.sync([&] { queue.sync([&] { inner = true; }); });
    EXPECT_TRUE(inner);
}

TEST(SerialQueue, DestructionRunsWhatIsQueued)
{
    std::atomic<int> count{0};
    {
        SerialQueue queue("drain");
        for (int i = 0; i < 50; ++i)
            queue.async([&] { ++count; });
    }
    EXPECT_EQ(count, 50);
}

TEST(OperationQueue, CancelledPendingOperationNeverRuns)
{
    OperationQueue queue("test", 1);
    queue.setSuspended(true);
    std::atomic<bool> ran{false};
    auto op = queue.addOperation([&](Operation&) { ran = true; });
    EXPECT_FALSE(queue.firstOperationIsCancelled());
    op->cancel();
    EXPECT_TRUE(queue.firstOperationIsCancelled());
    queue.setSuspended(false);
    ASSERT_TRUE(waitUntil([&] { return op->isFinished(); }));
    EXPECT_FALSE(ran);
    EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueue, RunningOperationSeesItsOwnCancellationAsTheFirst)
{
    OperationQueue queue("test", 1);
    std::promise<void> started;
    std::atomic<bool> release{false};
    std::atomic<bool> sawCancelled{false};
    queue.addOperation([&](Operation& self) {
        started.set_value();
        while (!release)
            std::this_thread::yield();
        sawCancelled = self.isCancelled() && queue.firstOperationIsCancelled();
    });
    started.get_future().wait();
    queue.cancelAllOperations();
    release = true;
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(sawCancelled);
}

TEST(OperationQueue, SuspendHoldsPendingWorkUntilResumed)
{
    OperationQueue queue("test");
    queue.setSuspended(true);
    std::atomic<int> count{0};
    for (int i = 0; i < 10; ++i)
        queue.addOperation([&](Operation&) { ++count; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(queue.operations().size(), 10u);
    queue.setSuspended(false);
    ASSERT_TRUE(waitUntil([&] { return count == 10; }));
}

TEST(OperationQueue, OperationMayQueueItsSuccessor)
{
    OperationQueue queue("chain", OperationQueue::defaultMaxConcurrentOperationCount());
    std::atomic<int> steps{0};
    std::function<void(Operation&)> step = [&](Operation&) {
        if (++steps < 20)
            queue.addOperation(step);
    };
    queue.addOperation(step);
    ASSERT_TRUE(waitUntil([&] { return steps == 20 && queue.operationCount() == 0; }));
}

TEST(OperationQueue, RespectsItsConcurrencyLimit)
{
    OperationQueue queue("limited", 3);
    std::atomic<int> running{0}, peak{0}, done{0};
    for (int i = 0; i < 30; ++i)
        queue.addOperation([&](Operation&) {
            int now = ++running;
            int seen = peak;
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {}
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            --running;
            ++done;
        });
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(done, 30);
    EXPECT_LE(peak, 3);
    EXPECT_GE(peak, 2);
}

TEST(OperationQueue, CanBeDestroyedFromItsOwnOperation)
{
    auto* queue = new OperationQueue("self-destroying", 1);
    std::promise<void> done;
    queue->addOperation([&](Operation&) {
        delete queue;
        done.set_value();
    });
    EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(SerialQueue, CanBeDestroyedFromItsOwnTask)
{
    auto* queue = new SerialQueue("self-destroying");
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

namespace {

// What the queue observer heard, per thread, in order ("-" for the end of a task).
std::mutex heardMutex;
std::map<std::thread::id, std::vector<std::string>> heardByThread;

void hearQueue(const char* name)
{
    std::lock_guard lock(heardMutex);
    heardByThread[std::this_thread::get_id()].push_back(name ? name : "-");
}

}  // namespace

TEST(QueueObserver, HearsTheQueueOfEachTaskAndOperationOnItsThread)
{
    setQueueObserver(hearQueue);
    std::thread::id serialThread, operationThread;
    {
        SerialQueue serial("tolvan.test.observed");
        serial.sync([&] { serialThread = std::this_thread::get_id(); });
        serial.sync([] {});
        OperationQueue operations("tolvan.test.operations", 1);
        operations.addOperation([&](Operation&) { operationThread = std::this_thread::get_id(); });
        operations.waitUntilAllOperationsAreFinished();
    }
    setQueueObserver(nullptr);
    std::lock_guard lock(heardMutex);
    EXPECT_EQ(heardByThread[serialThread],
              (std::vector<std::string>{"tolvan.test.observed", "-", "tolvan.test.observed", "-"}));
    EXPECT_EQ(heardByThread[operationThread], (std::vector<std::string>{"tolvan.test.operations", "-"}));
    EXPECT_EQ(heardByThread.count(std::this_thread::get_id()), 0u) << "the caller of sync runs no queue";
}
