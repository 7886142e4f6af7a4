#include "source/engine/RingtoneDescription.h"

#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtonePreviewer.h"
#include "tests/source/engine/ExportFixtures.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/VideoFixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <taglib/mp4file.h>

#include <cmath>

using namespace tolvan;
using namespace tolvan::test;

class RingtoneDescriptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path = dir.filePath("song.wav");
        ASSERT_TRUE(writeTone(path, {.seconds = 20.0, .sampleRate = 8000, .channels = 1}));
        song = Asset::assetWithPath(path);
    }

    std::shared_ptr<RingtoneDescription> describe(double fadeIn, double fadeOut, double gap, double volume = 1.0, double length = 10)
    {
        return RingtoneDescription::descriptionWithAsset(song, RingtoneKind::Ringtone, ZNTTimeRangeMake(3.0, length), fadeIn, fadeOut, gap, volume);
    }

    static void expectRamp(const VolumeRamp& ramp, float from, float to, double start, double duration)
    {
        EXPECT_FLOAT_EQ(ramp.startVolume, from);
        EXPECT_FLOAT_EQ(ramp.endVolume, to);
        EXPECT_NEAR(ramp.timeRange.start.seconds(), start, 1e-9);
        EXPECT_NEAR(ramp.timeRange.duration.seconds(), duration, 1e-9);
    }

    QTemporaryDir dir;
    std::shared_ptr<Asset> song;
};

TEST_F(RingtoneDescriptionTest, WithoutGapTheToneIsTheSelection)
{
    auto description = describe(2, 3, 0);
    auto composition = description->makeComposition();
    ASSERT_TRUE(composition);
    EXPECT_DOUBLE_EQ(composition->duration().seconds(), 10.0);
    auto track = std::dynamic_pointer_cast<CompositionTrack>(composition->tracks().front());
    ASSERT_EQ(track->segments().size(), 1u);  // neither the gap nor the short piece
    EXPECT_DOUBLE_EQ(track->segments()[0].sourceStart.seconds(), 3.0);

    const AudioMix mix = description->makeAudioMixForAsset(composition, 0.0);
    ASSERT_EQ(mix.inputParameters.size(), 1u);
    const auto& ramps = mix.inputParameters[0].volumeRamps();
    ASSERT_EQ(ramps.size(), 2u);
    expectRamp(ramps[0], 0, 1, 0, 2);
    expectRamp(ramps[1], 1, 0, 7, 3);
}

TEST_F(RingtoneDescriptionTest, TheGapIsSilenceFollowedByAShortPiece)
{
    auto description = describe(2, 3, 4);
    auto composition = description->makeComposition();
    EXPECT_NEAR(composition->duration().seconds(), 14.01, 1e-9);
    auto track = std::dynamic_pointer_cast<CompositionTrack>(composition->tracks().front());
    const auto segments = track->segments();
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[1].source, nullptr);
    EXPECT_NEAR(segments[1].target.start.seconds(), 10.0, 1e-9);
    EXPECT_NEAR(segments[2].target.start.seconds(), 14.0, 1e-9);
    EXPECT_NEAR(segments[2].sourceStart.seconds(), 3.0, 1e-9);
    EXPECT_NEAR(segments[2].target.duration.seconds(), 0.01, 1e-9);

    const AudioMix mix = description->makeAudioMixForAsset(composition, 0.0);
    const auto& parameters = mix.inputParameters[0];
    expectRamp(parameters.volumeRamps()[1], 1, 0, 7.01, 3);
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(MediaTime::withSeconds(10.5, 600)), 0.0f);  // silence from 10.01 s
}

TEST_F(RingtoneDescriptionTest, FadesThatDoNotFitAreScaledInProportion)
{
    auto description = describe(6, 6, 0);
    auto composition = description->makeComposition();
    const auto ramps = description->makeAudioMixForAsset(composition, 0.0).inputParameters[0].volumeRamps();
    expectRamp(ramps[0], 0, 1, 0, 5);
    expectRamp(ramps[1], 1, 0, 5, 5);

    auto uneven = describe(3, 9, 0);
    const auto scaled = uneven->makeAudioMixForAsset(uneven->makeComposition(), 0.0).inputParameters[0].volumeRamps();
    expectRamp(scaled[0], 0, 1, 0, 2.5);
    expectRamp(scaled[1], 1, 0, 2.5, 7.5);
}

TEST_F(RingtoneDescriptionTest, VolumeAdjustmentSetsTheLevelBetweenTheFades)
{
    auto description = describe(2, 3, 0, 1.5);
    const auto parameters = description->makeAudioMixForAsset(description->makeComposition(), 0.0).inputParameters[0];
    expectRamp(parameters.volumeRamps()[0], 0, 1.5, 0, 2);
    expectRamp(parameters.volumeRamps()[1], 1.5, 0, 7, 3);
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(MediaTime::withSeconds(5, 600)), 1.5f);
}

TEST_F(RingtoneDescriptionTest, NoFadesAndNoRoomNeverDivideByZero)
{
    auto description = describe(0, 0, 15, 1.0, 2);  // the gap is longer than the tone itself
    const auto composition = description->makeComposition();
    const auto ramps = description->makeAudioMixForAsset(composition, 0.0).inputParameters[0].volumeRamps();
    for (const VolumeRamp& ramp : ramps) {
        EXPECT_TRUE(ramp.timeRange.start.isNumeric());
        EXPECT_TRUE(std::isfinite(ramp.timeRange.duration.seconds()));
    }
    EXPECT_TRUE(description->makeAudioMixForAsset(nullptr, 0.0).inputParameters.empty());
}

TEST_F(RingtoneDescriptionTest, WithoutASongThereIsNothingToPlay)
{
    auto description = RingtoneDescription::descriptionWithAsset(nullptr, RingtoneKind::Ringtone, ZNTTimeRangeMake(0, 1), 0, 0, 0, 1);
    EXPECT_EQ(description->makeComposition(), nullptr);
    EXPECT_EQ(description->previewer(), nullptr);
}

namespace {

// The root mean square of the mono samples from one second to another.
double rms(const QByteArray& pcm, int rate, double from, double to)
{
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.constData());
    const qsizetype first = qsizetype(from * rate), last = std::min(qsizetype(to * rate), pcm.size() / 2);
    double sum = 0;
    for (qsizetype i = first; i < last; ++i)
        sum += double(samples[i]) * samples[i];
    return last > first ? std::sqrt(sum / double(last - first)) : 0.0;
}

}  // namespace

TEST_F(RingtoneDescriptionTest, TheExporterWritesTheToneWithItsMixAndKind)
{
    auto description = RingtoneDescription::descriptionWithAsset(song, RingtoneKind::AlertTone, ZNTTimeRangeMake(3.0, 10.0), 2, 3, 4, 1.0);
    auto delegate = std::make_shared<CountingExportDelegate>();
    const QString path = dir.filePath("tone.m4r");
    auto exporter = description->exporterWithDelegate(delegate, path, std::vector<MetadataItem>{}, nullptr);
    ASSERT_TRUE(exporter);
    EXPECT_EQ(exporter->outputURL(), QUrl::fromLocalFile(path));
    EXPECT_EQ(exporter->delegate(), delegate);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Unknown);  // not started
    exportToTheEnd(exporter, *delegate);
    ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed);

    // The composition: 10 s of song, 4 s of gap, 0.01 s of the song's start.
    const Probe file = probe(path);
    EXPECT_EQ(file.codec, "aac");
    EXPECT_NEAR(file.seconds, 14.01, 1024.0 / 44100);
    TagLib::MP4::File tags(path.toUtf8().constData());
    EXPECT_EQ(tags.tag()->item("stik").toByte(), 27);  // the kind: an alert tone

    // The mix: silent at the start, full between the fades, silent in the gap.
    const QByteArray pcm = decodeWithFfmpeg(path, 8000, 1);
    const double full = rms(pcm, 8000, 3.0, 6.0);
    EXPECT_GT(full, 5000);
    EXPECT_LT(rms(pcm, 8000, 0.0, 0.05), full * 0.05);
    EXPECT_NEAR(rms(pcm, 8000, 0.95, 1.05), full * 0.5, full * 0.05);  // half way up the 2 s fade-in
    EXPECT_LT(rms(pcm, 8000, 10.2, 13.9), 50);
}

TEST_F(RingtoneDescriptionTest, AVideoSongsPreviewShowsItsPictureAndItsToneHasNone)
{
    const QString path = dir.filePath("clip.mp4");
    ASSERT_TRUE(writeMovingPattern(path, {.seconds = 3.0}));
    auto clip = Asset::assetWithPath(path);
    auto description = RingtoneDescription::descriptionWithAsset(clip, RingtoneKind::Ringtone, ZNTTimeRangeMake(1.0, 1.5), 0.5, 0.5, 1, 1.0);

    EXPECT_TRUE(description->makeComposition()->tracksWithMediaType(MediaType::Video).empty()) << "the tone's composition";
    auto preview = description->makePreviewComposition();
    ASSERT_EQ(preview->tracksWithMediaType(MediaType::Video).size(), 1u);
    const auto audio = std::dynamic_pointer_cast<CompositionTrack>(preview->tracksWithMediaType(MediaType::Audio).front())->segments();
    const auto video = std::dynamic_pointer_cast<CompositionTrack>(preview->tracksWithMediaType(MediaType::Video).front())->segments();
    ASSERT_EQ(video.size(), audio.size()) << "stretch, gap and loop piece, as the sound";
    for (std::size_t i = 0; i < video.size(); ++i) {
        EXPECT_EQ(video[i].target, audio[i].target);
        EXPECT_EQ(video[i].sourceStart, audio[i].sourceStart);
        EXPECT_EQ(video[i].source, audio[i].source ? clip->tracksWithMediaType(MediaType::Video).front() : nullptr);
    }
    EXPECT_EQ(preview->duration(), description->makeComposition()->duration());
    EXPECT_TRUE(description->previewer()->player().hasVideo());

    // A song without video previews as before: sound alone.
    EXPECT_EQ(describe(0, 0, 1)->makePreviewComposition()->tracks().size(), 1u);

    auto delegate = std::make_shared<CountingExportDelegate>();
    const QString tone = dir.filePath("tone.m4r");
    auto exporter = description->exporterWithDelegate(delegate, tone, std::vector<MetadataItem>{}, nullptr);
    exportToTheEnd(exporter, *delegate);
    ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
    QString reason;
    const auto written = ffmpeg::openInput(tone, &reason);
    ASSERT_TRUE(written) << reason.toStdString();
    ASSERT_EQ(written->nb_streams, 1u) << "no picture goes into the tone";
    EXPECT_EQ(written->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
}
