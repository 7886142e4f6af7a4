#include "platform/concurrency/OperationQueue.h"
#include "platform/concurrency/QueueNames.h"
#include "platform/concurrency/SerialQueue.h"
#include "tests/platform/concurrency/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace tolvan;
using concurrencytest::raisePeak;
using concurrencytest::waitUntil;

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
            raisePeak(peak, ++running);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            --running;
            ++done;
        });
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(done, 30);
    EXPECT_LE(peak, 3);
    EXPECT_GE(peak, 2);
}

TEST(OperationQueue, DestructorCancelsPendingAndWaitsForRunning)
{
    std::promise<void> started;
    std::atomic<bool> release{false}, runningEnded{false}, pendingRan{false};
    std::shared_ptr<Operation> pending;
    std::thread releaser;
    {
        OperationQueue queue("test.destroyed", 1);
        queue.addOperation([&](Operation&) {
            started.set_value();
            while (!release)
                std::this_thread::yield();
            runningEnded = true;
        });
        pending = queue.addOperation([&](Operation&) { pendingRan = true; });
        started.get_future().wait();
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            release = true;
        });
    }
    EXPECT_TRUE(runningEnded) << "the destructor returned while an operation ran";
    EXPECT_FALSE(pendingRan);
    EXPECT_TRUE(pending->isCancelled());
    EXPECT_TRUE(pending->isFinished());
    releaser.join();
}

TEST(OperationQueue, DestroyedWhileSuspendedFinishesItsPendingOperationsCancelled)
{
    std::shared_ptr<Operation> op;
    {
        OperationQueue queue("test.suspended", 2);
        queue.setSuspended(true);
        op = queue.addOperation([](Operation&) { FAIL() << "a cancelled operation ran"; });
    }
    EXPECT_TRUE(op->isFinished());
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

TEST(OperationQueue, WaitingFromAQueueTaskDoesNotStarveThePool)
{
    // Every worker of a small pool waits for operations that need a worker of
    // the same pool to run.
    WorkerPool pool(2);
    std::vector<std::unique_ptr<SerialQueue>> waiters;
    std::vector<std::unique_ptr<OperationQueue>> pieces;
    std::atomic<int> finished{0};
    for (int i = 0; i < 4; ++i) {
        waiters.push_back(std::make_unique<SerialQueue>("test.waiter", pool));
        pieces.push_back(std::make_unique<OperationQueue>("test.pieces", 2, pool));
    }
    for (int i = 0; i < 4; ++i)
        waiters[i]->async([&, i] {
            for (int piece = 0; piece < 3; ++piece)
                pieces[i]->addOperation([](Operation&) {});
            pieces[i]->waitUntilAllOperationsAreFinished();
            ++finished;
        });
    EXPECT_TRUE(waitUntil([&] { return finished == 4; }));
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
        OperationQueue operations("tolvan.test.operations", 1);
        operations.addOperation([&](Operation&) { operationThread = std::this_thread::get_id(); });
        operations.waitUntilAllOperationsAreFinished();
    }
    setQueueObserver(nullptr);
    std::lock_guard lock(heardMutex);
    EXPECT_EQ(heardByThread[serialThread].front(), "tolvan.test.observed");
    EXPECT_EQ(heardByThread[serialThread][1], "-");
    auto& operationHeard = heardByThread[operationThread];
    EXPECT_NE(std::find(operationHeard.begin(), operationHeard.end(), "tolvan.test.operations"), operationHeard.end());
    EXPECT_EQ(operationHeard.back(), "-");
    EXPECT_EQ(heardByThread.count(std::this_thread::get_id()), 0u) << "the caller of sync runs no queue";
}
