#include "platform/media/AssetReader.h"
#include "platform/media/MediaError.h"

#include "tests/support/AudioFileTest.h"
#include "tests/support/FrameComparison.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

using namespace tolvan;
using namespace tolvan::test;

namespace {

struct ReadResult {
    QByteArray bytes;
    std::vector<MediaTime> times;
    std::vector<std::size_t> frames;
    AssetReaderStatus status = AssetReaderStatus::Unknown;
    std::optional<Error> error;
};

class AssetReaderTest : public AudioFileTest {
protected:

    static ReadResult readAll(const std::shared_ptr<Asset>& asset, const AudioOutputSettings& settings, int track = 0)
    {
        ReadResult result;
        auto reader = AssetReader::assetReaderWithAsset(asset);
        auto tracks = asset->tracksWithMediaType(MediaType::Audio);
        auto output = AssetReaderTrackOutput::assetReaderTrackOutputWithTrack(tracks.at(track), settings);
        reader->addOutput(output);
        reader->startReading();
        while (auto buffer = output->copyNextSampleBuffer()) {
            result.times.push_back(buffer->presentationTimeStamp());
            result.frames.push_back(buffer->numberOfSamples());
            result.bytes.append(reinterpret_cast<const char*>(buffer->data()), qsizetype(buffer->dataLength()));
        }
        result.status = reader->status();
        result.error = reader->error();
        return result;
    }
};

}  // namespace

TEST_F(AssetReaderTest, SixteenBitOutputMatchesTheFfmpegCommandLine)
{
    // Same downmix, resampling and format as ffmpeg -ac 1 -ar 8000.
    for (const char* name : {"song.mp3", "song.m4a", "song.wav"}) {
        const QString path = tone(name, {.seconds = 1.5, .frequency = 300, .amplitude = 0.6});
        // The first reader takes the file the asset opened; a second one
        // opens it again, and both read the same.
        auto asset = Asset::assetWithPath(path);
        const ReadResult first = readAll(asset, {.sampleRate = 8000, .channels = 1, .bitDepth = 16});
        const ReadResult second = readAll(asset, {.sampleRate = 8000, .channels = 1, .bitDepth = 16});
        EXPECT_EQ(first.status, AssetReaderStatus::Completed) << name;
        EXPECT_TRUE(sameSamples16(first.bytes, decodeWithFfmpeg(path, 8000, 1), 1)) << name;
        EXPECT_TRUE(sameSamples16(second.bytes, first.bytes, 1)) << name;
    }
}

TEST_F(AssetReaderTest, BuffersAreContiguousAndCountedInOutputFrames)
{
    const QString path = tone("long.wav", {.seconds = 3.0, .sampleRate = 48000});
    const ReadResult result = readAll(Asset::assetWithPath(path), {.sampleRate = 8000, .channels = 2, .bitDepth = 16});
    ASSERT_GT(result.times.size(), 1u);
    int64_t expected = 0;
    for (std::size_t i = 0; i < result.times.size(); ++i) {
        EXPECT_EQ(result.times[i], MediaTime::make(expected, 8000));
        expected += int64_t(result.frames[i]);
    }
    EXPECT_EQ(expected, 24000);
    EXPECT_EQ(result.bytes.size(), 24000 * 4);
}

TEST_F(AssetReaderTest, EightBitOutputIsSigned)
{
    const QString path = tone("loud.wav", {.seconds = 0.5, .frequency = 200, .amplitude = 0.9});
    const ReadResult wide = readAll(Asset::assetWithPath(path), {.sampleRate = 8000, .channels = 1, .bitDepth = 16});
    const ReadResult narrow = readAll(Asset::assetWithPath(path), {.sampleRate = 8000, .channels = 1, .bitDepth = 8});
    ASSERT_EQ(narrow.bytes.size() * 2, wide.bytes.size());
    int negatives = 0;
    for (qsizetype i = 0; i < narrow.bytes.size(); ++i) {
        int16_t sample;
        std::memcpy(&sample, wide.bytes.constData() + 2 * i, 2);
        EXPECT_NEAR(int8_t(narrow.bytes[i]), sample / 256.0, 1.0) << i;
        negatives += int8_t(narrow.bytes[i]) < -100;
    }
    EXPECT_GT(negatives, 0);
}

TEST_F(AssetReaderTest, EachTrackOfAFileIsReadOnItsOwn)
{
    const QString path = dir.filePath("two.m4a");
    ASSERT_TRUE(writeMultiTrack(path, {{.seconds = 1.0, .channels = 6, .amplitude = 0.0},
                                       {.seconds = 1.0, .channels = 2, .amplitude = 0.8}}));
    auto asset = Asset::assetWithPath(path);
    ASSERT_EQ(asset->tracks().size(), 2u);
    auto peak = [](const QByteArray& bytes) {
        int peak = 0;
        for (char byte : bytes)
            peak = std::max(peak, std::abs(int(int8_t(byte))));
        return peak;
    };
    const AudioOutputSettings settings{.sampleRate = 8000, .channels = 1, .bitDepth = 8};
    EXPECT_EQ(peak(readAll(asset, settings, 0).bytes), 0);
    EXPECT_GT(peak(readAll(asset, settings, 1).bytes), 60);
}

TEST_F(AssetReaderTest, TruncatedFilesReadAsFarAsTheyGo)
{
    const QString whole = tone("whole.mp3", {.seconds = 4.0});
    const QString cut = dir.filePath("cut.mp3");
    ASSERT_TRUE(writeTruncated(whole, cut, 0.5));
    const ReadResult result = readAll(Asset::assetWithPath(cut), {.sampleRate = 8000, .channels = 1, .bitDepth = 8});
    EXPECT_EQ(result.status, AssetReaderStatus::Completed);
    EXPECT_NEAR(result.bytes.size(), 16000, 2000);
}

TEST_F(AssetReaderTest, DamagedPacketsAreSkipped)
{
    const QString whole = tone("whole.m4a", {.seconds = 4.0, .noise = true});
    QFile file(whole);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(file.size() / 2);
    file.write(QByteArray(3000, '\x5a'));  // garbage over a few packets in the middle
    file.close();
    const ReadResult result = readAll(Asset::assetWithPath(whole), {.sampleRate = 8000, .channels = 1, .bitDepth = 8});
    EXPECT_EQ(result.status, AssetReaderStatus::Completed);
    EXPECT_GT(result.bytes.size(), 30000);  // of 32,000 frames, only the damaged ones are missing
}

// A file whose header lists an audio track that decodes to nothing has not
// been read: the reader fails with the reason instead of completing empty,
// from the start and from any frame.
TEST_F(AssetReaderTest, ATrackThatDecodesToNothingFailsTheReader)
{
    const QString cut = dir.filePath("cut.m4a");
    ASSERT_TRUE(writeMediaDataCutOff(tone("whole.m4a", {.seconds = 4.0, .encoderOptions = {"-movflags", "+faststart"}}), cut));
    const QString damaged = dir.filePath("damaged.flac");
    ASSERT_TRUE(writeFramesDamaged(tone("whole.flac", {.seconds = 4.0}), damaged));
    const AudioOutputSettings settings{.sampleRate = 8000, .channels = 1, .bitDepth = 8};
    for (const QString& path : {cut, damaged}) {
        SCOPED_TRACE(path.toStdString());
        auto asset = Asset::assetWithPath(path);
        ASSERT_FALSE(asset->loadError());
        ASSERT_NEAR(asset->duration().seconds(), 4.0, 0.1);  // the header still claims the song
        const ReadResult whole = readAll(asset, settings);
        EXPECT_TRUE(whole.bytes.isEmpty());
        EXPECT_EQ(whole.status, AssetReaderStatus::Failed);
        ASSERT_TRUE(whole.error);
        EXPECT_EQ(whole.error->domain, AVFoundationErrorDomain);
        EXPECT_EQ(whole.error->code, MediaErrorDecodeFailed);
        EXPECT_FALSE(whole.error->message.isEmpty());

        Error error;
        auto fromFrame = asset->tracks().front()->openPcmStreamFromFrame(settings, 8000, &error);
        ASSERT_TRUE(fromFrame);
        EXPECT_FALSE(fromFrame->nextBuffer());
        ASSERT_TRUE(fromFrame->error());
        EXPECT_EQ(fromFrame->error()->code, MediaErrorDecodeFailed);
    }

    // A song whose audio is whole reads to the end as before.
    const ReadResult good = readAll(Asset::assetWithPath(dir.filePath("whole.flac")), settings);
    EXPECT_EQ(good.status, AssetReaderStatus::Completed);
    EXPECT_EQ(good.bytes.size(), 32000);
}

TEST_F(AssetReaderTest, ReadersRefuseWhatTheyCannotRead)
{
    const QString text = dir.filePath("text.wav");
    ASSERT_TRUE(writeBytes(text, QByteArray("RIFF but not really").repeated(20)));
    Error error;
    EXPECT_FALSE(AssetReader::assetReaderWithAsset(Asset::assetWithPath(text), &error));
    EXPECT_EQ(error.code, MediaErrorFileFormatNotRecognized);
    EXPECT_FALSE(error.message.isEmpty());

    // A video track decodes to no PCM; the reader says why.
    const QString movie = dir.filePath("silent.mp4");
    ASSERT_TRUE(writeVideo(movie, 0.5, false));
    auto asset = Asset::assetWithPath(movie);
    auto reader = AssetReader::assetReaderWithAsset(asset);
    ASSERT_TRUE(reader);
    reader->addOutput(AssetReaderTrackOutput::assetReaderTrackOutputWithTrack(asset->tracks().front(), {}));
    EXPECT_FALSE(reader->startReading());
    EXPECT_EQ(reader->status(), AssetReaderStatus::Failed);
    ASSERT_TRUE(reader->error());

    // Float output is not offered.
    auto song = Asset::assetWithPath(tone("song.wav", {.seconds = 0.2}));
    reader = AssetReader::assetReaderWithAsset(song);
    reader->addOutput(AssetReaderTrackOutput::assetReaderTrackOutputWithTrack(song->tracks().front(), {.isFloat = true}));
    EXPECT_FALSE(reader->startReading());
    EXPECT_EQ(reader->status(), AssetReaderStatus::Failed);
}

TEST_F(AssetReaderTest, StatusFollowsTheReadingAndCancelStopsIt)
{
    auto asset = Asset::assetWithPath(tone("song.wav", {.seconds = 5.0}));
    auto reader = AssetReader::assetReaderWithAsset(asset);
    auto output = AssetReaderTrackOutput::assetReaderTrackOutputWithTrack(asset->tracks().front(), {});
    EXPECT_FALSE(output->copyNextSampleBuffer());  // not added, not started
    ASSERT_TRUE(reader->canAddOutput(output));
    reader->addOutput(output);
    EXPECT_FALSE(reader->canAddOutput(output));
    EXPECT_EQ(reader->status(), AssetReaderStatus::Unknown);
    ASSERT_TRUE(reader->startReading());
    EXPECT_EQ(reader->status(), AssetReaderStatus::Reading);
    EXPECT_TRUE(output->copyNextSampleBuffer());
    reader->cancelReading();
    EXPECT_EQ(reader->status(), AssetReaderStatus::Cancelled);
    EXPECT_FALSE(output->copyNextSampleBuffer());
    EXPECT_FALSE(reader->startReading());
}
