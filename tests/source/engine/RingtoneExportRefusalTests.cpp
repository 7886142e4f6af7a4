// Exports that would hold no audio of the song are refused before anything
// is written, or fail once the song's audio proves unreadable: either way
// the destination keeps what it had.

#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtoneDescription.h"
#include "source/engine/RingtoneExportSessionExporter.h"

#include "platform/media/MediaError.h"

#include "tests/source/engine/ExportFixtures.h"
#include "tests/support/AudioFileTest.h"
#include "tests/support/TagFixtures.h"

#include <QRandomGenerator>

#include <cmath>
#include <functional>
#include <limits>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Settings {
    double start = 1.0, duration = 2.0, fadeIn = 0.5, fadeOut = 0.5, gap = 1.0, volume = 1.0;
};

}  // namespace

class RingtoneExportRefusalTest : public AudioFileTest {
protected:
    void SetUp() override { destination = dir.filePath("tone.m4r"); }

    // Exports the settings over the song into a destination that holds an
    // older tone, and checks that the refusal left everything as it was.
    void expectRefused(const QString& songPath, const Settings& s, RingtoneExporterErrorCode code)
    {
        ASSERT_TRUE(writeBytes(destination, "the older tone"));
        const QStringList before = filesIn(dir.path());
        auto description = RingtoneDescription::descriptionWithAsset(Asset::assetWithPath(songPath), RingtoneKind::Ringtone,
                                                                     ZNTTimeRangeMake(s.start, s.duration), s.fadeIn, s.fadeOut, s.gap,
                                                                     s.volume);
        auto delegate = std::make_shared<CountingExportDelegate>();
        auto exporter = description->exporterWithDelegate(delegate, destination, std::vector<MetadataItem>{}, nullptr);
        exportToTheEnd(exporter, *delegate);
        EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed);
        ASSERT_TRUE(exporter->error());
        EXPECT_EQ(exporter->error()->domain, RingtoneExporterErrorDomain);
        EXPECT_EQ(exporter->error()->code, code) << exporter->error()->message.toStdString();
        EXPECT_FALSE(exporter->error()->message.isEmpty());
        EXPECT_EQ(fileContents(destination), "the older tone");
        EXPECT_EQ(filesIn(dir.path()), before);
        EXPECT_EQ(exporter->progress(), 0.0);
    }

    QString destination;
};

TEST_F(RingtoneExportRefusalTest, ASourceWithoutReadableAudio)
{
    const QString m4a = tone("whole.m4a", {.seconds = 3.0});
    QByteArray noise(4096, '\0');
    for (char& byte : noise)
        byte = char(QRandomGenerator::global()->generate());
    const std::vector<std::pair<QString, std::function<bool(const QString&)>>> sources{
        {"noise.mp3", [&](const QString& path) { return writeBytes(path, noise); }},
        {"empty.wav", [](const QString& path) { return writeBytes(path, {}); }},
        {"text.m4a", [](const QString& path) { return writeBytes(path, "not a song, only words\n"); }},
        {"picture.mp3", [](const QString& path) { return writeBytes(path, imageBytes("PNG", Qt::blue, 32)); }},
        {"cut.m4a", [&](const QString& path) { return writeTruncated(m4a, path, 0.5); }},  // its "moov" comes last
        {"silent.mp4", [](const QString& path) { return writeVideo(path, 2.0, false); }},
        {"missing.wav", [](const QString&) { return true; }},
    };
    for (const auto& [name, write] : sources) {
        SCOPED_TRACE(name.toStdString());
        const QString path = dir.filePath(name);
        ASSERT_TRUE(write(path));
        expectRefused(path, {}, RingtoneExporterErrorNoAudio);
    }
}

TEST_F(RingtoneExportRefusalTest, ASelectionThatHoldsNoneOfTheSong)
{
    const QString song = tone("song.wav", {.seconds = 4.0});
    const std::vector<std::pair<const char*, Settings>> selections{
        {"no duration", {.duration = 0}},
        {"negative duration", {.duration = -1}},
        {"NaN duration", {.duration = kNaN}},
        {"infinite duration", {.duration = kInf}},
        {"NaN start", {.start = kNaN}},
        {"infinite start", {.start = kInf}},
        {"start at the end", {.start = 4.0}},
        {"start past the end", {.start = 9.0}},
        {"wholly before the song", {.start = -5.0, .duration = 2.0}},
    };
    for (const auto& [name, settings] : selections) {
        SCOPED_TRACE(name);
        expectRefused(song, settings, RingtoneExporterErrorInvalidSettings);
    }
}

TEST_F(RingtoneExportRefusalTest, FadesGapAndVolumeMustBeFiniteAndNotNegative)
{
    const QString song = tone("song.wav", {.seconds = 4.0});
    const std::vector<std::pair<const char*, Settings>> settings{
        {"NaN fade-in", {.fadeIn = kNaN}},       {"negative fade-in", {.fadeIn = -0.5}}, {"infinite fade-out", {.fadeOut = kInf}},
        {"negative fade-out", {.fadeOut = -1}}, {"NaN gap", {.gap = kNaN}},             {"negative gap", {.gap = -1}},
        {"infinite gap", {.gap = kInf}},         {"NaN volume", {.volume = kNaN}},       {"negative volume", {.volume = -0.5}},
        {"infinite volume", {.volume = kInf}},
    };
    for (const auto& [name, values] : settings) {
        SCOPED_TRACE(name);
        expectRefused(song, values, RingtoneExporterErrorInvalidSettings);
    }
}

TEST_F(RingtoneExportRefusalTest, ASelectionPartlyPastTheEndIsStillATone)
{
    const QString song = tone("song.wav", {.seconds = 2.0});
    auto description = RingtoneDescription::descriptionWithAsset(Asset::assetWithPath(song), RingtoneKind::Ringtone,
                                                                 ZNTTimeRangeMake(1.5, 1.0), 0, 0, 0, 1.0);
    EXPECT_EQ(description->settingsError(), std::nullopt);
    auto delegate = std::make_shared<CountingExportDelegate>();
    auto exporter = description->exporterWithDelegate(delegate, dir.filePath("tone.wav"), std::vector<MetadataItem>{}, nullptr);
    exportToTheEnd(exporter, *delegate);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
}

// A song whose header lists audio that its data does not hold (the media
// data cut off, every frame damaged) makes no tone of silence: both
// exporters fail with the media error, and the older tone stays.
TEST_F(RingtoneExportRefusalTest, ASongWhoseAudioDecodesToNothingFailsWithTheMediaError)
{
    const QString cut = dir.filePath("cut.m4a");
    ASSERT_TRUE(writeMediaDataCutOff(tone("whole.m4a", {.seconds = 4.0, .encoderOptions = {"-movflags", "+faststart"}}), cut));
    const QString damaged = dir.filePath("damaged.flac");
    ASSERT_TRUE(writeFramesDamaged(tone("whole.flac", {.seconds = 4.0}), damaged));
    const QString good = dir.filePath("whole.flac");

    auto exportOf = [&](const QString& song, bool throughSession) {
        auto description = RingtoneDescription::descriptionWithAsset(Asset::assetWithPath(song), RingtoneKind::Ringtone,
                                                                     ZNTTimeRangeMake(1.0, 2.0), 0.5, 0.5, 1.0, 1.0);
        EXPECT_EQ(description->settingsError(), std::nullopt);  // the header alone makes a fine tone
        auto delegate = std::make_shared<CountingExportDelegate>();
        std::shared_ptr<RingtoneExporter> exporter;
        if (throughSession) {
            auto composition = description->makeComposition();
            exporter = RingtoneExportSessionExporter::exporterWithOutputURL(QUrl::fromLocalFile(destination), composition,
                                                                           RingtoneKind::Ringtone,
                                                                           description->makeAudioMixForAsset(composition, 0.0),
                                                                           std::vector<MetadataItem>{});
            exporter->setDelegate(delegate);
        } else {
            exporter = description->exporterWithDelegate(delegate, destination, std::vector<MetadataItem>{}, nullptr);
        }
        exportToTheEnd(exporter, *delegate);
        return exporter;
    };
    for (bool throughSession : {false, true}) {
        for (const QString& song : {cut, damaged}) {
            SCOPED_TRACE(song.toStdString() + (throughSession ? " through the export session" : ""));
            ASSERT_TRUE(writeBytes(destination, "the older tone"));
            const QStringList before = filesIn(dir.path());
            auto exporter = exportOf(song, throughSession);
            EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed);
            ASSERT_TRUE(exporter->error());
            EXPECT_EQ(exporter->error()->domain, AVFoundationErrorDomain);
            EXPECT_EQ(exporter->error()->code, MediaErrorDecodeFailed);
            EXPECT_EQ(fileContents(destination), "the older tone");
            EXPECT_EQ(filesIn(dir.path()), before);
        }
        // The same song whole makes its tone.
        SCOPED_TRACE(throughSession ? "whole song through the export session" : "whole song");
        auto exporter = exportOf(good, throughSession);
        EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
        EXPECT_GT(fileContents(destination).size(), 10000);
    }
}
