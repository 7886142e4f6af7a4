#include "platform/media/AssetReaderAudioMixOutput.h"
#include "platform/media/Composition.h"
#include "platform/media/MediaError.h"

#include "tests/support/AudioFixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr int kCompositionRate = 44100;

MediaTimeRange rangeAt(double start, double duration) { return MediaTimeRange::withSeconds(start, duration, kCompositionRate); }
MediaTime timeAt(double seconds) { return MediaTime::withSeconds(seconds, kCompositionRate); }

// Everything the asset's audio tracks give through a mix output.
std::vector<int16_t> readAll(const std::shared_ptr<Asset>& asset, std::optional<AudioMix> mix = std::nullopt)
{
    auto reader = AssetReader::assetReaderWithAsset(asset);
    auto output = AssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks(asset->tracksWithMediaType(MediaType::Audio), {});
    output->setAudioMix(std::move(mix));
    reader->addOutput(output);
    EXPECT_TRUE(reader->startReading());
    std::vector<int16_t> samples;
    int64_t expectedStart = 0;
    while (auto buffer = output->copyNextSampleBuffer()) {
        EXPECT_EQ(buffer->presentationTimeStamp(), MediaTime::make(expectedStart, kCompositionRate));
        expectedStart += int64_t(buffer->numberOfSamples());
        const auto* data = reinterpret_cast<const int16_t*>(buffer->data());
        samples.insert(samples.end(), data, data + buffer->numberOfSamples() * 2);
    }
    EXPECT_EQ(reader->status(), AssetReaderStatus::Completed);
    return samples;
}

std::vector<int16_t> frames(const std::vector<int16_t>& samples, int64_t first, int64_t count)
{
    return {samples.begin() + first * 2, samples.begin() + (first + count) * 2};
}

// A track that counts the streams opened on it.
class CountingTrack : public Track {
public:
    explicit CountingTrack(std::shared_ptr<Track> inner)
        : Track(inner->trackID(), inner->mediaType(), inner->formatDescriptions(), inner->duration()), inner_(std::move(inner))
    {
    }
    std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings& settings, Error* error) const override
    {
        ++opened;
        return inner_->openPcmStream(settings, error);
    }
    std::unique_ptr<PcmStream> openPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame, Error* error) const override
    {
        ++opened;
        return inner_->openPcmStreamFromFrame(settings, startFrame, error);
    }
    mutable int opened = 0;

private:
    std::shared_ptr<Track> inner_;
};

class CompositionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        song = dir.filePath("song.wav");
        ASSERT_TRUE(writeTone(song, {.seconds = 5.0, .noise = true}));
        const QByteArray pcm = decodeWithFfmpeg(song, kCompositionRate, 2);
        original.assign(reinterpret_cast<const int16_t*>(pcm.constData()), reinterpret_cast<const int16_t*>(pcm.constData() + pcm.size()));
        asset = Asset::assetWithPath(song);
        source = asset->tracksWithMediaType(MediaType::Audio).front();
    }

    QTemporaryDir dir;
    QString song;
    std::vector<int16_t> original;
    std::shared_ptr<Asset> asset;
    std::shared_ptr<Track> source;
};

}  // namespace

TEST_F(CompositionTest, StretchGapAndShortPieceAreSampleExact)
{
    auto composition = Composition::composition();
    auto track = composition->addMutableTrack(MediaType::Audio);
    ASSERT_TRUE(track->insertTimeRange(rangeAt(1.0, 2.0), source, timeAt(0)));
    ASSERT_TRUE(track->insertEmptyTimeRange(rangeAt(2.0, 1.5)));
    ASSERT_TRUE(track->insertTimeRange(rangeAt(1.0, 0.01), source, timeAt(3.5)));
    EXPECT_EQ(composition->duration(), timeAt(3.51));

    const auto out = readAll(composition);
    ASSERT_EQ(out.size(), size_t(154791) * 2);  // 3.51 s
    EXPECT_EQ(frames(out, 0, 88200), frames(original, 44100, 88200));
    EXPECT_EQ(frames(out, 88200, 66150), std::vector<int16_t>(66150 * 2, 0));
    EXPECT_EQ(frames(out, 154350, 441), frames(original, 44100, 441));
}

// A piece that repeats the beginning of an earlier one is served from the
// frames already read; a piece elsewhere in the source opens it again.
TEST_F(CompositionTest, RepeatedBeginningIsNotReadTwice)
{
    auto counting = std::make_shared<CountingTrack>(source);
    auto composition = Composition::composition();
    auto track = composition->addMutableTrack(MediaType::Audio);
    ASSERT_TRUE(track->insertTimeRange(rangeAt(1.0, 2.0), counting, timeAt(0)));
    ASSERT_TRUE(track->insertEmptyTimeRange(rangeAt(2.0, 0.5)));
    ASSERT_TRUE(track->insertTimeRange(rangeAt(1.0, 0.01), counting, timeAt(2.5)));
    ASSERT_TRUE(track->insertTimeRange(rangeAt(1.5, 0.2), counting, timeAt(2.51)));
    auto out = readAll(composition);
    EXPECT_EQ(counting->opened, 1);
    ASSERT_EQ(out.size(), size_t(119511) * 2);
    EXPECT_EQ(frames(out, 110250, 441), frames(original, 44100, 441));
    EXPECT_EQ(frames(out, 110691, 8820), frames(original, 66150, 8820));

    ASSERT_TRUE(track->insertTimeRange(rangeAt(4.0, 0.1), counting, timeAt(2.71)));
    counting->opened = 0;
    out = readAll(composition);
    EXPECT_EQ(counting->opened, 2);
    EXPECT_EQ(frames(out, 119511, 4410), frames(original, 176400, 4410));
}

TEST_F(CompositionTest, InsertingInsideAPieceSplitsIt)
{
    auto composition = Composition::composition();
    auto track = composition->addMutableTrack(MediaType::Audio);
    ASSERT_TRUE(track->insertTimeRange(rangeAt(0.0, 2.0), source, timeAt(0)));
    ASSERT_TRUE(track->insertEmptyTimeRange(rangeAt(1.0, 0.5)));
    const auto segments = track->segments();
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[2].target, rangeAt(1.5, 1.0));
    EXPECT_EQ(segments[2].sourceStart, timeAt(1.0));

    const auto out = readAll(composition);
    ASSERT_EQ(out.size(), size_t(2.5 * kCompositionRate) * 2);
    EXPECT_EQ(frames(out, 0, 44100), frames(original, 0, 44100));
    EXPECT_EQ(frames(out, 66150, 44100), frames(original, 44100, 44100));
}

TEST_F(CompositionTest, PiecesPastTheSourcesEndAreSilent)
{
    auto composition = Composition::composition();
    auto track = composition->addMutableTrack(MediaType::Audio);
    ASSERT_TRUE(track->insertTimeRange(rangeAt(4.5, 1.0), source, timeAt(0)));
    const auto out = readAll(composition);
    ASSERT_EQ(out.size(), size_t(kCompositionRate) * 2);
    EXPECT_EQ(frames(out, 0, 22050), frames(original, 198450, 22050));
    EXPECT_EQ(frames(out, 22050, 22050), std::vector<int16_t>(22050 * 2, 0));
}

// A piece whose source decodes to nothing is no stretch of silence: the
// composition's reader fails with the source's error, whatever lies around it.
TEST_F(CompositionTest, APieceThatDecodesToNothingFailsTheReading)
{
    const QString damaged = dir.filePath("damaged.flac");
    const QString flac = dir.filePath("whole.flac");
    ASSERT_TRUE(writeTone(flac, {.seconds = 3.0}));
    ASSERT_TRUE(writeFramesDamaged(flac, damaged));
    auto broken = Asset::assetWithPath(damaged)->tracksWithMediaType(MediaType::Audio).front();

    auto composition = Composition::composition();
    auto track = composition->addMutableTrack(MediaType::Audio);
    ASSERT_TRUE(track->insertTimeRange(rangeAt(0.5, 1.0), source, timeAt(0)));
    ASSERT_TRUE(track->insertTimeRange(rangeAt(1.0, 1.0), broken, timeAt(1.0)));
    ASSERT_TRUE(track->insertEmptyTimeRange(rangeAt(2.0, 0.5)));

    auto reader = AssetReader::assetReaderWithAsset(composition);
    auto output = AssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks(composition->tracksWithMediaType(MediaType::Audio), {});
    reader->addOutput(output);
    ASSERT_TRUE(reader->startReading());
    int64_t frames = 0;
    while (auto buffer = output->copyNextSampleBuffer())
        frames += int64_t(buffer->numberOfSamples());
    EXPECT_EQ(frames, kCompositionRate);  // the first piece, and nothing after it
    EXPECT_EQ(reader->status(), AssetReaderStatus::Failed);
    ASSERT_TRUE(reader->error());
    EXPECT_EQ(reader->error()->code, MediaErrorDecodeFailed);
}

TEST_F(CompositionTest, RefusesInvalidInsertions)
{
    auto composition = Composition::composition();
    auto track = composition->addMutableTrack(MediaType::Audio);
    Error error;
    EXPECT_FALSE(track->insertTimeRange(rangeAt(0, 1), source, timeAt(2), &error));  // past the end
    EXPECT_FALSE(track->insertTimeRange(rangeAt(0, 1), nullptr, timeAt(0), &error));
    EXPECT_FALSE(track->insertTimeRange(MediaTimeRange::make(MediaTime::invalid(), timeAt(1)), source, timeAt(0), &error));
    EXPECT_FALSE(composition->addMutableTrack(MediaType::Video)->insertTimeRange(rangeAt(0, 1), source, timeAt(0), &error));
    EXPECT_EQ(composition->duration(), MediaTime::zero());
}

TEST_F(CompositionTest, MixOutputSumsTracksAndAppliesTheMix)
{
    auto composition = Composition::composition();
    auto first = composition->addMutableTrack(MediaType::Audio);
    auto second = composition->addMutableTrack(MediaType::Audio);
    ASSERT_TRUE(first->insertTimeRange(rangeAt(0, 1), source, timeAt(0)));
    ASSERT_TRUE(second->insertTimeRange(rangeAt(0, 0.5), source, timeAt(0)));

    const auto sum = readAll(composition);
    ASSERT_EQ(sum.size(), size_t(kCompositionRate) * 2);
    for (int64_t i : {0, 1000, 22049})
        EXPECT_EQ(sum[i * 2], std::clamp(2 * int(original[i * 2]), -32767, 32767));
    EXPECT_EQ(frames(sum, 22050, 22050), frames(original, 22050, 22050));  // the second track has ended

    AudioMix mix;
    mix.inputParameters.emplace_back(first->trackID());
    mix.inputParameters.back().setVolume(0.5f, MediaTime::zero());
    mix.inputParameters.emplace_back(second->trackID());
    mix.inputParameters.back().setVolume(0.0f, MediaTime::zero());
    const auto halved = readAll(composition, mix);
    for (int64_t i : {0, 1000, 30000})
        EXPECT_EQ(halved[i * 2], int16_t(original[i * 2] * 0.5));
}

TEST_F(CompositionTest, MixedStreamsStartingLaterGiveTheSameFrames)
{
    AudioOutputSettings settings;
    auto tracks = asset->tracksWithMediaType(MediaType::Audio);
    tracks.push_back(tracks.front());  // two tracks: the summing path
    for (const auto& inputs : {std::vector<std::shared_ptr<Track>>{tracks.front()}, tracks}) {
        auto stream = openMixedPcmStream(inputs, settings, std::nullopt, nullptr, 100000);
        ASSERT_TRUE(stream);
        auto first = stream->nextBuffer();
        ASSERT_TRUE(first);
        const auto* samples = reinterpret_cast<const int16_t*>(first->data());
        const int scale = int(inputs.size());
        for (int64_t i : {0, 17, 4000})
            EXPECT_EQ(samples[i * 2], std::clamp(scale * int(original[(100000 + i) * 2]), -32767, 32767));
    }
}
