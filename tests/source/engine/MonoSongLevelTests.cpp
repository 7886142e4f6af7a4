// A mono song is heard at its own level in both channels of the tone and of
// the preview, and draws the waveform that the same sound in both channels
// of a stereo song draws: the automatic volume, taken from the waveform,
// then brings the tone to the level it aims at.

#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtoneDescription.h"
#include "source/engine/RingtonePreviewer.h"
#include "source/engine/WaveformProvider.h"

#include "tests/platform/media/ManualPlayback.h"
#include "tests/platform/media/PcmWav.h"
#include "tests/source/engine/ExportFixtures.h"
#include "tests/support/AudioFileTest.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace tolvan;
using namespace tolvan::test;

namespace {

class MonoSongLevelTest : public AudioFileTest {
protected:
    static constexpr int kRate = 44100;
    static constexpr double kSeconds = 4.0;
    // A 1 kHz sine whose root mean square is -24.1 dB of full scale.
    static inline const double kPeak = 32768.0 * std::pow(10.0, -24.1 / 20.0) * std::numbers::sqrt2;
    // The selection: 2 s from 1 s on, without fades, gap or gain.
    static constexpr double kStart = 1.0, kLength = 2.0;
    static constexpr int64_t kFirstFrame = int64_t(kStart * kRate), kFrames = int64_t(kLength * kRate);

    static int16_t sine(int64_t frame) { return int16_t(std::lround(kPeak * std::sin(2.0 * std::numbers::pi * 1000.0 * double(frame) / kRate))); }

    // The level of one channel of interleaved stereo samples, in dB of full scale.
    static double channelLevel(const std::vector<int16_t>& stereo, int channel)
    {
        double sum = 0;
        for (std::size_t i = std::size_t(channel); i < stereo.size(); i += 2)
            sum += double(stereo[i]) * stereo[i];
        return 20.0 * std::log10(std::sqrt(sum / double(stereo.size() / 2)) / 32768.0);
    }

    static std::vector<int16_t> samplesOf(const QByteArray& pcm)
    {
        const auto* begin = reinterpret_cast<const int16_t*>(pcm.constData());
        return {begin, begin + pcm.size() / 2};
    }

    void SetUp() override
    {
        qputenv("TOLVAN_AUDIO_OUTPUT", "manual");
        mono = dir.filePath("mono.wav");
        ASSERT_TRUE(writeBytes(mono, pcmWav(kRate, 1, int64_t(kSeconds * kRate), [](int64_t frame, int) { return sine(frame); })));
        stereo = dir.filePath("stereo.wav");
        ASSERT_TRUE(writeBytes(stereo, pcmWav(kRate, 2, int64_t(kSeconds * kRate), [](int64_t frame, int) { return sine(frame); })));
    }
    void TearDown() override { qputenv("TOLVAN_AUDIO_OUTPUT", "null"); }

    static std::shared_ptr<RingtoneDescription> describe(const QString& song)
    {
        return RingtoneDescription::descriptionWithAsset(Asset::assetWithPath(song), RingtoneKind::Ringtone,
                                                         ZNTTimeRangeMake(kStart, kLength), 0, 0, 0, 1.0);
    }

    // The tone written to a file of the destination's type, decoded to 16-bit stereo.
    std::vector<int16_t> exported(const QString& song, const QString& name)
    {
        const QString path = dir.filePath(name);
        auto delegate = std::make_shared<CountingExportDelegate>();
        auto exporter = describe(song)->exporterWithDelegate(delegate, path, std::vector<MetadataItem>{}, nullptr);
        exportToTheEnd(exporter, *delegate);
        EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
        return samplesOf(decodeWithFfmpeg(path, kRate, 2));
    }

    // The first loop of the preview, as the audio output renders it.
    static std::vector<int16_t> previewed(const QString& song)
    {
        auto previewer = describe(song)->previewer();
        previewer->play();
        std::vector<int16_t> heard;
        EXPECT_TRUE(pullRendered(previewer->player().output(), std::size_t(kFrames), &heard));
        previewer->pause();
        return heard;
    }

    // The waveform's buckets at the editor's rate.
    static std::vector<int8_t> waveform(const QString& song)
    {
        auto provider = WaveformProvider::providerWithAsset(Asset::assetWithPath(song), 8000);
        provider->startReadingWaveform();
        EXPECT_TRUE(waitUntil([&] { return provider->finished(); }, 60000));
        const auto store = provider->waveformSamples();
        return store ? std::vector<int8_t>(store->data(), store->data() + store->size()) : std::vector<int8_t>{};
    }

    QString mono, stereo;
};

}  // namespace

TEST_F(MonoSongLevelTest, TheToneHasTheSongsOwnSamplesInBothChannels)
{
    const std::vector<int16_t> tone = exported(mono, "mono-tone.wav");
    ASSERT_EQ(tone.size(), std::size_t(2 * kFrames));
    for (int64_t frame = 0; frame < kFrames; ++frame) {
        ASSERT_EQ(tone[std::size_t(2 * frame)], sine(kFirstFrame + frame)) << "left, frame " << frame;
        ASSERT_EQ(tone[std::size_t(2 * frame + 1)], sine(kFirstFrame + frame)) << "right, frame " << frame;
    }
    EXPECT_EQ(tone, exported(stereo, "stereo-tone.wav")) << "as the same sound in both channels of a stereo song";

    // Through the AAC encoder: the song's -24.1 dB in each channel.
    const std::vector<int16_t> m4r = exported(mono, "mono-tone.m4r");
    ASSERT_GE(m4r.size(), std::size_t(2 * kFrames));
    EXPECT_NEAR(channelLevel(m4r, 0), -24.1, 0.1);
    EXPECT_NEAR(channelLevel(m4r, 1), -24.1, 0.1);
}

TEST_F(MonoSongLevelTest, ThePreviewPlaysTheSongsOwnSamplesInBothChannels)
{
    const std::vector<int16_t> heard = previewed(mono);
    ASSERT_EQ(heard.size(), std::size_t(2 * kFrames));
    EXPECT_NEAR(channelLevel(heard, 0), -24.1, 0.01);
    EXPECT_NEAR(channelLevel(heard, 1), -24.1, 0.01);
    for (int64_t frame = 0; frame < kFrames; ++frame) {
        ASSERT_LE(std::abs(heard[std::size_t(2 * frame)] - sine(kFirstFrame + frame)), 1) << "left, frame " << frame;
        ASSERT_LE(std::abs(heard[std::size_t(2 * frame + 1)] - sine(kFirstFrame + frame)), 1) << "right, frame " << frame;
    }
    EXPECT_EQ(heard, previewed(stereo));
}

TEST_F(MonoSongLevelTest, TheWaveformIsThatOfTheSameSoundInStereo)
{
    const std::vector<int8_t> fromMono = waveform(mono);
    ASSERT_EQ(fromMono.size(), std::size_t(2 * 8000 * kSeconds));
    EXPECT_EQ(fromMono, waveform(stereo));
    const auto [lowest, highest] = std::minmax_element(fromMono.begin(), fromMono.end());
    EXPECT_EQ(int(*highest), int(kPeak) / 256);  // the song's peak in 8-bit steps
    EXPECT_EQ(int(*lowest), -int(kPeak) / 256 - 1);
}
