#include "platform/media/Asset.h"
#include "platform/media/MpegAudioInfo.h"
#include "platform/media/PcmStream.h"

#include "tests/support/AudioFixtures.h"
#include "tests/support/FrameComparison.h"

#include <QFile>
#include <QTemporaryDir>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

using namespace tolvan;
using namespace tolvan::test;

namespace {

struct Decoded {
    std::vector<int16_t> samples;
    int64_t firstStamp = -1;
};

// Every frame a stream gives, from the start or from a frame.
Decoded decode(const std::shared_ptr<Track>& track, int64_t startFrame, bool fromStart)
{
    AudioOutputSettings settings;
    auto stream = fromStart ? track->openPcmStream(settings, nullptr) : track->openPcmStreamFromFrame(settings, startFrame, nullptr);
    Decoded out;
    while (auto buffer = stream->nextBuffer()) {
        if (out.firstStamp < 0)
            out.firstStamp = buffer->presentationTimeStamp().value;
        const auto* data = reinterpret_cast<const int16_t*>(buffer->data());
        out.samples.insert(out.samples.end(), data, data + buffer->numberOfSamples() * 2);
    }
    EXPECT_FALSE(stream->error());
    if (fromStart)
        out.samples.erase(out.samples.begin(), out.samples.begin() + std::min<std::size_t>(out.samples.size(), std::size_t(startFrame) * 2));
    return out;
}

struct Case {
    const char* name;
    int rate;
    QStringList encoderOptions;
};

class FileTrackFromFrameTest : public ::testing::TestWithParam<Case> {
protected:
    QTemporaryDir dir;
};

}  // namespace

// A seek (a second early where the decoder must settle) gives exactly the
// frames that the whole decode has from there on, here and late in a song.
TEST_P(FileTrackFromFrameTest, GivesTheFramesOfTheWholeDecode)
{
    const Case& c = GetParam();
    const QString path = dir.filePath(c.name);
    ASSERT_TRUE(writeTone(path, {.seconds = 16.0, .sampleRate = c.rate, .noise = true, .encoderOptions = c.encoderOptions}));
    auto track = Asset::assetWithPath(path)->tracksWithMediaType(MediaType::Audio).front();
    for (int64_t start : {0, 1000, 44100, 100000, 176400 + 5, 441000 + 77, 44100 * 15}) {
        const Decoded whole = decode(track, start, true);
        const Decoded part = decode(track, start, false);
        EXPECT_EQ(part.firstStamp, start) << c.name << " from " << start;
        EXPECT_TRUE(sameFrames(part.samples, whole.samples, 2)) << c.name << " from " << start;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FileTrackFromFrameTest,
                         ::testing::Values(Case{"song.wav", 44100, {}}, Case{"song.mp3", 44100, {}}, Case{"song.flac", 44100, {}},
                                           Case{"resampled.mp3", 48000, {}}, Case{"resampled.flac", 22050, {}},
                                           // frames of many sizes; frames of half the samples
                                           Case{"vbr.mp3", 44100, {"-q:a", "2"}}, Case{"mpeg2.mp3", 22050, {}},
                                           Case{"song.m4a", 44100, {"-aac_pns", "0"}}, Case{"song.aac", 44100, {"-aac_pns", "0"}},
                                           Case{"resampled.m4a", 48000, {"-aac_pns", "0"}}));

// Bytes between two MP3 frames that are no frame come out of the demuxer as a
// packet that fails to decode, and the demuxer's clock counts it: silence of
// its length in its place keeps a read from a frame inside the song on the
// whole decode's timeline.
TEST(FileTrackFromFrame, AnMP3PacketThatFailsToDecodeKeepsItsPlace)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("damaged.mp3");
    ASSERT_TRUE(writeTone(path, {.seconds = 8.0, .sampleRate = 8000, .channels = 1, .noise = true, .bitRate = "16k"}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // The frames of a constant rate start with the same header, but for its
    // padding bit: the commonest third byte after a sync.
    std::map<char, std::vector<qsizetype>> syncs;
    for (qsizetype at = bytes.indexOf("\xff\xe3"); at >= 0 && at + 2 < bytes.size(); at = bytes.indexOf("\xff\xe3", at + 1))
        syncs[char(bytes[at + 2] & 0xFD)].push_back(at);
    ASSERT_FALSE(syncs.empty());
    const auto& starts = std::max_element(syncs.begin(), syncs.end(), [](const auto& a, const auto& b) {
        return a.second.size() < b.second.size();
    })->second;
    const qsizetype frame = starts[starts.size() / 3];
    ASSERT_GT(frame, bytes.size() / 4);
    bytes.insert(frame, QByteArray(40, '\x55'));
    ASSERT_TRUE(file.seek(0) && file.write(bytes) == bytes.size());
    file.close();

    auto track = Asset::assetWithPath(path)->tracksWithMediaType(MediaType::Audio).front();
    const int64_t frames = int64_t(decode(track, 0, true).samples.size() / 2);
    ASSERT_GT(frames, 44100 * 7);
    for (int64_t start : {int64_t(1000), frames / 5, frames / 2, frames - 3000}) {
        const Decoded whole = decode(track, start, true);
        const Decoded part = decode(track, start, false);
        EXPECT_EQ(part.samples.size(), whole.samples.size()) << "from " << start;
        EXPECT_TRUE(sameFrames(part.samples, whole.samples, 2)) << "from " << start;
    }
}

// AAC's noise substitution draws on a generator that runs from the first
// packet: after a seek the noise bands hold other noise of the same level,
// and everything else is the whole decode's.
TEST(FileTrackFromFrame, AACNoiseBandsKeepTheirLevel)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("noise.m4a");
    ASSERT_TRUE(writeTone(path, {.seconds = 8.0, .noise = true}));
    auto track = Asset::assetWithPath(path)->tracksWithMediaType(MediaType::Audio).front();
    const int64_t start = 44100 * 5;
    const Decoded whole = decode(track, start, true);
    const Decoded part = decode(track, start, false);
    ASSERT_EQ(part.samples.size(), whole.samples.size());
    auto energy = [](const std::vector<int16_t>& samples) {
        double sum = 0;
        for (int16_t sample : samples)
            sum += double(sample) * sample;
        return sum;
    };
    double difference = 0;
    for (std::size_t i = 0; i < part.samples.size(); ++i)
        difference += std::pow(double(part.samples[i]) - whole.samples[i], 2);
    EXPECT_NEAR(energy(part.samples) / energy(whole.samples), 1.0, 0.02);
    EXPECT_LT(difference / energy(whole.samples), 0.5);
}

// Streams that share one input, read in turns a buffer at a time, give the
// frames that streams with inputs of their own give; only an MPEG-4 file,
// whose packet index is worth sharing, has an input to share.
TEST(FileTrackFromFrame, StreamsSharingAnInputGiveTheirOwnFrames)
{
    QTemporaryDir dir;
    const QString m4a = dir.filePath("shared.m4a"), mp3 = dir.filePath("unshared.mp3");
    ASSERT_TRUE(writeTone(m4a, {.seconds = 12.0, .noise = true, .encoderOptions = {"-aac_pns", "0"}}));
    ASSERT_TRUE(writeTone(mp3, {.seconds = 2.0}));
    EXPECT_FALSE(Asset::assetWithPath(mp3)->tracksWithMediaType(MediaType::Audio).front()->openSharedInput());

    auto track = Asset::assetWithPath(m4a)->tracksWithMediaType(MediaType::Audio).front();
    auto input = track->openSharedInput();
    ASSERT_TRUE(input);
    AudioOutputSettings settings;
    const std::vector<int64_t> starts{0, 100000, 441000 + 77, 44100 * 11};
    std::vector<std::unique_ptr<PcmStream>> streams;
    std::vector<std::vector<int16_t>> shared(starts.size());
    for (int64_t start : starts)
        streams.push_back(track->openSharedPcmStreamFromFrame(settings, start, input, nullptr));
    for (bool reading = true; reading;) {
        reading = false;
        for (std::size_t i = 0; i < streams.size(); ++i) {
            ASSERT_TRUE(streams[i]);
            if (auto buffer = streams[i]->nextBuffer()) {
                const auto* data = reinterpret_cast<const int16_t*>(buffer->data());
                shared[i].insert(shared[i].end(), data, data + buffer->numberOfSamples() * 2);
                reading = true;
            }
        }
    }
    for (std::size_t i = 0; i < starts.size(); ++i)
        EXPECT_FALSE(streams[i]->error()) << starts[i];
    // Let go of, the input is no reader's to share: each reads its own.
    streams.clear();
    input.reset();
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const Decoded own = decode(track, starts[i], false);
        ASSERT_GT(own.samples.size(), 44100u) << starts[i];
        EXPECT_EQ(shared[i], own.samples) << "from " << starts[i];
    }
}

// An MPEG-4 file's first reader reads the file its asset opened, and the
// streams that read the track in pieces meanwhile share that input: its
// packet index is held once and the file is not parsed again.
TEST(FileTrackFromFrame, PiecesShareTheInputOfTheFirstReader)
{
    QTemporaryDir dir;
    const QString m4a = dir.filePath("first.m4a");
    ASSERT_TRUE(writeTone(m4a, {.seconds = 3.0}));
    auto track = Asset::assetWithPath(m4a)->tracksWithMediaType(MediaType::Audio).front();
    auto first = track->openPcmStream(AudioOutputSettings{}, nullptr);
    ASSERT_TRUE(first && first->nextBuffer());
    auto piece = track->openSharedInput(), another = track->openSharedInput();
    ASSERT_TRUE(piece);
    EXPECT_EQ(piece, another);
    const std::weak_ptr<SharedTrackInput> shared = piece;
    first.reset();
    piece.reset();
    another.reset();
    EXPECT_TRUE(shared.expired());
    auto later = track->openSharedInput();  // of its own, once nothing reads the first
    EXPECT_TRUE(later);
    EXPECT_EQ(decode(track, 44100, false).samples, decode(track, 44100, true).samples);
}

// An MP3's frames are found by going from header to header. Where a header
// is missing (a damaged file) the way ends there: a seek before the damage
// still gives the whole decode's frames, and a read from a frame past it
// decodes from the start, so it gives them too.
TEST(FileTrackFromFrame, AnMp3WithADamagedFrameGivesTheWholeDecodesFramesPastIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("damaged.mp3");
    ASSERT_TRUE(writeTone(path, {.seconds = 16.0, .noise = true}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    // The first frame follows the ID3v2 tag, whose size is in 7-bit bytes.
    const QByteArray tag = file.read(10);
    ASSERT_TRUE(tag.startsWith("ID3"));
    const int64_t first = 10 + ((tag[6] & 0x7f) << 21 | (tag[7] & 0x7f) << 14 | (tag[8] & 0x7f) << 7 | (tag[9] & 0x7f));
    const auto damaged = mpegAudioFramePlace(path, first, 300), later = mpegAudioFramePlace(path, first, 500);
    ASSERT_TRUE(damaged && later);
    EXPECT_LT(*damaged, *later);
    ASSERT_TRUE(file.seek(*damaged));
    ASSERT_EQ(file.write(QByteArray(4, '\0')), 4);
    file.close();
    EXPECT_TRUE(mpegAudioFramePlace(path, first, 299));
    EXPECT_FALSE(mpegAudioFramePlace(path, first, 300));
    EXPECT_FALSE(mpegAudioFramePlace(path, first, 500));

    auto track = Asset::assetWithPath(path)->tracksWithMediaType(MediaType::Audio).front();
    const int64_t beforeDamage = 44100 * 5, pastDamage = 44100 * 12;
    const Decoded whole = decode(track, beforeDamage, true);
    const Decoded part = decode(track, beforeDamage, false);
    EXPECT_EQ(part.firstStamp, beforeDamage);
    EXPECT_TRUE(sameFrames(part.samples, whole.samples, 2));
    const Decoded read = decode(track, pastDamage, false);
    EXPECT_EQ(read.firstStamp, pastDamage);
    EXPECT_NEAR(double(read.samples.size()) / 2, 44100 * 4, 44100 * 0.1);
    EXPECT_TRUE(sameFrames(read.samples, decode(track, pastDamage, true).samples, 2));
}

// MPEG audio whose frames change part-way (songs joined byte for byte: another
// rate, layer or channel count from one frame on) decodes, from the start,
// with the converter set up again at each change. A read from a frame inside
// it gives exactly the frames that the whole decode has from there on, before
// the change, across it and past it.
TEST(FileTrackFromFrame, MpegAudioThatChangesPartWayGivesTheFramesOfTheWholeDecode)
{
    QTemporaryDir dir;
    const auto bytesOf = [&](const QString& name, const ToneSpec& spec) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeTone(path, spec));
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray first = bytesOf("first.mp3", {.seconds = 5.0, .noise = true, .id3 = false});
    const std::map<QString, QByteArray> seconds{
        {"rate", bytesOf("rate.mp3", {.seconds = 4.0, .sampleRate = 32000, .noise = true, .id3 = false})},
        {"mpeg2", bytesOf("mpeg2.mp3", {.seconds = 4.0, .sampleRate = 22050, .noise = true, .id3 = false})},
        {"layer", bytesOf("layer.mp2", {.seconds = 4.0, .noise = true})},
        {"channels", bytesOf("channels.mp3", {.seconds = 4.0, .channels = 1, .noise = true, .id3 = false})},
    };
    for (const auto& [change, second] : seconds) {
        SCOPED_TRACE(change.toStdString());
        const QString path = dir.filePath("joined-" + change + ".mp3");
        ASSERT_TRUE(writeBytes(path, first + second));
        auto track = Asset::assetWithPath(path)->tracksWithMediaType(MediaType::Audio).front();
        const int64_t frames = int64_t(decode(track, 0, true).samples.size() / 2);
        ASSERT_GT(frames, 44100 * 8);
        for (int64_t start : {int64_t(44100 * 2), int64_t(44100 * 5 - 300), int64_t(44100 * 6), frames - 20000}) {
            const Decoded whole = decode(track, start, true);
            const Decoded part = decode(track, start, false);
            EXPECT_EQ(part.firstStamp, start) << "from " << start;
            EXPECT_EQ(part.samples.size(), whole.samples.size()) << "from " << start;
            EXPECT_TRUE(sameFrames(part.samples, whole.samples, 2)) << "from " << start;
        }
    }
}
