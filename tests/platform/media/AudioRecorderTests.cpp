// The recorder writes exactly the frames it was fed, ends timed recordings at
// their frame, meters what it heard, and reports every failure.

#include "platform/media/AudioRecorder.h"

#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <vector>

using namespace tolvan;
using namespace tolvan::test;

namespace {

// An input the test feeds by hand, as the sound card would.
struct FakeInput : AudioInput {
    static inline FakeInput* current = nullptr;
    static inline bool available = true;
    Sink sink;
    bool start(Sink s) override
    {
        if (!available)
            return false;
        sink = std::move(s);
        current = this;
        return true;
    }
    void stop() override { sink = nullptr; }
    ~FakeInput() override { if (current == this) current = nullptr; }

    static void feed(const std::vector<int16_t>& frames)
    {
        if (current && current->sink)
            current->sink(frames.data(), frames.size());
    }
};

struct RecordingDelegate : AudioRecorderDelegate {
    std::vector<bool> finishes;
    std::vector<Error> errors;
    void audioRecorderDidFinishRecording(AudioRecorder&, bool successfully) override { finishes.push_back(successfully); }
    void audioRecorderEncodeErrorDidOccur(AudioRecorder&, const Error& error) override { errors.push_back(error); }
};

std::vector<int16_t> ramp(int first, std::size_t count)
{
    std::vector<int16_t> frames(count);
    for (std::size_t i = 0; i < count; ++i)
        frames[i] = int16_t((first + int(i)) % 30000);
    return frames;
}

std::vector<int16_t> samplesOf(const QByteArray& pcm)
{
    return {reinterpret_cast<const int16_t*>(pcm.constData()), reinterpret_cast<const int16_t*>(pcm.constData() + pcm.size())};
}

class AudioRecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeInput::available = true;
        AudioInput::setFactory([](int, int) { return std::make_unique<FakeInput>(); });
    }
    void TearDown() override { AudioInput::setFactory(nullptr); }

    std::unique_ptr<AudioRecorder> make(const QString& name, int rate = 8000)
    {
        Error error;
        auto recorder = AudioRecorder::create(name == "/dev/null" ? name : dir.filePath(name), {.sampleRate = rate, .channels = 1}, &error);
        EXPECT_TRUE(recorder) << error.description().toStdString();
        if (recorder)
            recorder->setDelegate(&delegate);
        return recorder;
    }

    QTemporaryDir dir;
    RecordingDelegate delegate;
};

}  // namespace

TEST_F(AudioRecorderTest, ATimedRecordingEndsAtItsFrameWithTheFramesItHeard)
{
    auto recorder = make("take.caf");
    ASSERT_TRUE(recorder->recordForDuration(1.0));
    EXPECT_TRUE(recorder->recording());
    FakeInput::feed(ramp(0, 3000));
    FakeInput::feed(ramp(3000, 3000));
    FakeInput::feed(ramp(6000, 4000));  // runs 2,000 frames past the second
    ASSERT_TRUE(waitUntil([&] { return !delegate.finishes.empty(); }));
    EXPECT_FALSE(recorder->recording());
    EXPECT_EQ(delegate.finishes, std::vector<bool>{true});
    EXPECT_TRUE(delegate.errors.empty());
    EXPECT_EQ(samplesOf(decodeWithFfmpeg(recorder->path(), 8000, 1)), ramp(0, 8000));

    drainEvents();
    EXPECT_EQ(delegate.finishes.size(), 1u) << "one end per recording";
}

TEST_F(AudioRecorderTest, StoppingEndsTheRecordingAndASecondRecordingReplacesTheFile)
{
    auto recorder = make("take.caf");
    ASSERT_TRUE(recorder->record());
    FakeInput::feed(ramp(100, 5000));
    recorder->stop();
    FakeInput::feed(ramp(0, 100));  // heard after the stop: not recorded
    ASSERT_TRUE(waitUntil([&] { return delegate.finishes.size() == 1; }));
    EXPECT_EQ(samplesOf(decodeWithFfmpeg(recorder->path(), 8000, 1)), ramp(100, 5000));

    ASSERT_TRUE(recorder->record());
    FakeInput::feed(ramp(7, 800));
    recorder->stop();
    ASSERT_TRUE(waitUntil([&] { return delegate.finishes.size() == 2; }));
    EXPECT_EQ(samplesOf(decodeWithFfmpeg(recorder->path(), 8000, 1)), ramp(7, 800));
}

TEST_F(AudioRecorderTest, MetersReadTheFramesSinceTheLastUpdate)
{
    auto recorder = make("/dev/null");
    recorder->setMeteringEnabled(true);
    ASSERT_TRUE(recorder->record());
    recorder->updateMeters();
    EXPECT_EQ(recorder->peakPowerForChannel(0), -160.0f) << "nothing heard yet is silence, not NaN";
    EXPECT_EQ(recorder->averagePowerForChannel(0), -160.0f);

    FakeInput::feed(std::vector<int16_t>(400, 16384));  // half of full scale
    recorder->updateMeters();
    EXPECT_NEAR(recorder->peakPowerForChannel(0), -6.02, 0.01);
    EXPECT_NEAR(recorder->averagePowerForChannel(0), -6.02, 0.01);

    std::vector<int16_t> square(400);
    for (std::size_t i = 0; i < square.size(); ++i)
        square[i] = i % 2 ? -32768 : 0;
    FakeInput::feed(square);
    recorder->updateMeters();
    EXPECT_NEAR(recorder->peakPowerForChannel(0), 0.0, 0.01);
    EXPECT_NEAR(recorder->averagePowerForChannel(0), -3.01, 0.01);  // RMS of a half-on square

    recorder->updateMeters();
    EXPECT_EQ(recorder->peakPowerForChannel(0), -160.0f);
    EXPECT_EQ(recorder->peakPowerForChannel(3), -160.0f) << "a channel the recorder lacks";
    recorder->stop();
    drainEvents();
    EXPECT_TRUE(delegate.finishes.empty()) << "a meter writes no file and finishes none";
}

TEST_F(AudioRecorderTest, WhatCannotStartSaysSo)
{
    Error error;
    EXPECT_FALSE(AudioRecorder::create(dir.filePath("missing/take.caf"), {}, &error));
    EXPECT_FALSE(error.message.isEmpty());
    EXPECT_FALSE(AudioRecorder::create(dir.filePath("take.caf"), {.sampleRate = 0}, &error));
    EXPECT_FALSE(AudioRecorder::create(dir.filePath("take.caf"), {.channels = 0}, &error));

    auto recorder = make("take.caf");
    EXPECT_FALSE(recorder->recordForDuration(0));
    EXPECT_FALSE(recorder->recordForDuration(std::nan("")));
    FakeInput::available = false;  // no microphone
    EXPECT_FALSE(recorder->record());
    EXPECT_FALSE(recorder->recording());
    drainEvents();
    EXPECT_TRUE(delegate.finishes.empty());
}

// A disk that fills up mid-recording ends it unsuccessfully, with the error.
TEST_F(AudioRecorderTest, AWriteFailureEndsTheRecordingUnsuccessfully)
{
    auto recorder = make("take.caf", 44100);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(recorder->record());
    for (int i = 0; i < 10; ++i)
        FakeInput::feed(ramp(i, 4410));
    recorder->stop();
    const bool ended = waitUntil([&] { return !delegate.finishes.empty(); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(ended);
    EXPECT_EQ(delegate.finishes, std::vector<bool>{false});
    ASSERT_EQ(delegate.errors.size(), 1u);
    EXPECT_EQ(delegate.errors[0].domain, QStringLiteral("AVFoundationErrorDomain"));
}

TEST_F(AudioRecorderTest, ARecorderGoneBeforeItsEndTellsNobody)
{
    auto recorder = make("take.caf");
    ASSERT_TRUE(recorder->record());
    FakeInput::feed(ramp(0, 100));
    recorder.reset();
    drainEvents(200);
    EXPECT_TRUE(delegate.finishes.empty());
}
