// What an exported tone sounds like, sample for sample: a constant-level
// song through fades, a gap and a volume above 1.

#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtoneDescription.h"

#include "tests/platform/media/PcmWav.h"
#include "tests/source/engine/ExportFixtures.h"
#include "tests/support/AudioFileTest.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FrameComparison.h"

#include "source/engine/WaveformProvider.h"

#include <QFile>
#include <QTemporaryDir>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr int kRate = 44100;
constexpr int16_t kLevel = 24000;  // × 1.5 saturates

// Exports the description as a WAVE file at `path` and answers its
// interleaved stereo samples, decoded at kRate; empty when the export failed.
std::vector<int16_t> exportedSamples(const std::shared_ptr<RingtoneDescription>& description, const QString& path)
{
    auto delegate = std::make_shared<CountingExportDelegate>();
    auto exporter = description->exporterWithDelegate(delegate, path, std::vector<MetadataItem>{}, nullptr);
    exportToTheEnd(exporter, *delegate);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
    if (exporter->status() != RingtoneExporterStatus::Completed)
        return {};
    const QByteArray pcm = decodeWithFfmpeg(path, kRate, 2);
    return {reinterpret_cast<const int16_t*>(pcm.constData()), reinterpret_cast<const int16_t*>(pcm.constData() + pcm.size())};
}

}  // namespace

class ExportedToneTest : public AudioFileTest {
protected:
    void SetUp() override
    {
        songPath = dir.filePath("level.wav");
        ASSERT_TRUE(writeBytes(songPath, pcmWav(kRate, 2, 6 * kRate, [](int64_t, int) { return kLevel; })));
    }

    // Exports 2.99 s from 1 s on with a gap of 1 s (a tone of exactly 4 s:
    // the stretch, the gap, 0.01 s of the stretch's start) and answers the
    // left channel of the decoded file; both channels must agree.
    std::vector<int16_t> exportTone(double fadeIn, double fadeOut, double volume)
    {
        auto description = RingtoneDescription::descriptionWithAsset(Asset::assetWithPath(songPath), RingtoneKind::Ringtone,
                                                                     ZNTTimeRangeMake(1.0, 2.99), fadeIn, fadeOut, 1.0, volume);
        const std::vector<int16_t> samples = exportedSamples(description, dir.filePath("tone.wav"));
        std::vector<int16_t> left;
        for (std::size_t frame = 0; frame < samples.size() / 2; ++frame) {
            EXPECT_EQ(samples[2 * frame], samples[2 * frame + 1]) << "channels differ at frame " << frame;
            left.push_back(samples[2 * frame]);
        }
        return left;
    }

    static void expectFrames(const std::vector<int16_t>& tone, const std::vector<std::pair<int, int16_t>>& expected)
    {
        for (const auto& [frame, value] : expected) {
            ASSERT_LT(std::size_t(frame), tone.size());
            EXPECT_EQ(tone[std::size_t(frame)], value) << "at frame " << frame << " (" << double(frame) / kRate << " s)";
        }
    }

    static void expectSilence(const std::vector<int16_t>& tone, int from, int to)
    {
        const auto loud = std::find_if(tone.begin() + from, tone.begin() + to, [](int16_t s) { return s != 0; });
        EXPECT_EQ(loud, tone.begin() + to) << "sound at frame " << (loud - tone.begin()) << " of the silence " << from << " to " << to;
    }

    QString songPath;
};

TEST_F(ExportedToneTest, FadesPlateauGapAndLoopPieceAreExact)
{
    // Fade in over 0 … 0.5 s to 1.5, fade out from 1.5 over 2 … 3 s; the
    // stretch ends at 2.99 s, the gap at 3.99 s, the loop piece at 4 s.
    const auto tone = exportTone(0.5, 1.0, 1.5);
    ASSERT_EQ(tone.size(), 176400u);
    expectFrames(tone, {
                           {0, 0},              // the fade starts from nothing
                           {1, 1},              // 24000 × 1.5 / 22050, truncated
                           {11025, 18000},      // half way up: 0.75
                           {22050, 32767},      // the top of the fade-in, saturated
                           {44100, 32767},      // the plateau holds 1.5, saturated
                           {88199, 32767},      // the last frame before the fade-out
                           {110250, 18000},     // half way down
                           {131858, 360},       // the stretch's last frame: 1.5 × 442 / 44100
                       });
    expectSilence(tone, 131859, 175959);  // the gap
    expectSilence(tone, 175959, 176400);  // the loop piece: after the fade-out
}

TEST_F(ExportedToneTest, FadesShareTheRoomThatTheGapLeaves)
{
    // 3 s + 3 s of fades in the 3 s before the gap: each is scaled to 1.5 s,
    // so the fade-in ends where the fade-out begins.
    const auto tone = exportTone(3.0, 3.0, 1.0);
    ASSERT_EQ(tone.size(), 176400u);
    expectFrames(tone, {
                           {0, 0},
                           {33075, 12000},   // 0.75 s: half way up
                           {66150, 24000},   // 1.5 s: the top, where the fade-out starts
                           {99225, 12000},   // 2.25 s: half way down
                           {131858, 160},    // 24000 × 442 / 66150, truncated
                       });
    expectSilence(tone, 131859, 176400);
}

// Two songs joined byte for byte: MPEG audio whose rate changes part-way.
// The song lasts as long as its two parts, and a tone cut from past the
// change holds the frames that a decode of the whole file has there; the
// waveform read in chunks, as the editor reads a long song, is the whole
// read's.
TEST(ChangingSongTest, ATonePastARateChangeHoldsTheWholeDecodesFrames)
{
    QTemporaryDir dir;
    QByteArray joined;
    for (const int rate : {44100, 32000}) {
        const QString part = dir.filePath(QString("part%1.mp3").arg(rate));
        ASSERT_TRUE(writeTone(part, {.seconds = 5.0, .sampleRate = rate, .noise = true, .id3 = false}));
        QFile file(part);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        joined += file.readAll();
    }
    const QString song = dir.filePath("joined.mp3");
    ASSERT_TRUE(writeBytes(song, joined));
    auto asset = Asset::assetWithPath(song);
    EXPECT_NEAR(asset->duration().seconds(), 10.0, 0.2);

    const AudioOutputSettings settings{.formatID = AudioFormatLinearPCM, .sampleRate = double(kRate), .channels = 2, .bitDepth = 16};
    auto stream = asset->tracksWithMediaType(MediaType::Audio).front()->openPcmStream(settings, nullptr);
    std::vector<int16_t> whole;
    while (auto buffer = stream->nextBuffer())
        whole.insert(whole.end(), reinterpret_cast<const int16_t*>(buffer->data()),
                     reinterpret_cast<const int16_t*>(buffer->data()) + buffer->numberOfSamples() * 2);
    ASSERT_GT(whole.size(), std::size_t(2 * kRate * 9));

    auto description = RingtoneDescription::descriptionWithAsset(asset, RingtoneKind::Ringtone, ZNTTimeRangeMake(6.0, 2.0), 0, 0, 0, 1.0);
    const std::vector<int16_t> written = exportedSamples(description, dir.filePath("tone.wav"));
    ASSERT_EQ(written.size(), std::size_t(2 * 2 * kRate));
    const std::vector<int16_t> expected(whole.begin() + 2 * 6 * kRate, whole.begin() + 2 * 8 * kRate);
    EXPECT_TRUE(sameFrames(written, expected, 2));

    const auto bucketsOf = [&](bool chunked) {
        auto provider = WaveformProvider::providerWithAsset(asset, 8000);
        if (chunked)
            provider->setChunking(1.0, 4);
        provider->startReadingWaveform();
        EXPECT_TRUE(waitUntil([&] { return provider->finished(); }, 60000));
        const auto store = provider->waveformSamples();
        return std::vector<int8_t>(store->data(), store->data() + store->size());
    };
    EXPECT_EQ(bucketsOf(true), bucketsOf(false));
}
