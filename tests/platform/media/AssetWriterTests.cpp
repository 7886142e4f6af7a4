#include "platform/media/AssetWriter.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/QuickTimeMetadata.h"

#include "tests/support/MediaProbe.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <taglib/mp4file.h>

#include <cmath>
#include <unistd.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr int kRate = 44100;

const AudioEncoderSettings kPcm{.formatID = AudioFormatLinearPCM};
const AudioEncoderSettings kAac{.formatID = AudioFormatMPEG4AAC, .bitRate = 256000};

// Interleaved stereo frames of a sine whose left and right differ.
std::shared_ptr<SampleBuffer> toneBuffer(int64_t firstFrame, int frames)
{
    std::vector<uint8_t> bytes(std::size_t(frames) * 4);
    auto* samples = reinterpret_cast<int16_t*>(bytes.data());
    for (int i = 0; i < frames; ++i) {
        const double phase = 2 * M_PI * 440.0 * double(firstFrame + i) / kRate;
        samples[2 * i] = int16_t(12000 * std::sin(phase));
        samples[2 * i + 1] = int16_t(-7000 * std::sin(phase));
    }
    AudioOutputSettings settings;
    FormatDescription format{MediaType::Audio, "pcm", settings.streamDescription()};
    return std::make_shared<SampleBuffer>(format, MediaTime::make(firstFrame, kRate), std::move(bytes));
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class AssetWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    std::shared_ptr<AssetWriter> startedWriter(const QString& path, const QString& type, const AudioEncoderSettings& settings)
    {
        auto writer = AssetWriter::assetWriterWithURL(path, type);
        input = AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, settings);
        EXPECT_TRUE(writer->canAddInput(input));
        writer->addInput(input);
        EXPECT_TRUE(writer->startWriting());
        writer->startSessionAtSourceTime(MediaTime::zero());
        return writer;
    }

    void appendSeconds(double seconds)
    {
        const int64_t total = std::llround(seconds * kRate);
        for (int64_t at = 0; at < total; at += 8192)
            ASSERT_TRUE(input->appendSampleBuffer(*toneBuffer(at, int(std::min<int64_t>(8192, total - at)))));
    }

    // Everything in the folder besides what the test put there.
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); }

    std::shared_ptr<AssetWriterInput> input;
};

}  // namespace

TEST_F(AssetWriterTest, WaveHoldsTheFramesExactly)
{
    const QString path = dir.filePath("tone.wav");
    auto writer = startedWriter(path, FileTypeWAVE, kPcm);
    appendSeconds(1.5);
    input->markAsFinished();
    ASSERT_TRUE(writer->finishWriting()) << writer->error()->message.toStdString();
    EXPECT_EQ(writer->status(), AssetWriterStatus::Completed);

    const Probe info = probe(path);
    EXPECT_EQ(info.codec, "pcm_s16le");
    EXPECT_EQ(info.sampleRate, kRate);
    EXPECT_EQ(info.channels, 2);
    const QByteArray pcm = decodeWithFfmpeg(path, kRate, 2);
    ASSERT_EQ(pcm.size(), 66150 * 4);
    QByteArray expected;
    for (int64_t at = 0; at < 66150; at += 8192) {
        auto buffer = toneBuffer(at, int(std::min<int64_t>(8192, 66150 - at)));
        expected.append(reinterpret_cast<const char*>(buffer->data()), qsizetype(buffer->dataLength()));
    }
    EXPECT_EQ(pcm, expected);
    EXPECT_EQ(entries(), QStringList{"tone.wav"});  // no temporary file left
}

TEST_F(AssetWriterTest, AacFileHasTheSettingsAndTheExactLength)
{
    const QString path = dir.filePath("tone.m4r");
    auto writer = startedWriter(path, FileTypeAppleM4A, kAac);
    appendSeconds(3.3);  // not a whole number of 1024-frame packets
    input->markAsFinished();
    ASSERT_TRUE(writer->finishWriting()) << writer->error()->message.toStdString();

    const Probe info = probe(path);
    EXPECT_EQ(info.codec, "aac");
    EXPECT_EQ(info.sampleRate, kRate);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(info.seconds, 3.3, 1024.0 / kRate);
    // Decoding gives the frames back without the encoder's priming.
    EXPECT_NEAR(decodeWithFfmpeg(path, kRate, 2).size() / 4, 145530, 1024);
}

TEST_F(AssetWriterTest, MetadataGoesIntoTheFileAsTheItemsSay)
{
    const QByteArray png = imageBytes("PNG", Qt::blue);
    const QString path = dir.filePath("tagged.m4a");
    auto writer = AssetWriter::assetWriterWithURL(path, FileTypeAppleM4A);
    writer->setMetadata({
        {.key = MetadataiTunesMetadataKeySongName, .keySpace = MetadataKeySpaceiTunes, .value = QString::fromUtf8("Fjäll")},
        {.key = QVariant::fromValue(int32_t(fourCharCode("\251ART"))), .keySpace = MetadataKeySpaceiTunes, .value = "Artist"},
        {.key = MetadataiTunesMetadataKeyCoverArt, .keySpace = MetadataKeySpaceiTunes, .value = png},
        {.key = MetadataQuickTimeMetadataKeyCreationDate, .keySpace = MetadataKeySpaceQuickTimeMetadata, .value = "2026-12-08 23:30:00 +0000"},
        {.key = QStringLiteral("stik"), .keySpace = MetadataKeySpaceiTunes, .value = QVariant::fromValue<qint8>(27)},
    });
    input = AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, kAac);
    writer->addInput(input);
    ASSERT_TRUE(writer->startWriting());
    writer->startSessionAtSourceTime(MediaTime::zero());
    appendSeconds(0.5);
    ASSERT_TRUE(writer->finishWriting());

    TagLib::MP4::File file(path.toUtf8().constData());
    ASSERT_TRUE(file.isValid());
    EXPECT_EQ(file.tag()->title().to8Bit(true), "Fjäll");
    EXPECT_EQ(file.tag()->artist().to8Bit(true), "Artist");
    EXPECT_EQ(file.tag()->item("stik").toByte(), 27);
    const auto covers = file.tag()->item("covr").toCoverArtList();
    ASSERT_EQ(covers.size(), 1u);
    EXPECT_EQ(covers.front().format(), TagLib::MP4::CoverArt::PNG);
    EXPECT_EQ(QByteArray(covers.front().data().data(), covers.front().data().size()), png);
    EXPECT_EQ(file.tag()->itemMap().size(), 4u);  // nothing of the encoder's own
    EXPECT_EQ(readQuickTimeMetadata(path),
              (std::vector<QuickTimeMetadataItem>{{kQuickTimeMetadataKeyCreationDate, "2026-12-08 23:30:00 +0000"}}));
}

TEST_F(AssetWriterTest, CancelledOrFailedWritesLeaveTheOldFileAlone)
{
    const QString path = dir.filePath("old.m4r");
    ASSERT_TRUE(writeBytes(path, "the old tone"));

    auto cancelled = startedWriter(path, FileTypeAppleM4A, kAac);
    appendSeconds(0.5);
    EXPECT_EQ(entries(), QStringList{"old.m4r"});  // the new file has no name until it is complete
    cancelled->cancelWriting();
    EXPECT_EQ(cancelled->status(), AssetWriterStatus::Cancelled);
    EXPECT_FALSE(input->isReadyForMoreMediaData());

    auto failed = startedWriter(path, FileTypeAppleM4A, kAac);
    AudioOutputSettings mono{.channels = 1};
    SampleBuffer wrong({MediaType::Audio, "pcm", mono.streamDescription()}, MediaTime::zero(), std::vector<uint8_t>(200));
    EXPECT_FALSE(input->appendSampleBuffer(wrong));
    EXPECT_EQ(failed->status(), AssetWriterStatus::Failed);
    ASSERT_TRUE(failed->error());
    EXPECT_FALSE(failed->finishWriting());

    EXPECT_EQ(contents(path), "the old tone");
    EXPECT_EQ(entries(), QStringList{"old.m4r"});
}

TEST_F(AssetWriterTest, RefusesWhatItCannotWrite)
{
    Error error;
    EXPECT_FALSE(AssetWriter::assetWriterWithURL(dir.filePath("a.ogg"), "org.xiph.ogg", &error));
    EXPECT_FALSE(error.message.isEmpty());
    EXPECT_FALSE(AssetWriter::assetWriterWithURL(QString(), FileTypeWAVE));

    auto wave = AssetWriter::assetWriterWithURL(dir.filePath("a.wav"), FileTypeWAVE);
    EXPECT_FALSE(wave->canAddInput(AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, kAac)));
    EXPECT_FALSE(wave->startWriting());  // no input
    EXPECT_EQ(wave->status(), AssetWriterStatus::Failed);

    auto missingFolder = AssetWriter::assetWriterWithURL(dir.filePath("none/a.wav"), FileTypeWAVE);
    missingFolder->addInput(AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, kPcm));
    EXPECT_FALSE(missingFolder->startWriting());
    ASSERT_TRUE(missingFolder->error());
    EXPECT_TRUE(missingFolder->error()->message.contains("cannot be created")) << missingFolder->error()->message.toStdString();
}

TEST_F(AssetWriterTest, RequestedBlockRunsOnTheQueueUntilTheInputEnds)
{
    auto writer = startedWriter(dir.filePath("queued.wav"), FileTypeWAVE, kPcm);
    std::atomic<int> runs{0};
    std::atomic<bool> onQueue{true};
    int64_t next = 0;  // outlives the queue, whose last run still reads it
    {
        SerialQueue queue("test.writer");
        input->requestMediaDataWhenReadyOnQueue(queue, [&] {
            onQueue = onQueue && queue.isCurrent();
            ++runs;
            if (next >= 5 * 4096) {
                input->markAsFinished();
                return;
            }
            input->appendSampleBuffer(*toneBuffer(next, 4096));
            next += 4096;
        });
    }  // the queue finishes its work before it goes
    EXPECT_EQ(runs, 6);
    EXPECT_TRUE(onQueue);
    EXPECT_TRUE(writer->finishWriting());
    EXPECT_EQ(decodeWithFfmpeg(dir.filePath("queued.wav"), kRate, 2).size(), 5 * 4096 * 4);
}
