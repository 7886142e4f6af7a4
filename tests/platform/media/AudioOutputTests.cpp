#include "platform/media/AudioOutput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace tolvan;

// The null output paces its pulls by the clock from its first pull on: over
// any stretch it has consumed the frames of the time that passed, never more,
// and it catches up after a late wake instead of drifting behind.
TEST(NullAudioOutput, ConsumesSamplesInRealTime)
{
    using Clock = std::chrono::steady_clock;
    std::atomic<long long> frames{0};
    std::atomic<bool> offCaller{true};
    std::atomic<Clock::rep> firstPull{0};
    const auto caller = std::this_thread::get_id();
    auto output = AudioOutput::create(44100, 2, [&](int16_t* out, std::size_t n) {
        Clock::rep none = 0;
        firstPull.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
        offCaller = offCaller && std::this_thread::get_id() != caller;
        for (std::size_t i = 0; i < n * 2; ++i)
            out[i] = 1;
        frames += static_cast<long long>(n);
        return n;
    }, AudioOutput::Kind::Null);
    ASSERT_TRUE(output->isNull());
    const auto beforeStart = Clock::now();
    output->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const long long consumed = frames;
    const auto now = Clock::now();
    ASSERT_NE(firstPull.load(), 0);
    // The output's clock starts between these two moments; a thread that is
    // late to its first pull delivers the time it missed in that pull.
    const double sinceStart = std::chrono::duration<double>(now - beforeStart).count();
    const double sinceFirstPull = std::chrono::duration<double>(now - Clock::time_point(Clock::duration(firstPull.load()))).count();
    output->stop();
    EXPECT_LE(double(consumed) / 44100.0, sinceStart + 0.05) << "ahead of the clock";
    EXPECT_GE(double(consumed) / 44100.0, sinceFirstPull - 0.15) << "behind the clock";
    EXPECT_TRUE(offCaller);

    const long long afterStop = frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(frames, afterStop);  // stopped outputs pull nothing
}

TEST(NullAudioOutput, RestartsAndToleratesARenderThatRunsDry)
{
    std::atomic<int> calls{0};
    auto output = AudioOutput::create(8000, 1, [&](int16_t*, std::size_t) { ++calls; return std::size_t(0); }, AudioOutput::Kind::Null);
    auto pullsWithin = [&](int atLeast) {
        for (int waited = 0; waited < 5000 && calls < atLeast; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return calls >= atLeast;
    };
    output->start();
    output->start();  // already running: no second thread
    ASSERT_TRUE(pullsWithin(2)) << "a render that gives nothing is asked again";
    output->stop();
    output->stop();
    const int first = calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(calls, first) << "stopped";
    output->start();
    EXPECT_TRUE(pullsWithin(first + 1)) << "restarted";
    output->stop();
}

TEST(AudioOutput, TestsNeverGetTheSoundDevice)
{
    auto output = AudioOutput::create(44100, 2, nullptr);
    EXPECT_TRUE(output->isNull());
}
