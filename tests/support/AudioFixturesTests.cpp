// The generated fixtures are what the other tests assume them to be.

#include "tests/support/AudioFixtures.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameComparison.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace tolvan::test;

namespace {

QString probe(const QString& path, const QString& entries)
{
    const ChildResult ffprobe = runChild("ffprobe", {"-v", "error", "-show_entries", entries, "-of", "default=nw=1:nk=1", path});
    return QString::fromUtf8(ffprobe.standardOutput).trimmed();
}

}  // namespace

TEST(AudioFixtures, ToneHasTheAskedShapeAndLevel)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tone.wav");
    ASSERT_TRUE(writeTone(path, {.seconds = 1.0, .sampleRate = 8000, .channels = 1, .amplitude = 0.5}));
    EXPECT_EQ(probe(path, "stream=sample_rate,channels"), "8000\n1");
    const QByteArray pcm = decodeWithFfmpeg(path, 8000, 1);
    ASSERT_EQ(pcm.size(), 8000 * 2);
    const auto* samples = reinterpret_cast<const qint16*>(pcm.constData());
    int peak = 0;
    for (int i = 0; i < 8000; ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    EXPECT_NEAR(peak, 16384, 400);
}

TEST(AudioFixtures, SilenceIsDigitalZero)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("silent.wav");
    ASSERT_TRUE(writeTone(path, {.seconds = 0.5, .amplitude = 0}));
    const QByteArray pcm = decodeWithFfmpeg(path, 44100, 2);
    EXPECT_EQ(pcm.count('\0'), pcm.size());
    EXPECT_GT(pcm.size(), 0);
}

TEST(AudioFixtures, TagsMultiTrackAndVideo)
{
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("tagged.mp3");
    ASSERT_TRUE(writeTone(mp3, {.tags = {{"title", "Song"}, {"artist", "Band"}}}));
    EXPECT_EQ(probe(mp3, "format_tags=title"), "Song");

    const QString multi = dir.filePath("multi.m4a");
    ASSERT_TRUE(writeMultiTrack(multi, {{.channels = 6}, {.channels = 2}}));
    EXPECT_EQ(probe(multi, "stream=channels"), "6\n2");

    const QString video = dir.filePath("clip.mp4");
    ASSERT_TRUE(writeVideo(video, 1.0, true));
    EXPECT_EQ(probe(video, "stream=codec_type"), "video\naudio");
}

TEST(FrameComparison, NamesTheFirstDifferingFrameOrTheLengths)
{
    const std::vector<int16_t> stereo{1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(sameFrames(stereo, stereo, 2));

    const auto differing = sameFrames(stereo, std::vector<int16_t>{1, 2, 3, 9, 5, 0}, 2);
    EXPECT_FALSE(differing);
    EXPECT_NE(std::string(differing.message()).find("first at frame 1: actual { 3, 4 }, expected { 3, 9 }"), std::string::npos)
        << differing.message();

    const auto shorter = sameFrames(stereo, std::vector<int16_t>{1, 2, 3, 4}, 2);
    EXPECT_FALSE(shorter);
    EXPECT_NE(std::string(shorter.message()).find("actual has 3 frames and expected 2"), std::string::npos) << shorter.message();

    const QByteArray bytes = QByteArray::fromHex("01000200");
    EXPECT_TRUE(sameSamples16(bytes, bytes, 1));
    EXPECT_FALSE(sameSamples16(bytes, QByteArray::fromHex("01000300"), 1));
}
