#include "source/engine/RingtonePreviewer.h"

#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/RingtoneDescription.h"
#include "tests/support/AudioFileTest.h"
#include "tests/support/EventLoop.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

class RingtonePreviewerTest : public AudioFileTest {
protected:
    void SetUp() override { song = Asset::assetWithPath(tone("song.wav", {.seconds = 3.0})); }

    std::shared_ptr<Asset> song;
};

TEST_F(RingtonePreviewerTest, ATonePlaysFromTheStartAndLoopsAfterItsGap)
{
    // 0.3 s of song, 0.2 s of gap and the short piece: one loop every 0.51 s.
    auto description = RingtoneDescription::descriptionWithAsset(song, RingtoneKind::Ringtone, ZNTTimeRangeMake(1.0, 0.3), 0.05, 0.05, 0.2, 1.0);
    auto previewer = description->previewer();
    ASSERT_TRUE(previewer);
    previewer->play();
    EXPECT_TRUE(previewer->playing());

    // From the start, through the stretch into the gap, and around again.
    ASSERT_TRUE(waitUntil([&] { return previewer->currentTime() > 0.02 && previewer->currentTime() < 0.25; }, 2000));
    ASSERT_TRUE(waitUntil([&] { return previewer->currentTime() > 0.4; }, 2000));
    ASSERT_TRUE(waitUntil([&] { return previewer->currentTime() < 0.2; }, 2000));
    EXPECT_TRUE(previewer->playing());  // looping needs no further call
    previewer->pause();
}

TEST_F(RingtonePreviewerTest, PauseAndPlayResumeWhereItStood)
{
    auto previewer = RingtonePreviewer::previewerWithAsset(song, std::nullopt);
    QSignalSpy playing(previewer.get(), &RingtonePreviewer::playingChanged);
    previewer->pause();  // not playing: nothing announced
    EXPECT_EQ(playing.count(), 0);

    previewer->play();
    drainEvents(300);
    previewer->pause();
    EXPECT_EQ(playing.count(), 1);
    const double stoppedAt = previewer->currentTime();
    ASSERT_GT(stoppedAt, 0.1);
    previewer->play();
    drainEvents(30);
    EXPECT_GE(previewer->currentTime(), stoppedAt);
    EXPECT_LT(previewer->currentTime(), stoppedAt + 0.2);  // resumed, not started over
    previewer->pause();
}

TEST_F(RingtonePreviewerTest, TimeIsAnnouncedOnlyWhenAudible)
{
    auto previewer = RingtonePreviewer::previewerWithAsset(song, std::nullopt);
    QSignalSpy times(previewer.get(), &RingtonePreviewer::currentTimeChanged);
    previewer->setVolume(0.0f);
    previewer->play();
    drainEvents(200);
    EXPECT_EQ(times.count(), 0);
    previewer->setVolume(0.5f);
    drainEvents(200);
    EXPECT_GE(times.count(), 5);
    previewer->pause();
}

TEST_F(RingtonePreviewerTest, PlayAtTimeStartsThereAndAnInterruptedSeekIsLogged)
{
    ZNTAnalytics::resetForTesting();
    auto previewer = RingtonePreviewer::previewerWithAsset(song, std::nullopt);
    previewer->playAtTime(1.0);
    previewer->playAtTime(2.0);  // interrupts the first seek
    ASSERT_TRUE(waitUntil([&] { return previewer->playing(); }));
    EXPECT_GE(previewer->currentTime(), 2.0);
    const auto log = ZNTAnalytics::eventLog();
    ASSERT_TRUE(log.has_value());
    ASSERT_EQ(log->size(), 1);
    EXPECT_EQ(log->first().value("event").toString(), "AVPlayer seekToTime: did not finish");
    EXPECT_TRUE(log->first().value("parameters").toMap().contains("player"));
    previewer->pause();
}

TEST_F(RingtonePreviewerTest, NoAssetNoPreviewer)
{
    EXPECT_EQ(RingtonePreviewer::previewerWithAsset(nullptr, std::nullopt), nullptr);
}
