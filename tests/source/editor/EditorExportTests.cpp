// From the editor to the file, with the real engine: a generated song is
// loaded, a stretch selected, fades and gap set, and the description the
// editor makes is exported; the file is as long as the stretch and the gap,
// and its level follows the fades.

#include "source/editor/EditorViewController.h"
#include "source/editor/WaveformViewController.h"
#include "source/engine/RingtoneAssetWriterExporter.h"

#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"

#include "tests/source/editor/EditorFixtures.h"
#include "tests/source/engine/ExportFixtures.h"

#include <QtEndian>

#include <cmath>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr int kRate = 44100;
constexpr int16_t kLevel = 20000;

// The samples of the first channel of a 16-bit PCM WAVE file.
std::vector<int16_t> firstChannelOfWav(const QByteArray& bytes, int* channels)
{
    std::vector<int16_t> samples;
    qsizetype at = 12;
    int count = 0;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (id == "fmt ")
            count = qFromLittleEndian<quint16>(bytes.constData() + at + 10);
        if (id == "data" && count > 0) {
            const qsizetype end = std::min<qsizetype>(bytes.size(), at + 8 + qsizetype(size));
            for (qsizetype i = at + 8; i + 2 * count <= end; i += 2 * count)
                samples.push_back(qFromLittleEndian<qint16>(bytes.constData() + i));
        }
        at += 8 + qsizetype(size) + (size & 1);
    }
    *channels = count;
    return samples;
}

double averageMagnitude(const std::vector<int16_t>& samples, double from, double to)
{
    double sum = 0;
    const auto first = std::size_t(from * kRate), last = std::size_t(to * kRate);
    for (std::size_t i = first; i < last; ++i)
        sum += std::abs(double(samples[i]));
    return sum / double(last - first);
}

}  // namespace

TEST(EditorExport, TheExportIsTheSelectionAndGapWithItsFades)
{
    QTemporaryDir dir;
    // A steady 441 Hz tone: every 100 frames one whole period.
    std::vector<int16_t> frames(std::size_t(12 * kRate) * 2);
    for (std::size_t frame = 0; frame < frames.size() / 2; ++frame)
        frames[2 * frame] = frames[2 * frame + 1] = int16_t(std::lround(kLevel * std::sin(2 * M_PI * double(frame % 100) / 100)));
    const QString songPath = dir.filePath("steady.wav");
    ASSERT_TRUE(writeBytes(songPath, wavOf16BitSamples(kRate, 2, frames)));

    UserDefaults defaults(dir.filePath("defaults.ini"));
    UndoManager undo;
    EditorServices services;
    services.defaults = &defaults;
    services.undoManager = &undo;
    auto editor = EditorViewController::editorViewController(services);
    auto song = Asset::assetWithPath(songPath);
    editor->setAsset(song, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !editor->loadingAsset() && editor->waveformViewController()->asset() == song; }));

    editor->setSelectionStartTime(2.0);
    editor->setSelectionDuration(3.0);
    editor->setSelectedFadeIn(3);   // 1 s
    editor->setSelectedFadeOut(3);  // 1 s
    editor->setSelectedGap(3);      // 1 s
    editor->setManuallyAdjustVolume(true);
    editor->setManualVolumeGain(1.0);

    Error error;
    auto description = editor->createRingtoneDescription(&error);
    ASSERT_NE(description, nullptr) << error.description().toStdString();
    EXPECT_EQ(description->sourceTimeRange().start, 2.0);
    EXPECT_EQ(description->sourceTimeRange().duration, 3.0);
    EXPECT_EQ(description->gapDuration(), 1.0);

    const QString tonePath = dir.filePath("tone.wav");
    auto delegate = std::make_shared<CountingExportDelegate>();
    auto exporter = description->exporterWithDelegate(delegate, tonePath, std::vector<MetadataItem>{}, &error);
    ASSERT_NE(exporter, nullptr);
    exportToTheEnd(exporter, *delegate);
    ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed);

    int channels = 0;
    const auto tone = firstChannelOfWav(fileContents(tonePath), &channels);
    EXPECT_EQ(channels, 2);
    // The stretch, the gap, and the 0.01 s that joins the loop.
    EXPECT_NEAR(double(tone.size()) / kRate, 3.0 + 1.0 + 0.01, 1.0 / kRate);
    ASSERT_GE(tone.size(), std::size_t(4 * kRate));

    const double full = averageMagnitude(frames, 0, 1);  // the song's own level
    EXPECT_NEAR(averageMagnitude(tone, 0.0, 0.1), 0.05 * full, 0.03 * full) << "the fade-in starts from nothing";
    EXPECT_NEAR(averageMagnitude(tone, 0.45, 0.55), 0.5 * full, 0.05 * full) << "half way up";
    EXPECT_NEAR(averageMagnitude(tone, 1.2, 1.8), full, 0.02 * full) << "the plateau is the song";
    EXPECT_NEAR(averageMagnitude(tone, 2.45, 2.55), 0.5 * full, 0.05 * full) << "half way down";
    EXPECT_LT(averageMagnitude(tone, 2.95, 3.0), 0.05 * full);
    EXPECT_EQ(averageMagnitude(tone, 3.0, 4.0), 0.0) << "the gap is silent";
}
