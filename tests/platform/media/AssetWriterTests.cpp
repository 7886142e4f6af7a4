#include "platform/media/AssetWriter.h"
#include "platform/media/AssetWriter_p.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/QuickTimeMetadata.h"
#include "platform/media/SegmentedAacEncoder.h"

#include "tests/platform/media/OutputFileSupport.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <taglib/mp4file.h>
#include <taglib/tbytevectorstream.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr int kWriterRate = 44100;

const AudioEncoderSettings kPcm{.formatID = AudioFormatLinearPCM};
const AudioEncoderSettings kAac{.formatID = AudioFormatMPEG4AAC, .bitRate = 256000};

// Interleaved stereo frames of a sine whose left and right differ.
std::shared_ptr<SampleBuffer> toneBuffer(int64_t firstFrame, int frames)
{
    std::vector<uint8_t> bytes(std::size_t(frames) * 4);
    auto* samples = reinterpret_cast<int16_t*>(bytes.data());
    for (int i = 0; i < frames; ++i) {
        const double phase = 2 * M_PI * 440.0 * double(firstFrame + i) / kWriterRate;
        samples[2 * i] = int16_t(12000 * std::sin(phase));
        samples[2 * i + 1] = int16_t(-7000 * std::sin(phase));
    }
    AudioOutputSettings settings;
    FormatDescription format{MediaType::Audio, "pcm", settings.streamDescription()};
    return std::make_shared<SampleBuffer>(format, MediaTime::make(firstFrame, kWriterRate), std::move(bytes));
}

// Interleaved stereo frames of a gliding tone under a little noise, with a
// click every 0.37 s: at the clicks the encoder switches to short windows,
// some of them beside a segment's edges.
std::vector<int16_t> glideWithClicks(int frames)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<int16_t> samples(std::size_t(frames) * 2);
    double phase = 0;
    for (int i = 0; i < frames; ++i) {
        phase += 2 * M_PI * (300.0 + 40.0 * double(i) / kRate) / kRate;
        const bool click = i % int(0.37 * kRate) < 64;
        const double value = 9000 * std::sin(phase) + noise(random) + (click ? 12000 : 0);
        samples[2 * std::size_t(i)] = int16_t(value);
        samples[2 * std::size_t(i) + 1] = int16_t(-0.6 * value);
    }
    return samples;
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
        const int64_t total = std::llround(seconds * kWriterRate);
        for (int64_t at = 0; at < total; at += 8192)
            ASSERT_TRUE(input->appendSampleBuffer(*toneBuffer(at, int(std::min<int64_t>(8192, total - at)))));
    }

    // Appends until the seconds are written or an append is refused.
    bool appendAll(double seconds)
    {
        const int64_t total = std::llround(seconds * kWriterRate);
        for (int64_t at = 0; at < total; at += 8192)
            if (!input->appendSampleBuffer(*toneBuffer(at, int(std::min<int64_t>(8192, total - at)))))
                return false;
        return true;
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
    EXPECT_EQ(info.sampleRate, kWriterRate);
    EXPECT_EQ(info.channels, 2);
    const QByteArray pcm = decodeWithFfmpeg(path, kWriterRate, 2);
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
    EXPECT_EQ(info.sampleRate, kWriterRate);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(info.seconds, 3.3, 1024.0 / kWriterRate);
    // Decoding gives the frames back without the encoder's priming.
    EXPECT_NEAR(decodeWithFfmpeg(path, kWriterRate, 2).size() / 4, 145530, 1024);
}

// A long AAC tone is encoded in segments side by side. Decoded, it is as
// long as what went in, and the blocks at the segments' joins are as close
// to the input as the rest: a join a packet off, or an encoder that starts
// cold at its segment, leaves a block there far from it.
TEST_F(AssetWriterTest, AacSegmentsEncodedSideBySideJoinWithoutASeam)
{
    constexpr int kFrames = 16 * kRate + 777;
    const std::vector<int16_t> signal = glideWithClicks(kFrames);
    const QString path = dir.filePath("long.m4r");
    auto writer = startedWriter(path, FileTypeAppleM4A, kAac);
    AudioOutputSettings settings;
    const FormatDescription format{MediaType::Audio, "pcm", settings.streamDescription()};
    for (int at = 0; at < kFrames; at += 8192) {
        const int frames = std::min(8192, kFrames - at);
        const auto* bytes = reinterpret_cast<const uint8_t*>(signal.data() + 2 * std::size_t(at));
        ASSERT_TRUE(input->appendSampleBuffer(
            SampleBuffer(format, MediaTime::make(at, kRate), std::vector<uint8_t>(bytes, bytes + std::size_t(frames) * 4))));
    }
    input->markAsFinished();
    ASSERT_TRUE(writer->finishWriting()) << writer->error()->message.toStdString();

    const QByteArray pcm = decodeWithFfmpeg(path, kRate, 2);
    ASSERT_NEAR(pcm.size() / 4, kFrames, 1024);
    const auto* decoded = reinterpret_cast<const int16_t*>(pcm.constData());
    // Signal to error, in decibels, of each 1024-frame block.
    std::vector<double> blockSnr;
    for (int block = 0; (block + 1) * 1024 <= kFrames; ++block) {
        double power = 0, error = 0;
        for (std::size_t i = std::size_t(block) * 2048; i < std::size_t(block + 1) * 2048; ++i) {
            power += double(signal[i]) * signal[i];
            error += (double(decoded[i]) - signal[i]) * (double(decoded[i]) - signal[i]);
        }
        blockSnr.push_back(10 * std::log10(power / std::max(error, 1.0)));
    }
    // One encoder keeps this signal some 40 dB above its error in most
    // blocks and over 20 dB at the clicks; an encoder started cold at its
    // segment leaves 2 to 26 dB around the join, a join a packet off less.
    EXPECT_GT(*std::min_element(blockSnr.begin(), blockSnr.end()), 20.0);
    constexpr int kSegment = ffmpeg::SegmentedAacEncoder::kFramesPerSegment;
    int joins = 0;
    for (int join = kSegment; join * 1024 < kFrames; join += kSegment, ++joins) {
        for (int block = join - 2; block <= join + 1; ++block)
            EXPECT_GT(blockSnr[std::size_t(block)], 30.0) << "block " << block << " at the join before packet " << join;
    }
    EXPECT_EQ(joins, 3);
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

// The items are written into the movie box at the file's end, where the
// muxer left it: the bytes before it are the untagged file's, and the whole
// file is what tagging a copy of the untagged file in memory gives.
TEST_F(AssetWriterTest, MetadataChangesTheMovieBoxAloneAsAWholeFileEditWould)
{
    const std::vector<MetadataItem> items{
        {.key = MetadataiTunesMetadataKeySongName, .keySpace = MetadataKeySpaceiTunes, .value = "Tail"},
        {.key = MetadataiTunesMetadataKeyCoverArt, .keySpace = MetadataKeySpaceiTunes, .value = imageBytes("PNG", Qt::red)},
        {.key = MetadataQuickTimeMetadataKeyCreationDate, .keySpace = MetadataKeySpaceQuickTimeMetadata, .value = "2026-12-09 12:00:00 +0000"},
    };
    auto write = [&](const QString& path, const std::vector<MetadataItem>& metadata) {
        auto writer = AssetWriter::assetWriterWithURL(path, FileTypeAppleM4A);
        writer->setMetadata(metadata);
        input = AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, kAac);
        writer->addInput(input);
        EXPECT_TRUE(writer->startWriting());
        writer->startSessionAtSourceTime(MediaTime::zero());
        appendSeconds(2.0);
        EXPECT_TRUE(writer->finishWriting());
        return contents(path);
    };
    const QByteArray plain = write(dir.filePath("plain.m4a"), {});
    const QByteArray tagged = write(dir.filePath("tagged.m4a"), items);
    ASSERT_GT(tagged.size(), plain.size());

    const qint64 movie = plain.lastIndexOf("moov") - 4;
    ASSERT_GT(movie, plain.indexOf("mdat"));
    EXPECT_EQ(tagged.left(movie), plain.left(movie));

    TagLib::ByteVectorStream stream(TagLib::ByteVector(plain.constData(), uint(plain.size())));
    {
        TagLib::MP4::File file(&stream, false);
        file.tag()->setItem("\251nam", TagLib::MP4::Item(TagLib::StringList("Tail")));
        const QByteArray cover = items[1].value.toByteArray();
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::PNG, TagLib::ByteVector(cover.constData(), uint(cover.size()))));
        file.tag()->setItem("covr", TagLib::MP4::Item(covers));
        ASSERT_TRUE(file.save());
    }
    const QByteArray withITunes(stream.data()->data(), qsizetype(stream.data()->size()));
    const auto expected = withQuickTimeMetadata(withITunes, {{kQuickTimeMetadataKeyCreationDate, "2026-12-09 12:00:00 +0000"}});
    ASSERT_TRUE(expected);
    EXPECT_EQ(tagged, *expected);
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
    const Error firstError = *failed->error();
    EXPECT_FALSE(failed->finishWriting());
    failed->cancelWriting();  // the failure came first and stays, with its error
    EXPECT_EQ(failed->status(), AssetWriterStatus::Failed);
    ASSERT_TRUE(failed->error());
    EXPECT_EQ(failed->error()->message, firstError.message);

    EXPECT_EQ(contents(path), "the old tone");
    EXPECT_EQ(entries(), QStringList{"old.m4r"});
}

// A file its writer is told is no longer wanted once its audio is encoded
// (the window closed while the last of it was encoded) is not put in place.
TEST_F(AssetWriterTest, AFileNoLongerWantedOnceEncodedIsCancelled)
{
    const QString path = dir.filePath("old.m4r");
    ASSERT_TRUE(writeBytes(path, "the old tone"));
    auto writer = startedWriter(path, FileTypeAppleM4A, kAac);
    appendSeconds(12.0);
    input->markAsFinished();
    bool asked = false;
    EXPECT_FALSE(writer->finishWriting([&] {
        asked = true;
        return false;
    }));
    EXPECT_TRUE(asked);
    EXPECT_EQ(writer->status(), AssetWriterStatus::Cancelled);
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
    EXPECT_EQ(decodeWithFfmpeg(dir.filePath("queued.wav"), kWriterRate, 2).size(), 5 * 4096 * 4);
}

// --- How the file reaches the disk ---------------------------------------

namespace {

struct FullDiskCase {
    const char* name;
    QString fileType;
    AudioEncoderSettings settings;
    double seconds;
    qsizetype coverBytes;  // a large cover makes the tagged file outgrow the limit only at the end
    rlim_t limit;
};

pid_t startChild(const QString& destination, const char* mode)
{
    const QByteArray path = QFile::encodeName(destination);
    char* argv[] = {const_cast<char*>(TOLVAN_WRITER_CHILD), const_cast<char*>(path.constData()), const_cast<char*>(mode), nullptr};
    pid_t child = -1;
    return posix_spawn(&child, TOLVAN_WRITER_CHILD, nullptr, nullptr, argv, environ) == 0 ? child : -1;
}

int waitForChild(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

}  // namespace

TEST_F(AssetWriterTest, AFullDiskFailsTheWriteAndKeepsTheOldTone)
{
    const FullDiskCase cases[] = {
        {"WAVE audio", FileTypeWAVE, kPcm, 5.0, 0, 200 * 1024},
        {"AAC audio", FileTypeAppleM4A, kAac, 5.0, 0, 64 * 1024},
        {"tags after the audio", FileTypeAppleM4A, kAac, 1.0, 300 * 1024, 200 * 1024},
    };
    const QString path = dir.filePath("old.m4r");
    const QByteArray old(20000, 'o');
    ASSERT_TRUE(writeBytes(path, old));
    for (const FullDiskCase& c : cases) {
        auto writer = AssetWriter::assetWriterWithURL(path, c.fileType);
        writer->setMetadata({{.key = MetadataiTunesMetadataKeyCoverArt,
                              .keySpace = MetadataKeySpaceiTunes,
                              .value = QByteArray("\x89PNG") + QByteArray(c.coverBytes, 'c')},
                             {.key = MetadataQuickTimeMetadataKeyCreationDate, .keySpace = MetadataKeySpaceQuickTimeMetadata, .value = "now"}});
        input = AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, c.settings);
        writer->addInput(input);
        bool appended = false, finished = false;
        {
            FileSizeLimit limit(c.limit);
            ASSERT_TRUE(writer->startWriting()) << c.name;
            writer->startSessionAtSourceTime(MediaTime::zero());
            appended = appendAll(c.seconds);
            input->markAsFinished();
            finished = writer->finishWriting();
        }
        EXPECT_FALSE(finished) << c.name;
        if (c.coverBytes > 0) {
            EXPECT_TRUE(appended) << c.name << ": the audio alone fits";
        }
        EXPECT_EQ(writer->status(), AssetWriterStatus::Failed) << c.name;
        EXPECT_TRUE(writer->error()) << c.name;
        EXPECT_EQ(contents(path), old) << c.name;
        EXPECT_EQ(entries(), QStringList{"old.m4r"}) << c.name;
    }
}

TEST_F(AssetWriterTest, AWriterKilledAtAnyMomentLeavesNothingAndTheOldToneWhole)
{
    // Every write of the child gives the same bytes, so whatever moment the
    // kill comes at, the tone must be exactly this one.
    const QString path = dir.filePath("old.m4r");
    const pid_t first = startChild(path, "once");
    ASSERT_GT(first, 0);
    ASSERT_EQ(waitForChild(first), 0);
    const QByteArray tone = contents(path);
    ASSERT_FALSE(tone.isEmpty());

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(0, 400);  // milliseconds: spans several writes of the child
    for (int round = 0; round < 8; ++round) {
        const pid_t child = startChild(path, "loop");
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
        kill(child, SIGKILL);
        const int status = waitForChild(child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << status;
        EXPECT_EQ(entries(), QStringList{"old.m4r"}) << "round " << round << ", seed " << seed;
        EXPECT_EQ(contents(path), tone) << "round " << round << ", seed " << seed;
    }
}

TEST_F(AssetWriterTest, NamesFromAURLAreWrittenExactly)
{
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray notUtf8 = "tone-\xff\xe9.wav";
    const QList<QByteArray> names{notUtf8, QByteArray(230, 'a') + ".wav", QByteArray(251, 'b') + ".wav"};
    for (const QByteArray& name : names)
        ASSERT_TRUE(writeRaw(folder + '/' + name, "old", 0600));
    for (const QByteArray& name : names) {
        const QUrl url = QUrl::fromEncoded("file://" + (folder + '/' + name).toPercentEncoding("/"));
        auto writer = AssetWriter::assetWriterWithURL(url, FileTypeWAVE);
        ASSERT_TRUE(writer) << name.size();
        input = AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, kPcm);
        writer->addInput(input);
        ASSERT_TRUE(writer->startWriting()) << writer->error()->message.toStdString();
        writer->startSessionAtSourceTime(MediaTime::zero());
        appendSeconds(0.1);
        input->markAsFinished();
        ASSERT_TRUE(writer->finishWriting()) << name.size() << ": " << writer->error()->message.toStdString();
        EXPECT_TRUE(readRaw(folder + '/' + name).startsWith("RIFF")) << name.size();
        EXPECT_EQ(permissionBits(folder + '/' + name), 0600u) << name.size();
    }
    QList<QByteArray> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(rawEntries(folder), sorted);
    EXPECT_FALSE(AssetWriter::assetWriterWithURL(QUrl("http://example.com/a.wav"), FileTypeWAVE));
    unlink((folder + '/' + notUtf8).constData());  // a name the temporary folder's own clean-up cannot spell
}

namespace {

// An encoder that takes a buffer only when the test lets it, and fails on
// the buffer it is told to.
class SlowSink {
public:
    std::optional<Error> write(const SampleBuffer& buffer)
    {
        std::unique_lock lock(mutex_);
        ++entered_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return allowed_ > 0; });
        --allowed_;
        written_.push_back(buffer.presentationTimeStamp().value);
        if (failAt_ && written_.size() == *failAt_)
            return Error{QStringLiteral("test"), 1, QStringLiteral("the disk went away")};
        return std::nullopt;
    }

    void allow(int buffers)
    {
        std::lock_guard lock(mutex_);
        allowed_ += buffers;
        changed_.notify_all();
    }

    // Waits until the encoder has been handed this many buffers.
    void awaitEntered(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return entered_ >= count; });
    }

    std::vector<int64_t> written()
    {
        std::lock_guard lock(mutex_);
        return written_;
    }

    std::optional<std::size_t> failAt_;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int allowed_ = 0;
    std::size_t entered_ = 0;
    std::vector<int64_t> written_;
};

// Pushes buffers 0, 1, 2 … from a thread of its own, counting those taken.
struct Feeder {
    EncodingQueue& queue;
    std::atomic<int> pushed{0};
    std::atomic<bool> refused{false};
    std::future<void> done;

    Feeder(EncodingQueue& queue, int buffers) : queue(queue)
    {
        done = std::async(std::launch::async, [this, buffers] {
            for (int i = 0; i < buffers; ++i) {
                if (!this->queue.push(*toneBuffer(i, 16))) {
                    refused = true;
                    return;
                }
                ++pushed;
            }
        });
    }
};

bool settles(const std::future<void>& done) { return done.wait_for(std::chrono::seconds(10)) == std::future_status::ready; }

}  // namespace

TEST(AssetWriterEncodingQueue, AppendsWaitWhileTheEncoderIsAFewBuffersBehindAndKeepTheirOrder)
{
    SlowSink sink;
    std::optional<Error> failure;
    EncodingQueue queue([&](const SampleBuffer& b) { return sink.write(b); }, [&](const Error& e) { failure = e; });
    Feeder feeder(queue, 12);

    // One buffer in the encoder's hands, the rest of the bound waiting: the
    // next push is held.
    sink.awaitEntered(1);
    const int bound = 1 + int(EncodingQueue::kWaitingBuffers);
    while (feeder.pushed < bound)
        std::this_thread::yield();
    EXPECT_EQ(feeder.done.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_EQ(feeder.pushed, bound);

    // Each buffer the encoder takes lets one more in.
    sink.allow(1);
    sink.awaitEntered(2);
    while (feeder.pushed < bound + 1)
        std::this_thread::yield();
    EXPECT_EQ(feeder.pushed, bound + 1);

    sink.allow(100);
    ASSERT_TRUE(settles(feeder.done));
    queue.end(true);
    std::vector<int64_t> expected;
    for (int i = 0; i < 12; ++i)
        expected.push_back(i);
    EXPECT_EQ(sink.written(), expected);
    EXPECT_FALSE(failure);
    EXPECT_FALSE(queue.push(*toneBuffer(0, 16))) << "an ended road takes nothing more";
}

TEST(AssetWriterEncodingQueue, AFailureStopsTheRoadAndFreesAWaitingAppend)
{
    SlowSink sink;
    sink.failAt_ = 1;
    std::atomic<int> failures{0};
    EncodingQueue queue([&](const SampleBuffer& b) { return sink.write(b); }, [&](const Error&) { ++failures; });
    Feeder feeder(queue, 12);
    sink.awaitEntered(1);
    while (feeder.pushed < 1 + int(EncodingQueue::kWaitingBuffers))
        std::this_thread::yield();

    sink.allow(100);  // the first buffer fails
    ASSERT_TRUE(settles(feeder.done));
    EXPECT_TRUE(feeder.refused) << "the held append is refused, not left waiting";
    queue.end(true);
    EXPECT_EQ(sink.written().size(), 1u) << "nothing is encoded after the failure";
    EXPECT_EQ(failures, 1);
}

TEST(AssetWriterEncodingQueue, EndingAtOnceDropsTheWaitingBuffers)
{
    SlowSink sink;
    EncodingQueue queue([&](const SampleBuffer& b) { return sink.write(b); }, [](const Error&) {});
    Feeder feeder(queue, 12);
    sink.awaitEntered(1);
    while (feeder.pushed < 1 + int(EncodingQueue::kWaitingBuffers))
        std::this_thread::yield();

    auto ending = std::async(std::launch::async, [&] { queue.end(false); });
    ASSERT_TRUE(settles(feeder.done));
    EXPECT_TRUE(feeder.refused);
    sink.allow(100);
    ASSERT_TRUE(settles(ending));
    EXPECT_EQ(sink.written(), std::vector<int64_t>{0}) << "only the buffer in hand is encoded";
}
