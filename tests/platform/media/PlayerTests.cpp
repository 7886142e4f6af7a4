#include "platform/media/Player.h"

#include "platform/foundation/Dispatch.h"

#include "tests/platform/media/ManualPlayback.h"
#include "tests/platform/media/PcmWav.h"
#include "tests/support/AudioFileTest.h"
#include "tests/support/EventLoop.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace tolvan;
using namespace tolvan::test;

namespace {

MediaTime playerTime(double seconds) { return MediaTime::withSeconds(seconds, Player::kSampleRate); }

}  // namespace

class PlayerTest : public AudioFileTest {
protected:
    // A second of a 441 Hz sine, written here rather than by the ffmpeg
    // command line, so that these tests start no child process.
    void SetUp() override
    {
        const QString path = dir.filePath("song.wav");
        ASSERT_TRUE(writeBytes(path, pcmWav(Player::kSampleRate, 2, Player::kSampleRate, [](int64_t frame, int channel) {
            return int16_t(std::lround(16000 * std::sin(2 * M_PI * 441 * double(frame) / Player::kSampleRate + channel)));
        })));
        asset = Asset::assetWithPath(path);
    }

    std::shared_ptr<Asset> asset;
};

TEST_F(PlayerTest, PauseHoldsThePositionAndPlayResumesThere)
{
    Player player(asset, std::nullopt, AudioOutput::Kind::Manual);
    EXPECT_EQ(player.currentTime(), MediaTime::zero());
    player.play();
    EXPECT_FLOAT_EQ(player.rate(), 1.0f);
    ASSERT_TRUE(pullRendered(player.output(), 11025));
    player.pause();
    EXPECT_EQ(player.currentTime(), playerTime(0.25));
    int16_t frame[2];
    EXPECT_EQ(player.output().pull(frame, 1), 0u);  // a paused player renders nothing
    EXPECT_EQ(player.currentTime(), playerTime(0.25));
    player.play();
    ASSERT_TRUE(pullRendered(player.output(), 4410));
    EXPECT_EQ(player.currentTime(), playerTime(0.35));
    player.pause();
}

TEST_F(PlayerTest, ItsMixAndVolumeReachTheSamples)
{
    std::vector<int16_t> plain;
    {
        Player player(asset, std::nullopt, AudioOutput::Kind::Manual);
        player.play();
        ASSERT_TRUE(pullRendered(player.output(), 4410, &plain));
    }
    // Half volume from the start, then a ramp up to 1.0 over 0.05 … 0.1 s;
    // the player's volume of 1.5 on top.
    AudioMix mix;
    AudioMixInputParameters parameters(asset->tracks().front()->trackID());
    parameters.setVolume(0.5f, MediaTime::zero());
    parameters.setVolumeRamp(0.5f, 1.0f, MediaTimeRange::withSeconds(0.05, 0.05, Player::kSampleRate));
    mix.inputParameters.push_back(parameters);
    Player player(asset, mix, AudioOutput::Kind::Manual);
    player.setVolume(1.5f);
    player.play();
    std::vector<int16_t> mixed;
    ASSERT_TRUE(pullRendered(player.output(), 4410, &mixed));
    ASSERT_EQ(mixed.size(), plain.size());
    for (std::size_t i = 0; i < mixed.size(); ++i) {
        const int64_t frame = int64_t(i / 2);
        const double ramp = frame < 2205 ? 0.5 : 0.5 + 0.5 * double(frame - 2205) / 2205;
        ASSERT_NEAR(mixed[i], std::clamp(plain[i] * 1.5 * ramp, -32767.0, 32767.0), 1.001) << "at frame " << frame;
    }
}

TEST_F(PlayerTest, PlayersTakeTurnsDecodingAndEachPlaysItsWholeSong)
{
    // The song is longer than a player's ring, so each player's decoding
    // comes back for more while the other's waits for room.
    Player first(asset, std::nullopt, AudioOutput::Kind::Manual);
    Player second(asset, std::nullopt, AudioOutput::Kind::Manual);
    second.setVolume(0.5f);
    first.play();
    second.play();
    std::vector<int16_t> loud, quiet;
    for (int step = 0; step < 10; ++step) {
        ASSERT_TRUE(pullRendered(first.output(), 4410, &loud, 5000)) << "step " << step;
        ASSERT_TRUE(pullRendered(second.output(), 4410, &quiet, 5000)) << "step " << step;
    }
    ASSERT_EQ(loud.size(), std::size_t(2 * Player::kSampleRate));
    for (std::size_t i = 0; i < loud.size(); ++i) {
        const int64_t frame = int64_t(i / 2);
        const int16_t expected = int16_t(std::lround(16000 * std::sin(2 * M_PI * 441 * double(frame) / Player::kSampleRate + int(i % 2))));
        ASSERT_EQ(loud[i], expected) << "at frame " << frame;
        ASSERT_NEAR(quiet[i], expected * 0.5, 1.001) << "at frame " << frame;
    }
    EXPECT_EQ(first.currentTime(), playerTime(1.0));
    EXPECT_EQ(second.currentTime(), playerTime(1.0));
}

TEST_F(PlayerTest, EndOfItemWithNoActionKeepsTheRate)
{
    Player player(asset, std::nullopt, AudioOutput::Kind::Null);
    player.setActionAtItemEnd(Player::ActionAtItemEnd::None);
    int ends = 0;
    QObject::connect(&player, &Player::didPlayToEndTime, [&] { ++ends; });
    bool sought = false;
    player.seekToTime(playerTime(0.9), [&](bool finished) { sought = finished; });
    ASSERT_TRUE(waitUntil([&] { return sought; }));
    player.play();
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 3000));
    EXPECT_FLOAT_EQ(player.rate(), 1.0f);
    EXPECT_NEAR(player.currentTime().seconds(), 1.0, 0.001);
    drainEvents(100);
    EXPECT_EQ(ends, 1);  // told once
}

TEST_F(PlayerTest, EndOfItemPausesByDefault)
{
    Player player(asset, std::nullopt, AudioOutput::Kind::Null);
    int ends = 0;
    QObject::connect(&player, &Player::didPlayToEndTime, [&] { ++ends; });
    player.seekToTime(playerTime(1.0));
    player.play();
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 3000));
    EXPECT_FLOAT_EQ(player.rate(), 0.0f);
}

TEST_F(PlayerTest, ASeekInterruptedByAnotherReportsUnfinished)
{
    Player player(asset, std::nullopt, AudioOutput::Kind::Null);
    std::vector<std::pair<int, bool>> completions;
    player.seekToTime(playerTime(0.2), [&](bool finished) { completions.push_back({1, finished}); });
    player.seekToTime(playerTime(0.5), [&](bool finished) { completions.push_back({2, finished}); });
    ASSERT_TRUE(waitUntil([&] { return completions.size() == 2; }));
    EXPECT_EQ(completions, (std::vector<std::pair<int, bool>>{{1, false}, {2, true}}));
    EXPECT_EQ(player.currentTime(), playerTime(0.5));
}

TEST_F(PlayerTest, PeriodicObserverRunsOnTheMainThreadWhilePlaying)
{
    Player player(asset, std::nullopt, AudioOutput::Kind::Null);
    int calls = 0;
    bool onMain = true;
    const int token = player.addPeriodicTimeObserverForInterval(MediaTime::make(1, 60), [&](const MediaTime&) {
        ++calls;
        onMain = onMain && isMainThread();
    });
    drainEvents(100);
    EXPECT_EQ(calls, 0);  // not while paused
    player.play();
    EXPECT_TRUE(waitUntil([&] { return calls >= 3; }));
    EXPECT_TRUE(onMain);
    player.removeTimeObserver(token);
    const int afterRemoval = calls;
    drainEvents(100);
    EXPECT_EQ(calls, afterRemoval);
}
