#include "source/engine/RingtonePreviewer.h"

#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtoneDescription.h"
#include "tests/platform/media/ManualPlayback.h"
#include "tests/source/engine/ExportFixtures.h"
#include "tests/support/AudioFileTest.h"
#include "tests/support/EventLoop.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

// Previewers play through the manual output here: each test takes exactly
// the stretch of playback it looks at.
class RingtonePreviewerTest : public AudioFileTest {
protected:
    void SetUp() override
    {
        qputenv("TOLVAN_AUDIO_OUTPUT", "manual");
        song = Asset::assetWithPath(tone("song.wav", {.seconds = 3.0}));
    }
    void TearDown() override { qputenv("TOLVAN_AUDIO_OUTPUT", "null"); }

    static bool pull(RingtonePreviewer& previewer, double seconds, std::vector<int16_t>* captured = nullptr)
    {
        return pullRendered(previewer.player().output(), std::size_t(std::llround(seconds * 44100)), captured);
    }

    std::shared_ptr<Asset> song;
};

TEST_F(RingtonePreviewerTest, ATonePlaysFromTheStartAndLoopsAfterItsGap)
{
    // 0.3 s of song, 0.2 s of gap and the short piece: one loop every 0.51 s.
    auto description =
        RingtoneDescription::descriptionWithAsset(song, RingtoneKind::Ringtone, ZNTTimeRangeMake(1.0, 0.3), 0.05, 0.05, 0.2, 1.0);
    auto previewer = description->previewer();
    ASSERT_TRUE(previewer);
    previewer->play();
    EXPECT_TRUE(previewer->playing());
    ASSERT_TRUE(pull(*previewer, 0.1));
    EXPECT_DOUBLE_EQ(previewer->currentTime(), 0.1);  // from the start
    ASSERT_TRUE(pull(*previewer, 0.41 + 0.1));          // through the gap and around again
    EXPECT_DOUBLE_EQ(previewer->currentTime(), 0.1);
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
    ASSERT_TRUE(pull(*previewer, 0.3));
    previewer->pause();
    EXPECT_EQ(playing.count(), 1);
    EXPECT_DOUBLE_EQ(previewer->currentTime(), 0.3);
    previewer->play();
    ASSERT_TRUE(pull(*previewer, 0.01));
    EXPECT_DOUBLE_EQ(previewer->currentTime(), 0.31);  // resumed, not started over
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
    EXPECT_TRUE(waitUntil([&] { return times.count() >= 3; }));
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

// What the phone will play is what the editor lets the user hear: one loop
// of the preview holds the samples of the exported file.
TEST_F(RingtonePreviewerTest, ThePreviewIsTheFile)
{
    for (const int rate : {44100, 48000}) {  // the second puts the fades' ends between frames
        SCOPED_TRACE(rate);
        const QString name = QStringLiteral("noise%1").arg(rate);
        auto source = Asset::assetWithPath(tone(name + ".wav", {.seconds = 3.0, .sampleRate = rate, .amplitude = 0.7, .noise = true}));
        auto description =
            RingtoneDescription::descriptionWithAsset(source, RingtoneKind::Ringtone, ZNTTimeRangeMake(0.5, 1.2), 0.3, 0.4, 0.5, 1.7);

        const QString path = dir.filePath(name + "-tone.wav");
        auto delegate = std::make_shared<CountingExportDelegate>();
        auto exporter = description->exporterWithDelegate(delegate, path, std::vector<MetadataItem>{}, nullptr);
        exportToTheEnd(exporter, *delegate);
        ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
        const QByteArray pcm = decodeWithFfmpeg(path, 44100, 2);
        const std::vector<int16_t> file(reinterpret_cast<const int16_t*>(pcm.constData()),
                                        reinterpret_cast<const int16_t*>(pcm.constData() + pcm.size()));
        ASSERT_EQ(file.size(), std::size_t(2 * 75411));  // 1.2 s + 0.5 s + 0.01 s

        auto previewer = description->previewer();
        previewer->play();
        std::vector<int16_t> heard;
        ASSERT_TRUE(pullRendered(previewer->player().output(), file.size() / 2, &heard));
        previewer->pause();
        ASSERT_EQ(heard.size(), file.size());
        for (std::size_t i = 0; i < file.size(); ++i)
            ASSERT_LE(std::abs(heard[i] - file[i]), 1) << "first differing frame " << i / 2 << ": heard " << heard[i] << ", file " << file[i];
    }
}
