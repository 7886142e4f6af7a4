#include "platform/media/AudioOutput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace tolvan;

TEST(NullAudioOutput, ConsumesSamplesInRealTime)
{
    std::atomic<long long> frames{0};
    std::atomic<bool> offCaller{true};
    const auto caller = std::this_thread::get_id();
    auto output = AudioOutput::create(44100, 2, [&](int16_t* out, std::size_t n) {
        offCaller = offCaller && std::this_thread::get_id() != caller;
        for (std::size_t i = 0; i < n * 2; ++i)
            out[i] = 1;
        frames += static_cast<long long>(n);
        return n;
    }, AudioOutput::Kind::Null);
    ASSERT_TRUE(output->isNull());
    const auto started = std::chrono::steady_clock::now();
    output->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    output->stop();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_NEAR(double(frames) / 44100.0, seconds, 0.08);
    EXPECT_TRUE(offCaller);

    const long long afterStop = frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(frames, afterStop);  // stopped outputs pull nothing
}

TEST(NullAudioOutput, RestartsAndToleratesARenderThatRunsDry)
{
    std::atomic<int> calls{0};
    auto output = AudioOutput::create(8000, 1, [&](int16_t*, std::size_t) { ++calls; return std::size_t(0); }, AudioOutput::Kind::Null);
    output->start();
    output->start();  // already running: no second thread
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    output->stop();
    output->stop();
    const int first = calls;
    EXPECT_GT(first, 0);
    output->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    output->stop();
    EXPECT_GT(calls, first);
}

TEST(AudioOutput, TestsNeverGetTheSoundDevice)
{
    auto output = AudioOutput::create(44100, 2, nullptr);
    EXPECT_TRUE(output->isNull());
}
