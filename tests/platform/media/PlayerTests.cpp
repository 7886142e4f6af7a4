#include "platform/media/Player.h"

#include "platform/foundation/Dispatch.h"

#include "tests/support/AudioFileTest.h"
#include "tests/support/EventLoop.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

MediaTime at(double seconds) { return MediaTime::withSeconds(seconds, Player::kSampleRate); }

}  // namespace

class PlayerTest : public AudioFileTest {
protected:
    void SetUp() override { asset = Asset::assetWithPath(tone("song.wav", {.seconds = 1.0})); }

    std::shared_ptr<Asset> asset;
};

TEST_F(PlayerTest, PlaysInRealTimeAndPauseHoldsThePosition)
{
    Player player(asset, std::nullopt, AudioOutput::Kind::Null);
    EXPECT_EQ(player.currentTime(), MediaTime::zero());
    player.play();
    EXPECT_FLOAT_EQ(player.rate(), 1.0f);
    drainEvents(250);
    player.pause();
    const double paused = player.currentTime().seconds();
    EXPECT_GT(paused, 0.12);
    EXPECT_LT(paused, 0.45);
    drainEvents(100);
    EXPECT_DOUBLE_EQ(player.currentTime().seconds(), paused);
    player.play();
    drainEvents(100);
    EXPECT_GT(player.currentTime().seconds(), paused);
}

TEST_F(PlayerTest, EndOfItemWithNoActionKeepsTheRate)
{
    Player player(asset, std::nullopt, AudioOutput::Kind::Null);
    player.setActionAtItemEnd(Player::ActionAtItemEnd::None);
    int ends = 0;
    QObject::connect(&player, &Player::didPlayToEndTime, [&] { ++ends; });
    bool sought = false;
    player.seekToTime(at(0.9), [&](bool finished) { sought = finished; });
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
    player.seekToTime(at(1.0));
    player.play();
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 3000));
    EXPECT_FLOAT_EQ(player.rate(), 0.0f);
}

TEST_F(PlayerTest, ASeekInterruptedByAnotherReportsUnfinished)
{
    Player player(asset, std::nullopt, AudioOutput::Kind::Null);
    std::vector<std::pair<int, bool>> completions;
    player.seekToTime(at(0.2), [&](bool finished) { completions.push_back({1, finished}); });
    player.seekToTime(at(0.5), [&](bool finished) { completions.push_back({2, finished}); });
    ASSERT_TRUE(waitUntil([&] { return completions.size() == 2; }));
    EXPECT_EQ(completions, (std::vector<std::pair<int, bool>>{{1, false}, {2, true}}));
    EXPECT_EQ(player.currentTime(), at(0.5));
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
    drainEvents(300);
    EXPECT_GE(calls, 8);
    EXPECT_TRUE(onMain);
    player.removeTimeObserver(token);
    const int afterRemoval = calls;
    drainEvents(100);
    EXPECT_EQ(calls, afterRemoval);
}
