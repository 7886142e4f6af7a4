#include "platform/media/Asset.h"
#include "platform/media/PcmStream.h"

#include "tests/support/AudioFixtures.h"
#include "tests/support/FrameComparison.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

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

class FileTrackFromFrameTest : public ::testing::TestWithParam<std::pair<const char*, int>> {
protected:
    QTemporaryDir dir;
};

}  // namespace

// Passing over packets (or decoding and dropping, where that is not exact)
// gives exactly the frames that the whole decode has from there on.
TEST_P(FileTrackFromFrameTest, GivesTheFramesOfTheWholeDecode)
{
    const auto [name, rate] = GetParam();
    const QString path = dir.filePath(name);
    ASSERT_TRUE(writeTone(path, {.seconds = 6.0, .sampleRate = rate, .noise = true}));
    auto track = Asset::assetWithPath(path)->tracksWithMediaType(MediaType::Audio).front();
    for (int64_t start : {0, 1000, 44100, 100000, 176400 + 5}) {
        const Decoded whole = decode(track, start, true);
        const Decoded part = decode(track, start, false);
        EXPECT_EQ(part.firstStamp, start) << name << " from " << start;
        EXPECT_TRUE(sameFrames(part.samples, whole.samples, 2)) << name << " from " << start;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FileTrackFromFrameTest,
                         ::testing::Values(std::pair{"song.wav", 44100}, std::pair{"song.mp3", 44100}, std::pair{"song.m4a", 44100},
                                           std::pair{"song.flac", 44100}, std::pair{"resampled.mp3", 48000}));
