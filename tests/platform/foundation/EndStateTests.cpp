#include "platform/foundation/EndState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace tolvan;

namespace {
enum class JobStatus { Waiting, Running, Completed, Failed, Cancelled };
}

TEST(EndState, TheFirstEndWinsAndKeepsItsError)
{
    EndState<JobStatus> state(JobStatus::Waiting);
    EXPECT_TRUE(state.advance(JobStatus::Running));
    EXPECT_TRUE(state.end(JobStatus::Failed, Error{"d", 7, "disk full"}));
    EXPECT_FALSE(state.end(JobStatus::Cancelled));
    EXPECT_FALSE(state.end(JobStatus::Completed));
    EXPECT_FALSE(state.advance(JobStatus::Running));
    EXPECT_EQ(state.status(), JobStatus::Failed);
    ASSERT_TRUE(state.error().has_value());
    EXPECT_EQ(state.error()->code, 7);
}

TEST(EndState, AdvancingIsNotAnEnd)
{
    EndState<JobStatus> state(JobStatus::Waiting);
    EXPECT_TRUE(state.advance(JobStatus::Running));
    EXPECT_FALSE(state.hasEnded());
    EXPECT_EQ(state.status(), JobStatus::Running);
    EXPECT_FALSE(state.error().has_value());
    EXPECT_TRUE(state.end(JobStatus::Cancelled));
    EXPECT_TRUE(state.hasEnded());
    EXPECT_FALSE(state.error().has_value());
}

TEST(EndState, RacingEndsLetExactlyOneThrough)
{
    for (int round = 0; round < 50; ++round) {
        EndState<JobStatus> state(JobStatus::Running);
        std::atomic<int> winners{0};
        std::vector<std::thread> threads;
        for (auto status : {JobStatus::Completed, JobStatus::Failed, JobStatus::Cancelled, JobStatus::Failed})
            threads.emplace_back([&, status] {
                if (state.end(status, status == JobStatus::Failed ? std::optional(Error{"d", 1, "x"}) : std::nullopt))
                    ++winners;
            });
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(winners.load(), 1);
        // The error belongs to the status that won.
        EXPECT_EQ(state.error().has_value(), state.status() == JobStatus::Failed);
    }
}
